#pragma once
// A change set carried out on the hardware.

#include <cstdint>
#include <vector>

#include "cli/change_set.h"
#include "cpu/processor_profile.h"
#include "report/warnings.h"

// Carries the change set out in its fixed order; changes neither argument.
// Called after warnOrRefuseBeforeAnyAccess, which refuses what must not begin.
// Returns the cores switched to the target P-state, ascending; a P-state
// written where it is disabled is warned of into warnings.
std::vector<std::int32_t> applyChanges(const ProcessorProfile& profile, const ChangeSet& changes,
                                       Warnings& warnings);

// What is known before any device is touched for the change: one warning for
// each request this processor cannot carry out and each offline core, then
// the refusal (thrown) of a request it cannot carry out at all.
void warnOrRefuseBeforeAnyAccess(const ProcessorProfile& profile, const ChangeSet& changes, Warnings& warnings);
