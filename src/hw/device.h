#pragma once
// The five register accessors: the program's only way to the hardware.
// Exactly one implementation is linked into each executable (FreeBSD devices,
// Linux devices). CPUID is always asked of core 0. Each call opens its device,
// makes one transfer and closes it again; a failure ends the process through
// err(3) with status 255 (open) or 254 (transfer), so callers never see an
// error. Where the administrator can remove the cause, a second line says how
// (hw/device_failure.h).

#include <cstdint>

struct CpuidRegisters {
    std::uint32_t eax = 0;
    std::uint32_t ebx = 0;
    std::uint32_t ecx = 0;
    std::uint32_t edx = 0;
};

// The processor's northbridge: every PCI access goes to bus 0, device 0x18.
constexpr std::uint8_t kNorthbridgeDevice = 0x18;

// The MSRs of one core: each logical processor of the first processor, from 0,
// has its own device.
std::uint64_t readMsr(std::int32_t core, std::uint32_t msr);
void writeMsr(std::int32_t core, std::uint32_t msr, std::uint64_t value);
CpuidRegisters cpuid(std::uint32_t leaf);
std::uint32_t readPciConfig(std::uint8_t device, std::uint8_t function, std::uint32_t reg);
void writePciConfig(std::uint8_t device, std::uint8_t function, std::uint32_t reg, std::uint32_t value);
