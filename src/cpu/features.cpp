#include "cpu/features.h"

#include "cpu/family_traits.h"
#include "hw/exception_with_message.h"

namespace {

bool hasBoost(const ProcessorProfile& profile)
{
    return profile.boostSupported;
}

bool hasApm(const ProcessorProfile& profile)
{
    return familyTraits(profile).hasApm;
}

bool hasNbPstates(const ProcessorProfile& profile)
{
    return familyTraits(profile).hasNbPstateSelect;
}

bool hasNbMultipliers(const ProcessorProfile& profile)
{
    return familyTraits(profile).hasNbPstateRegisters;
}

} // namespace

const Feature kBoostFeature{hasBoost, "CPB not supported"};
const Feature kApmFeature{hasApm, "APM not supported"};
const Feature kNbPstateFeature{hasNbPstates, "NB P-states not supported"};
const Feature kNbMultiplierFeature{hasNbMultipliers, "NB multiplier not supported"};

void requireFeature(const ProcessorProfile& profile, const Feature& feature)
{
    if (!feature.present(profile))
        throw ExceptionWithMessage(feature.lacking);
}
