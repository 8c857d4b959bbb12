#pragma once
// Turns a requested core multiplier (units of 100 MHz) into the two codes of the
// clock field of a core P-state register: the largest multiplier the encoding
// can express that does not exceed the request by more than a rounding of its
// sixth significant digit. Requests outside the range are brought into it
// silently.

#include <cstdint>

#include "cpu/features.h"
#include "cpu/processor_profile.h"

// The two codes of a clock: frequency ID and divisor ID on families 0x10, 0x12
// and 0x15; the divisor's integer digit and quarter digit on family 0x14.
struct MultiplierCodes {
    std::int32_t first = 0;
    std::int32_t second = 0;
};

// What the divisor table search chose: a numerator and the index of the
// divisor in its table.
struct DivisorChoice {
    std::int32_t numerator = 0;
    std::int32_t divisorIndex = 0;
};

// Throws ExceptionWithMessage on family 0x14 when the profile does not know the
// undivided clock (maxMultiplier 0). Touches no device.
MultiplierCodes encodeMultiplier(const ProcessorProfile& profile, double requested);

// A processor whose multipliers can be encoded: on family 0x14 only when the
// profile knows the undivided clock.
extern const Feature kEncodableMultipliers;

// Throws the refusal encodeMultiplier would throw for any request on this
// processor, so that it can be given before anything is written.
void requireEncodableMultipliers(const ProcessorProfile& profile);

// The largest numerator / divisor not above target, with numerators from
// minNumerator to maxNumerator and divisors from a table closed by 0.0 (at least
// one divisor). Of equal results the earliest divisor in the table wins.
DivisorChoice searchDivisorTable(const double* divisors, std::int32_t minNumerator, std::int32_t maxNumerator,
                                 double target);
