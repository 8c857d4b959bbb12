#pragma once
// Processor profiles as the probe leaves them, for the tests of the P-state code:
// the probe's own identifyProcessor sets the reference clock and the VID width.

#include <cstdint>

#include "cpu/probe.h"
#include "cpu/processor_profile.h"

// EAX of CPUID leaf 0x80000001 for a family of 0x0F or above and a model:
// base family 0xF with the rest in the extended family, the model's upper digit
// in the extended model.
inline std::uint32_t signatureOf(std::int32_t family, std::int32_t model)
{
    const auto extendedFamily = static_cast<std::uint32_t>(family - 0xF);
    const auto m = static_cast<std::uint32_t>(model);
    return extendedFamily << 20 | (m >> 4) << 16 | 0xFu << 8 | (m & 0xFu) << 4;
}

inline ProcessorProfile profileOf(std::int32_t family, std::int32_t model = 0x02, double maxMultiplier = 0.0)
{
    ProcessorProfile profile;
    identifyProcessor(profile, signatureOf(family, model));
    profile.maxMultiplier = maxMultiplier;
    return profile;
}

// A family 0x15 processor whose VIDs step by step volts: 0.00625 (8-bit VIDs,
// model 0x10) or 0.0125 (7-bit, model 0x02).
inline ProcessorProfile withStep(double step)
{
    return profileOf(0x15, step == 0.00625 ? 0x10 : 0x02);
}
