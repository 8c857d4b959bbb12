#pragma once
// The probe: what the processor is, read once from the hardware.

#include <cstdint>

#include "cpu/processor_profile.h"

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
