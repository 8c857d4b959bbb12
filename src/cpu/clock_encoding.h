#pragma once
// The ways a core P-state register encodes its clock. The family traits name a
// family's; the clock codec (cpu/clock_codec.h) is the only one that tells
// them apart.

enum class ClockEncoding {
    // Frequency ID (numerator - 16) below a divisor ID into powerOfTwoDivisors:
    // families 0x10 and 0x15.
    powerOfTwoDivisor,
    // Frequency ID above a divisor ID into divisorTableDivisors: family 0x12.
    divisorTable,
    // The undivided clock over a divisor in quarter steps, coded as an integer
    // digit (divisor - 1) and a quarter digit: family 0x14.
    quarterStepDivisor,
};
