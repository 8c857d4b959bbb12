#include "control/boost.h"

#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "cpu/features.h"
#include "cpu/registers.h"
#include "hw/bitfield.h"
#include "hw/device.h"
#include "hw/register_write.h"

void setBoostOnEveryCore(const ProcessorProfile& profile, bool enabled)
{
    requireFeature(profile, kBoostFeature);
    // The bit disables boost, so it is the inverse of the switch. Each core has
    // its own, and a core left out would go on boosting.
    modifyMsrOnEveryCore(profile, kMsrHardwareConfig, replacingField(kBoostDisable, enabled ? 0u : 1u));
}

void setBoostSource(const ProcessorProfile& profile, bool enabled)
{
    requireFeature(profile, kBoostFeature);
    const std::uint32_t source = enabled ? familyTraits(profile).boostSourceOn : 0;
    // Each node has its own northbridge, and its own boost source.
    modifyPciOnEveryNode(profile, kFunctionLinkControl, kPciBoostControl, replacingField(kBoostSource, source));
}

bool boostHalvesAgree(const ProcessorProfile& profile)
{
    return profile.boostSource == (profile.boostDisabled ? 0 : familyTraits(profile).boostSourceOn);
}

void setApmEnabled(const ProcessorProfile& profile, bool enabled)
{
    requireFeature(profile, kApmFeature);
    modifyPciOnEveryNode(profile, kFunctionLinkControl, kPciBoostControl,
                         replacingField(kApmEnable, enabled ? 1u : 0u));
}
