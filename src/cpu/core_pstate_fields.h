#pragma once
// The fields of a core P-state register (MSR corePstateMsr(n)), shared by the
// decoder, the writer and the table of writable registers, so that all three
// read, store and give back the same bits. Only the low 32 bits carry anything
// we use, and the enable bit.

#include "hw/bitfield.h"

namespace core_pstate_fields {

constexpr bits::Field kLowHalf{31, 0};

// Whether the P-state is enabled: the one bit of the upper half we look at.
constexpr bits::Field kPstateEnable = bits::bit(63);

// The clock: two codes whose fields depend on the encoding and live with it
// (cpu/clock_codec.cpp, which checks that every encoding fills these bits).
constexpr bits::Field kClock{8, 0};

// Core VID: 7 bits, or 8 bits (reaching into bit 16) on the 8-bit-VID models.
constexpr bits::Field kCoreVid7{15, 9};
constexpr bits::Field kCoreVid8{16, 9};

// Which northbridge P-state goes with this core P-state, where the family has
// the selection.
constexpr bits::Field kNbPstateSelect = bits::bit(22);

// The northbridge VID, where the family keeps it in the core P-state.
constexpr bits::Field kNbVid{31, 25};

} // namespace core_pstate_fields
