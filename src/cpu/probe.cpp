#include "cpu/probe.h"

#include "cpu/clock_codec.h"
#include "cpu/family_traits.h"
#include "cpu/registers.h"
#include "cpu/vid.h"
#include "hw/bitfield.h"
#include "hw/device.h"

void decodeLimits(ProcessorProfile& profile, std::uint64_t status)
{
    const auto vLow = static_cast<std::int32_t>(bits::get(status, kMinVoltageVid));
    const auto vHigh = static_cast<std::int32_t>(bits::get(status, kMaxVoltageVid));
    decodeClockLimits(profile, static_cast<std::uint32_t>(bits::get(status, kMaxClockLimit)));
    profile.minVoltage = vLow != 0 ? vidToVoltage(profile, vLow) : 0.0;
    profile.maxVoltage = vidToVoltage(profile, vHigh);
}

namespace {

void readBoostState(ProcessorProfile& profile)
{
    const FamilyTraits& traits = familyTraits(profile);
    const std::uint64_t hwcr = readMsr(0, kMsrHardwareConfig);
    const std::uint32_t control = readPciConfig(kNorthbridgeDevice, kFunctionLinkControl, kPciBoostControl);
    const bool notDisabled = !bits::test(hwcr, kBoostDisable);
    const bool sourceOn = bits::get(control, kBoostSource) == traits.boostSourceOn;
    profile.boostEnabled = sourceOn && notDisabled;
    profile.boostLocked = traits.boostAlwaysLocked || bits::test(control, kBoostLock);
    profile.boostStateCount = static_cast<std::int32_t>(bits::get(control, traits.boostStateCount));
    if (traits.boostLimitRegister != 0) {
        const std::uint32_t limit = readPciConfig(kNorthbridgeDevice, kFunctionMisc, traits.boostLimitRegister);
        profile.topMultiplier = decodeBoostedTopMultiplier(profile, bits::get(limit, traits.boostLimitMultiplier));
    }
}

} // namespace

bool identifyProcessor(ProcessorProfile& profile, std::uint32_t signature)
{
    profile.family =
        static_cast<std::int32_t>(bits::get(signature, kBaseFamily) + bits::get(signature, kExtendedFamily));
    const FamilyTraits* traits = findFamilyTraits(profile.family);
    if (traits == nullptr)
        return false;
    profile.model = static_cast<std::int32_t>(
        bits::set(bits::get(signature, kBaseModel), kModelBlock, bits::get(signature, kExtendedModel)));

    if (profile.model < traits->doubledReferenceClockBelowModel)
        profile.refClockFactor = 2.0;
    profile.eightBitVids = hasEightBitVids(*traits, profile.model);
    return true;
}

bool probeProcessor(ProcessorProfile& profile)
{
    if (cpuid(kCpuidVendor).ecx != kAmdVendorEcx)
        return false;

    if (!identifyProcessor(profile, cpuid(kCpuidFamilyModel).eax))
        return false;

    profile.coreCount = static_cast<std::int32_t>(bits::get(cpuid(kCpuidCoreCount).ecx, kCoreCountMinusOne) + 1);
    profile.pstateCount = static_cast<std::int32_t>(
        bits::get(readPciConfig(kNorthbridgeDevice, kFunctionMisc, kPciClockPowerControl), kPstateCountMinusOne) + 1);
    if (familyTraits(profile).hasNbPstateRegisters)
        profile.nbPstateCount = static_cast<std::int32_t>(
            bits::get(readPciConfig(kNorthbridgeDevice, kFunctionExtendedMisc, kPciNbPstateControl),
                      kNbPstateCountMinusOne)
            + 1);

    decodeLimits(profile, readMsr(0, kMsrCofvidStatus));

    profile.boostSupported = bits::test(cpuid(kCpuidPowerManagement).edx, kCpbSupported);
    if (profile.boostSupported)
        readBoostState(profile);
    return true;
}
