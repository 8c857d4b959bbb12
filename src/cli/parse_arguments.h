#pragma once
// The command line's tokens into a change set.

#include "cli/change_set.h"
#include "cpu/processor_profile.h"

// Fills the change set from argv[1..argc-1], one request for each P-state the
// profile has. Reports the first invalid token on standard error and returns
// false.
bool parseArguments(const ProcessorProfile& profile, ChangeSet& changes, int argc, const char* const* argv);
