#pragma once
// The probe: what the processor is, read once from the hardware.

#include <cstdint>

#include "cpu/processor_profile.h"
#include "cpu/registers.h"
#include "hw/bitfield.h"

// Fills a default profile from the hardware. False when the processor is not an
// AMD family 0x10, 0x12, 0x14 or 0x15 processor.
bool probeProcessor(ProcessorProfile& profile);

// The probe's two decoding steps, on register values already read; they touch
// no device, so a register file can be decoded exactly as the probe would.
// identifyProcessor sets family, model, refClockFactor and eightBitVids from EAX of
// CPUID leaf 0x80000001 and is false for an unsupported family; decodeLimits
// then sets the multiplier and voltage limits from MSR 0xC0010071.
bool identifyProcessor(ProcessorProfile& profile, std::uint32_t signature);
void decodeLimits(ProcessorProfile& profile, std::uint64_t cofvidStatus);

// The number of boosted P-states, on a processor with boost, from the boost
// control register (northbridge function 4, 0x15C); touches no device either.
std::int32_t decodeBoostStateCount(const ProcessorProfile& profile, std::uint32_t boostControl);

// The number of enabled core P-states, from northbridge function 3 register
// 0xDC.
constexpr std::int32_t decodePstateCount(std::uint32_t clockPowerControl)
{
    return static_cast<std::int32_t>(bits::get(clockPowerControl, kPstateCountMinusOne) + 1);
}

// The number of cores, from ECX of CPUID leaf 0x80000008. Inline, so that the
// machine-file reader counts a file's cores as the probe does without linking
// the probe's device reads.
constexpr std::int32_t decodeCoreCount(std::uint32_t ecx)
{
    return static_cast<std::int32_t>(bits::get(ecx, kCoreCountMinusOne) + 1);
}
