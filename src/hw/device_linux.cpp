// The accessors over Linux's msr devices of every CPU (/dev/cpu/N/msr), the
// cpuid device of CPU 0, the CPU lists and the northbridges' configuration
// spaces in sysfs: open, one transfer at the
// register's offset, close, nothing kept between calls. A failed or short
// transfer ends the process through err(3), as an ioctl failure does on FreeBSD;
// a missing module, a user who is not root and a refused MSR write are named
// on a line of their own.

#include "hw/device.h"
#include "hw/device_transfer.h"

#include <err.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "hw/cpu_list.h"
#include "hw/device_failure.h"

namespace {

const char* const kCpuidPath = "/dev/cpu/0/cpuid";

// Every processor's msr and cpuid devices are under it, and only while the
// modules are loaded; the northbridge's files in sysfs need no module.
const char* const kProcessorDeviceDirectory = "/dev/cpu/";

// Which CPUs the kernel knows of, and which of them are online.
const char* const kPresentCpusPath = "/sys/devices/system/cpu/present";
const char* const kOnlineCpusPath = "/sys/devices/system/cpu/online";

const char* const kLoadModules = "load the msr and cpuid modules: modprobe -a msr cpuid";

// What the administrator can do about a failed write, or null. The kernel
// that refuses MSR writes still allows reads, so the report gave no warning.
const char* writeFailureHint(const char* path, int error)
{
    if (error == EPERM && devicePathStartsWith(path, kProcessorDeviceDirectory))
        return "the kernel refuses MSR writes (msr.allow_writes=off or lockdown)";
    return nullptr;
}

// Whether an msr or cpuid device has opened in this run, so the modules are loaded.
bool processorDeviceOpened = false;

int openDevice(const char* path, int flags)
{
    const int fd = open(path, flags, 0);
    if (fd < 0) {
        const int error = errno;
        failDevice(-1, error,
                   openFailureHint(path, error, kProcessorDeviceDirectory, kLoadModules, processorDeviceOpened),
                   std::string("Failed to open ") + path);
    }
    if (devicePathStartsWith(path, kProcessorDeviceDirectory))
        processorDeviceOpened = true;
    return fd;
}

void readAt(const char* path, void* buffer, size_t size, off_t offset, const char* what)
{
    const int fd = openDevice(path, O_RDONLY);
    const ssize_t done = pread(fd, buffer, size, offset);
    if (done != static_cast<ssize_t>(size)) {
        failDevice(-2, done >= 0 ? EIO : errno, nullptr, std::string("pread(") + what + ") on " + path);
    }
    close(fd);
}

void writeAt(const char* path, const void* buffer, size_t size, off_t offset, const char* what)
{
    const int fd = openDevice(path, O_RDWR);
    const ssize_t done = pwrite(fd, buffer, size, offset);
    if (done != static_cast<ssize_t>(size)) {
        const int error = done >= 0 ? EIO : errno;
        failDevice(-2, error, writeFailureHint(path, error), std::string("pwrite(") + what + ") on " + path);
    }
    close(fd);
}

// A CPU list of sysfs, whole: a few bytes, read until the end.
std::vector<std::int32_t> readCpuList(const char* path)
{
    const int fd = openDevice(path, O_RDONLY);
    std::string text;
    char buffer[256];
    for (;;) {
        const ssize_t done = read(fd, buffer, sizeof buffer);
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0)
            failDevice(-2, errno, nullptr, std::string("read(CPU list) on ") + path);
        if (done == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(done));
        if (text.size() > static_cast<std::size_t>(kCpuListLimit))
            break; // not a list the kernel writes; refused below
    }
    close(fd);
    std::vector<std::int32_t> cpus;
    if (!parseCpuList(text, cpus))
        failDevice(-2, EINVAL, nullptr, std::string("read(CPU list) on ") + path);
    return cpus;
}

// The msr device of a core: /dev/cpu/N/msr.
std::string msrPath(std::int32_t core)
{
    return kProcessorDeviceDirectory + std::to_string(core) + "/msr";
}

// Function F of a northbridge, device 0x18 + node on bus 0 of domain 0.
struct PciConfigPath {
    char text[64];
};

PciConfigPath pciConfigPath(std::uint8_t device, std::uint8_t function)
{
    PciConfigPath path{};
    // Cannot be cut short: an 8-bit device and function fill at most 40 bytes.
    (void)std::snprintf(path.text, sizeof path.text, "/sys/bus/pci/devices/0000:00:%02x.%x/config",
                  static_cast<unsigned>(device), static_cast<unsigned>(function));
    return path;
}

} // namespace

std::uint64_t deviceReadMsr(std::int32_t core, std::uint32_t msr)
{
    std::uint64_t value = 0;
    readAt(msrPath(core).c_str(), &value, sizeof value, static_cast<off_t>(msr), "MSR");
    return value;
}

void deviceWriteMsr(std::int32_t core, std::uint32_t msr, std::uint64_t value)
{
    writeAt(msrPath(core).c_str(), &value, sizeof value, static_cast<off_t>(msr), "MSR");
}

void checkMsrDevice(std::int32_t core)
{
    close(openDevice(msrPath(core).c_str(), O_RDWR));
}

std::vector<SystemCpu> systemCpus()
{
    const std::vector<std::int32_t> present = readCpuList(kPresentCpusPath);
    const std::vector<std::int32_t> online = readCpuList(kOnlineCpusPath);
    if (present.empty())
        failDevice(-2, EINVAL, nullptr, std::string("read(CPU list) on ") + kPresentCpusPath);
    std::vector<SystemCpu> cpus;
    cpus.reserve(present.size());
    for (const std::int32_t cpu : present)
        cpus.push_back(SystemCpu{cpu, std::binary_search(online.begin(), online.end(), cpu)});
    return cpus;
}

CpuidRegisters cpuid(std::uint32_t leaf)
{
    std::uint32_t words[4] = {0, 0, 0, 0};
    readAt(kCpuidPath, words, sizeof words, static_cast<off_t>(leaf), "CPUID");
    return CpuidRegisters{words[0], words[1], words[2], words[3]};
}

std::uint32_t deviceReadPciConfig(std::uint8_t device, std::uint8_t function, std::uint32_t reg)
{
    const PciConfigPath path = pciConfigPath(device, function);
    std::uint32_t value = 0;
    readAt(path.text, &value, sizeof value, static_cast<off_t>(reg), "PCI config");
    return value;
}

void deviceWritePciConfig(std::uint8_t device, std::uint8_t function, std::uint32_t reg, std::uint32_t value)
{
    const PciConfigPath path = pciConfigPath(device, function);
    writeAt(path.text, &value, sizeof value, static_cast<off_t>(reg), "PCI config");
}
