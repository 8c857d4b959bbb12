#pragma once
// Reading machine-file text into a Machine. Each line is decoded on its own
// (parseLine, which the writer reuses to find the values it replaces in
// place); a line that names a core is checked against the core count once
// the whole text is read.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "machine/machine.h"
#include "machine/tokenizer.h"

enum class EntryKind {
    none, // blank or comment only
    cpuid,
    msr,
    pci,
    fault,
    failOp,
    cpus,
    offline,
    stability,
    moving, // moves msr NUMBER MASK [core N]
    loaded, // loaded pci DEV.FUNC REGISTER VALUE
};

// One line of a machine file, decoded.
struct Entry {
    EntryKind kind = EntryKind::none;
    MachineRegister reg;        // of a cpuid, msr, pci, moves or loaded line
    Fault fault;                // of a fail or ignore line other than fail op
    std::uint64_t value = 0;    // MSR or PCI value, N of fail op, or the mask of a moves line
    std::uint32_t words[4] = {0, 0, 0, 0};
    std::vector<Token> values;  // the value tokens of a register line, and N of fail op
    std::vector<std::int32_t> cpus; // of a cpus line
    std::int32_t pstate = 0;        // of a stable line
    Stability stability;            // of a stable line
};

// Decodes one line. False with error set to what is wrong with it when it is
// malformed.
bool parseLine(const std::string& line, Entry& entry, std::string& error);

// Reads machine-file text. A line that names a core (msr ... core N, fail
// rdmsr|wrmsr ... core K, fail open /dev/cpuctlN) is checked against the core
// count once the whole text is read. On a malformed line returns false and sets error to
// "line N: what is wrong".
bool parseMachine(const std::string& text, Machine& machine, std::string& error);

// As above, giving the number of the malformed line (from 1) apart from what is
// wrong with it, so that a caller can name its file as FILE:N.
bool parseMachine(const std::string& text, Machine& machine, std::string& error, std::size_t& errorLine);
