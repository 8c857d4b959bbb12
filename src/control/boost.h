#pragma once
// The boost and APM switches: each one read-modify-write of its own field,
// core performance boost on every core, the others in the northbridge.

#include "cpu/processor_profile.h"
#include "cpu/registers.h"

void setCpbEnabled(const ProcessorProfile& profile, bool enabled);
void setBoostSource(const ProcessorProfile& profile, bool enabled);
void setApmEnabled(const ProcessorProfile& profile, bool enabled);
