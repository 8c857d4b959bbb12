#pragma once
// The requests of one run with arguments, as parseArguments fills them and
// applyChanges carries them out; like every record here it is read with the
// processor profile beside it, not through it.

#include <cstdint>
#include <string>
#include <vector>

#include "pstate/core_pstate.h"
#include "pstate/nb_pstate.h"

// A valid token that asks for something this processor does not have. It is
// kept out of the requests and said once applying begins, so that the user
// learns of it instead of finding nothing changed.
struct UnsupportedRequest {
    std::string token;
    std::string reason;
};

// The tokens that last set a core P-state's multiplier and its voltage, as
// typed, so that a warning about a value names the token that asked for it.
struct PstateTokens {
    std::string multiplier;
    std::string voltage;
};

struct ChangeSet {
    std::vector<CorePstate> corePstates;
    // Beside corePstates, by P-state number.
    std::vector<PstateTokens> corePstateTokens;
    std::vector<NbPstate> nbPstates;
    std::int32_t boost = -1; // the Turbo token
    std::int32_t apm = -1;
    std::int32_t targetPstate = -1;
    // In command-line order.
    std::vector<UnsupportedRequest> unsupported;
    // The refusal of the first request this processor cannot carry out at
    // all, or nullptr; said once the warnings are out, before any device is
    // touched.
    const char* refusal = nullptr;
};
