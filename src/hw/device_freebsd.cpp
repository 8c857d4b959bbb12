// The accessors over FreeBSD's /dev/cpuctlN (one per CPU) and /dev/pci: open,
// one ioctl, close, nothing kept between calls. A failure ends the process through err(3);
// a missing module, a user who is not root and a refused MSR write are named
// on a line of their own.

#include "hw/device.h"
#include "hw/device_transfer.h"

#include <err.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include <sys/types.h> // before sys/sysctl.h, as FreeBSD wants it

#include <sys/cpuctl.h>
#include <sys/pciio.h>
#include <sys/sysctl.h>

#include "hw/device_failure.h"

namespace {

const char* const kPciPath = "/dev/pci";

// Every processor's cpuctl device, /dev/cpuctlN, exists only while the module
// is loaded; /dev/pci is always there.
const char* const kCpuctlPathPrefix = "/dev/cpuctl";

const char* const kLoadModule = "load the cpuctl module: kldload cpuctl";

// Whether a cpuctl device has opened in this run, so the module is loaded.
bool cpuctlOpened = false;

int openDevice(const char* path)
{
    const int fd = open(path, O_RDWR, 0);
    if (fd < 0) {
        const int error = errno;
        failDevice(-1, error, openFailureHint(path, error, kCpuctlPathPrefix, kLoadModule, cpuctlOpened),
                   std::string("Failed to open ") + path);
    }
    if (devicePathStartsWith(path, kCpuctlPathPrefix))
        cpuctlOpened = true;
    return fd;
}

// The cpuctl device of a core: /dev/cpuctlN.
std::string cpuctlPath(std::int32_t core)
{
    return kCpuctlPathPrefix + std::to_string(core);
}

// One ioctl on a freshly opened device; on failure the process ends without
// closing the descriptor.
void transfer(const std::string& path, unsigned long request, void* record, const char* requestName)
{
    const int fd = openDevice(path.c_str());
    if (ioctl(fd, request, record) < 0) {
        const int error = errno;
        // The kernel that refuses MSR writes still allows reads, so the
        // report gave no warning.
        const char* const hint =
            request == CPUCTL_WRMSR && error == EPERM ? "the kernel refuses MSR writes (securelevel above 0)" : nullptr;
        failDevice(-2, error, hint, std::string("ioctl(") + requestName + ") on " + path);
    }
    close(fd);
}

pci_io pciRecord(std::uint8_t device, std::uint8_t function, std::uint32_t reg)
{
    pci_io io{};
    io.pi_sel.pc_domain = 0;
    io.pi_sel.pc_bus = 0;
    io.pi_sel.pc_dev = device;
    io.pi_sel.pc_func = function;
    io.pi_reg = static_cast<int>(reg);
    io.pi_width = 4;
    return io;
}

} // namespace

std::uint64_t deviceReadMsr(std::int32_t core, std::uint32_t msr)
{
    cpuctl_msr_args_t args{};
    args.msr = static_cast<int>(msr);
    transfer(cpuctlPath(core), CPUCTL_RDMSR, &args, "CPUCTL_RDMSR");
    return args.data;
}

void deviceWriteMsr(std::int32_t core, std::uint32_t msr, std::uint64_t value)
{
    cpuctl_msr_args_t args{};
    args.msr = static_cast<int>(msr);
    args.data = value;
    transfer(cpuctlPath(core), CPUCTL_WRMSR, &args, "CPUCTL_WRMSR");
}

void checkMsrDevice(std::int32_t core)
{
    close(openDevice(cpuctlPath(core).c_str()));
}

std::vector<SystemCpu> systemCpus()
{
    // FreeBSD numbers its CPUs 0 .. hw.ncpu - 1, and has no offline CPU.
    int count = 0;
    size_t size = sizeof count;
    if (sysctlbyname("hw.ncpu", &count, &size, nullptr, 0) != 0)
        failDevice(-2, errno, nullptr, "sysctlbyname(hw.ncpu)");
    if (size != sizeof count || count < 1)
        failDevice(-2, EINVAL, nullptr, "sysctlbyname(hw.ncpu)");
    std::vector<SystemCpu> cpus;
    cpus.reserve(static_cast<std::size_t>(count));
    for (int cpu = 0; cpu < count; ++cpu)
        cpus.push_back(SystemCpu{cpu, true});
    return cpus;
}

CpuidRegisters cpuid(std::uint32_t leaf)
{
    cpuctl_cpuid_args_t args{};
    args.level = static_cast<int>(leaf);
    transfer(cpuctlPath(0), CPUCTL_CPUID, &args, "CPUCTL_CPUID");
    return CpuidRegisters{args.data[0], args.data[1], args.data[2], args.data[3]};
}

std::uint32_t deviceReadPciConfig(std::uint8_t device, std::uint8_t function, std::uint32_t reg)
{
    pci_io io = pciRecord(device, function, reg);
    transfer(kPciPath, PCIOCREAD, &io, "PCIOCREAD");
    return io.pi_data;
}

void deviceWritePciConfig(std::uint8_t device, std::uint8_t function, std::uint32_t reg, std::uint32_t value)
{
    pci_io io = pciRecord(device, function, reg);
    io.pi_data = value;
    transfer(kPciPath, PCIOCWRITE, &io, "PCIOCWRITE");
}
