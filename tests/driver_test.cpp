// An unsupported processor ends the run before the arguments are looked at.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_program.h"

namespace {

const char* const kRefused = "cpuid 0x80000000 0x8000001b 0x756e6547 0x6c65746e 0x49656e69\n";

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

} // namespace
