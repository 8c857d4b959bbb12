#pragma once
// Writing a Machine as machine-file text. A file is edited by people, so
// writing keeps their layout and comments and changes only the values that
// differ.

#include <string>
#include <vector>

#include "machine/machine.h"

// How the writer spells the lines it adds for registers and faults that have
// none yet. By default they come in register order (CPUID leaves, MSRs, PCI
// registers, the cores' own MSR values by register and core, then the faults),
// each number in as few digits as it needs.
struct AddedLines {
    // The lines of these registers come first, in this order.
    std::vector<MachineRegister> order;
    // Every number but a PCI register's offset at the full width of its
    // register, so that the columns of a file written afresh line up.
    bool fullWidth = false;
};

// The machine as machine-file lines: the lines it was read from, each register
// line carrying the register's present value and the comment it had, lines of
// registers and faults no longer in the machine dropped, and a line added for
// every register and fault that has none yet, spelled as added says.
std::vector<std::string> machineLines(const Machine& machine, const AddedLines& added = AddedLines());

// The machine as machine-file text (its fault lines included): machineLines,
// each ended by a newline.
std::string formatMachine(const Machine& machine, const AddedLines& added = AddedLines());
