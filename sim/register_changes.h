#pragma once
// What a run changed on the emulated processor, for pravellon-sim --changes:
// one line per register whose value differs, old and new in hexadecimal and
// decoded with the program's own pure decoders. It reads the two register
// files only, so it adds no emulated access and no trace line.

#include <string>
#include <vector>

#include "cpu/processor_profile.h"
#include "machine/machine.h"

// The processor as the probe would see it, from the register file alone; false
// when the probe would refuse it, and then nothing is decoded.
bool decodingProfile(const Machine& machine, ProcessorProfile& profile);

// One line per register the run changed, MSRs first, each group in register order.
// On a machine of several cores an MSR's line names its cores, and the cores
// where it went from the same old to the same new value share one line, by
// lowest core. A PCI register missing from before counts as 0, which is what
// it read as. What the processor moves by itself (its current P-state) is not
// the run's change and is left out.
std::vector<std::string> describeRegisterChanges(const Machine& before, const Machine& after);
