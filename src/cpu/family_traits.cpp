#include "cpu/family_traits.h"

#include <algorithm>

#include "cpu/registers.h"

namespace {

constexpr FamilyTraits family10()
{
    FamilyTraits traits;
    traits.family = 0x10;
    traits.pstateRegisterCount = 5;
    traits.doubledReferenceClockBelowModel = 0x100; // every model
    traits.hasNbPstateSelect = true;
    traits.hasNbVidInCorePstate = true;
    traits.hasNodes = true;
    // Both boost sources.
    traits.boostSourceOn = 3;
    traits.boostStateCount = kFamily10BoostStateCount;
    traits.boostLimitRegister = kPciFamily10BoostLimit;
    traits.boostLimitMultiplier = kFamily10BoostLimitMultiplier;
    return traits;
}

constexpr FamilyTraits family12()
{
    FamilyTraits traits;
    traits.family = 0x12;
    traits.clockEncoding = ClockEncoding::divisorTable;
    traits.boostAlwaysLocked = true;
    return traits;
}

constexpr FamilyTraits family14()
{
    FamilyTraits traits;
    traits.family = 0x14;
    traits.clockEncoding = ClockEncoding::quarterStepDivisor;
    return traits;
}

constexpr FamilyTraits family15()
{
    FamilyTraits traits;
    traits.family = 0x15;
    traits.doubledReferenceClockBelowModel = 0x10;
    // Reading or writing such a VID at the wrong scale would misstate or
    // overvolt the part.
    traits.eightBitVidModels[0] = ModelRange{0x10, 0x1F};
    traits.eightBitVidModels[1] = ModelRange{0x30, 0x3F};
    traits.eightBitVidModels[2] = ModelRange{0x60, 0x7F};
    traits.hasNbPstateSelect = true;
    traits.hasNbPstateRegisters = true;
    traits.hasApm = true;
    traits.tctlElsewhereModels = ModelRange{0x60, 0x7F};
    traits.hasTctlRangeSelect = true;
    traits.hasNodes = true;
    traits.boostLimitRegister = kPciFamily15BoostLimit;
    traits.boostLimitMultiplier = kFamily15BoostLimitMultiplier;
    return traits;
}

constexpr FamilyTraits kFamilyTraits[] = {family10(), family12(), family14(), family15()};
constexpr FamilyTraits kUnsupportedFamily{};

} // namespace

const FamilyTraits* findFamilyTraits(std::int32_t family)
{
    for (const FamilyTraits& traits : kFamilyTraits) {
        if (traits.family == family)
            return &traits;
    }
    return nullptr;
}

const FamilyTraits& familyTraits(const ProcessorProfile& profile)
{
    const FamilyTraits* traits = findFamilyTraits(profile.family);
    return traits != nullptr ? *traits : kUnsupportedFamily;
}

bool hasEightBitVids(const FamilyTraits& traits, std::int32_t model)
{
    return std::any_of(traits.eightBitVidModels.begin(), traits.eightBitVidModels.end(),
                       [model](const ModelRange& range) { return model >= range.first && model <= range.last; });
}
