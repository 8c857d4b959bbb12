// The probe's decoding steps, apart from the device reads: the emulator decodes
// a machine file with them, and code built without any device code (the
// argument parser's fuzzer) makes its profiles with them.

#include "cpu/clock_codec.h"
#include "cpu/family_traits.h"
#include "cpu/probe.h"
#include "cpu/registers.h"
#include "cpu/vid.h"
#include "hw/bitfield.h"

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

void decodeLimits(ProcessorProfile& profile, std::uint64_t status)
{
    const auto vLow = static_cast<std::int32_t>(bits::get(status, kMinVoltageVid));
    const auto vHigh = static_cast<std::int32_t>(bits::get(status, kMaxVoltageVid));
    decodeClockLimits(profile, static_cast<std::uint32_t>(bits::get(status, kMaxClockLimit)));
    profile.minVoltage = vLow != 0 ? vidToVoltage(profile, vLow) : 0.0;
    profile.maxVoltage = vidToVoltage(profile, vHigh);
}

std::int32_t decodeBoostStateCount(const ProcessorProfile& profile, std::uint32_t boostControl)
{
    return static_cast<std::int32_t>(bits::get(boostControl, familyTraits(profile).boostStateCount));
}
