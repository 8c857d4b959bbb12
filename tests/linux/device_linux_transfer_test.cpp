// The Linux accessors move the right bytes at the right offset of the right
// file, open it the right way and close it again.

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "hw/device.h"

namespace {

// Bytes around a register, so that a transfer one byte off shows.
const Bytes kBefore(8, 0xA5);
const Bytes kAfter(8, 0x5A);

Bytes concat(const Bytes& a, const Bytes& b, const Bytes& c)
{
    Bytes all = a;
    all.insert(all.end(), b.begin(), b.end());
    all.insert(all.end(), c.begin(), c.end());
    return all;
}

// The register's bytes at offset with the guard bytes on either side, all of
// them as the file holds them.
Bytes framed(const Bytes& bytes)
{
    return concat(kBefore, bytes, kAfter);
}

void writeFramed(const std::string& file, std::uint64_t offset, const Bytes& bytes)
{
    writeBytesAt(file, offset - kBefore.size(), framed(bytes));
}

Bytes readFramed(const std::string& file, std::uint64_t offset, std::size_t size)
{
    return readBytesAt(file, offset - kBefore.size(), kBefore.size() + size + kAfter.size());
}

TEST_F(LinuxDevice, ReadMsrTakesEightBytesAtTheMsrNumber)
{
    struct Case {
        const char* name;
        std::uint32_t msr;
        std::uint64_t value;
    };
    const Case cases[] = {
        {"hardware configuration", 0xC0010015, 0x0000000001000010ull},
        {"P-state request", 0xC0010062, 0x0000000000000002ull},
        {"P-state 0", 0xC0010064, 0x8000019A4840404Eull},
        {"P-state 7", 0xC001006B, 0x8000013F00002C10ull},
        {"COFVID status", 0xC0010071, 0x0041C8C04D005404ull},
        {"low MSR", 0x10, 0x0123456789ABCDEFull},
    };
    int fileNumber = 0;
    for (const Case& c : cases) {
        const std::string file = standIn(kMsrDevice, "msr" + std::to_string(fileNumber++));
        writeFramed(file, c.msr, littleEndian(c.value, 8));
        EXPECT_EQ(readMsr(0, c.msr), c.value) << c.name;
    }
}

TEST_F(LinuxDevice, WriteMsrPutsEightBytesAtTheMsrNumberAndNothingElse)
{
    struct Case {
        const char* name;
        std::uint32_t msr;
        std::uint64_t value;
    };
    const Case cases[] = {
        {"hardware configuration", 0xC0010015, 0x0000000003000010ull},
        {"P-state request", 0xC0010062, 0x0000000000000001ull},
        {"P-state 1", 0xC0010065, 0x800001B848004C0Eull},
        {"all ones", 0xC0010064, ~0ull},
        {"zero", 0xC0010066, 0},
    };
    int fileNumber = 0;
    for (const Case& c : cases) {
        const std::string file = standIn(kMsrDevice, "msr" + std::to_string(fileNumber++));
        writeFramed(file, c.msr, littleEndian(0x1111111111111111ull, 8));
        writeBytesAt(file, 0xC0020000ull, Bytes{0xEE}); // a tail that a truncating open would lose
        const std::uint64_t size = fileSize(file);

        writeMsr(0, c.msr, c.value);

        EXPECT_EQ(readFramed(file, c.msr, 8), framed(littleEndian(c.value, 8))) << c.name;
        EXPECT_EQ(fileSize(file), size) << c.name;
        EXPECT_EQ(readBytesAt(file, 0xC0020000ull, 1), Bytes{0xEE}) << c.name;
    }
}

TEST_F(LinuxDevice, CpuidTakesFourWordsAtTheLeafInRegisterOrder)
{
    struct Case {
        const char* name;
        std::uint32_t leaf;
        CpuidRegisters registers;
    };
    const Case cases[] = {
        {"vendor", 0x80000000, {0x8000001B, 0x68747541, 0x444d4163, 0x69746e65}},
        {"family and model", 0x80000001, {0x00600F12, 0x10000000, 0x01EBBFFF, 0x2FD3FBFF}},
        {"power management", 0x80000007, {0x00000000, 0x00000000, 0x00000000, 0x000007D9}},
        {"core count", 0x80000008, {0x00003030, 0x00000000, 0x00000007, 0x00000000}},
        {"standard leaf 0xD", 0xD, {0x00000207, 0x00000340, 0x00000380, 0x00000000}},
    };
    int fileNumber = 0;
    for (const Case& c : cases) {
        const std::string file = standIn(kCpuidDevice, "cpuid" + std::to_string(fileNumber++));
        const CpuidRegisters& r = c.registers;
        Bytes words;
        for (const std::uint32_t word : {r.eax, r.ebx, r.ecx, r.edx}) {
            const Bytes bytes = littleEndian(word, 4);
            words.insert(words.end(), bytes.begin(), bytes.end());
        }
        writeFramed(file, c.leaf, words);
        const CpuidRegisters got = cpuid(c.leaf);
        EXPECT_EQ(got.eax, r.eax) << c.name;
        EXPECT_EQ(got.ebx, r.ebx) << c.name;
        EXPECT_EQ(got.ecx, r.ecx) << c.name;
        EXPECT_EQ(got.edx, r.edx) << c.name;
    }
}

// Every register of a stand-in configuration space holds its own device,
// function and offset, so a read from the wrong function or offset shows.
std::uint32_t pciWord(std::uint32_t device, std::uint32_t function, std::uint32_t reg)
{
    return device << 24 | function << 16 | reg;
}

Bytes configSpace(std::uint32_t device, std::uint32_t function, std::uint32_t size)
{
    Bytes bytes;
    for (std::uint32_t reg = 0; reg < size; reg += 4) {
        const Bytes word = littleEndian(pciWord(device, function, reg), 4);
        bytes.insert(bytes.end(), word.begin(), word.end());
    }
    return bytes;
}

struct ConfigStandIn {
    std::string devicePath;
    std::uint8_t device;
    std::uint8_t function;
};

// Functions 3, 4 and 5 of the northbridge, and one other device for the
// spelling of the path.
const ConfigStandIn kConfigStandIns[] = {
    {kMiscConfig, 0x18, 3},
    {kLinkConfig, 0x18, 4},
    {kExtendedMiscConfig, 0x18, 5},
    {"/sys/bus/pci/devices/0000:00:0a.7/config", 0x0A, 7},
};

class LinuxStandIns : public LinuxDevice {
protected:
    void SetUp() override
    {
        LinuxDevice::SetUp();
        makeConfigSpaces();
    }

    // (Re)makes every configuration space with its original content.
    void makeConfigSpaces()
    {
        files.clear();
        for (const ConfigStandIn& s : kConfigStandIns) {
            const std::string file = standIn(s.devicePath, "config" + std::to_string(files.size()));
            writeBytesAt(file, 0, configSpace(s.device, s.function, 4096));
            files.push_back(file);
        }
    }

    std::vector<std::string> files; // in the order of kConfigStandIns
};

TEST_F(LinuxStandIns, ReadTakesFourBytesAtTheRegisterOfTheFunction)
{
    struct Case {
        std::uint8_t device;
        std::uint8_t function;
        std::uint32_t reg;
    };
    const Case cases[] = {
        {0x18, 3, 0xD4},  {0x18, 3, 0xDC},  {0x18, 3, 0x1F0}, {0x18, 4, 0x15C}, {0x18, 5, 0x160},
        {0x18, 5, 0x16C}, {0x18, 5, 0x170}, {0x18, 3, 0x000}, {0x18, 5, 0xFFC}, {0x0A, 7, 0x040},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readPciConfig(c.device, c.function, c.reg), pciWord(c.device, c.function, c.reg))
            << "device " << +c.device << " function " << +c.function << " register " << c.reg;
}

TEST_F(LinuxStandIns, WriteChangesOnlyFourBytesAtTheRegisterOfTheFunction)
{
    struct Case {
        std::size_t standIn; // index into kConfigStandIns
        std::uint32_t reg;
        std::uint32_t value;
    };
    const Case cases[] = {
        {1, 0x15C, 0x0000A5C3}, // boost source and APM
        {2, 0x160, 0x80001A04}, // northbridge P-state 0
        {2, 0x16C, 0xFFFFFFFF}, // northbridge P-state 3
        {0, 0x0D4, 0x00000000},
        {3, 0x040, 0x12345678},
    };
    for (const Case& c : cases) {
        makeConfigSpaces();
        const ConfigStandIn& target = kConfigStandIns[c.standIn];
        const std::string name = "function " + std::to_string(target.function) + " register " +
                                 std::to_string(c.reg);

        writePciConfig(target.device, target.function, c.reg, c.value);

        for (std::size_t i = 0; i < files.size(); ++i) {
            const ConfigStandIn& s = kConfigStandIns[i];
            Bytes expected = configSpace(s.device, s.function, 4096);
            if (i == c.standIn) {
                const Bytes value = littleEndian(c.value, 4);
                std::copy(value.begin(), value.end(), expected.begin() + c.reg);
            }
            EXPECT_EQ(readBytesAt(files[i], 0, 8192), expected) << name << ", file " << s.devicePath;
        }
    }
}

// Each call opens its device afresh with the access it needs, passes a mode,
// and closes it before returning; a read-modify-write is two such calls.
TEST_F(LinuxStandIns, EachCallOpensAndClosesItsDevice)
{
    writeBytesAt(standIn(kMsrDevice, "msr"), 0xC0010000ull, Bytes(0x100, 0));
    writeBytesAt(standIn(kCpuidDevice, "cpuid"), 0x80000000ull, Bytes(0x100, 0));

    struct Open {
        std::string path;
        int access;
    };
    struct Case {
        const char* name;
        std::function<void()> calls;
        std::vector<Open> opens;
    };
    const Case cases[] = {
        {"readMsr", [] { readMsr(0, 0xC0010064); }, {{kMsrDevice, O_RDONLY}}},
        {"writeMsr", [] { writeMsr(0, 0xC0010064, 1); }, {{kMsrDevice, O_RDWR}}},
        {"two readMsr of one MSR",
         [] {
             readMsr(0, 0xC0010071);
             readMsr(0, 0xC0010071);
         },
         {{kMsrDevice, O_RDONLY}, {kMsrDevice, O_RDONLY}}},
        {"readMsr then writeMsr", [] { writeMsr(0, 0xC0010015, readMsr(0, 0xC0010015) | 0x2000000); },
         {{kMsrDevice, O_RDONLY}, {kMsrDevice, O_RDWR}}},
        {"cpuid", [] { cpuid(0x80000000); }, {{kCpuidDevice, O_RDONLY}}},
        {"two cpuid of one leaf",
         [] {
             cpuid(0x80000001);
             cpuid(0x80000001);
         },
         {{kCpuidDevice, O_RDONLY}, {kCpuidDevice, O_RDONLY}}},
        {"readPciConfig", [] { readPciConfig(0x18, 3, 0xDC); }, {{kMiscConfig, O_RDONLY}}},
        {"writePciConfig", [] { writePciConfig(0x18, 5, 0x160, 0); }, {{kExtendedMiscConfig, O_RDWR}}},
        {"two readPciConfig of one register",
         [] {
             readPciConfig(0x18, 4, 0x15C);
             readPciConfig(0x18, 4, 0x15C);
         },
         {{kLinkConfig, O_RDONLY}, {kLinkConfig, O_RDONLY}}},
        {"readPciConfig then writePciConfig",
         [] { writePciConfig(0x18, 4, 0x15C, readPciConfig(0x18, 4, 0x15C)); },
         {{kLinkConfig, O_RDONLY}, {kLinkConfig, O_RDWR}}},
    };
    for (const Case& c : cases) {
        redirected::clearOpenCalls();
        c.calls();
        const std::vector<redirected::OpenCall> calls = redirected::openCalls();
        ASSERT_EQ(calls.size(), c.opens.size()) << c.name;
        for (std::size_t i = 0; i < calls.size(); ++i) {
            const redirected::OpenCall& call = calls[i];
            const std::string which = std::string(c.name) + ", open " + std::to_string(i + 1);
            EXPECT_EQ(call.path, c.opens[i].path) << which;
            // Nothing but the access mode: no creating, truncating or appending
            // (an appending descriptor would make pwrite ignore the offset).
            EXPECT_EQ(call.flags & ~O_CLOEXEC, c.opens[i].access) << which;
            EXPECT_EQ(call.mode, 0) << which << " through " << call.entry;
            EXPECT_GE(call.fd, 0) << which;
            errno = 0;
            EXPECT_EQ(fcntl(call.fd, F_GETFD), -1) << which << ": descriptor " << call.fd << " left open";
            EXPECT_EQ(errno, EBADF) << which;
        }
    }
}

} // namespace

namespace {

// The CPUs from the kernel's two lists: every present CPU, ascending, offline
// unless the online list names it. A list the kernel never writes ends the
// process as a failed transfer does.
TEST_F(LinuxDevice, CpusFromThePresentAndOnlineLists)
{
    struct Case {
        const char* present;
        const char* online;
        std::string cpus; // number, then "-" when offline; empty: refused
    };
    const Case cases[] = {
        {"0-5\n", "0-5\n", "0 1 2 3 4 5"},
        {"0\n", "0\n", "0"},
        {"0-5,8,10-11\n", "0-2,4-5,10\n", "0 1 2 3- 4 5 8- 10 11-"},
        {"0-3", "0-3", "0 1 2 3"},
        {"", "", ""},
        {"0-3,2\n", "0\n", ""},
        {"0-3,3\n", "0\n", ""}, // the last CPU again
        {"3-1\n", "1\n", ""},
        {"0-x\n", "0\n", ""},
        {"0,,1\n", "0\n", ""},
        {"0-3\n", "0-3 \n", ""},
        {"0-70000\n", "0\n", ""},
    };
    for (const Case& c : cases) {
        redirected::reset();
        std::remove(scratch.path("present").c_str());
        std::remove(scratch.path("online").c_str());
        writeBytesAt(standIn(kPresentCpus, "present"), 0, Bytes(c.present, c.present + std::strlen(c.present)));
        writeBytesAt(standIn(kOnlineCpus, "online"), 0, Bytes(c.online, c.online + std::strlen(c.online)));
        if (c.cpus.empty()) {
            EXPECT_EXIT(systemCpus(), ::testing::ExitedWithCode(254), "read\\(CPU list\\) on /sys/devices/system/cpu/")
                << c.present << " / " << c.online;
            continue;
        }
        std::string cpus;
        for (const SystemCpu& cpu : systemCpus())
            cpus += (cpus.empty() ? "" : " ") + std::to_string(cpu.number) + (cpu.online ? "" : "-");
        EXPECT_EQ(cpus, c.cpus) << c.present << " / " << c.online;
    }
}

} // namespace
