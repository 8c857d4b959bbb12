#pragma once
// The P-state each core runs in, and requests to switch a core to another.

#include <cstdint>
#include <vector>

#include "cpu/processor_profile.h"

// The current P-state of core, from its COFVID status MSR.
std::int32_t currentPstate(std::int32_t core);

// One read and one write of core's P-state control MSR. Refuses a P-state the
// processor does not have.
void activatePstate(const ProcessorProfile& profile, std::int32_t core, std::int32_t pstate);

// On each core: a target (not negative) is switched to unless the core runs in
// it; otherwise a current P-state whose register was rewritten (modified[n] for
// P-state n; a P-state past them counts as not modified) is left and, after
// one pause for all such cores, entered again, so that it takes effect. Every
// core's current P-state is read before any core is switched, so that no
// request changes what a later core reads. Returns the cores switched to the
// target, ascending.
std::vector<std::int32_t> switchPstates(const ProcessorProfile& profile, std::int32_t target,
                                        const std::vector<bool>& modified);
