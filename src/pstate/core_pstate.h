#pragma once
// One core P-state, decoded from its MSR or requested by the user. A negative
// field (-1, or -1.0 for the multiplier) is absent in a decoded record and
// "leave unchanged" in a request; a NaN multiplier counts as unset too.

#include <cstdint>
#include <vector>

#include "cpu/processor_profile.h"
#include "cpu/registers.h"
#include "pstate/nb_pstate.h"

struct CorePstate {
    std::int32_t index = 0;
    double multiplier = -1.0; // units of 100 MHz, not divided by refClockFactor
    std::int32_t vid = -1;
    std::int32_t nbPstate = -1;
    std::int32_t nbVid = -1;
};

// Decodes a P-state register value already read; touches no device.
CorePstate decodeCorePstate(const ProcessorProfile& profile, std::int32_t index, std::uint64_t value);

// Reads MSR corePstateMsr(index) of core 0 once and decodes it: core 0
// describes the processor.
CorePstate readCorePstate(const ProcessorProfile& profile, std::int32_t index);

// value with the fields the request sets replaced, each cut to its width, and
// every other bit, the upper 32 included, kept. Touches no device. May throw the
// family 0x14 refusal of the multiplier encoder.
std::uint64_t encodeCorePstate(const ProcessorProfile& profile, std::uint64_t value, const CorePstate& request);

// One read and one write of the P-state's register on every core, core by
// core, changing only the fields the request sets. A northbridge VID carried
// from nbPstates goes to each core as that core's register selects
// (carryNbVidOnCore). May throw the family 0x14 refusal of the multiplier
// encoder. Returns the cores whose register, as read, had the P-state
// disabled (it stays disabled).
std::vector<std::int32_t> writeCorePstate(const ProcessorProfile& profile, const CorePstate& pstate,
                     const std::vector<NbPstate>& nbPstates = {});
