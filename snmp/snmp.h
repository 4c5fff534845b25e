// The SNMP daemon's pass_persist extension.
#pragma once

// Serves requests on standard input until it ends.
void doSnmp();
