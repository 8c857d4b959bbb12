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
// operation count and the signal of raiseDuringSleep. The registers live in
// memory; with a savePath, saveAttachedMachine saves them to that file.
void attachMachine(const Machine& machine, const std::string& savePath = std::string());

// Saves the attached machine to its savePath, whole and in one step (see
// replaceFileContent), if a register was written since it was attached or
// last saved. Meant for the end of a run, whichever way it ends. False with error "cannot save FILE: REASON" when it fails; the file
// then stays as it was.
bool saveAttachedMachine(std::string& error);

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

// Called after every register write that was kept, for a test that must act
// at that moment (nullptr: nothing).
void setAfterWrite(void (*callback)() noexcept);
// Has the emulated sleep raise signal before it returns (0: none, as
// attachMachine leaves it), as a user's Ctrl-C during the pause of a P-state
// switch would: how a test reaches the time in which the program holds
// signals.
void raiseDuringSleep(int signal);

// Whether the tuning's load runs now, which the emulated load says: while it
// does, a register of a loaded line reads the line's value.
void setLoadRunning(bool running);

} // namespace emulation
