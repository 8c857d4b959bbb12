#pragma once

#include <cstdint>
#include <vector>

#include "cpu/processor_profile.h"
#include "report/warnings.h"

// What the run changed, or with dryRun would change, as one JSON object on
// standard output: an entry for each register, as a dry run lists it, and one
// for the switch to the target P-state of the cores given, if any; and the
// run's warnings.
void printJsonChanges(const ProcessorProfile& profile, bool dryRun, std::int32_t target,
                      const std::vector<std::int32_t>& switchedCores, const Warnings& warnings);
