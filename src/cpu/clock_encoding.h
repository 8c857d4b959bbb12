#pragma once
// How a core P-state register encodes its clock, and the limits of each
// encoding. The probe and the P-state codec both read these, so each fact has
// this one home.

#include <cstdint>

enum class ClockEncoding {
    // Frequency ID (numerator - 16) below a divisor ID into a power-of-two
    // table: families 0x10 and 0x15.
    powerOfTwoDivisor,
    // Frequency ID above a divisor ID into family12Divisors: family 0x12.
    divisorTable,
    // The undivided clock over a divisor in quarter steps, coded as an integer
    // digit (divisor - 1) and a quarter digit: family 0x14.
    quarterStepDivisor,
};

// The frequency ID counts from a numerator of 16.
constexpr std::int32_t kLowestNumerator = 16;

// The highest numerator each divisor encoding can hold; also the top
// multiplier when the processor does not state its own.
constexpr std::int32_t kDivisorTableHighestNumerator = 47;
constexpr std::int32_t kPowerOfTwoHighestNumerator = 63;

// The quarter-step encoding divides by 1.0 to 26.5: quarter steps below a
// divisor of 16, only half steps from 16 on.
constexpr double kQuarterStepLowestDivisor = 1.0;
constexpr double kQuarterStepHighestDivisor = 26.5;
constexpr std::int32_t kQuarterStepHalfStepsFromDivisor = 16;
