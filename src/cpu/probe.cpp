#include "cpu/processor_profile.h"

#include "cpu/registers.h"
#include "hw/bitfield.h"
#include "hw/device.h"

namespace {

constexpr std::uint32_t kSupportedFamilies = 0x350000; // bits 0x10, 0x12, 0x14, 0x15

double multiplierOrDefault(std::uint32_t field, double whenZero)
{
    return field != 0 ? static_cast<double>(field) : whenZero;
}

} // namespace

void decodeLimits(ProcessorProfile& profile, std::uint64_t status)
{
    const auto f = static_cast<std::uint32_t>(bits::get(status, 54, 49));
    const auto vLow = static_cast<std::uint32_t>(bits::get(status, 48, 42));
    const auto vHigh = static_cast<std::uint32_t>(bits::get(status, 41, 35));

    switch (profile.family) {
    case 0x14:
        profile.maxMultiplier = f != 0 ? static_cast<double>(f + 16) : 0.0;
        profile.minMultiplier = f != 0 ? static_cast<double>(f + 16) / 26.5 : 0.0;
        break;
    case 0x12:
        profile.maxMultiplier = f != 0 ? static_cast<double>(f + 16) : 47.0;
        profile.minMultiplier = 1.0;
        break;
    default:
        profile.maxMultiplier = multiplierOrDefault(f, 63.0);
        profile.minMultiplier = 1.0;
        break;
    }
    profile.topMultiplier = profile.maxMultiplier;
    profile.minVoltage = vLow != 0 ? 1.55 - vLow * profile.vidStep : 0.0;
    profile.maxVoltage = vHigh != 0 ? 1.55 - vHigh * profile.vidStep : 1.55;
}

namespace {

void readBoostState(ProcessorProfile& profile)
{
    const std::uint64_t hwcr = readMsr(kMsrHardwareConfig);
    const std::uint32_t control = readPciConfig(kNorthbridgeDevice, kFunctionLinkControl, kPciBoostControl);
    const bool notDisabled = !bits::test(hwcr, kBoostDisableBit);
    const bool sourceOn = bits::get(control, kBoostSourceHi, kBoostSourceLo) == boostSourceOn(profile.family);
    profile.boostEnabled = sourceOn && notDisabled;

    switch (profile.family) {
    case 0x10:
        profile.boostLocked = bits::test(control, 31);
        profile.boostStateCount = static_cast<std::int32_t>(bits::get(control, 2, 2));
        profile.topMultiplier = multiplierOrDefault(
            bits::get(readPciConfig(kNorthbridgeDevice, kFunctionMisc, kPciFamily10BoostLimit), 25, 20), 63.0);
        break;
    case 0x12:
        profile.boostLocked = true;
        profile.boostStateCount = static_cast<std::int32_t>(bits::get(control, 4, 2));
        break;
    case 0x14:
        profile.boostLocked = bits::test(control, 31);
        profile.boostStateCount = static_cast<std::int32_t>(bits::get(control, 4, 2));
        break;
    default: // 0x15
        profile.boostLocked = bits::test(control, 31);
        profile.boostStateCount = static_cast<std::int32_t>(bits::get(control, 4, 2));
        profile.topMultiplier = multiplierOrDefault(
            bits::get(readPciConfig(kNorthbridgeDevice, kFunctionMisc, kPciFamily15BoostLimit), 5, 0), 63.0);
        break;
    }
}

} // namespace

bool hasEightBitVids(const ProcessorProfile& profile)
{
    // Family 0x15 models 0x10-0x1F, 0x30-0x3F and 0x60-0x7F drive their core and
    // northbridge voltage regulators with the 8-bit serial VID code, 6.25 mV a
    // step; every other supported model uses 7-bit VIDs at 12.5 mV. Reading or
    // writing such a VID at the wrong scale would misstate or overvolt the part.
    if (profile.family != 0x15)
        return false;
    const int block = profile.model & 0xF0;
    return block == 0x10 || block == 0x30 || block == 0x60 || block == 0x70;
}

bool identifyProcessor(ProcessorProfile& profile, std::uint32_t signature)
{
    profile.family = static_cast<std::int32_t>(bits::get(signature, 11, 8) + bits::get(signature, 27, 20));
    if (profile.family > 0x15 || (kSupportedFamilies & (std::uint32_t{1} << profile.family)) == 0)
        return false;
    profile.model = static_cast<std::int32_t>((bits::get(signature, 19, 16) << 4) | bits::get(signature, 7, 4));

    if (profile.family == 0x10)
        profile.refClockFactor = 2.0;
    if (profile.family == 0x15) {
        if (hasEightBitVids(profile))
            profile.vidStep = 0.00625;
        if ((profile.model & 0xF0) == 0x00)
            profile.refClockFactor = 2.0;
    }
    return true;
}

bool probeProcessor(ProcessorProfile& profile)
{
    if (cpuid(kCpuidVendor).ecx != kAmdVendorEcx)
        return false;

    if (!identifyProcessor(profile, cpuid(kCpuidFamilyModel).eax))
        return false;

    profile.coreCount = static_cast<std::int32_t>(bits::get(cpuid(kCpuidCoreCount).ecx, 7, 0) + 1);
    profile.pstateCount = static_cast<std::int32_t>(
        bits::get(readPciConfig(kNorthbridgeDevice, kFunctionMisc, kPciClockPowerControl), 10, 8) + 1);
    if (profile.family == 0x15)
        profile.nbPstateCount = static_cast<std::int32_t>(
            bits::get(readPciConfig(kNorthbridgeDevice, kFunctionExtendedMisc, kPciNbPstateControl), 1, 0) + 1);

    decodeLimits(profile, readMsr(kMsrCofvidStatus));

    profile.boostSupported = bits::test(cpuid(kCpuidPowerManagement).edx, 9);
    if (profile.boostSupported)
        readBoostState(profile);
    return true;
}
