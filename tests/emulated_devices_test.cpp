// The FreeBSD device code on the strict emulated kernel, and the kernel's own
// refusals and faults, spoken to directly through open, ioctl and close.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>

#include <sys/cpuctl.h>
#include <sys/pciio.h>

#include "emulated_machine.h"
#include "hw/device.h"
#include "hw/load.h"

namespace {

using emulation::attachedMachine;
using emulation::traceLines;
using Lines = std::vector<std::string>;

// Two cores.
const char* const kMachine = R"(
cpuid 0x80000000 0x8000001b 0x68747541 0x444d4163 0x69746e65
cpuid 0x80000008 0x00003030 0x00000000 0x00000001 0x00000000
msr 0xc0010064 0x8000019a4840404e  # P0
msr 0xc0010015 0x1000010
pci 18.3 0xdc 0x00000400
)";

// One open, ioctl and close by hand; the ioctl's errno, or 0 when it worked.
int ioctlError(const char* path, int flags, unsigned long request, void* record)
{
    const int fd = open(path, flags);
    if (fd < 0)
        return -errno;
    const int error = ioctl(fd, request, record) < 0 ? errno : 0;
    close(fd);
    return error;
}

pci_io pciRecord(std::uint8_t function, int reg, std::uint32_t data = 0)
{
    pci_io io{};
    io.pi_sel.pc_dev = kNorthbridgeDevice;
    io.pi_sel.pc_func = function;
    io.pi_reg = reg;
    io.pi_width = 4;
    io.pi_data = data;
    return io;
}

TEST(EmulatedDevices, EachAccessIsItsOwnOpenIoctlClose)
{
    const char* const cpuctl = "/dev/cpuctl0";
    const char* const pci = "/dev/pci";
    struct Case {
        const char* name;
        std::function<void()> access;
        const char* device;
        const char* line;
    };
    const Case cases[] = {
        {"readMsr", [] { EXPECT_EQ(readMsr(0, 0xC0010064), 0x8000019a4840404eu); }, cpuctl,
         "rdmsr 0xc0010064 -> 0x8000019a4840404e"},
        {"writeMsr",
         [] {
             writeMsr(0, 0xC0010064, 0x8000019a48003004);
             EXPECT_EQ(attachedMachine().msrs.at(0xC0010064), 0x8000019a48003004u);
         },
         cpuctl, "wrmsr 0xc0010064 <- 0x8000019a48003004"},
        {"cpuid",
         [] {
             const CpuidRegisters r = cpuid(0x80000000);
             EXPECT_EQ(r.eax, 0x8000001bu);
             EXPECT_EQ(r.ebx, 0x68747541u);
             EXPECT_EQ(r.ecx, 0x444d4163u);
             EXPECT_EQ(r.edx, 0x69746e65u);
         },
         cpuctl, "cpuid 0x80000000 -> 0x8000001b 0x68747541 0x444d4163 0x69746e65"},
        {"cpuid of a leaf without a line", [] { EXPECT_EQ(cpuid(0x80000007).edx, 0u); }, cpuctl,
         "cpuid 0x80000007 -> 0x0 0x0 0x0 0x0"},
        {"readPciConfig", [] { EXPECT_EQ(readPciConfig(0x18, 3, 0xDC), 0x400u); }, pci, "pciread 18.3 0xdc -> 0x400"},
        {"readPciConfig without a line", [] { EXPECT_EQ(readPciConfig(0x18, 4, 0x15C), 0u); }, pci,
         "pciread 18.4 0x15c -> 0x0"},
        {"writePciConfig adds a register",
         [] {
             writePciConfig(0x18, 5, 0x164, 0xABCD);
             EXPECT_EQ(attachedMachine().pciRegisters.at(PciAddress{0x18, 5, 0x164}), 0xABCDu);
         },
         pci, "pciwrite 18.5 0x164 <- 0xabcd"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(attachMachineText(kMachine));
        c.access();
        EXPECT_EQ(traceLines(), (Lines{std::string("open ") + c.device, c.line, std::string("close ") + c.device}))
            << c.name;
    }
}

TEST(EmulatedDevices, SleepIsRecordedNotWaited)
{
    ASSERT_TRUE(attachMachineText(kMachine));
    EXPECT_EQ(sleep(3600), 0u);
    EXPECT_EQ(traceLines(), Lines{"sleep 3600"});
}

TEST(EmulatedDevices, RefusesWhatTheDeviceCodeMustNeverDo)
{
    struct Case {
        const char* name;
        std::function<int()> attempt;
    };
    cpuctl_msr_args_t msr{};
    msr.msr = static_cast<int>(0xC0010064);
    pci_io io = pciRecord(3, 0xDC);
    const auto pciWith = [](std::function<void(pci_io&)> change) {
        return [change] {
            pci_io record = pciRecord(3, 0xDC);
            change(record);
            return ioctlError("/dev/pci", O_RDWR, PCIOCREAD, &record);
        };
    };
    const Case cases[] = {
        {"a pci request on cpuctl", [&] { return ioctlError("/dev/cpuctl0", O_RDWR, PCIOCREAD, &io); }},
        {"an MSR request on pci", [&] { return ioctlError("/dev/pci", O_RDWR, CPUCTL_RDMSR, &msr); }},
        {"an unknown request", [&] { return ioctlError("/dev/cpuctl0", O_RDWR, CPUCTL_RDMSR + 8, &msr); }},
        {"cpuctl opened read-only", [&] { return ioctlError("/dev/cpuctl0", O_RDONLY, CPUCTL_RDMSR, &msr); }},
        {"pci opened write-only", [&] { return ioctlError("/dev/pci", O_WRONLY, PCIOCREAD, &io); }},
        {"a descriptor it did not hand out", [&] { return ioctlError("/dev/null", O_RDWR, CPUCTL_RDMSR, &msr); }},
        {"no record", [] { return ioctlError("/dev/cpuctl0", O_RDWR, CPUCTL_RDMSR, nullptr); }},
        {"PCI domain 1", pciWith([](pci_io& r) { r.pi_sel.pc_domain = 1; })},
        {"PCI bus 1", pciWith([](pci_io& r) { r.pi_sel.pc_bus = 1; })},
        {"PCI width 2", pciWith([](pci_io& r) { r.pi_width = 2; })},
        {"PCI register not aligned", pciWith([](pci_io& r) { r.pi_reg = 0xDE; })},
        {"PCI register past the configuration space", pciWith([](pci_io& r) { r.pi_reg = 0x1000; })},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(attachMachineText(kMachine));
        EXPECT_EQ(c.attempt(), EINVAL) << c.name;
        // Traced as refused, between the open and the close of an emulated device.
        const Lines& trace = traceLines();
        const std::string line = trace.size() == 3 ? trace[1] : trace.at(0);
        EXPECT_EQ(line.compare(0, 8, "ioctl 0x"), 0) << c.name << ": " << line;
        EXPECT_NE(line.find(" failed ("), std::string::npos) << c.name << ": " << line;
    }
    ASSERT_TRUE(attachMachineText(kMachine));
    EXPECT_EQ(ioctlError("/dev/cpuctl0", O_RDWR, CPUCTL_RDMSR, &msr), 0) << "the same access done right";
}

TEST(EmulatedDevices, InjectedFaultsAndMissingRegisters)
{
    const auto msr = [](unsigned long request, std::uint32_t number) {
        return [request, number] {
            cpuctl_msr_args_t args{};
            cpuctl_cpuid_args_t leaf{};
            args.msr = leaf.level = static_cast<int>(number);
            void* record = request == CPUCTL_CPUID ? static_cast<void*>(&leaf) : static_cast<void*>(&args);
            return ioctlError("/dev/cpuctl0", O_RDWR, request, record);
        };
    };
    const auto pci = [](unsigned long request, std::uint8_t function, int reg) {
        return [=] {
            pci_io io = pciRecord(function, reg, 3);
            return ioctlError("/dev/pci", O_RDWR, request, &io);
        };
    };
    const struct {
        const char* fault;
        std::function<int()> attempt;
        int expected; // errno of the ioctl, or minus that of the open
        const char* line;
    } cases[] = {
        {"fail rdmsr 0xc0010064", msr(CPUCTL_RDMSR, 0xC0010064), EIO, "rdmsr 0xc0010064 failed"},
        {"fail rdmsr 0xc0010064", msr(CPUCTL_WRMSR, 0xC0010064), 0, "wrmsr 0xc0010064 <- 0x0"},
        {"fail wrmsr 0xc0010015", msr(CPUCTL_WRMSR, 0xC0010015), EIO, "wrmsr 0xc0010015 failed"},
        {"fail wrmsr 0xc0010015", msr(CPUCTL_RDMSR, 0xC0010015), 0, "rdmsr 0xc0010015 -> 0x1000010"},
        {"", msr(CPUCTL_RDMSR, 0xC0010099), EIO, "rdmsr 0xc0010099 failed"}, // no such MSR
        {"", msr(CPUCTL_WRMSR, 0xC0010099), EIO, "wrmsr 0xc0010099 failed"},
        {"fail cpuid 0x80000001", msr(CPUCTL_CPUID, 0x80000001), EIO, "cpuid 0x80000001 failed"},
        {"fail pciread 18.3 0xdc", pci(PCIOCREAD, 3, 0xDC), EIO, "pciread 18.3 0xdc failed"},
        {"fail pciwrite 18.4 0x15c", pci(PCIOCWRITE, 4, 0x15C), EIO, "pciwrite 18.4 0x15c failed"},
        {"fail pciwrite 18.4 0x15c", pci(PCIOCREAD, 4, 0x15C), 0, "pciread 18.4 0x15c -> 0x0"},
        {"fail open /dev/pci", pci(PCIOCREAD, 3, 0xDC), -ENOENT, "open /dev/pci failed"},
        // Device 0x18 + 1 on a machine of one node: no such northbridge.
        {"",
         [] {
             pci_io io = pciRecord(3, 0xDC);
             io.pi_sel.pc_dev = kNorthbridgeDevice + 1;
             return ioctlError("/dev/pci", O_RDWR, PCIOCREAD, &io);
         },
         ENODEV, "pciread 19.3 0xdc failed"},
        {"fail open /dev/pci", msr(CPUCTL_RDMSR, 0xC0010015), 0, "rdmsr 0xc0010015 -> 0x1000010"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(attachMachineText(std::string(kMachine) + c.fault + "\n"));
        EXPECT_EQ(c.attempt(), c.expected) << c.line;
        EXPECT_EQ(traceLines().at(c.expected < 0 ? 0 : 1), c.line);
        if (c.expected != 0) {
            EXPECT_EQ(attachedMachine().msrs, (std::map<std::uint32_t, std::uint64_t>{
                                                  {0xC0010064, 0x8000019a4840404e}, {0xC0010015, 0x1000010}}))
                << c.line << ": a failed write changes nothing and adds nothing";
        }
    }
}

TEST(EmulatedDevices, FailOpCountsOpensAndIoctlsOnly)
{
    // Operations: 1 open cpuctl, 2 rdmsr, (close, sleep), 3 open pci, 4 pciread.
    const Lines clean = {"open /dev/cpuctl0", "rdmsr 0xc0010064 -> 0x8000019a4840404e", "close /dev/cpuctl0",
                         "sleep 1", "open /dev/pci", "pciread 18.3 0xdc -> 0x400", "close /dev/pci"};
    const struct {
        int op;
        std::size_t line;
        const char* failed;
    } cases[] = {{1, 0, "open /dev/cpuctl0 failed"},
                 {2, 1, "rdmsr 0xc0010064 failed"},
                 {3, 4, "open /dev/pci failed"},
                 {4, 5, "pciread 18.3 0xdc failed"},
                 {5, 99, ""}};
    for (const auto& c : cases) {
        ASSERT_TRUE(attachMachineText(std::string(kMachine) + "fail op " + std::to_string(c.op) + "\n"));
        cpuctl_msr_args_t msr{};
        msr.msr = static_cast<int>(0xC0010064);
        pci_io io = pciRecord(3, 0xDC);
        ioctlError("/dev/cpuctl0", O_RDWR, CPUCTL_RDMSR, &msr);
        sleep(1);
        ioctlError("/dev/pci", O_RDWR, PCIOCREAD, &io);

        Lines expected = clean;
        if (c.line < expected.size()) {
            expected[c.line] = c.failed;
            if (c.line == 0 || c.line == 4) // a failed open leaves nothing to use or close
                expected.erase(expected.begin() + static_cast<long>(c.line) + 1,
                               expected.begin() + static_cast<long>(c.line) + 3);
        }
        EXPECT_EQ(traceLines(), expected) << "fail op " << c.op;
    }
}

TEST(EmulatedDevices, AbsentWithoutMachineAndOtherPathsPassThrough)
{
    emulation::detachMachine();
    EXPECT_EQ(open("/dev/cpuctl0", O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);

    const TestFile file("pass_through");
    const std::string& path = file.path;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(write(fd, "x", 1), 1);
    int pending = -1;
    EXPECT_EQ(ioctl(fd, FIONREAD, &pending), 0) << "a foreign request on a foreign file reaches the system";
    EXPECT_EQ(close(fd), 0);
    EXPECT_EQ(readFile(path), "x");
}

TEST(EmulatedDevices, WritesAreSavedWhenAsked)
{
    const TestFile file("saved_machine");
    const std::string& path = file.path;
    const TestFile link("saved_machine_link"); // saving through it replaces the file it names
    const std::string text = "# my machine\nmsr 0xc0010064 0x8000019a4840404e  # P0\nmsr 0xc0010015 16\n";
    std::ofstream(path) << text;
    ASSERT_EQ(symlink(path.c_str(), link.path.c_str()), 0);
    ASSERT_TRUE(attachMachineText(text, link.path));
    std::string error;

    writeMsr(0, 0xC0010064, 0x8000019a48003004);
    writeMsr(0, 0xC0010015, 0x1000010);
    writePciConfig(0x18, 5, 0x164, 1);
    writePciConfig(0x18, 4, 0x15C, 3);
    EXPECT_EQ(readFile(path), text) << "the registers live in memory until the save";
    EXPECT_TRUE(emulation::saveAttachedMachine(error)) << error;
    // New lines in the order of the writes, as a save at every write left them.
    const std::string saved = "# my machine\nmsr 0xc0010064 0x8000019a48003004  # P0\nmsr 0xc0010015 16777232\n"
                              "pci 18.5 0x164 0x1\npci 18.4 0x15c 0x3\n";
    EXPECT_EQ(readFile(path), saved);
    char target[512] = {};
    EXPECT_GT(readlink(link.path.c_str(), target, sizeof target - 1), 0) << "still a link";

    // Nothing written since: the file is left alone.
    std::ofstream(path) << text;
    EXPECT_TRUE(emulation::saveAttachedMachine(error)) << error;
    EXPECT_EQ(readFile(path), text);

    // A save that fails says why; the registers stay as written.
    ASSERT_TRUE(attachMachineText(text, TestFile("no_such_directory/machine").path));
    writeMsr(0, 0xC0010015, 1);
    EXPECT_FALSE(emulation::saveAttachedMachine(error));
    EXPECT_EQ(error.rfind("cannot save ", 0), 0u) << error;
    EXPECT_EQ(attachedMachine().msrs.at(0xC0010015), 1u);
}

TEST(EmulatedDevicesDeathTest, DeviceFailuresEndTheProcessThroughErr)
{
    struct Case {
        const char* fault;
        std::function<void()> access;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"fail open /dev/cpuctl0", [] { cpuid(0x80000000); }, 255,
         "Failed to open /dev/cpuctl0: No such file or directory\nunit_tests: load the cpuctl module: kldload cpuctl"},
        {"fail open /dev/pci", [] { readPciConfig(0x18, 3, 0xDC); }, 255,
         "Failed to open /dev/pci: No such file or directory"},
        {"fail rdmsr 0xc0010064", [] { readMsr(0, 0xC0010064); }, 254,
         "ioctl\\(CPUCTL_RDMSR\\) on /dev/cpuctl0: Input/output error"},
        {"fail rdmsr 0xc0010064", [] { readMsr(1, 0xC0010064); }, 254,
         "ioctl\\(CPUCTL_RDMSR\\) on /dev/cpuctl1: Input/output error"},
        {"fail rdmsr 0xc0010064 core 1", [] { readMsr(0, 0xC0010064); readMsr(1, 0xC0010064); }, 254,
         "ioctl\\(CPUCTL_RDMSR\\) on /dev/cpuctl1: Input/output error"},
        {"fail wrmsr 0xc0010064 core 1", [] { checkMsrDevice(1); writeMsr(1, 0xC0010064, 0); }, 254,
         "ioctl\\(CPUCTL_WRMSR\\) on /dev/cpuctl1: Input/output error"},
        // A core the processor does not have, as an offline one.
        {"", [] { checkMsrDevice(2); }, 255,
         "Failed to open /dev/cpuctl2: No such device or address\nunit_tests: load the cpuctl module: kldload cpuctl"},
        {"fail wrmsr 0xc0010064", [] { writeMsr(0, 0xC0010064, 0); }, 254,
         "ioctl\\(CPUCTL_WRMSR\\) on /dev/cpuctl0: Input/output error"},
        {"fail cpuid 0x80000000", [] { cpuid(0x80000000); }, 254,
         "ioctl\\(CPUCTL_CPUID\\) on /dev/cpuctl0: Input/output error"},
        {"fail pciread 18.3 0xdc", [] { readPciConfig(0x18, 3, 0xDC); }, 254,
         "ioctl\\(PCIOCREAD\\) on /dev/pci: Input/output error"},
        {"fail pciwrite 18.3 0xdc", [] { writePciConfig(0x18, 3, 0xDC, 0); }, 254,
         "ioctl\\(PCIOCWRITE\\) on /dev/pci: Input/output error"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(attachMachineText(std::string(kMachine) + c.fault + "\n"));
        EXPECT_EXIT(c.access(), ::testing::ExitedWithCode(c.status), std::string("^unit_tests: ") + c.message + "\n$")
            << c.fault;
    }
}

TEST(EmulatedDevicesDeathTest, AWriteBeforeALaterFailureStaysSaved)
{
    const TestFile file("write_then_fail");
    const std::string& path = file.path;
    std::ofstream(path) << "msr 0xc0010064 0x1\n";
    ASSERT_TRUE(attachMachineText("msr 0xc0010064 0x1\n", path));
    EXPECT_EXIT(
        {
            // As pravellon-sim saves when err(3) ends the run.
            std::atexit([] {
                std::string error;
                (void)emulation::saveAttachedMachine(error);
            });
            writeMsr(0, 0xC0010064, 0x2);
            readMsr(0, 0xC0010099); // no such register
        },
        ::testing::ExitedWithCode(254), "CPUCTL_RDMSR");
    EXPECT_EQ(readFile(path), "msr 0xc0010064 0x2\n");
}

} // namespace

// family10 runs in P1 at 1.4 V, P1 at 1.35 V on core 3 of a line of its own.
TEST(EmulatedLoadDeathTest, AnswersAsTheStableLinesSay)
{
    const std::string preset = findPreset("family10")->machineText + "msr 0xc0010065 0x8000013a3c002010 core 3\n";
    const struct {
        const char* stable;
        std::vector<std::int32_t> wrong;
    } cases[] = {
        {"stable P1 1.35 hangs 1.3", {}},                          // at the stable voltage: right
        {"stable P1 1.4 hangs 1.3", {3}},                          // core 3 below it
        {"stable P1 1.4125 hangs 1.0", {0, 1, 2, 3, 4, 5}},        // every core below it
        {"stable P2 1.45 hangs 1.42", {}},                         // another P-state's line
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(attachMachineText(preset + c.stable + "\n"));
        prepareLoad({0, 1, 2, 3, 4, 5});
        startLoad({0, 1, 2, 3, 4, 5});
        EXPECT_EQ(stopLoad(), c.wrong) << c.stable;
        EXPECT_EQ(stopLoad(), std::vector<std::int32_t>{}) << "stopped: nothing left to report";
    }
    // Below the second voltage the machine hangs: the process ends as at a reset.
    ASSERT_TRUE(attachMachineText(preset + "stable P1 1.4 hangs 1.3625\n"));
    EXPECT_EXIT(startLoad({0, 1, 2, 3}), ::testing::KilledBySignal(SIGKILL), "");
}
