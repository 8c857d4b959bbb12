#pragma once
// A copy of this machine's registers for pravellon-sim: every register that
// pravellon reads on this processor, read once through the host's device code
// and written as a machine file. Nothing is ever written to the hardware.

#include <ostream>
#include <vector>

#include "cpu/processor_profile.h"
#include "machine/machine.h"

// Every register that pravellon reads, in its report or for any token, on a
// processor of this (probed) profile, in the order in which it first reads
// them: the probe's, then the core and northbridge P-states, then the P-state
// control register. Registers this processor does not have are left out, since
// reading them could fail where pravellon never would.
std::vector<MachineRegister> registersReadBy(const ProcessorProfile& profile);

// Probes the processor as pravellon does and writes the machine file of every
// register of registersReadBy, the MSRs of every core: a core's own line for
// each MSR where it differs from core 0. False, with nothing written, when the processor
// is not supported; only the probe has read anything then.
bool captureMachine(std::ostream& out);

// pravellon-capture with its arguments (argv[0] the program): without any, the
// machine file goes to standard output; with "-o FILE" into FILE, replacing
// it as one step. Either gets the file only when every register was read;
// every message goes to standard error. Returns the exit status.
int runCapture(int argc, const char* const* argv);
