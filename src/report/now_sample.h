#pragma once
// What the processor is doing at one moment: the P-state each core runs in,
// as that core defines it, and each node's Tctl.

#include <cstdint>
#include <optional>
#include <vector>

#include "cpu/processor_profile.h"
#include "pstate/core_pstate.h"

struct CoreNow {
    std::int32_t core = 0;
    bool online = true; // an offline core is not read, and nothing else is set
    // Numbered as the P-state registers are, the boosted ones first.
    std::int32_t pstate = -1;
    // The core's own register of that P-state; none for a P-state past the
    // registers the family has.
    std::optional<CorePstate> definition;
    bool boosted = false;
};

struct NodeNow {
    std::int32_t node = 0;
    std::optional<double> tctl; // degrees Celsius; none where not reported
};

struct NowSample {
    std::vector<CoreNow> cores; // every CPU, ascending, offline ones included
    std::vector<NodeNow> nodes;
};

// Reads every online core's current P-state (all of them first, so that they
// are as close together in time as the device allows), then each core's
// register of that P-state, then each node's Tctl. Writes nothing.
NowSample readNow(const ProcessorProfile& profile);
