#pragma once
// Northbridge P-states of family 0x15: function 5 register 0x160 + 4 * n.

#include <cstdint>

#include "cpu/processor_profile.h"

struct NbPstate {
    std::int32_t index = 0;
    double multiplier = -1.0; // the register's own ratio, never scaled
    std::int32_t vid = -1;
};

constexpr std::uint8_t kFunctionNbPstates = 5;
constexpr std::uint32_t kPciNbPstateBase = 0x160;

// Decodes a northbridge P-state register value already read; touches no device.
NbPstate decodeNbPstate(const ProcessorProfile& profile, std::int32_t index, std::uint32_t value);

NbPstate readNbPstate(const ProcessorProfile& profile, std::int32_t index);
void writeNbPstate(const ProcessorProfile& profile, const NbPstate& pstate);
