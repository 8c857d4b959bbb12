#pragma once
// What a dry run would change, said after it has played the change through
// with every write only planned (hw/recorded_writes.h).

#include <cstdint>
#include <vector>

#include "cpu/processor_profile.h"

// On standard output: one "would change" line per register the run would
// change, as pravellon-sim's --changes names them, the P-state request left
// out; then "would switch cores 0-5 to P2" for the cores switched to the
// target; or "nothing would change".
void printPlannedChanges(const ProcessorProfile& profile, std::int32_t target,
                         const std::vector<std::int32_t>& switchedCores);
