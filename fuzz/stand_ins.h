// Stand-ins the fuzz harnesses run the product code against: a store saved
// to memory, a system log kept in a buffer, and actions that only count.
#pragma once

#include <cstddef>

namespace fuzzing {

// The saved configuration back to the factory defaults, the working copy
// loaded from it, every count and the log cleared.
void resetUnit();

// What the product code asked for since the last reset.
struct Counts {
  long saves;
  long loads;
  long reboots;
  long warmRestarts;
  long programsRun;  // systemX, runProgram
  long pppHandOvers;
  long ipmiHandOvers;
  long logLines;
};
extern Counts counts;

// The last line the product code logged ("" when none).
const char *lastLogLine();

// The saved configuration text as the in-memory store holds it.
const char *savedText();

// Runs fn with standard input reading data[0..size) and standard output
// collected; the output goes to out (NUL-terminated, cut at outSize - 1)
// and its full length is returned.
size_t withStreams(const unsigned char *data, size_t size, void (*fn)(),
                   char *out, size_t outSize);

// Aborts with the message when the condition does not hold, so that the
// fuzzer keeps the input that broke an invariant.
void check(bool condition, const char *what);

// A file that lives only in memory, for harnesses of code that reads a path:
// its descriptor, and its path ("/proc/self/fd/N") in path.
int memoryFile(const char *name, char *path, int pathSize);

}  // namespace fuzzing
