#pragma once
// Values past what the processor reports it can do: warned of, before
// anything is written, and written all the same, since overclocking an
// unlocked part needs them.

#include "cli/change_set.h"
#include "cpu/processor_profile.h"
#include "report/warnings.h"

// For the tokens a user typed: a core voltage above the processor's highest,
// a core multiplier above its highest, and a faster P-state with less voltage
// than a slower one, as the P-states will stand after the change (core 0's
// are read for the ones the change leaves). Settings given back as they were
// saved were on the processor already, and are not warned of.
void warnPastLimits(const ProcessorProfile& profile, const ChangeSet& changes, Warnings& warnings);
