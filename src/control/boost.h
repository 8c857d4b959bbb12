#pragma once
// The boost and APM switches: each one read-modify-write of its own field.

#include "cpu/processor_profile.h"

// Fields of the boost control register (function 4, 0x15C) owned here. The
// boost state count and the lock bit share the register and are only read, by
// the probe; they go back as read.
constexpr unsigned kBoostSourceHi = 1;
constexpr unsigned kBoostSourceLo = 0;
constexpr unsigned kApmEnableBit = 7;

void setCpbEnabled(const ProcessorProfile& profile, bool enabled);
void setBoostSource(const ProcessorProfile& profile, bool enabled);
void setApmEnabled(const ProcessorProfile& profile, bool enabled);
