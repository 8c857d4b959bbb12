#pragma once
// The program's one description of the processor it runs on, filled once by the
// probe and read-only afterwards.

#include <cstdint>

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
    double vidStep = 0.0125;
    double refClockFactor = 1.0;
    bool boostSupported = false;
    bool boostEnabled = false;
    bool boostLocked = false;
    std::int32_t boostStateCount = 0;
};

// Fills a default profile from the hardware. False when the processor is not an
// AMD family 0x10, 0x12, 0x14 or 0x15 processor.
bool probeProcessor(ProcessorProfile& profile);

// The probe's two decoding steps, on register values already read; they touch
// no device, so a register file can be decoded exactly as the probe would.
// identifyProcessor sets family, model, refClockFactor and vidStep from EAX of
// CPUID leaf 0x80000001 and is false for an unsupported family; decodeLimits
// then sets the multiplier and voltage limits from MSR 0xC0010071.
bool identifyProcessor(ProcessorProfile& profile, std::uint32_t signature);
void decodeLimits(ProcessorProfile& profile, std::uint64_t cofvidStatus);

// Whether the core and northbridge VIDs of this processor are 8 bits wide, at
// 6.25 mV a step, instead of 7 bits at 12.5 mV.
bool hasEightBitVids(const ProcessorProfile& profile);
