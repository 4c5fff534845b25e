// Placeholder until the diagnostics land.
#include "diag/diag.h"
int printVersion() { return 0; }
int runSelfTest(const char *) { return 4; }
