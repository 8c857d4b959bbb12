#include "pstate/multiplier_encoding.h"

#include <cmath>

#include "cpu/clock_encoding.h"
#include "cpu/family_traits.h"
#include "cpu/features.h"
#include "pstate/core_pstate.h"

namespace {

// The report prints multipliers with six significant digits, so 16/3 reads
// 5.33333, a little below what it stands for. A request is taken as that much
// more, which brings such a text, and a multiplier decoded and encoded again,
// to the one meant; no two multipliers an encoding can express lie this close.
constexpr double kTypedMultiplierTolerance = 1.0 + 1e-5;

MultiplierCodes encodeQuarterSteps(const ProcessorProfile& profile, double multiplier)
{
    requireEncodableMultipliers(profile);

    // A request of zero (either sign) or below, or a NaN, asks for the slowest
    // clock. Dividing by -0.0 would give -infinity and, raised to 1.0, the
    // fastest one instead.
    double divisor = multiplier > 0.0 ? profile.maxMultiplier / multiplier : kQuarterStepHighestDivisor;
    if (divisor > kQuarterStepHighestDivisor)
        divisor = kQuarterStepHighestDivisor;
    if (divisor < kQuarterStepLowestDivisor)
        divisor = kQuarterStepLowestDivisor;

    double integerPart = 0.0;
    const double fraction = std::modf(divisor, &integerPart);
    auto integerDigit = static_cast<std::int32_t>(integerPart) - 1;
    // Round the divisor up, never down, so the clock never exceeds the
    // request (taken with its tolerance above).
    auto quarterDigit = static_cast<std::int32_t>(std::ceil(fraction * 4.0));
    if (integerPart >= static_cast<double>(kQuarterStepHalfStepsFromDivisor)) {
        if (quarterDigit == 1)
            quarterDigit = 2;
        else if (quarterDigit == 3)
            quarterDigit = 4;
    }
    if (quarterDigit == 4) {
        integerDigit += 1;
        quarterDigit = 0;
    }
    return MultiplierCodes{integerDigit, quarterDigit};
}

} // namespace

DivisorChoice searchDivisorTable(const double* divisors, std::int32_t minNumerator, std::int32_t maxNumerator,
                                 double target)
{
    std::int32_t count = 0;
    while (divisors[count] > 0.0)
        ++count;

    const double highest = static_cast<double>(maxNumerator) / divisors[0];
    const double lowest = static_cast<double>(minNumerator) / divisors[count - 1];
    if (target > highest)
        target = highest;
    // Written so that a NaN goes to the slowest clock too.
    if (!(target >= lowest))
        target = lowest;

    DivisorChoice choice;
    double best = -1.0;
    for (std::int32_t j = 0; j < count; ++j) {
        const double divisor = divisors[j];
        // Limited before the cut to an integer, which for the numerators in use
        // is the same as limiting after it and cannot overflow.
        const double product = target * divisor;
        std::int32_t numerator = 0;
        if (product >= static_cast<double>(maxNumerator))
            numerator = maxNumerator;
        else if (product < static_cast<double>(minNumerator))
            numerator = minNumerator;
        else
            numerator = static_cast<std::int32_t>(product);

        const double achieved = static_cast<double>(numerator) / divisor;
        // Strictly better only: of equal clocks the smaller divisor wins.
        if (achieved <= target && achieved > best) {
            choice = DivisorChoice{numerator, j};
            if (achieved == target)
                break;
            best = achieved;
        }
    }
    return choice;
}

namespace {

// The quarter-step encoding counts down from the undivided clock, which only
// the maximum multiplier gives.
bool encodesMultipliers(const ProcessorProfile& profile)
{
    return familyTraits(profile).clockEncoding != ClockEncoding::quarterStepDivisor || profile.maxMultiplier != 0.0;
}

} // namespace

const Feature kEncodableMultipliers{encodesMultipliers,
                                   "cannot encode multiplier (family 0x14) - unknown max multiplier"};

void requireEncodableMultipliers(const ProcessorProfile& profile)
{
    requireFeature(profile, kEncodableMultipliers);
}

MultiplierCodes encodeMultiplier(const ProcessorProfile& profile, double requested)
{
    const double multiplier = requested * kTypedMultiplierTolerance;
    const ClockEncoding encoding = familyTraits(profile).clockEncoding;
    if (encoding == ClockEncoding::quarterStepDivisor)
        return encodeQuarterSteps(profile, multiplier);

    const bool table = encoding == ClockEncoding::divisorTable;
    const DivisorChoice choice =
        searchDivisorTable(table ? family12Divisors : powerOfTwoDivisors, kLowestNumerator,
                           table ? kDivisorTableHighestNumerator : kPowerOfTwoHighestNumerator, multiplier);
    return MultiplierCodes{choice.numerator - kLowestNumerator, choice.divisorIndex};
}
