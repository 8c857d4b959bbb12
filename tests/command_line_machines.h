#pragma once
// Emulated processors for the command-line tests, and what to look for in
// their traces.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cpu/registers.h"
#include "hw/bitfield.h"
#include "sim/machine.h"

// Family 0x10 model 0x0a with boost (one boosted P-state), five P-states.
// P0 and P4 use northbridge P-state 1, P1 to P3 northbridge P-state 0.
inline const char* const kFamily10 = R"(
cpuid 0x80000000 0x8000001b 0x68747541 0x444d4163 0x69746e65
cpuid 0x80000001 0x00100fa0 0x10000000 0x000037ff 0xefd3fbff
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000003f9
cpuid 0x80000008 0x00003030 0x00000000 0x00003005 0x00000000
msr 0xc0010015 0x0000000001000010
msr 0xc0010062 0x0000000000000000
msr 0xc0010064 0x8000019a4840404e
msr 0xc0010065 0x8000013a3c001810
msr 0xc0010066 0x800001343c003008
msr 0xc0010067 0x8000012e3c004850
msr 0xc0010068 0x800001284c405840
msr 0xc0010071 0x0040f0303c011810
pci 18.3 0xdc 0x00000c80
pci 18.3 0x1f0 0x02400000
pci 18.4 0x15c 0x00000007
)";

// Family 0x14 model 0x01 with boost, three P-states, and no maximum multiplier
// in its status register, so that no core multiplier can be encoded.
inline const char* const kFamily14 = R"(
cpuid 0x80000000 0x8000001b 0x68747541 0x444d4163 0x69746e65
cpuid 0x80000001 0x00500f10 0x00000000 0x00000000 0x00000000
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x00000200
cpuid 0x80000008 0x00000000 0x00000000 0x00000001 0x00000000
msr 0xc0010015 0x0000000001000010
msr 0xc0010062 0x0000000000000000
msr 0xc0010064 0x8000000000006032
msr 0xc0010065 0x80000000000080e1
msr 0xc0010066 0x8000000000009103
msr 0xc0010071 0x0000000000000000
pci 18.3 0xdc 0x00000200
pci 18.4 0x15c 0x00000000
)";

// Family 0x15 model 0x02 with boost, three P-states, two northbridge P-states.
inline const char* const kFamily15 = R"(
cpuid 0x80000000 0x8000001b 0x68747541 0x444d4163 0x69746e65
cpuid 0x80000001 0x00600f20 0x00000000 0x00000000 0x00000000
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x00000200
cpuid 0x80000008 0x00000000 0x00000000 0x00000007 0x00000000
msr 0xc0010015 0x0000000001000010
msr 0xc0010062 0x0000000000000000
msr 0xc0010064 0x800000000041600c
msr 0xc0010065 0x8000000000416810
msr 0xc0010066 0x8000000000417008
msr 0xc0010071 0x0000000000000000
pci 18.3 0xdc 0x00000200
pci 18.3 0xd4 0x00000000
pci 18.4 0x15c 0x00000001
pci 18.5 0x160 0x00004c0a
pci 18.5 0x164 0x00005805
pci 18.5 0x170 0x00000001
)";

// The machine of text, running in P-state current.
inline Machine machineOf(const char* text, std::int32_t current)
{
    Machine machine;
    std::string error;
    if (!parseMachine(text, machine, error))
        ADD_FAILURE() << "machine text: " << error;
    std::uint64_t& status = machine.msrs[kMsrCofvidStatus];
    status = bits::set(status, 18, 16, static_cast<std::uint64_t>(current));
    return machine;
}

inline void withoutBoost(Machine& machine)
{
    machine.cpuidLeaves[0x80000007].edx = 0;
}

inline void onePstate(Machine& machine)
{
    machine.pciRegisters[PciAddress{0x18, 3, 0xdc}] = 0x00000880;
}

inline bool isOpenOrClose(const std::string& line)
{
    return line.compare(0, 5, "open ") == 0 || line.compare(0, 6, "close ") == 0;
}

// The trace lines that change something: register writes and pauses.
inline std::vector<std::string> writesOf(const std::vector<std::string>& accesses)
{
    std::vector<std::string> writes;
    for (const std::string& line : accesses) {
        if (line.compare(0, 6, "wrmsr ") == 0 || line.compare(0, 9, "pciwrite ") == 0 || line.compare(0, 6, "sleep ") == 0)
            writes.push_back(line);
    }
    return writes;
}

inline std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

