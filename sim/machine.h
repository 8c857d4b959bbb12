#pragma once
// A processor as a register file: what the emulated /dev/cpuctl0 and /dev/pci
// answer, and the faults they are told to inject. Read from and saved to the
// text machine file of pravellon-sim.

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

// Reads machine-file text. On a malformed line returns false and sets error to
// "line N: what is wrong".
bool parseMachine(const std::string& text, Machine& machine, std::string& error);

// The machine as machine-file text (its fault lines included).
std::string formatMachine(const Machine& machine);
