#include "cpu/features.h"

#include "cpu/family_traits.h"
#include "hw/exception_with_message.h"

const Feature kBoostFeature{[](const ProcessorProfile& profile) { return profile.boostSupported; },
                            "CPB not supported"};

const Feature kApmFeature{[](const ProcessorProfile& profile) { return familyTraits(profile).hasApm; },
                          "APM not supported"};

const Feature kNbPstateFeature{[](const ProcessorProfile& profile) { return familyTraits(profile).hasNbPstateSelect; },
                               "NB P-states not supported"};

const Feature kNbMultiplierFeature{
    [](const ProcessorProfile& profile) { return familyTraits(profile).hasNbPstateRegisters; },
    "NB multiplier not supported"};

void requireFeature(const ProcessorProfile& profile, const Feature& feature)
{
    if (!feature.present(profile))
        throw ExceptionWithMessage(feature.lacking);
}
