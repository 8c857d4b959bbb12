#include "cpu/probe.h"

#include "cpu/family_traits.h"
#include "cpu/registers.h"
#include "cpu/vid.h"
#include "hw/bitfield.h"
#include "hw/device.h"

namespace {

// VIDs of the 8-bit serial code step by 6.25 mV.
constexpr double kEightBitVidStep = 0.00625;

double multiplierOrDefault(std::uint32_t field, double whenZero)
{
    return field != 0 ? static_cast<double>(field) : whenZero;
}

// The top multiplier of a processor that does not state its own: the highest
// its clock encoding can hold, or 0 where that depends on the undivided clock
// the processor did not state either.
double unstatedTopMultiplier(ClockEncoding encoding)
{
    switch (encoding) {
    case ClockEncoding::divisorTable:
        return static_cast<double>(kDivisorTableHighestNumerator);
    case ClockEncoding::quarterStepDivisor:
        return 0.0;
    case ClockEncoding::powerOfTwoDivisor:
        break;
    }
    return static_cast<double>(kPowerOfTwoHighestNumerator);
}

} // namespace

void decodeLimits(ProcessorProfile& profile, std::uint64_t status)
{
    const auto f = static_cast<std::uint32_t>(bits::get(status, kMaxClockLimit));
    const auto vLow = static_cast<std::int32_t>(bits::get(status, kMinVoltageVid));
    const auto vHigh = static_cast<std::int32_t>(bits::get(status, kMaxVoltageVid));
    const ClockEncoding encoding = familyTraits(profile).clockEncoding;
    const double unstated = unstatedTopMultiplier(encoding);
    const auto numerator = static_cast<double>(f + static_cast<std::uint32_t>(kLowestNumerator));

    switch (encoding) {
    case ClockEncoding::quarterStepDivisor:
        // The field holds the undivided clock; the slowest is it over the
        // largest divisor.
        profile.maxMultiplier = f != 0 ? numerator : unstated;
        profile.minMultiplier = f != 0 ? numerator / kQuarterStepHighestDivisor : 0.0;
        break;
    case ClockEncoding::divisorTable:
        profile.maxMultiplier = f != 0 ? numerator : unstated;
        profile.minMultiplier = 1.0;
        break;
    case ClockEncoding::powerOfTwoDivisor:
        profile.maxMultiplier = multiplierOrDefault(f, unstated);
        profile.minMultiplier = 1.0;
        break;
    }
    profile.topMultiplier = profile.maxMultiplier;
    profile.minVoltage = vLow != 0 ? vidToVoltage(profile, vLow) : 0.0;
    profile.maxVoltage = vidToVoltage(profile, vHigh);
}

namespace {

void readBoostState(ProcessorProfile& profile)
{
    const FamilyTraits& traits = familyTraits(profile);
    const std::uint64_t hwcr = readMsr(0, kMsrHardwareConfig);
    const std::uint32_t control = readPciConfig(kNorthbridgeDevice, kFunctionLinkControl, kPciBoostControl);
    profile.boostDisabled = bits::test(hwcr, kBoostDisable);
    const bool notDisabled = !profile.boostDisabled;
    const bool sourceOn = bits::get(control, kBoostSource) == traits.boostSourceOn;
    profile.boostEnabled = sourceOn && notDisabled;
    profile.boostLocked = traits.boostAlwaysLocked || bits::test(control, kBoostLock);
    profile.boostStateCount = static_cast<std::int32_t>(bits::get(control, traits.boostStateCount));
    if (traits.boostLimitRegister != 0) {
        const std::uint32_t limit = readPciConfig(kNorthbridgeDevice, kFunctionMisc, traits.boostLimitRegister);
        profile.topMultiplier = multiplierOrDefault(bits::get(limit, traits.boostLimitMultiplier),
                                                    unstatedTopMultiplier(traits.clockEncoding));
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
    if (hasEightBitVids(profile))
        profile.vidStep = kEightBitVidStep;
    return true;
}

bool probeProcessor(ProcessorProfile& profile)
{
    if (cpuid(kCpuidVendor).ecx != kAmdVendorEcx)
        return false;

    if (!identifyProcessor(profile, cpuid(kCpuidFamilyModel).eax))
        return false;

    profile.coreCount = decodeCoreCount(cpuid(kCpuidCoreCount).ecx);
    profile.pstateCount = static_cast<std::int32_t>(
        bits::get(readPciConfig(kNorthbridgeDevice, kFunctionMisc, kPciClockPowerControl), kPstateCountMinusOne) + 1);
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
