#pragma once
// What a request can need the processor to have, each with the one text the
// user reads when it does not: as a warning where the request is left out, as
// the refusal of an operation that cannot be carried out.

#include "cpu/processor_profile.h"

struct Feature {
    bool (*present)(const ProcessorProfile& profile);
    const char* lacking;
};

// Core performance boost.
extern const Feature kBoostFeature;
extern const Feature kApmFeature;
// Core P-states that select a northbridge P-state.
extern const Feature kNbPstateFeature;
// Northbridge P-states with registers of their own, holding a multiplier.
extern const Feature kNbMultiplierFeature;

// Throws ExceptionWithMessage with the feature's text when the processor
// lacks it.
void requireFeature(const ProcessorProfile& profile, const Feature& feature);
