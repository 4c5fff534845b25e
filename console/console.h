// The interactive network setup console.
#pragma once

// Shows the status screen, reads and carries out commands; never returns.
[[noreturn]] void menuLoop();
