#pragma once
// pravellon --tune --self-test: the tuning's load on every core this process
// may run on, at the settings the processor has now. It reads and writes no
// register, so it runs on any machine: the first thing to try, to see that the
// load runs and its answers agree before a tuning leans on them.

// The value of --seconds as typed, or nullptr when not given. Prints what ran
// and returns the exit status.
int runSelfTest(const char* seconds);
