#pragma once
// How a core P-state register encodes its clock: for each encoding its fields,
// its divisors and limits, its decoder and its encoder, all in this module. The
// family traits name a family's encoding; everything else asks the functions
// below, and only this module tells the encodings apart.

#include <cstdint>

#include "cpu/clock_encoding.h"
#include "cpu/features.h"
#include "cpu/processor_profile.h"
#include "hw/bitfield.h"

// The clock divisors of the two divisor-ID encodings, indexed by divisor ID and
// closed by 0.0, which is how the encoder's search finds their length.
inline constexpr double divisorTableDivisors[] = {1.0, 1.5, 2.0, 3.0, 4.0, 6.0, 8.0, 12.0, 16.0, 0.0};
inline constexpr double powerOfTwoDivisors[] = {1.0, 2.0, 4.0, 8.0, 16.0, 0.0};

// Sets the profile's minMultiplier, maxMultiplier and topMultiplier from the
// maximum-clock field of the COFVID status register. A field of 0 means the
// processor does not state its limit.
void decodeClockLimits(ProcessorProfile& profile, std::uint32_t maxClockField);

// The boosted top multiplier from the boost limit field; a field of 0 gives what
// the processor's encoding gives for an unstated limit.
double decodeBoostedTopMultiplier(const ProcessorProfile& profile, std::uint32_t boostLimitField);

// The multiplier (units of 100 MHz) of a core P-state register's low half, or
// -1.0 for a divisor ID with no divisor: a clock we cannot name.
double decodeMultiplier(const ProcessorProfile& profile, std::uint32_t pstateRegister);

// The two codes of a clock: frequency ID and divisor ID on families 0x10, 0x12
// and 0x15; the divisor's integer digit and quarter digit on family 0x14.
struct MultiplierCodes {
    std::int32_t first = 0;
    std::int32_t second = 0;
};

// Turns a requested core multiplier (units of 100 MHz) into the two codes of the
// clock field of a core P-state register: the largest multiplier the encoding
// can express that does not exceed the request by more than a rounding of its
// sixth significant digit. Requests outside the range are brought into it
// silently. Throws ExceptionWithMessage on family 0x14 when the profile does
// not know the undivided clock (maxMultiplier 0). Touches no device.
MultiplierCodes encodeMultiplier(const ProcessorProfile& profile, double requested);

// The requested multiplier's codes put into the clock fields of a core P-state
// register value, unless the value's own codes already decode to the
// multiplier those codes give: then the value keeps its own. May throw what
// encodeMultiplier throws.
void replaceMultiplier(const ProcessorProfile& profile, bits::Rewrite<std::uint64_t>& pstateRegister,
                       double requested);

// A processor whose multipliers can be encoded: on family 0x14 only when the
// profile knows the undivided clock.
extern const Feature kEncodableMultipliers;

// Throws the refusal encodeMultiplier would throw for any request on this
// processor, so that it can be given before anything is written.
void requireEncodableMultipliers(const ProcessorProfile& profile);

// What the divisor table search chose: a numerator and the index of the
// divisor in its table.
struct DivisorChoice {
    std::int32_t numerator = 0;
    std::int32_t divisorIndex = 0;
};

// The largest numerator / divisor not above target, with numerators from
// minNumerator to maxNumerator and divisors from a table closed by 0.0 (at least
// one divisor). Of equal results the earliest divisor in the table wins.
DivisorChoice searchDivisorTable(const double* divisors, std::int32_t minNumerator, std::int32_t maxNumerator,
                                 double target);
