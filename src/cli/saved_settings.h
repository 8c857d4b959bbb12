#pragma once
// Settings saved whole: the raw value of every writable register on every core
// and every node, as --save writes them and --restore reads them back. Unlike
// tokens, they say where cores and nodes differ, and which P-states each core
// has enabled. The file:
//
//   pravellon-settings 1
//   processor family 0x15 model 0x1 cores 0-15 nodes 2
//   msr 0xc0010064 core 0 0x800001b8800012d4
//   pci 18.5 0x164 node 1 0x0000b0a5
//   core 5 offline
//
// one line per register and core or node, the cores those the program listed.

#include <cstdint>
#include <string>
#include <vector>

#include "cpu/processor_profile.h"
#include "cpu/writable_registers.h"

struct SavedRegister {
    const WritableRegister* row = nullptr;
    std::int32_t n = 0;     // which register of the row
    std::int32_t where = 0; // the core, or the node
    std::uint64_t value = 0;
};

struct SavedSettings {
    std::int32_t family = 0;
    std::int32_t model = 0;
    std::vector<std::int32_t> cpus; // offline ones included
    std::int32_t nodeCount = 0;
    std::vector<std::int32_t> offline;
    std::vector<SavedRegister> registers; // in the file's order
};

// Reads every register of the table on every online core and every node, and
// returns the file's text.
std::string savedSettingsText(const ProcessorProfile& profile);

// The settings of text, read from the file name, checked whole against this
// processor: throws ExceptionWithMessage "NAME:LINE: what is wrong" for a
// line, "NAME: what is wrong" for the file as a whole (empty, cut short, a
// register missing, saved on another processor).
SavedSettings parseSavedSettings(const ProcessorProfile& profile, const std::string& name, const std::string& text);

// The processor's register that saved names, as read now.
std::uint64_t readSavedRegister(const SavedRegister& saved);
