#pragma once
// The lines that say what a change does to the registers: pravellon-sim's
// --changes after a run ("changed ..."), and a dry run before one ("would
// change ..."). One line per register and pair of old and new values, old and
// new in hexadecimal and decoded as the report shows them.

#include <cstdint>
#include <string>
#include <vector>

#include "cpu/processor_profile.h"

// One field of a register as the change leaves it: "boost source 1 -> 0"; the
// label is empty where the field is the whole P-state ("18x at 1.4V -> ...").
struct FieldChange {
    std::string label;
    std::string before;
    std::string after;
};

struct RegisterChange {
    std::string name; // "P0 (MSR 0xc0010064)", "MSR 0xc0010015", "PCI 18.4 0x15c"
    std::uint64_t before = 0;
    std::uint64_t after = 0;
    std::vector<std::int32_t> cores; // an MSR's cores, ascending; empty for a PCI register
    std::vector<std::int32_t> nodes; // a PCI register's nodes, ascending
    std::vector<FieldChange> fields; // decoded; empty for a register the program does not know
};

// One core's value of an MSR before and after, or one node's of a PCI
// register.
struct ValuesOn {
    std::int32_t number = 0; // of the core or node
    std::uint64_t before = 0;
    std::uint64_t after = 0;
};

// The changes of one MSR, one per pair of old and new values, in the order of
// their lowest core; values lists the cores in ascending order. Without a
// profile (a processor the program does not know) nothing is decoded.
std::vector<RegisterChange> msrChanges(const ProcessorProfile* profile, std::uint32_t msr,
                                       const std::vector<ValuesOn>& values);

// The same for a PCI register on each node (values by node ascending), spelled
// as node 0's: device is node 0's northbridge for a register of every node.
std::vector<RegisterChange> pciChanges(const ProcessorProfile* profile, std::uint8_t device, std::uint8_t function,
                                       std::uint32_t reg, const std::vector<ValuesOn>& values);

// "core 3", "cores 0-5", "cores 1-2,4"; what is "core" or "node".
std::string numberListText(const char* what, const std::vector<std::int32_t>& numbers);

// "VERB NAME[ on CORES|NODES]: OLD -> NEW[: FIELD OLD -> NEW, ...]"; the cores
// or nodes are named only when the machine has several.
std::string changeLine(const char* verb, const RegisterChange& change, bool severalCores, bool severalNodes);
