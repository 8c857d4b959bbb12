#include "cpu/probe.h"

#include "cpu/clock_codec.h"
#include "cpu/family_traits.h"
#include "cpu/registers.h"
#include "hw/bitfield.h"
#include "hw/device.h"

namespace {

void readBoostState(ProcessorProfile& profile)
{
    const FamilyTraits& traits = familyTraits(profile);
    const std::uint64_t hwcr = readMsr(0, kMsrHardwareConfig);
    const std::uint32_t control = readPciConfig(kNorthbridgeDevice, kFunctionLinkControl, kPciBoostControl);
    profile.boostDisabled = bits::test(hwcr, kBoostDisable);
    const bool notDisabled = !profile.boostDisabled;
    profile.boostSource = bits::get(control, kBoostSource);
    const bool sourceOn = profile.boostSource == traits.boostSourceOn;
    profile.boostEnabled = sourceOn && notDisabled;
    profile.boostLocked = traits.boostAlwaysLocked || bits::test(control, kBoostLock);
    profile.boostStateCount = decodeBoostStateCount(profile, control);
    if (traits.boostLimitRegister != 0) {
        const std::uint32_t limit = readPciConfig(kNorthbridgeDevice, kFunctionMisc, traits.boostLimitRegister);
        profile.topMultiplier = decodeBoostedTopMultiplier(profile, bits::get(limit, traits.boostLimitMultiplier));
    }
}

} // namespace

bool probeProcessor(ProcessorProfile& profile)
{
    if (cpuid(kCpuidVendor).ecx != kAmdVendorEcx)
        return false;

    if (!identifyProcessor(profile, cpuid(kCpuidFamilyModel).eax))
        return false;

    profile.coreCount = decodeCoreCount(cpuid(kCpuidCoreCount).ecx);
    profile.pstateCount = decodePstateCount(readPciConfig(kNorthbridgeDevice, kFunctionMisc, kPciClockPowerControl));
    if (familyTraits(profile).hasNbPstateRegisters)
        profile.nbPstateCount = static_cast<std::int32_t>(
            bits::get(readPciConfig(kNorthbridgeDevice, kFunctionExtendedMisc, kPciNbPstateControl),
                      kNbPstateCountMinusOne)
            + 1);

    decodeLimits(profile, readMsr(0, kMsrCofvidStatus));

    profile.boostSupported = bits::test(cpuid(kCpuidPowerManagement).edx, kBoostSupported);
    if (profile.boostSupported)
        readBoostState(profile);

    // CPUID counts the cores of one processor; a machine may have several
    // processors, and a processor several nodes, all of which are written.
    profile.cpus = systemCpus();
    if (familyTraits(profile).hasNodes)
        profile.nodeCount = static_cast<std::int32_t>(
            bits::get(readPciConfig(kNorthbridgeDevice, kFunctionHtConfig, kPciNodeId), kNodeCountMinusOne) + 1);
    return true;
}
