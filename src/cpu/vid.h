#pragma once
// Conversion between voltage IDs and volts. VID 0 is 1.55 V; each step up in
// the code lowers the voltage by one step of the profile's VID width.

#include <cstdint>

#include "cpu/processor_profile.h"

// Volts a VID step: 0.00625 for 8-bit VIDs, 0.0125 for 7-bit ones.
double vidStep(const ProcessorProfile& profile);

double vidToVoltage(const ProcessorProfile& profile, std::int32_t vid);
std::int32_t voltageToVid(const ProcessorProfile& profile, double volts);

// Whether a requested voltage may be written: not above 1.55 V, which VID 0
// already is and which would otherwise be cut silently, and not so low that it
// becomes the zero-volt VID, which stops the core.
bool isWritableVoltage(const ProcessorProfile& profile, double volts);
