#pragma once
// Every register a token can write, in one table: what the capture copies,
// the other nodes' reads before a change, and the names of the change lines
// all come from here, so that a new writable register is one more row.

#include <array>
#include <cstdint>

#include "cpu/processor_profile.h"

struct WritableRegister {
    enum class Scope { everyCore, everyNode }; // an MSR, or a northbridge register
    Scope scope = Scope::everyCore;
    std::uint8_t function = 0; // of a northbridge register
    std::uint32_t first = 0;   // MSR or PCI register; of a run of P-states, P0's
    std::uint32_t stride = 1;  // from one P-state's register to the next
    std::int32_t room = 1;     // registers the hardware has room for
    // The registers of the run this processor has, 0 .. count - 1; 0 where
    // its family lacks the register.
    std::int32_t (*count)(const ProcessorProfile& profile) = nullptr;
    // How a change line names register n: this and n ("P1", "NB_P0");
    // nullptr for a register named by its number alone.
    const char* name = nullptr;

    std::uint32_t number(std::int32_t n) const { return first + stride * static_cast<std::uint32_t>(n); }
};

// The rows, in the order the program first reads them after the probe: the
// switches' registers, the core P-states, the northbridge P-states, and the
// P-state request.
using WritableRegisters = std::array<WritableRegister, 5>;
const WritableRegisters& writableRegisters();

// The rows by name, for the code that writes them.
const WritableRegister& corePstateRegisters();
const WritableRegister& nbPstateRegisters();
const WritableRegister& boostControlRegister();

// Which register of row reg is, 0 .. room - 1, on any processor; -1 where it is
// none of the row's.
std::int32_t indexIn(const WritableRegister& row, std::uint32_t reg);

// The MSR that only asks a core to switch P-state: a dry run says the switch
// instead of the value.
bool isPstateRequest(std::uint32_t msr);
