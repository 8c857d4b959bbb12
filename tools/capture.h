#pragma once
// A copy of this machine's registers for pravellon-sim: every register that
// pravellon reads on this processor, read once through the host's device code
// and written as a machine file. Nothing is ever written to the hardware.

#include <ostream>

// Probes the processor as pravellon does and writes the machine file of every
// register the program reads (cpu/registers_read.h), the MSRs of every core: a
// core's own line for each MSR where it differs from core 0. False, with
// nothing written, when the processor is not supported; only the probe has
// read anything then.
bool captureMachine(std::ostream& out);

// pravellon-capture with its arguments (argv[0] the program): without any, the
// machine file goes to standard output; with "-o FILE" into FILE, replacing
// it as one step. Either gets the file only when every register was read;
// every message goes to standard error. Returns the exit status.
int runCapture(int argc, const char* const* argv);
