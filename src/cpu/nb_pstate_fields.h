#pragma once
// The fields of a northbridge P-state register (function 5, nbPstateAddress(n)),
// shared by its codec (pstate/nb_pstate.cpp) and the table of writable
// registers. Every other bit belongs to the hardware and is written back as
// read.

#include "hw/bitfield.h"

namespace nb_pstate_fields {

// Only read by a token: the firmware's choice, which a restore gives back.
constexpr bits::Field kPstateEnable = bits::bit(0);
constexpr bits::Field kFrequencyId{5, 1};
constexpr bits::Field kDivisor = bits::bit(7);
constexpr bits::Field kVid{16, 10};             // VID bits 6..0
constexpr bits::Field kVidBit7 = bits::bit(21); // only on the 8-bit-VID models

} // namespace nb_pstate_fields
