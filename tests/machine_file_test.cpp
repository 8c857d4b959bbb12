// The machine file: what the reader refuses and accepts, how a machine is
// written back, and the built-in processors.

#include <gtest/gtest.h>

#include <unistd.h>
#if defined(__linux__)
#include <sys/xattr.h>
#endif

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>

#include "cpu/probe.h"
#include "emulated_machine.h"
#include "hw/text_file.h"
#include "machine/writer.h"
#include "test_file.h"

// The calls of a save that a test makes fail, through the link-time wrap of
// the test executable: the error each gives, or 0 while it works.
int fsyncFails = 0;
int fsetxattrFails = 0;

extern "C" {
int __real_fsync(int fd);
int __wrap_fsync(int fd)
{
    if (fsyncFails != 0) {
        errno = fsyncFails;
        return -1;
    }
    return __real_fsync(fd);
}
#if defined(__linux__)
int __real_fsetxattr(int fd, const char* name, const void* value, size_t size, int flags);
int __wrap_fsetxattr(int fd, const char* name, const void* value, size_t size, int flags)
{
    if (fsetxattrFails != 0) {
        errno = fsetxattrFails;
        return -1;
    }
    return __real_fsetxattr(fd, name, value, size, flags);
}
#endif
}

namespace {

using Lines = std::vector<std::string>;

// The machine's registers and faults alone, in a fixed order.
std::string canonical(Machine machine)
{
    machine.lines.clear();
    return formatMachine(machine);
}

TEST(MachineFile, MalformedInputNamesItsLine)
{
    const struct {
        std::string text;
        std::string error; // the start of the message
    } cases[] = {
        {"bogus 1 2", "line 1: unknown entry 'bogus'"},
        {"MSR 1 1", "line 1: unknown entry 'MSR'"},
        {"msr 0xc0010064", "line 1: expected 'msr NUMBER VALUE [core N]'"},
        {"msr 1 1 core 0", "line 1: bad core 0 (core 0 has the line without 'core')"},
        {"msr 1 1 core x", "line 1: bad core 'x'"},
        {"msr 1 1 cores 1", "line 1: expected 'msr NUMBER VALUE [core N]'"},
        // Cores are checked against the count once the whole file is read.
        {"msr 1 1\nmsr 1 2 core 1", "line 2: bad core 1 (the machine has 1 core, by its CPUID leaf 0x80000008)"},
        {"msr 1 2 core 1\ncpuid 0x80000008 0 0 1 0", "line 1: core 1's MSR 0x1 without a line for every core"},
        {"msr 1 1\nmsr 1 2 core 2\ncpuid 0x80000008 0 0 1 0", "line 2: bad core 2 (the machine has 2 cores"},
        {"cpuid 0x80000008 0 0 1 0\nmsr 1 1\nmsr 1 2 core 1\nmsr 0x1 3 core 1", "line 4: a second line"},
        {"fail rdmsr 1 core 2\ncpuid 0x80000008 0 0 1 0", "line 1: bad core 2 (the machine has 2 cores"},
        {"fail wrmsr 1 core", "line 1: expected 'fail rdmsr|wrmsr NUMBER [core K]'"},
        {"fail open /dev/cpuctl2\ncpuid 0x80000008 0 0 1 0", "line 1: bad device '/dev/cpuctl2' (the machine has 2"},
        {"fail open /dev/cpuctl01", "line 1: bad device '/dev/cpuctl01'"},
        {"fail open /dev/cpuctl", "line 1: bad device '/dev/cpuctl'"},
        {"msr 1 2 3", "line 1: expected"},
        {"\n\n  # a comment\n\tmsr 1 0x", "line 4: bad MSR value '0x'"},
        {"msr 0x100000000 0", "line 1: bad MSR number"},
        {"msr 1 0x10000000000000000", "line 1: bad MSR value"},
        {"msr 1 18446744073709551616", "line 1: bad MSR value"},
        {"msr 1 -1", "line 1: bad MSR value"},
        {"msr 1 +1", "line 1: bad MSR value"},
        {"msr 1 1a", "line 1: bad MSR value"},
        {"msr 1 0x1g", "line 1: bad MSR value"},
        {std::string("msr 1 1\0", 8), "line 1: bad MSR value '1\\x00' ("},
        // What the file holds reaches the terminal as plain text, and not all of it.
        {"\x1b[2J\x7f 1 2", "line 1: unknown entry '\\x1b[2J\\x7f' ("},
        {"msr 1 a\\b\xc3\xa9", "line 1: bad MSR value 'a\\\\b\\xc3\\xa9' ("},
        {"fail open /dev/\x9b", "line 1: bad device '/dev/\\x9b' ("},
        {"msr 1 " + std::string(81, '7'), "line 1: bad MSR value '" + std::string(80, '7') + "...' ("},
        {"msr 1 " + std::string(80, '7'), "line 1: bad MSR value '" + std::string(80, '7') + "' ("},
        {"cpuid 1 2 3 4", "line 1: expected 'cpuid LEAF EAX EBX ECX EDX'"},
        {"stable P8 1.2 hangs 1.1", "line 1: bad P-state 'P8' (P0 to P7)"},
        {"stable P2 1.2 below 1.1", "line 1: expected 'stable PN VOLTS hangs VOLTS'"},
        {"stable P2 1.1875 hangs 1.2", "line 1: hangs above stable"},
        {"stable P2 1.1234567 hangs 1", "line 1: bad voltage '1.1234567'"},
        {"stable P2 1,2 hangs 1.1", "line 1: bad voltage '1,2'"},
        {"stable P2 1.2 hangs 1.1\nstable P2 1.3 hangs 1.1", "line 2: a second 'stable' line for the same P-state"},
        {"moves msr 1 0x10000 core 1", "line 1: bad core 1 (the machine has 1 core"},
        {"moves pci 18.3 0xa4 1", "line 1: expected 'moves msr NUMBER MASK [core N]'"},
        {"loaded msr 1 2 3", "line 1: expected 'loaded pci DEV.FUNC REGISTER VALUE'"},
        {"loaded pci 18.3 0xa4 0x100000000", "line 1: bad PCI value"},
        {"cpuid 1 2 3 4 0x100000000", "line 1: bad CPUID register"},
        {"pci 18 0xdc 0", "line 1: bad PCI function '18'"},
        {"pci 0x18.3 0xdc 0", "line 1: bad PCI function"},
        {"pci 20.3 0xdc 0", "line 1: bad PCI function"},
        {"pci 18.8 0xdc 0", "line 1: bad PCI function"},
        {"pci 18. 0xdc 0", "line 1: bad PCI function"},
        {"pci 18.3 0x100000000 0", "line 1: bad PCI register"},
        {"pci 18.3 0xdc 4294967296", "line 1: bad PCI value"},
        // Only registers a configuration access can reach.
        {"pci 18.3 0xdd 0", "line 1: bad PCI register '0xdd' (a multiple of 4 below 0x1000)"},
        {"pci 18.3 0x1000 0", "line 1: bad PCI register '0x1000'"},
        {"fail pciread 18.3 0xde", "line 1: bad PCI register '0xde'"},
        {"fail pciwrite 18.3 0x2000", "line 1: bad PCI register '0x2000'"},
        {"msr 1 1\nmsr 0x1 2", "line 2: a second line"},
        {"pci 18.3 0xdc 1\npci 18.3 220 2", "line 2: a second line"},
        {"cpuid 5 0 0 0 0\n\ncpuid 0x5 1 1 1 1", "line 3: a second line"},
        {"fail rdmsr 1\nfail rdmsr 0x1", "line 2: a second line"},
        {"fail open /dev/pci\nfail open /dev/pci", "line 2: a second line"},
        {"fail op 1\nfail op 2", "line 2: a second 'fail op' line"},
        {"fail op 0", "line 1: bad operation number 0"},
        {"fail op x", "line 1: bad operation number"},
        {"fail open /dev/mem", "line 1: bad device '/dev/mem'"},
        {"fail open", "line 1: expected 'fail open PATH'"},
        {"fail pciread 18.3", "line 1: expected"},
        {"fail frob 1", "line 1: unknown fault 'frob'"},
        {"fail", "line 1: unknown fault ''"},
        {"ignore rdmsr 1", "line 1: unknown ignored write 'rdmsr'"},
        {"ignore \x1b[2J 1", "line 1: unknown ignored write '\\x1b[2J' ("},
        {"ignore wrmsr 1 core", "line 1: expected 'ignore wrmsr NUMBER [core N]'"},
        {"ignore wrmsr 1 on 0", "line 1: expected 'ignore wrmsr NUMBER [core N]'"},
        {"ignore wrmsr 1 core 0x100", "line 1: bad core"},
        {"ignore pciwrite 18.4 0x15c core 0", "line 1: expected 'ignore pciwrite DEV.FUNC REGISTER'"},
        {"ignore wrmsr 1\nignore wrmsr 0x1", "line 2: a second line"},
        // The cores are counted by CPUID leaf 0x80000008, wherever its line is.
        {"ignore wrmsr 1 core 1", "line 1: bad core 1 (the machine has 1 core,"},
        // The operating system's CPUs, which per-core lines may name.
        {"cpus 0", "line 1: bad CPU count 0"},
        {"cpus 4096", "line 1: bad CPU count '4096'"},
        {"cpus 2\ncpus 2", "line 2: a second 'cpus' line"},
        {"cpus 12\nmsr 1 1\nmsr 1 2 core 12", "line 3: bad core 12 (the machine has 12 CPUs, by its cpus line)"},
        {"offline 2\ncpus 2", "line 1: bad CPU 2 (the machine has 2 CPUs"},
        {"offline 0", "line 1: CPU 0 cannot be offline"},
        {"cpus 1-3", "line 1: bad CPU list '1-3'"},
        {"cpus 0-3,2", "line 1: bad CPU list '0-3,2'"},
        {"cpus 0-7,16-23\nmsr 1 1\nmsr 1 2 core 8", "line 3: bad core 8 (the machine has CPUs 0-7,16-23, by its cpus line)"},
        {"ignore wrmsr 1 core 0\nignore wrmsr 1 core 2\ncpuid 0x80000008 0 0 1 0",
         "line 2: bad core 2 (the machine has 2 cores,"},
    };
    for (const auto& c : cases) {
        Machine machine;
        machine.msrs[7] = 7;
        std::string error;
        EXPECT_FALSE(parseMachine(c.text, machine, error)) << c.text;
        EXPECT_EQ(error.compare(0, c.error.size(), c.error), 0) << c.text << " gave: " << error;
        EXPECT_EQ(machine.msrs.at(7), 7u) << "a failed read leaves the machine alone: " << c.text;
    }
}

TEST(MachineFile, ReadsWellFormedInput)
{
    const struct {
        const char* text;
        std::function<void(const Machine&)> check;
    } cases[] = {
        {"msr 010 010", [](const Machine& m) { EXPECT_EQ(m.msrs.at(10), 10u) << "a leading 0 is not octal"; }},
        {"msr 0XC0010064 0XFFFFFFFFFFFFFFFF",
         [](const Machine& m) { EXPECT_EQ(m.msrs.at(0xC0010064), ~std::uint64_t{0}); }},
        {"msr 4294967295 18446744073709551615", [](const Machine& m) { EXPECT_EQ(m.msrs.at(~0u), ~std::uint64_t{0}); }},
        {"msr 1 0x0000000000000000000002", [](const Machine& m) { EXPECT_EQ(m.msrs.at(1), 2u); }},
        {"cpuid 0x80000000 0 1 0x444D4163 4294967295",
         [](const Machine& m) {
             EXPECT_EQ(m.cpuidLeaves.at(0x80000000).ecx, 0x444d4163u);
             EXPECT_EQ(m.cpuidLeaves.at(0x80000000).edx, 0xFFFFFFFFu);
         }},
        {"pci 18.3 0xDC 0xffffffff\npci 1f.7 0 0\npci 18.2 0xffc 1",
         [](const Machine& m) {
             EXPECT_EQ(m.pciRegisters.at(PciAddress{0x18, 3, 0xDC}), 0xFFFFFFFFu);
             EXPECT_EQ(m.pciRegisters.count(PciAddress{0x1F, 7, 0}), 1u);
             EXPECT_EQ(m.pciRegisters.at(PciAddress{0x18, 2, 0xFFC}), 1u) << "the last register of the space";
         }},
        {"\r\n  \t\n# only comments # and more\nmsr 1 2#glued comment\r\nmsr\t3\t4",
         [](const Machine& m) { EXPECT_EQ(m.msrs, (std::map<std::uint32_t, std::uint64_t>{{1, 2}, {3, 4}})); }},
        {"fail open /dev/cpuctl0\nfail open /dev/pci\nfail rdmsr 1\nfail wrmsr 1\nfail cpuid 0x80000007\n"
         "fail pciread 18.3 0xdc\nfail pciwrite 18.4 0x15c\nfail op 12",
         [](const Machine& m) {
             EXPECT_EQ(m.faults.count(Fault{FaultKind::open, "/dev/cpuctl0"})
                           + m.faults.count(Fault{FaultKind::open, "/dev/pci"}), 2u);
             EXPECT_EQ(m.faults.count(Fault{FaultKind::rdmsr, 1u}), 1u);
             EXPECT_EQ(m.faults.count(Fault{FaultKind::wrmsr, 1u}), 1u);
             EXPECT_EQ(m.faults.count(Fault{FaultKind::cpuid, 0x80000007u}), 1u);
             EXPECT_EQ(m.faults.count(Fault{FaultKind::pciRead, PciAddress{0x18, 3, 0xDC}}), 1u);
             EXPECT_EQ(m.faults.count(Fault{FaultKind::pciWrite, PciAddress{0x18, 4, 0x15C}}), 1u);
             EXPECT_EQ(m.failOp, 12);
             EXPECT_TRUE(m.msrs.empty());
         }},
        {"fail wrmsr 1 EPERM\nfail open /dev/pci EACCES",
         [](const Machine& m) {
             EXPECT_EQ(m.faults.find(Fault{FaultKind::wrmsr, 1u})->error, EPERM);
             EXPECT_EQ(m.faults.find(Fault{FaultKind::open, "/dev/pci"})->error, EACCES);
         }},
        {"msr 1 5 core 3\nmsr 1 2\ncpuid 0x80000008 0 0 3 0\nfail rdmsr 1 core 0\nfail wrmsr 1 core 3\n"
         "fail open /dev/cpuctl3",
         [](const Machine& m) {
             std::vector<std::uint64_t> values(4);
             for (std::int32_t core = 0; core < 4; ++core)
                 EXPECT_TRUE(msrOnCore(m, core, 1, values[static_cast<std::size_t>(core)]));
             EXPECT_EQ(values, (std::vector<std::uint64_t>{2, 2, 2, 5}));
             EXPECT_EQ(m.faults.count(Fault{FaultKind::rdmsr, 1u, 0}), 1u);
             EXPECT_EQ(m.faults.count(Fault{FaultKind::rdmsr, 1u}), 0u) << "core 0 only";
             EXPECT_EQ(m.faults.count(Fault{FaultKind::wrmsr, 1u, 3}), 1u);
             EXPECT_EQ(m.faults.count(Fault{FaultKind::open, "/dev/cpuctl3"}), 1u);
         }},
        {"cpuid 0x80000008 0 0 0x7 0\nignore wrmsr 0xc0010015\nignore wrmsr 0xc0010015 core 7\n"
         "ignore pciwrite 18.5 0x164",
         [](const Machine& m) {
             EXPECT_EQ(m.faults, (std::set<Fault>{Fault{FaultKind::ignoreWrmsr, 0xC0010015u},
                                                  Fault{FaultKind::ignoreWrmsr, 0xC0010015u, 7},
                                                  Fault{FaultKind::ignorePciWrite, PciAddress{0x18, 5, 0x164}}}));
         }},
        {"stable P2 1.1875 hangs 1.125\nstable P0 1.0 hangs 0.00625\nstable P7 1.55 hangs 1.55",
         [](const Machine& m) {
             EXPECT_EQ(m.stability, (std::map<std::int32_t, Stability>{
                                        {0, {1000000, 6250}}, {2, {1187500, 1125000}}, {7, {1550000, 1550000}}}));
         }},
        {"cpuid 0x80000008 0 0 3 0\nmoves msr 0xc0010071 0x10000 core 3\nmoves msr 0xc0010061 1\n"
         "loaded pci 18.3 0xa4 0x53800fef",
         [](const Machine& m) {
             EXPECT_EQ(m.movingMsrs, (std::map<CoreMsr, std::uint64_t>{{{0xc0010071, 3}, 0x10000},
                                                                       {{0xc0010061, Fault::kEveryCore}, 1}}));
             EXPECT_EQ(m.loadedPciRegisters.at(PciAddress{0x18, 3, 0xa4}), 0x53800fefu);
         }},
    };
    for (const auto& c : cases) {
        Machine machine;
        std::string error;
        ASSERT_TRUE(parseMachine(c.text, machine, error)) << c.text << ": " << error;
        c.check(machine);
        Machine again;
        ASSERT_TRUE(parseMachine(formatMachine(machine), again, error)) << c.text << ": " << error;
        EXPECT_EQ(canonical(again), canonical(machine)) << "written back and read again: " << c.text;
    }
}

TEST(MachineFile, WritingBackChangesOnlyTheValuesThatDiffer)
{
    Machine machine;
    std::string error;
    ASSERT_TRUE(parseMachine("# mine\nmsr 0xc0010064 0x800001403c000c14  # P0\nmsr 0xc0010015 16 # decimal\n"
                             "  pci   18.4  0x15c  0x07   # boost\ncpuid 1 0x1 2 0x0003 4\nfail op 3 # later\n"
                             "stable  P1 1.3000 hangs 1.2 # mine\n",
                             machine, error))
        << error;
    machine.msrs[0xC0010064] = 0x800001403c003004;
    machine.msrs[0xC0010015] = 0x3000010;
    machine.pciRegisters[PciAddress{0x18, 4, 0x15C}] = 0x104; // wider than the digits it had
    machine.cpuidLeaves[1].ecx = 0xA;
    machine.pciRegisters[PciAddress{0x18, 5, 0x170}] = 1; // new
    machine.faults.insert(Fault{FaultKind::rdmsr, 0xC0010071u}); // new
    machine.faults.insert(Fault{FaultKind::ignoreWrmsr, 0xC0010064u, 0}); // new
    EXPECT_EQ(machineLines(machine), (Lines{"# mine", "msr 0xc0010064 0x800001403c003004  # P0",
                                            "msr 0xc0010015 50331664 # decimal", "  pci   18.4  0x15c  0x104   # boost",
                                            "cpuid 1 0x1 2 0x000a 4", "fail op 3 # later",
                                            "stable  P1 1.3000 hangs 1.2 # mine", "pci 18.5 0x170 0x1",
                                            "fail rdmsr 0xc0010071", "ignore wrmsr 0xc0010064 core 0"}));

    machine.msrs.erase(0xC0010015);
    machine.failOp = 0;
    machine.stability.clear();
    EXPECT_EQ(machineLines(machine), (Lines{"# mine", "msr 0xc0010064 0x800001403c003004  # P0",
                                            "  pci   18.4  0x15c  0x104   # boost", "cpuid 1 0x1 2 0x000a 4",
                                            "pci 18.5 0x170 0x1", "fail rdmsr 0xc0010071",
                                            "ignore wrmsr 0xc0010064 core 0"}))
        << "what the machine no longer has loses its line";
}

TEST(MachineFile, CoresKeepOwnLinesOnlyWhileTheyDiffer)
{
    Machine machine;
    std::string error;
    ASSERT_TRUE(parseMachine("cpuid 0x80000008 0 0 3 0\nmsr 0x64 0x10  # P0\nmsr 0x64 0x11 core 2  # mine\n"
                             "msr 0x65 0x20\nfail op 9\n",
                             machine, error))
        << error;
    // Core 0 first, as the program writes: the cores that had core 0's value
    // keep it until they are written themselves.
    setMsrOnCore(machine, 0, 0x64, 0x12);
    EXPECT_EQ(machineLines(machine),
              (Lines{"cpuid 0x80000008 0 0 3 0", "msr 0x64 0x12  # P0", "msr 0x64 0x11 core 2  # mine",
                     "msr 0x65 0x20", "fail op 9", "msr 0x64 0x10 core 1", "msr 0x64 0x10 core 3"}));
    setMsrOnCore(machine, 1, 0x64, 0x12);
    setMsrOnCore(machine, 2, 0x64, 0x12);
    setMsrOnCore(machine, 3, 0x65, 0x21);
    EXPECT_EQ(machineLines(machine), (Lines{"cpuid 0x80000008 0 0 3 0", "msr 0x64 0x12  # P0", "msr 0x65 0x20",
                                            "fail op 9", "msr 0x64 0x10 core 3", "msr 0x65 0x21 core 3"}))
        << "a core that became equal to core 0 loses its line";
    Machine again;
    ASSERT_TRUE(parseMachine(formatMachine(machine), again, error)) << error;
    EXPECT_EQ(again.coreMsrs, machine.coreMsrs);
}

// A save that would lose another program's file, or leave one the next run
// refuses, is not made; nothing of it stays behind.
std::string movedInFrom;
std::string movedInTo;
void moveAFileIn()
{
    EXPECT_EQ(std::rename(movedInFrom.c_str(), movedInTo.c_str()), 0);
}

TEST(MachineFile, SavesThatWouldLoseAFileAreRefused)
{
    const TestFile file("refused_save");
    const TestFile other("refused_save_other");
    const struct {
        const char* name;
        std::size_t size;    // of the text saved
        bool replacedMeanwhile; // by a rename right before the save's own
        std::string error;   // empty: saved, and read back as it was saved
        int* fails = nullptr; // a call of the save made to fail with EIO
    } cases[] = {
        {"replaced between read and save", 10, true, "another program replaced it since it was read"},
        {"larger than a machine file may be", kMaxMachineFileSize + 1, false, "it would be larger than 16 MiB"},
        {"as large as a machine file may be", kMaxMachineFileSize, false, ""},
        {"fsync failing", 10, false, "Input/output error", &fsyncFails},
#if defined(__linux__)
        {"an attribute not copied", 10, false, "cannot copy its ACL and extended attributes: Input/output error",
         &fsetxattrFails},
#endif
    };
    for (const auto& c : cases) {
        // A new file each time: the lock of the last one stays with it.
        std::remove(file.path.c_str());
        writeFile(file.path, "read\n");
        writeFile(other.path, "moved in\n");
#if defined(__linux__)
        if (c.fails == &fsetxattrFails && setxattr(file.path.c_str(), "user.note", "mine", 4, 0) != 0)
            continue; // a file system without user attributes
#endif
        std::string text;
        std::string error;
        struct stat status {};
        ASSERT_TRUE(lockAndReadFile(file.path, text, status, error, [] {})) << error;
        movedInFrom = other.path;
        movedInTo = file.path;
        setBeforeRename(c.replacedMeanwhile ? moveAFileIn : nullptr);
        if (c.fails != nullptr)
            *c.fails = EIO;
        const bool saved = replaceFileContent(file.path, std::string(c.size, '#'), error);
        if (c.fails != nullptr)
            *c.fails = 0;
        setBeforeRename(nullptr);
        if (c.error.empty()) {
            // Read through a copy, since this process holds the saved file's
            // lock.
            EXPECT_TRUE(saved) << c.name << ": " << error;
            writeFile(other.path, readFile(file.path));
            EXPECT_TRUE(lockAndReadFile(other.path, text, status, error, [] {})) << c.name << ": " << error;
            EXPECT_EQ(text, std::string(c.size, '#')) << c.name;
            continue;
        }
        EXPECT_FALSE(saved) << c.name;
        EXPECT_EQ(error, "cannot save " + file.path + ": " + c.error) << c.name;
        EXPECT_EQ(readFile(file.path), c.replacedMeanwhile ? "moved in\n" : "read\n") << c.name;
        for (const auto& entry : std::filesystem::directory_iterator(::testing::TempDir()))
            EXPECT_NE(entry.path().string().rfind(file.path + ".saving-", 0), 0u) << entry.path();
    }
}

// What each preset reports is checked whole elsewhere; here, that its enabled
// P-states have bit 63 set, as on hardware, and only they.
TEST(Presets, EnabledPstatesHaveTheirEnableBit)
{
    for (const Preset& preset : presets()) {
        ASSERT_TRUE(attachPreset(preset.name));
        ProcessorProfile p;
        if (!probeProcessor(p))
            continue;
        const Machine& m = emulation::attachedMachine();
        for (std::uint32_t i = 0; i < 8; ++i) {
            const auto it = m.msrs.find(0xC0010064 + i);
            const bool enabled = it != m.msrs.end() && (it->second >> 63) != 0;
            EXPECT_EQ(enabled, static_cast<std::int32_t>(i) < p.pstateCount) << preset.name << " P" << i;
        }
    }
}

TEST(Presets, WriteBackAsTheyAreWritten)
{
    for (const Preset& preset : presets()) {
        Machine machine;
        std::string error;
        ASSERT_TRUE(parseMachine(preset.machineText, machine, error)) << preset.name << ": " << error;
        EXPECT_EQ(formatMachine(machine), preset.machineText) << preset.name;
        EXPECT_EQ(preset.description.find('\n'), std::string::npos) << preset.name;
        EXPECT_EQ(findPreset(preset.name), &preset);
    }
    EXPECT_EQ(findPreset("family16"), nullptr);
}

} // namespace
