#pragma once
// The emulated kernel behind open, ioctl, close and sleep (redirected at link
// time): /dev/cpuctlN for each of the machine's cores and /dev/pci over a
// Machine. The FreeBSD device code runs
// on it unmodified.

#include <string>
#include <vector>

#include "machine/machine.h"

namespace emulation {

// Makes machine the processor behind the two devices and clears the trace, the
// operation count and the signal of raiseDuringSleep. With a savePath, every
// register write is saved to that file inside the ioctl, before it returns.
void attachMachine(const Machine& machine, const std::string& savePath = std::string());

// Takes the machine away: the devices are absent again (open fails with
// ENOENT) and sleep waits for real.
void detachMachine();

// The attached machine, as the emulated writes left it.
Machine& attachedMachine();

// One line per emulated operation since attachMachine, as in a trace file.
const std::vector<std::string>& traceLines();

// Also append each trace line to the file at path, opened now without waiting
// for the reader of a FIFO. False with error "cannot write trace FILE: REASON"
// when it cannot be opened. A line that cannot be written later stops the
// tracing; the run goes on untraced.
bool openTraceFile(const std::string& path, std::string& error);

// "cannot write trace FILE: REASON" once a line could not be written to the
// trace file; empty while every line was.
std::string traceFailure();

// Called after every register write that was kept (and saved), for what must
// follow the registers as they change (nullptr: nothing).
void setAfterWrite(void (*callback)() noexcept);
// Has the emulated sleep raise signal before it returns (0: none, as
// attachMachine leaves it), as a user's Ctrl-C during the pause of a P-state
// switch would: how a test reaches the time in which the program holds
// signals.
void raiseDuringSleep(int signal);

} // namespace emulation
