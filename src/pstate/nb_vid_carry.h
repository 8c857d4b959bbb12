#pragma once
// Northbridge voltages on a family that keeps them in its core P-states.

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
