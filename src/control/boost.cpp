#include "control/boost.h"

#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "cpu/features.h"
#include "cpu/registers.h"
#include "hw/bitfield.h"
#include "hw/device.h"
#include "hw/register_write.h"

void setCpbEnabled(const ProcessorProfile& profile, bool enabled)
{
    requireFeature(profile, kBoostFeature);
    // The bit disables boost, so it is the inverse of the switch. Each core has
    // its own, and a core left out would go on boosting.
    modifyMsrOnEveryCore(profile, kMsrHardwareConfig, [enabled](std::uint64_t value) {
        bits::Rewrite<std::uint64_t> after{value};
        bits::replace(after, kBoostDisable, enabled ? 0u : 1u);
        return after;
    });
}

void setBoostSource(const ProcessorProfile& profile, bool enabled)
{
    requireFeature(profile, kBoostFeature);
    const std::uint32_t source = enabled ? familyTraits(profile).boostSourceOn : 0;
    const std::uint32_t value = readPciConfig(kNorthbridgeDevice, kFunctionLinkControl, kPciBoostControl);
    writePciConfigChecked(kNorthbridgeDevice, kFunctionLinkControl, kPciBoostControl,
                          bits::set(value, kBoostSource, source), bits::mask(kBoostSource));
}

void setApmEnabled(const ProcessorProfile& profile, bool enabled)
{
    requireFeature(profile, kApmFeature);
    const std::uint32_t value = readPciConfig(kNorthbridgeDevice, kFunctionLinkControl, kPciBoostControl);
    writePciConfigChecked(kNorthbridgeDevice, kFunctionLinkControl, kPciBoostControl,
                          bits::set(value, kApmEnable, enabled ? 1u : 0u), bits::mask(kApmEnable));
}
