// The driver's outcomes: what it prints where, and the status it ends with.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_program.h"

namespace {

const char* const kRefused = "cpuid 0x80000000 0x8000001b 0x756e6547 0x6c65746e 0x49656e69\n";

// A family 0x12 processor without boost, two P-states.
const char* const kFamily12 =
    "cpuid 0x80000000 0x8000001b 0x68747541 0x444d4163 0x69746e65\n"
    "cpuid 0x80000001 0x00300F10 0 0 0\n"
    "cpuid 0x80000008 0 0 1 0\n"
    "pci 18.3 0xdc 0x100\n"
    "msr 0xc0010071 0x0\n"
    "msr 0xc0010064 0x80000000000050A5\n"
    "msr 0xc0010065 0x80000000000060E2\n";

TEST(Driver, UnsupportedProcessorIgnoresTheArguments)
{
    const std::vector<std::vector<std::string>> argumentLists = {{}, {"P0=20@1.2"}, {"bogus"}, {""}};
    for (const auto& args : argumentLists) {
        const ProgramRun o = runProgram(kRefused, args);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.out, "ERROR: unsupported CPU\n");
        EXPECT_EQ(o.err, "");
        EXPECT_EQ(emulation::traceLines().size(), 3u) << "only the vendor was read";
    }
}

TEST(Driver, ReportWritesNothingToStandardError)
{
    const ProgramRun o = runProgram(kFamily12, {});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
}

TEST(Driver, DeviceFailuresEndTheProcessThroughErr)
{
    struct Case {
        const char* name;
        const char* fault;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"cpuctl cannot be opened", "fail open /dev/cpuctl0\n", 255,
         "Failed to open /dev/cpuctl0: No such file or directory"},
        {"pci cannot be opened", "fail open /dev/pci\n", 255, "Failed to open /dev/pci: No such file or directory"},
        {"limits register refused", "fail rdmsr 0xc0010071\n", 254,
         "ioctl\\(CPUCTL_RDMSR\\) on /dev/cpuctl0: Input/output error"},
        {"vendor leaf refused", "fail cpuid 0x80000000\n", 254,
         "ioctl\\(CPUCTL_CPUID\\) on /dev/cpuctl0: Input/output error"},
        {"P-state count refused", "fail pciread 18.3 0xdc\n", 254,
         "ioctl\\(PCIOCREAD\\) on /dev/pci: Input/output error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = std::string(kFamily12) + c.fault;
        EXPECT_EXIT(runProgram(text), testing::ExitedWithCode(c.status), c.message);
    }
}

} // namespace
