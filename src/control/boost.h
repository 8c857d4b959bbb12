#pragma once
// The boost and APM switches: each one read-modify-write of its own field.
// Boost has two: each core's boost-disable bit, and the northbridge's boost
// source; APM is a bit of the northbridge.

#include "cpu/processor_profile.h"
#include "cpu/registers.h"

void setBoostOnEveryCore(const ProcessorProfile& profile, bool enabled);
void setBoostSource(const ProcessorProfile& profile, bool enabled);
void setApmEnabled(const ProcessorProfile& profile, bool enabled);

// Whether core 0's boost-disable bit and node 0's boost source say the same,
// as the two switches above set them together: both on, or both off.
bool boostHalvesAgree(const ProcessorProfile& profile);
