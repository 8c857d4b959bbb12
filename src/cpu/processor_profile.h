#pragma once
// The program's one description of the processor it runs on, filled once by the
// probe (cpu/probe.h) and read-only afterwards. What a family has beyond these
// numbers is asked of its traits (cpu/family_traits.h).

#include <cstdint>
#include <vector>

#include "hw/device.h"

struct ProcessorProfile {
    std::int32_t family = 0;
    std::int32_t model = 0;
    std::int32_t coreCount = 0;
    std::int32_t pstateCount = 0;
    std::int32_t nbPstateCount = 2;
    double minMultiplier = 0.0;
    double maxMultiplier = 0.0;
    double topMultiplier = 0.0;
    double minVoltage = 0.0;
    double maxVoltage = 0.0;
    // The core and northbridge VIDs are 8 bits wide at 6.25 mV a step, not 7
    // bits at 12.5 mV; the family traits say which models, the probe asks them.
    bool eightBitVids = false;
    double refClockFactor = 1.0;
    bool boostSupported = false;
    bool boostEnabled = false;
    bool boostLocked = false;
    // Core 0's own boost-disable bit (HWCR bit 25), where boost is supported:
    // each core has its own, which the report compares.
    bool boostDisabled = false;
    // Node 0's boost source field as read, where boost is supported: boost is
    // on only when it holds the family's "on" value and the core's bit is clear.
    std::uint32_t boostSource = 0;
    std::int32_t boostStateCount = 0;
    // Every CPU of the operating system, ascending: each core of each processor
    // and node. Empty in a profile the probe has not filled; cores 0 ..
    // coreCount - 1 stand for them then (cpu/every_core.h).
    std::vector<SystemCpu> cpus;
    // The nodes of the machine, each with a northbridge of its own.
    std::int32_t nodeCount = 1;
};
