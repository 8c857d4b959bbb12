// Every way a Linux accessor can fail ends the process through err(3): the
// program's name, the message with the device's path, the system's text for
// the error, status 255 for an open and 254 for a transfer. Where the
// administrator can remove the cause, a line under the program's name says how.

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>

#include "device_fixture.h"
#include "hw/device.h"
#include "hw/device_exit_hook.h"

namespace {

const char* const kProgramName = "linux_device_tests";

enum class StandIn {
    Missing,   // nothing at the path: open fails with ENOENT
    Directory, // opens read-only, reads fail with EISDIR; no read-write open
    Fifo,      // opens read-write at once, and a positioned write fails with ESPIPE
               // (a read-only open would wait for a writer: never used for reads)
    File,      // a file of fileSize bytes
    Sealed,    // a file of fileSize bytes that refuses every write with EPERM, as
               // the msr device does when the kernel forbids MSR writes
    Offline,   // open fails with ENXIO, as for a processor that is offline
    NoDriver,  // open fails with ENODEV
    NotRoot,   // open fails with EACCES, as the devices' modes give other users
    NoRawIo,   // open fails with EPERM, as the msr device gives a process
               // without CAP_SYS_RAWIO
};

// The stand-in behind a symbolic link at file: a memory file sealed against
// writes. Returns its descriptor, which must stay open while it is used.
int sealedFile(const std::string& file, std::uint64_t size)
{
    const int fd = memfd_create("sealed-device", MFD_ALLOW_SEALING);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0 || fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE) != 0 ||
        symlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), file.c_str()) != 0)
        ADD_FAILURE() << "cannot make a sealed file at " << file;
    return fd;
}

// Each line of message as err(3) and warn(3) start it, after the line of the
// hook that every failure passes first (a tuning gives its settings back
// there), which sees the first line alone.
std::string underProgramName(const std::string& message)
{
    std::istringstream lines(message);
    std::string all;
    for (std::string line; std::getline(lines, line);)
        all += (all.empty() ? "hook: " + line + "\n" : std::string()) + kProgramName + ": " + line + "\n";
    return all;
}

void noteInHook(const std::string& failure) noexcept
{
    (void)std::fprintf(stderr, "hook: %s\n", failure.c_str());
}

// A file size limit set inside the dying process only: a write that would
// cross it is cut short there, one that starts past it fails with EFBIG (the
// signal that would otherwise come with it is ignored). Root is bound by it
// as by nothing else that makes a write fail.
void limitFileSize(std::uint64_t limit)
{
    if (limit == 0)
        return;
    signal(SIGXFSZ, SIG_IGN);
    const rlimit bound{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    setrlimit(RLIMIT_FSIZE, &bound);
}

TEST_F(LinuxDevice, FailuresEndTheProgramThroughErr)
{
    struct Case {
        const char* name;
        std::string devicePath;
        StandIn standIn;
        std::uint64_t fileSize;
        std::uint64_t sizeLimit; // 0: none
        std::function<void()> call;
        int status;
        std::string message; // a second line is the hint
    };
    const std::string loadModules = "\nload the msr and cpuid modules: modprobe -a msr cpuid";
    const std::string runAsRoot = "\nrun as root";
    const Case cases[] = {
        {"readMsr without an msr device", kMsrDevice, StandIn::Missing, 0, 0, [] { readMsr(0, 0xC0010015); }, 255,
         "Failed to open /dev/cpu/0/msr: No such file or directory" + loadModules},
        {"writeMsr without an msr device", kMsrDevice, StandIn::Missing, 0, 0,
         [] { writeMsr(0, 0xC0010062, 0); }, 255, "Failed to open /dev/cpu/0/msr: No such file or directory" + loadModules},
        {"cpuid without a cpuid device", kCpuidDevice, StandIn::Missing, 0, 0, [] { cpuid(0x80000000); }, 255,
         "Failed to open /dev/cpu/0/cpuid: No such file or directory" + loadModules},
        {"cpuid of an offline processor", kCpuidDevice, StandIn::Offline, 0, 0, [] { cpuid(0x80000001); }, 255,
         "Failed to open /dev/cpu/0/cpuid: No such device or address" + loadModules},
        {"writeMsr without a driver", kMsrDevice, StandIn::NoDriver, 0, 0, [] { writeMsr(0, 0xC0010015, 0); }, 255,
         "Failed to open /dev/cpu/0/msr: No such device" + loadModules},
        {"readMsr by another user", kMsrDevice, StandIn::NotRoot, 0, 0, [] { readMsr(0, 0xC0010071); }, 255,
         "Failed to open /dev/cpu/0/msr: Permission denied" + runAsRoot},
        {"cpuid without the right to raw I/O", kCpuidDevice, StandIn::NoRawIo, 0, 0, [] { cpuid(0x80000000); },
         255, "Failed to open /dev/cpu/0/cpuid: Operation not permitted" + runAsRoot},
        {"readPciConfig by another user", kMiscConfig, StandIn::NotRoot, 0, 0, [] { readPciConfig(0x18, 3, 0xDC); },
         255, "Failed to open /sys/bus/pci/devices/0000:00:18.3/config: Permission denied" + runAsRoot},
        {"writePciConfig of a function that is offline", kLinkConfig, StandIn::Offline, 0, 0,
         [] { writePciConfig(0x18, 4, 0x15C, 0); }, 255,
         "Failed to open /sys/bus/pci/devices/0000:00:18.4/config: No such device or address"},
        {"readPciConfig without function 3", kMiscConfig, StandIn::Missing, 0, 0,
         [] { readPciConfig(0x18, 3, 0xDC); }, 255,
         "Failed to open /sys/bus/pci/devices/0000:00:18.3/config: No such file or directory"},
        {"writePciConfig without function 5", kExtendedMiscConfig, StandIn::Missing, 0, 0,
         [] { writePciConfig(0x18, 5, 0x160, 0); }, 255,
         "Failed to open /sys/bus/pci/devices/0000:00:18.5/config: No such file or directory"},
        {"writeMsr on what cannot be opened for writing", kMsrDevice, StandIn::Directory, 0, 0,
         [] { writeMsr(0, 0xC0010064, 0); }, 255, "Failed to open /dev/cpu/0/msr: Is a directory"},

        {"readMsr of an MSR the device lacks", kMsrDevice, StandIn::File, 0x1000, 0,
         [] { readMsr(0, 0xC0010064); }, 254, "pread(MSR) on /dev/cpu/0/msr: Input/output error"},
        {"readMsr of half an MSR", kMsrDevice, StandIn::File, 0xC0010068, 0, [] { readMsr(0, 0xC0010064); }, 254,
         "pread(MSR) on /dev/cpu/0/msr: Input/output error"},
        {"readMsr refused with an error of its own", kMsrDevice, StandIn::Directory, 0, 0,
         [] { readMsr(0, 0xC0010071); }, 254, "pread(MSR) on /dev/cpu/0/msr: Is a directory"},
        {"cpuid of three registers", kCpuidDevice, StandIn::File, 0x8000000C, 0, [] { cpuid(0x80000000); }, 254,
         "pread(CPUID) on /dev/cpu/0/cpuid: Input/output error"},
        {"cpuid refused", kCpuidDevice, StandIn::Directory, 0, 0, [] { cpuid(0x80000008); }, 254,
         "pread(CPUID) on /dev/cpu/0/cpuid: Is a directory"},
        {"readPciConfig of 0x15C in a 256-byte space", kLinkConfig, StandIn::File, 256, 0,
         [] { readPciConfig(0x18, 4, 0x15C); }, 254,
         "pread(PCI config) on /sys/bus/pci/devices/0000:00:18.4/config: Input/output error"},
        {"readPciConfig of a register cut by the end", kExtendedMiscConfig, StandIn::File, 0x162, 0,
         [] { readPciConfig(0x18, 5, 0x160); }, 254,
         "pread(PCI config) on /sys/bus/pci/devices/0000:00:18.5/config: Input/output error"},
        {"readPciConfig refused", kMiscConfig, StandIn::Directory, 0, 0, [] { readPciConfig(0x18, 3, 0xD4); },
         254, "pread(PCI config) on /sys/bus/pci/devices/0000:00:18.3/config: Is a directory"},

        {"writeMsr refused", kMsrDevice, StandIn::Fifo, 0, 0, [] { writeMsr(0, 0xC0010015, 0x10); }, 254,
         "pwrite(MSR) on /dev/cpu/0/msr: Illegal seek"},
        {"writeMsr cut short", kMsrDevice, StandIn::File, 0x1000, 0xC0010068,
         [] { writeMsr(0, 0xC0010064, ~0ull); }, 254, "pwrite(MSR) on /dev/cpu/0/msr: Input/output error"},
        {"writePciConfig refused", kLinkConfig, StandIn::Fifo, 0, 0, [] { writePciConfig(0x18, 4, 0x15C, 1); },
         254, "pwrite(PCI config) on /sys/bus/pci/devices/0000:00:18.4/config: Illegal seek"},
        {"writePciConfig cut short", kExtendedMiscConfig, StandIn::File, 256, 0x162,
         [] { writePciConfig(0x18, 5, 0x160, 0x80001A04); }, 254,
         "pwrite(PCI config) on /sys/bus/pci/devices/0000:00:18.5/config: Input/output error"},
        {"writePciConfig refused with an error of its own", kLinkConfig, StandIn::File, 256, 0x100,
         [] { writePciConfig(0x18, 4, 0x15C, 0); }, 254,
         "pwrite(PCI config) on /sys/bus/pci/devices/0000:00:18.4/config: File too large"},
        {"writeMsr forbidden by the kernel", kMsrDevice, StandIn::Sealed, 0x1000, 0,
         [] { writeMsr(0, 0xC0010064, 1); }, 254,
         "pwrite(MSR) on /dev/cpu/0/msr: Operation not permitted\n"
         "the kernel refuses MSR writes (msr.allow_writes=off or lockdown)"},
        {"writePciConfig forbidden", kExtendedMiscConfig, StandIn::Sealed, 0x1000, 0,
         [] { writePciConfig(0x18, 5, 0x160, 1); }, 254,
         "pwrite(PCI config) on /sys/bus/pci/devices/0000:00:18.5/config: Operation not permitted"},
    };
    int fileNumber = 0;
    for (const Case& c : cases) {
        redirected::reset();
        const std::string file = standIn(c.devicePath, "stand-in" + std::to_string(fileNumber++));
        int sealed = -1;
        switch (c.standIn) {
        case StandIn::Missing:
            break;
        case StandIn::Sealed:
            sealed = sealedFile(file, c.fileSize);
            break;
        case StandIn::Offline:
            redirected::failOpen(c.devicePath, ENXIO);
            break;
        case StandIn::NoDriver:
            redirected::failOpen(c.devicePath, ENODEV);
            break;
        case StandIn::NotRoot:
            redirected::failOpen(c.devicePath, EACCES);
            break;
        case StandIn::NoRawIo:
            redirected::failOpen(c.devicePath, EPERM);
            break;
        case StandIn::Directory:
            ASSERT_EQ(mkdir(file.c_str(), 0755), 0) << c.name;
            break;
        case StandIn::Fifo:
            ASSERT_EQ(mkfifo(file.c_str(), 0644), 0) << c.name;
            break;
        case StandIn::File:
            writeBytesAt(file, 0, Bytes{});
            resizeFile(file, c.fileSize);
            break;
        }
        EXPECT_EXIT(
            {
                limitFileSize(c.sizeLimit);
                deviceExitHook() = noteInHook;
                c.call();
            },
            ::testing::ExitedWithCode(c.status), ::testing::Eq(underProgramName(c.message)))
            << c.name;
        if (sealed >= 0)
            close(sealed);
    }
}

// The redirection is what keeps these tests off the machine's own processor:
// a device path it was not told about must stop the test before it is opened.
// Only reads are tried, so that a broken guard costs nothing.
TEST_F(LinuxDevice, UnredirectedDevicePathsAreRefused)
{
    struct Case {
        const char* name;
        std::function<void()> call;
        std::string path;
    };
    const Case cases[] = {
        {"readMsr", [] { readMsr(0, 0x10); }, kMsrDevice},
        {"cpuid", [] { cpuid(0); }, kCpuidDevice},
        {"readPciConfig", [] { readPciConfig(0x18, 3, 0); }, kMiscConfig},
    };
    for (const Case& c : cases) {
        redirected::reset();
        EXPECT_EXIT(c.call(), ::testing::KilledBySignal(SIGABRT),
                    c.path + ", a device path that this test did not redirect")
            << c.name;
    }
}

} // namespace
