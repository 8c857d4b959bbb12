#include <cstddef>

#include "hw/bitfield.h"
#include "hw/device.h"
#include "pstate/core_pstate.h"
#include "pstate/core_pstate_fields.h"

namespace {

using core_pstate_fields::Field;

constexpr double kAbsentMultiplier = -1.0;
constexpr std::int32_t kAbsent = -1;

// The frequency ID counts from a numerator of 16.
constexpr std::uint32_t kNumeratorOffset = 16;

std::uint32_t field(std::uint32_t value, Field f)
{
    return bits::get(value, f.hi, f.lo);
}

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
    switch (profile.family) {
    case 0x12:
        return divideByTableEntry(field(r, kFamily12FrequencyId) + kNumeratorOffset, family12Divisors,
                                  field(r, kFamily12DivisorId));
    case 0x14: {
        const std::uint32_t integerDigit = field(r, kFamily14IntegerDigit);
        std::uint32_t quarterDigit = field(r, kFamily14QuarterDigit);
        if (integerDigit >= kFamily14HalfStepsFromDigit)
            quarterDigit = bits::set(quarterDigit, 0, 0, 0);
        // maxMultiplier is the undivided clock here; 0 when the processor does
        // not tell it, and then every P-state reads as 0.0.
        return profile.maxMultiplier /
               (static_cast<double>(integerDigit) + 1.0 + static_cast<double>(quarterDigit) * 0.25);
    }
    default: // 0x10 and 0x15
        return divideByTableEntry(field(r, kPowerOfTwoFrequencyId) + kNumeratorOffset, powerOfTwoDivisors,
                                  field(r, kPowerOfTwoDivisorId));
    }
}

} // namespace

CorePstate decodeCorePstate(const ProcessorProfile& profile, std::int32_t index, std::uint64_t value)
{
    using namespace core_pstate_fields;
    // The upper half holds nothing we decode.
    const auto r = static_cast<std::uint32_t>(bits::get(value, 31, 0));
    const bool hasNbPstate = profile.family == 0x10 || profile.family == 0x15;

    CorePstate pstate;
    pstate.index = index;
    pstate.multiplier = decodeMultiplier(profile, r);
    pstate.vid = static_cast<std::int32_t>(field(r, hasEightBitVids(profile) ? kCoreVid8 : kCoreVid7));
    pstate.nbPstate = hasNbPstate ? static_cast<std::int32_t>(bits::get(r, kNbPstateBit, kNbPstateBit)) : kAbsent;
    pstate.nbVid = profile.family == 0x10 ? static_cast<std::int32_t>(field(r, kNbVid)) : kAbsent;
    return pstate;
}

CorePstate readCorePstate(const ProcessorProfile& profile, std::int32_t index)
{
    return decodeCorePstate(profile, index, readMsr(kMsrPstateBase + static_cast<std::uint32_t>(index)));
}
