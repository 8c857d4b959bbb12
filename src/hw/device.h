#pragma once
// The register accessors: the program's only way to the hardware. Exactly one
// device implementation is linked into each executable (FreeBSD devices, Linux
// devices), under the accessors of hw/recorded_writes.cpp, which keep a dry
// run's writes from it. Each call opens its device, makes one transfer and closes it
// again; a failure ends the process through err(3) with status 255 (open) or
// 254 (transfer), so callers never see an error. Where the administrator can
// remove the cause, a second line says how (hw/device_failure.h).
//
// Every core is a logical processor with MSRs of its own, reached through its
// own device; cores count from 0 within the first processor. CPUID is read on
// core 0, and the northbridge's PCI registers are one per processor.

#include <cstdint>

struct CpuidRegisters {
    std::uint32_t eax = 0;
    std::uint32_t ebx = 0;
    std::uint32_t ecx = 0;
    std::uint32_t edx = 0;
};

// The processor's northbridge: every PCI access goes to bus 0, device 0x18.
constexpr std::uint8_t kNorthbridgeDevice = 0x18;

std::uint64_t readMsr(std::int32_t core, std::uint32_t msr);
void writeMsr(std::int32_t core, std::uint32_t msr, std::uint64_t value);

// Opens core's MSR device for reading and writing and closes it again, without
// a transfer: a core that is offline, or a module that is not loaded, ends the
// process here, as any failed open does, before anything has been written.
void checkMsrDevice(std::int32_t core);
CpuidRegisters cpuid(std::uint32_t leaf);
std::uint32_t readPciConfig(std::uint8_t device, std::uint8_t function, std::uint32_t reg);
void writePciConfig(std::uint8_t device, std::uint8_t function, std::uint32_t reg, std::uint32_t value);
