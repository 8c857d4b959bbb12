#pragma once
// What a run changed on the emulated processor, for pravellon-sim --changes:
// one line per register whose value differs, old and new in hexadecimal and
// decoded with the program's own pure decoders. It reads the two register
// files only, so it adds no emulated access and no trace line.

#include <string>
#include <vector>

#include "sim/machine_format.h"

// One line per changed register, MSRs first, each group in register order.
// A PCI register missing from before counts as 0, which is what it read as.
std::vector<std::string> describeRegisterChanges(const Machine& before, const Machine& after);
