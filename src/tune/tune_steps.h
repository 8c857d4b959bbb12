#pragma once
// The arithmetic of the search, in VIDs: a VID one higher is one step of the
// profile's width lower in voltage. Volts given by the user are turned into
// whole steps here, once, so that the search compares integers only.

#include <cstdint>

#include "cpu/processor_profile.h"

// The margin in whole VID steps, rounded up: 0.025 V is 2 steps of 12.5 mV,
// 0.03 V is 3.
std::int32_t marginSteps(const ProcessorProfile& profile, double margin);

// The VID of the lowest voltage the search may test: the original less
// maxDrop, rounded toward the original (0.2 V is 16 steps of 12.5 mV).
std::int32_t floorVid(const ProcessorProfile& profile, std::int32_t originalVid, double maxDrop);

// The search's result for a P-state: its lowest stable voltage raised by the
// margin, no lower than slowerResultVid (the result of the slower P-state
// tuned before it, -1 for none: a faster P-state needs at least as much), and
// never above its original voltage, which the firmware chose and which wins
// over both.
std::int32_t resultVid(std::int32_t originalVid, std::int32_t lowestStableVid, std::int32_t margin,
                       std::int32_t slowerResultVid);
