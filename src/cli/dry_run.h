#pragma once
// What a run changes, or a dry run would change, said after it has played the
// change through with every write recorded (hw/recorded_writes.h).

#include <cstdint>
#include <vector>

#include "cpu/processor_profile.h"
#include "report/change_lines.h"

// The recorded writes that change a value, grouped and named as
// pravellon-sim's --changes lists them: the MSRs first, then the PCI
// registers. The P-state request is left out; the switch is told apart.
std::vector<RegisterChange> recordedChanges(const ProcessorProfile& profile);

// On standard output: one "would change" line per register the run would
// change, as pravellon-sim's --changes names them, the P-state request left
// out; then "would switch cores 0-5 to P2" for the cores switched to the
// target; or "nothing would change".
void printPlannedChanges(const ProcessorProfile& profile, std::int32_t target,
                         const std::vector<std::int32_t>& switchedCores);
