#pragma once
// Northbridge voltages on a family that keeps them in its core P-states.

#include <cstdint>
#include <vector>

#include "cpu/processor_profile.h"
#include "pstate/core_pstate.h"
#include "pstate/nb_pstate.h"

// The core P-state requests, with each requested northbridge VID carried into
// every core P-state that will select that northbridge P-state once the
// requests are written, whether the selection is requested or already in the
// register (which is then read). On a family with northbridge P-state
// registers of its own the requests come back unchanged, and nothing is read.
std::vector<CorePstate> carryNbVidsIntoCorePstates(const ProcessorProfile& profile,
                                                   const std::vector<CorePstate>& corePstates,
                                                   const std::vector<NbPstate>& nbPstates);

// A carried request as it goes to one core, whose P-state register holds
// value: each core's register may select another northbridge P-state than
// core 0's, and gets the voltage of the one it selects once written, or keeps
// its own northbridge VID when that one has no requested voltage. A request
// that carries no northbridge VID comes back unchanged.
CorePstate carryNbVidOnCore(const ProcessorProfile& profile, const CorePstate& request,
                            const std::vector<NbPstate>& nbPstates, std::uint64_t value);
