#pragma once
// The command line's tokens into a change set.

#include <string>

#include "cli/change_set.h"
#include "cpu/processor_profile.h"

// Splits source at the first separator: before goes to first, after to second
// (empty when the separator does not occur).
void splitAt(const std::string& source, char separator, std::string& first, std::string& second);

// Fills the change set from argv[1..argc-1], one request for each P-state the
// profile has. Reports the first invalid token on standard error and returns
// false.
bool parseArguments(const ProcessorProfile& profile, ChangeSet& changes, int argc, const char* const* argv);
