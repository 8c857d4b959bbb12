#pragma once
// The requests of one run with arguments, and the parser that fills them.

#include <cstdint>
#include <string>
#include <vector>

#include "cpu/processor_profile.h"
#include "pstate/core_pstate.h"
#include "pstate/nb_pstate.h"

struct ChangeSet {
    const ProcessorProfile* profile = nullptr;
    std::vector<CorePstate> corePstates;
    std::vector<NbPstate> nbPstates;
    std::int32_t turbo = -1;
    std::int32_t apm = -1;
    std::int32_t targetPstate = -1;
};

// Splits source at the first separator: before goes to first, after to second
// (empty when the separator does not occur).
void splitAt(const std::string& source, char separator, std::string& first, std::string& second);

// Fills the change set from argv[1..argc-1]. Reports the first invalid token on
// standard error and returns false.
bool parseArguments(ChangeSet& changes, int argc, const char* const* argv);

// Carries the change set out on the hardware in its fixed order.
void applyChanges(ChangeSet& changes);
