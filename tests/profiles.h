#pragma once
// Processor profiles as the probe leaves them, for the tests of the P-state code.

#include "cpu/family_traits.h"
#include "cpu/processor_profile.h"

inline ProcessorProfile profileOf(std::int32_t family, std::int32_t model = 0x02, double maxMultiplier = 0.0)
{
    ProcessorProfile profile;
    profile.family = family;
    profile.model = model;
    profile.maxMultiplier = maxMultiplier;
    if (hasEightBitVids(profile))
        profile.vidStep = 0.00625;
    return profile;
}

inline ProcessorProfile withStep(double vidStep)
{
    ProcessorProfile profile;
    profile.vidStep = vidStep;
    return profile;
}
