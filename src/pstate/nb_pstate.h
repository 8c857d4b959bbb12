#pragma once
// Northbridge P-states of the families that have registers for them: function
// 5 register 0x160 + 4 * n (nbPstateAddress(n)).

#include <cstdint>
#include <vector>

#include "cpu/processor_profile.h"
#include "cpu/registers.h"

struct NbPstate {
    std::int32_t index = 0;
    double multiplier = -1.0; // the register's own ratio, never scaled
    std::int32_t vid = -1;
};

// A northbridge ratio as the register holds it: the frequency ID is the ratio's
// numerator minus 4, and a set divisor bit halves the numerator.
struct NbRatioCode {
    std::uint32_t frequencyId = 0; // 0..31
    std::uint32_t divisor = 0;     // 0 or 1
};

// The largest ratio of the two series the register can hold (whole ratios 4..35,
// half steps 2.0..17.5) that is not above multiplier, once multiplier is limited
// to 2.0..35.0. A ratio both series hold is coded as a whole one. A NaN codes
// the lowest ratio, 2.0.
NbRatioCode encodeNbRatio(double multiplier);

// Decodes a northbridge P-state register value already read; touches no device.
NbPstate decodeNbPstate(const ProcessorProfile& profile, std::int32_t index, std::uint32_t value);

// value with the fields that request sets replaced and every other bit kept;
// a ratio value already holds keeps value's own code. Touches no device.
std::uint32_t encodeNbPstate(const ProcessorProfile& profile, const NbPstate& request, std::uint32_t value);

// Both refuse a family without northbridge P-state registers, and northbridge P-state numbers outside
// 0 .. nbPstateCount - 1, before any register access.
NbPstate readNbPstate(const ProcessorProfile& profile, std::int32_t index);
// Writes on every node, node 0 first; returns the nodes whose register, as
// read, had the P-state disabled (it stays disabled).
std::vector<std::int32_t> writeNbPstate(const ProcessorProfile& profile, const NbPstate& pstate);

// Whether a northbridge P-state register value has its P-state enabled.
bool nbPstateEnabled(std::uint32_t value);
