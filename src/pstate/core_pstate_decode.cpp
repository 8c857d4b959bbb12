#include <cstddef>

#include "cpu/clock_encoding.h"
#include "cpu/family_traits.h"
#include "hw/bitfield.h"
#include "hw/device.h"
#include "pstate/core_pstate.h"
#include "pstate/core_pstate_fields.h"

namespace {

constexpr double kAbsentMultiplier = -1.0;
constexpr std::int32_t kAbsent = -1;

constexpr auto kNumeratorOffset = static_cast<std::uint32_t>(kLowestNumerator);

// From this integer digit on only half steps exist: the digit is the divisor - 1.
constexpr auto kHalfStepsFromDigit = static_cast<std::uint32_t>(kQuarterStepHalfStepsFromDivisor - 1);

// numerator / divisors[divisorId]. A divisor ID with no entry in its table
// (9-15 of family 0x12, 5-7 of the power-of-two encoding) is a clock we cannot
// name: it decodes as absent rather than as an invented multiplier, so that a
// record holding it, used as a request, leaves the clock alone.
template <std::size_t N>
double divideByTableEntry(std::uint32_t numerator, const double (&divisors)[N], std::uint32_t divisorId)
{
    if (divisorId >= N - 1) // the last entry is the closing 0.0
        return kAbsentMultiplier;
    return static_cast<double>(numerator) / divisors[divisorId];
}

double decodeMultiplier(const ProcessorProfile& profile, std::uint32_t r)
{
    using namespace core_pstate_fields;
    switch (familyTraits(profile).clockEncoding) {
    case ClockEncoding::divisorTable:
        return divideByTableEntry(bits::get(r, kTableFrequencyId) + kNumeratorOffset, family12Divisors,
                                  bits::get(r, kTableDivisorId));
    case ClockEncoding::quarterStepDivisor: {
        const std::uint32_t integerDigit = bits::get(r, kIntegerDigit);
        std::uint32_t quarterDigit = bits::get(r, kQuarterDigit);
        if (integerDigit >= kHalfStepsFromDigit)
            quarterDigit = bits::set(quarterDigit, kOddQuarter, 0);
        // maxMultiplier is the undivided clock here; 0 when the processor does
        // not tell it, and then every P-state reads as 0.0.
        return profile.maxMultiplier /
               (static_cast<double>(integerDigit) + 1.0 + static_cast<double>(quarterDigit) * 0.25);
    }
    case ClockEncoding::powerOfTwoDivisor:
        break;
    }
    return divideByTableEntry(bits::get(r, kPowerOfTwoFrequencyId) + kNumeratorOffset, powerOfTwoDivisors,
                              bits::get(r, kPowerOfTwoDivisorId));
}

} // namespace

CorePstate decodeCorePstate(const ProcessorProfile& profile, std::int32_t index, std::uint64_t value)
{
    using namespace core_pstate_fields;
    const FamilyTraits& traits = familyTraits(profile);
    // The upper half holds nothing we decode.
    const auto r = static_cast<std::uint32_t>(bits::get(value, kLowHalf));

    CorePstate pstate;
    pstate.index = index;
    pstate.multiplier = decodeMultiplier(profile, r);
    pstate.vid = static_cast<std::int32_t>(bits::get(r, hasEightBitVids(profile) ? kCoreVid8 : kCoreVid7));
    pstate.nbPstate = traits.hasNbPstateSelect ? static_cast<std::int32_t>(bits::get(r, kNbPstateSelect)) : kAbsent;
    pstate.nbVid = traits.hasNbVidInCorePstate ? static_cast<std::int32_t>(bits::get(r, kNbVid)) : kAbsent;
    return pstate;
}

CorePstate readCorePstate(const ProcessorProfile& profile, std::int32_t index)
{
    return decodeCorePstate(profile, index, readMsr(0, corePstateMsr(index)));
}
