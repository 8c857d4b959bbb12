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
// own device: one CPU of the operating system, numbered as the operating
// system numbers it (on a machine of several processors not necessarily
// processor by processor). CPUID is read on CPU 0. Each node has its own
// northbridge, at PCI device kNorthbridgeDevice + node.

#include <cstdint>
#include <vector>

struct CpuidRegisters {
    std::uint32_t eax = 0;
    std::uint32_t ebx = 0;
    std::uint32_t ecx = 0;
    std::uint32_t edx = 0;
};

// Node 0's northbridge: bus 0, device 0x18; node N's is device 0x18 + N.
constexpr std::uint8_t kNorthbridgeDevice = 0x18;

// A CPU of the operating system. One that is offline (Linux) has no MSR device
// until it comes back online.
struct SystemCpu {
    std::int32_t number = 0;
    bool online = true;
};

std::uint64_t readMsr(std::int32_t core, std::uint32_t msr);
void writeMsr(std::int32_t core, std::uint32_t msr, std::uint64_t value);

// Opens core's MSR device for reading and writing and closes it again, without
// a transfer: a core that is offline, or a module that is not loaded, ends the
// process here, as any failed open does, before anything has been written.
void checkMsrDevice(std::int32_t core);
CpuidRegisters cpuid(std::uint32_t leaf);

// Every CPU the operating system has, ascending: hw.ncpu on FreeBSD (all
// online), the present and online lists in sysfs on Linux. Never empty; a
// failure ends the process as a failed transfer does.
std::vector<SystemCpu> systemCpus();
std::uint32_t readPciConfig(std::uint8_t device, std::uint8_t function, std::uint32_t reg);
void writePciConfig(std::uint8_t device, std::uint8_t function, std::uint32_t reg, std::uint32_t value);
