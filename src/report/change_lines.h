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
    std::vector<FieldChange> fields; // decoded; empty for a register the program does not know
};

// One core's value of an MSR before and after.
struct CoreValues {
    std::int32_t core = 0;
    std::uint64_t before = 0;
    std::uint64_t after = 0;
};

// The changes of one MSR, one per pair of old and new values, in the order of
// their lowest core; values lists the cores in ascending order. Without a
// profile (a processor the program does not know) nothing is decoded.
std::vector<RegisterChange> msrChanges(const ProcessorProfile* profile, std::uint32_t msr,
                                       const std::vector<CoreValues>& values);

RegisterChange pciChange(const ProcessorProfile* profile, std::uint8_t device, std::uint8_t function,
                         std::uint32_t reg, std::uint32_t before, std::uint32_t after);

// "core 3", "cores 0-5", "cores 1-2,4".
std::string coreListText(const std::vector<std::int32_t>& cores);

// "VERB NAME[ on CORES]: OLD -> NEW[: FIELD OLD -> NEW, ...]"; the cores are
// named only on a processor of several cores.
std::string changeLine(const char* verb, const RegisterChange& change, bool severalCores);
