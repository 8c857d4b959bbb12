#pragma once
// The fields of a core P-state register (MSR kMsrPstateBase + n), shared by the
// decoder and the writer so that both read and store the same bits. Each field
// is an inclusive bit range hi..lo; only the low 32 bits carry anything we use.

namespace core_pstate_fields {

struct Field {
    unsigned hi;
    unsigned lo;
};

// The clock occupies bits 8..0 on every family, split differently per family.
constexpr Field kClock{8, 0};

// Families 0x10 and 0x15: frequency ID, then a power-of-two divisor ID above it.
constexpr Field kPowerOfTwoFrequencyId{5, 0};
constexpr Field kPowerOfTwoDivisorId{8, 6};

// Family 0x12: frequency ID above a divisor ID into family12Divisors.
constexpr Field kFamily12FrequencyId{8, 4};
constexpr Field kFamily12DivisorId{3, 0};

// Family 0x14: the divisor itself as an integer digit (divisor - 1) and a
// quarter digit.
constexpr Field kFamily14IntegerDigit{8, 4};
constexpr Field kFamily14QuarterDigit{3, 0};
// From integer digit 15 on (a divisor of 16 and more) only half steps exist;
// the hardware ignores bit 0 of the quarter digit there.
constexpr unsigned kFamily14HalfStepsFromDigit = 15;

// Core VID: 7 bits, or 8 bits (reaching into bit 16) on the 8-bit-VID models.
constexpr Field kCoreVid7{15, 9};
constexpr Field kCoreVid8{16, 9};

// Families 0x10 and 0x15: which northbridge P-state goes with this core P-state.
constexpr unsigned kNbPstateBit = 22;

// Family 0x10 only: the northbridge VID.
constexpr Field kNbVid{31, 25};

} // namespace core_pstate_fields
