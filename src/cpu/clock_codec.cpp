#include "cpu/clock_codec.h"

#include <cmath>
#include <cstddef>

#include "cpu/core_pstate_fields.h"
#include "cpu/family_traits.h"
#include "cpu/features.h"

namespace {

// The frequency ID counts from a numerator of 16.
constexpr std::int32_t kLowestNumerator = 16;
constexpr auto kNumeratorOffset = static_cast<std::uint32_t>(kLowestNumerator);

// The report prints multipliers with six significant digits, so 16/3 reads
// 5.33333, a little below what it stands for. A request is taken as that much
// more, which brings such a text, and a multiplier decoded and encoded again,
// to the one meant; no two multipliers an encoding can express lie this close.
constexpr double kTypedMultiplierTolerance = 1.0 + 1e-5;

constexpr double kAbsentMultiplier = -1.0;

// numerator / divisors[divisorId]. A divisor ID with no entry in its table
// (9-15 of the divisor table, 5-7 of the power-of-two encoding) is a clock we
// cannot name: it decodes as absent rather than as an invented multiplier, so
// that a record holding it, used as a request, leaves the clock alone.
template <std::size_t N>
double divideByTableEntry(std::uint32_t numerator, const double (&divisors)[N], std::uint32_t divisorId)
{
    if (divisorId >= N - 1) // the last entry is the closing 0.0
        return kAbsentMultiplier;
    return static_cast<double>(numerator) / divisors[divisorId];
}

MultiplierCodes searchCodes(const double* divisors, std::int32_t highestNumerator, double multiplier)
{
    const DivisorChoice choice = searchDivisorTable(divisors, kLowestNumerator, highestNumerator, multiplier);
    return MultiplierCodes{choice.numerator - kLowestNumerator, choice.divisorIndex};
}

// Power-of-two divisors: frequency ID, then a divisor ID above it. The limit
// field holds the top multiplier itself.
namespace power_of_two {

constexpr bits::Field kFrequencyId{5, 0};
constexpr bits::Field kDivisorId{8, 6};
// The highest numerator the encoding holds; also the top multiplier when the
// processor does not state its own.
constexpr std::int32_t kHighestNumerator = 63;

void decodeLimits(ProcessorProfile& profile, std::uint32_t field)
{
    profile.maxMultiplier = field != 0 ? static_cast<double>(field) : static_cast<double>(kHighestNumerator);
    profile.minMultiplier = 1.0;
}

double decode(const ProcessorProfile& /*profile*/, std::uint32_t r)
{
    return divideByTableEntry(bits::get(r, kFrequencyId) + kNumeratorOffset, powerOfTwoDivisors,
                              bits::get(r, kDivisorId));
}

MultiplierCodes encode(const ProcessorProfile& /*profile*/, double multiplier)
{
    return searchCodes(powerOfTwoDivisors, kHighestNumerator, multiplier);
}

} // namespace power_of_two

// Divisor table: frequency ID above a divisor ID into divisorTableDivisors. The
// limit field holds the top numerator, less 16.
namespace divisor_table {

constexpr bits::Field kFrequencyId{8, 4};
constexpr bits::Field kDivisorId{3, 0};
constexpr std::int32_t kHighestNumerator = 47;

void decodeLimits(ProcessorProfile& profile, std::uint32_t field)
{
    profile.maxMultiplier =
        field != 0 ? static_cast<double>(field + kNumeratorOffset) : static_cast<double>(kHighestNumerator);
    profile.minMultiplier = 1.0;
}

double decode(const ProcessorProfile& /*profile*/, std::uint32_t r)
{
    return divideByTableEntry(bits::get(r, kFrequencyId) + kNumeratorOffset, divisorTableDivisors,
                              bits::get(r, kDivisorId));
}

MultiplierCodes encode(const ProcessorProfile& /*profile*/, double multiplier)
{
    return searchCodes(divisorTableDivisors, kHighestNumerator, multiplier);
}

} // namespace divisor_table

// Quarter steps: the divisor itself as an integer digit (divisor - 1) and a
// quarter digit, dividing the undivided clock, which the limit field holds
// (less 16) and the profile keeps as maxMultiplier. The divisor runs from 1.0
// to 26.5: quarter steps below 16, only half steps from 16 on, where the
// hardware ignores the odd-quarter bit of the quarter digit.
namespace quarter_step {

constexpr bits::Field kIntegerDigit{8, 4};
constexpr bits::Field kQuarterDigit{3, 0};
constexpr bits::Field kOddQuarter = bits::bit(0); // of the quarter digit

constexpr double kLowestDivisor = 1.0;
constexpr double kHighestDivisor = 26.5;
constexpr std::int32_t kHalfStepsFromDivisor = 16;
// The same, as the integer digit that is the divisor - 1.
constexpr auto kHalfStepsFromDigit = static_cast<std::uint32_t>(kHalfStepsFromDivisor - 1);

void decodeLimits(ProcessorProfile& profile, std::uint32_t field)
{
    // The slowest clock is the undivided one over the largest divisor; both
    // are 0 when the processor does not state the undivided clock.
    const auto undivided = static_cast<double>(field + kNumeratorOffset);
    profile.maxMultiplier = field != 0 ? undivided : 0.0;
    profile.minMultiplier = field != 0 ? undivided / kHighestDivisor : 0.0;
}

double decode(const ProcessorProfile& profile, std::uint32_t r)
{
    const std::uint32_t integerDigit = bits::get(r, kIntegerDigit);
    std::uint32_t quarterDigit = bits::get(r, kQuarterDigit);
    if (integerDigit >= kHalfStepsFromDigit)
        quarterDigit = bits::set(quarterDigit, kOddQuarter, 0);
    // maxMultiplier is the undivided clock here; 0 when the processor does
    // not tell it, and then every P-state reads as 0.0.
    return profile.maxMultiplier /
           (static_cast<double>(integerDigit) + 1.0 + static_cast<double>(quarterDigit) * 0.25);
}

MultiplierCodes encode(const ProcessorProfile& profile, double multiplier)
{
    requireEncodableMultipliers(profile);

    // A request of zero (either sign) or below, or a NaN, asks for the slowest
    // clock. Dividing by -0.0 would give -infinity and, raised to 1.0, the
    // fastest one instead.
    double divisor = multiplier > 0.0 ? profile.maxMultiplier / multiplier : kHighestDivisor;
    if (divisor > kHighestDivisor)
        divisor = kHighestDivisor;
    if (divisor < kLowestDivisor)
        divisor = kLowestDivisor;

    double integerPart = 0.0;
    const double fraction = std::modf(divisor, &integerPart);
    auto integerDigit = static_cast<std::int32_t>(integerPart) - 1;
    // Round the divisor up, never down, so the clock never exceeds the
    // request (taken with its tolerance above).
    auto quarterDigit = static_cast<std::int32_t>(std::ceil(fraction * 4.0));
    if (integerPart >= static_cast<double>(kHalfStepsFromDivisor)) {
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

} // namespace quarter_step

// What an encoding does, one row each.
struct Codec {
    void (*decodeLimits)(ProcessorProfile&, std::uint32_t);
    // The top multiplier when the processor does not state it; 0 where it
    // depends on the undivided clock, which the processor did not state either.
    double unstatedTopMultiplier;
    // Whether every multiplier is a division of the undivided clock, which
    // must then be known before anything can be encoded.
    bool dividesUndividedClock;
    double (*decode)(const ProcessorProfile&, std::uint32_t);
    MultiplierCodes (*encode)(const ProcessorProfile&, double);
    // Where the two codes go in the register.
    bits::Field firstCode;
    bits::Field secondCode;
};

constexpr Codec kPowerOfTwo{power_of_two::decodeLimits,
                            static_cast<double>(power_of_two::kHighestNumerator),
                            false,
                            power_of_two::decode,
                            power_of_two::encode,
                            power_of_two::kFrequencyId,
                            power_of_two::kDivisorId};
constexpr Codec kDivisorTable{divisor_table::decodeLimits,
                              static_cast<double>(divisor_table::kHighestNumerator),
                              false,
                              divisor_table::decode,
                              divisor_table::encode,
                              divisor_table::kFrequencyId,
                              divisor_table::kDivisorId};
constexpr Codec kQuarterStep{quarter_step::decodeLimits,
                             0.0,
                             true,
                             quarter_step::decode,
                             quarter_step::encode,
                             quarter_step::kIntegerDigit,
                             quarter_step::kQuarterDigit};

// Every encoding's two codes fill the clock bits of the register, the field
// the table of writable registers gives back; no more, no fewer.
constexpr bool fillsClockField(const Codec& codec)
{
    const std::uint64_t first = bits::mask(codec.firstCode);
    const std::uint64_t second = bits::mask(codec.secondCode);
    return (first & second) == 0 && (first | second) == bits::mask(core_pstate_fields::kClock);
}
static_assert(fillsClockField(kPowerOfTwo) && fillsClockField(kDivisorTable) && fillsClockField(kQuarterStep),
              "a clock encoding outside the core P-state's clock field");

const Codec& codecOf(const ProcessorProfile& profile)
{
    switch (familyTraits(profile).clockEncoding) {
    case ClockEncoding::divisorTable:
        return kDivisorTable;
    case ClockEncoding::quarterStepDivisor:
        return kQuarterStep;
    case ClockEncoding::powerOfTwoDivisor:
        break;
    }
    return kPowerOfTwo;
}

} // namespace

void decodeClockLimits(ProcessorProfile& profile, std::uint32_t maxClockField)
{
    codecOf(profile).decodeLimits(profile, maxClockField);
    profile.topMultiplier = profile.maxMultiplier;
}

double decodeBoostedTopMultiplier(const ProcessorProfile& profile, std::uint32_t boostLimitField)
{
    // The field holds the multiplier itself in every encoding that has it.
    return boostLimitField != 0 ? static_cast<double>(boostLimitField) : codecOf(profile).unstatedTopMultiplier;
}

double decodeMultiplier(const ProcessorProfile& profile, std::uint32_t pstateRegister)
{
    return codecOf(profile).decode(profile, pstateRegister);
}

MultiplierCodes encodeMultiplier(const ProcessorProfile& profile, double requested)
{
    return codecOf(profile).encode(profile, requested * kTypedMultiplierTolerance);
}

void replaceMultiplier(const ProcessorProfile& profile, bits::Rewrite<std::uint64_t>& pstateRegister,
                       double requested)
{
    const Codec& codec = codecOf(profile);
    const MultiplierCodes codes = codec.encode(profile, requested * kTypedMultiplierTolerance);
    // Codes are never negative; set() cuts them to their fields.
    const std::uint64_t own = pstateRegister.value;
    std::uint64_t encoded = bits::set(own, codec.firstCode, static_cast<std::uint64_t>(codes.first));
    encoded = bits::set(encoded, codec.secondCode, static_cast<std::uint64_t>(codes.second));
    // Several pairs of codes give some multipliers (16/2 and 8/1). A register
    // that already runs the multiplier the request comes to keeps its own
    // pair, the one its firmware chose: giving a machine its own settings
    // again then changes nothing. Compared as decoded, the only clock the
    // processor sees; the two fields lie in the low half.
    const auto clockOf = [&](std::uint64_t value) { return codec.decode(profile, static_cast<std::uint32_t>(value)); };
    const std::uint64_t chosen = clockOf(encoded) == clockOf(own) ? own : encoded;
    bits::replace(pstateRegister, codec.firstCode, bits::get(chosen, codec.firstCode));
    bits::replace(pstateRegister, codec.secondCode, bits::get(chosen, codec.secondCode));
}

namespace {

// An encoding that divides the undivided clock needs the maximum multiplier,
// which gives it.
bool encodesMultipliers(const ProcessorProfile& profile)
{
    return !codecOf(profile).dividesUndividedClock || profile.maxMultiplier != 0.0;
}

} // namespace

const Feature kEncodableMultipliers{encodesMultipliers,
                                   "cannot encode multiplier (family 0x14) - unknown max multiplier"};

void requireEncodableMultipliers(const ProcessorProfile& profile)
{
    requireFeature(profile, kEncodableMultipliers);
}

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
