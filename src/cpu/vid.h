#pragma once
// Conversion between voltage IDs and volts. VID 0 is 1.55 V; each step up in
// the code lowers the voltage by the profile's vidStep.

#include <cstdint>

#include "cpu/processor_profile.h"

double vidToVoltage(const ProcessorProfile& profile, std::int32_t vid);
std::int32_t voltageToVid(const ProcessorProfile& profile, double volts);
