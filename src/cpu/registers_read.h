#pragma once
// Every register the program reads, kept beside the probe so that a change to
// what the probe reads is also a change to what pravellon-capture copies.

#include <cstdint>
#include <vector>

#include "cpu/processor_profile.h"

// A CPUID leaf (read on core 0), an MSR (of every core) or a register of a
// node's northbridge's PCI configuration space (northbridgeOf(node)).
struct ReadRegister {
    enum class Kind { cpuid, msr, pci };
    Kind kind = Kind::msr;
    std::uint32_t number = 0;  // CPUID leaf, MSR number or PCI register
    std::uint8_t function = 0; // of a PCI register
    std::int32_t node = 0;     // of a PCI register
};

// Every register that pravellon reads, in its report, for any token or for
// --now, on a processor of this (probed) profile, in the order in which it
// first reads them: the probe's, then the core and northbridge P-states, then
// the P-state control register, the other nodes' northbridge registers that
// the report compares and a change writes, and last each node's Tctl.
// Registers this processor does not have are left out, since reading them
// could fail where pravellon never would.
std::vector<ReadRegister> registersReadBy(const ProcessorProfile& profile);
