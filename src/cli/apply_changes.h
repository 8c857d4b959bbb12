#pragma once
// A change set carried out on the hardware.

#include "cli/change_set.h"
#include "cpu/processor_profile.h"

// Carries the change set out in its fixed order; changes neither argument.
void applyChanges(const ProcessorProfile& profile, const ChangeSet& changes);
