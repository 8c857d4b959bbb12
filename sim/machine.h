#pragma once
// A processor as a register file: what the emulated /dev/cpuctl0 and /dev/pci
// answer, and the faults they are told to inject. Read from and saved to the
// text machine file of pravellon-sim.

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "hw/device.h"

struct PciAddress {
    std::uint8_t device = 0;
    std::uint8_t function = 0;
    std::uint32_t reg = 0;
    bool operator<(const PciAddress& other) const
    {
        return std::tie(device, function, reg) < std::tie(other.device, other.function, other.reg);
    }
    bool operator==(const PciAddress& other) const
    {
        return device == other.device && function == other.function && reg == other.reg;
    }
};

struct Machine {
    std::map<std::uint32_t, CpuidRegisters> cpuidLeaves;
    std::map<std::uint32_t, std::uint64_t> msrs;
    std::map<PciAddress, std::uint32_t> pciRegisters;

    std::set<std::string> failOpen;
    std::set<std::uint32_t> failRdmsr;
    std::set<std::uint32_t> failWrmsr;
    std::set<std::uint32_t> failCpuid;
    std::set<PciAddress> failPciRead;
    std::set<PciAddress> failPciWrite;
    long failOp = 0; // the Nth emulated operation fails; 0 for none

    // The text the machine was read from, one entry a line, so that a save
    // changes only the value of the register written and keeps the rest.
    std::vector<std::string> lines;
};

// The two devices the machine answers behind.
extern const char* const kEmulatedCpuctlPath; // "/dev/cpuctl0"
extern const char* const kEmulatedPciPath;    // "/dev/pci"

// Reads machine-file text. On a malformed line returns false and sets error to
// "line N: what is wrong".
bool parseMachine(const std::string& text, Machine& machine, std::string& error);

// As above, giving the number of the malformed line (from 1) apart from what is
// wrong with it, so that a caller can name its file as FILE:N.
bool parseMachine(const std::string& text, Machine& machine, std::string& error, std::size_t& errorLine);

// The machine as machine-file lines: the lines it was read from, each register
// line carrying the register's present value and the comment it had, lines of
// registers and faults no longer in the machine dropped, and a line appended
// for every register and fault that has none yet.
std::vector<std::string> machineLines(const Machine& machine);

// The machine as machine-file text (its fault lines included): machineLines,
// each ended by a newline.
std::string formatMachine(const Machine& machine);

// Reads a whole file. False with error "cannot read FILE: reason" on failure.
bool readTextFile(const std::string& path, std::string& text, std::string& error);

// Replaces the file's content with text as one step: written beside it under a
// temporary name and renamed over it, so that a process killed while saving
// leaves either the old or the new file, never half of one. The file keeps its
// permissions; a file that is not writable is not replaced, and through a
// symbolic link the file it names is. False with error set on failure.
bool replaceFileContent(const std::string& path, const std::string& text, std::string& error);
