// Diagnostics: version report and hardware self-tests.
#pragma once

// Prints the unit's identity as name=value lines; 0 on success.
int printVersion();
// Runs the self-test named by the first character of `name`; prints PASSED
// or FAILED and returns the test's result code.
int runSelfTest(const char *name);
