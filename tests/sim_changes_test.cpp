// pravellon-sim --changes as a user runs it: the program's own output stays as
// it is, and the changes follow on standard error however the run ends, an
// exit inside err(3) included.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "emulated_machine.h"
#include "sim/presets.h"

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the built pravellon-sim, its standard output and error kept apart.
// Arguments are passed through the shell unquoted: keep them plain.
Result runSim(const std::string& arguments)
{
    const TestFile out("sim_changes.out");
    const TestFile err("sim_changes.err");
    const std::string command =
        std::string("'") + PRAVELLON_SIM_PATH + "' " + arguments + " >'" + out.path + "' 2>'" + err.path + "'";
    const int raw = std::system(command.c_str());
    Result result;
    result.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = readFile(out.path);
    result.err = readFile(err.path);
    return result;
}

TEST(SimChanges, FollowsTheProgramsOwnOutput)
{
    const std::string p0Lowered = "changed P0 (MSR 0xc0010064): 0x800001403c000c14 -> 0x800001403c000c12: "
                                  "18x at 1.475V, NorthBridge in NB_P0 at 1.175V -> "
                                  "17x at 1.475V, NorthBridge in NB_P0 at 1.175V\n";
    const TestFile machine("sim_changes.machine");
    std::ofstream(machine.path) << findPreset("family10")->machineText << "fail wrmsr 0xc0010065\n";
    struct Case {
        const char* name;
        std::string arguments;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {"the current P-state rewritten, left and entered again: the request ends as it was",
         "--preset family10 --changes P1=15@1.3", 0,
         "changed P1 (MSR 0xc0010065): 0x8000013a3c001810 -> 0x8000013a3c00280e: "
         "16x at 1.4V, NorthBridge in NB_P0 at 1.175V -> 15x at 1.3V, NorthBridge in NB_P0 at 1.175V\n"},
        {"a write failing inside err(3): what was written before it, after the message",
         "--machine " + machine.path + " --changes P0=17 P1=15", 254,
         "pravellon-sim: ioctl(CPUCTL_WRMSR) on /dev/cpuctl0: Input/output error\n"
             + p0Lowered},
        {"an invalid token: nothing written", "--preset family10 --changes P0=17 Bogus", 3,
         "ERROR: invalid parameter Bogus\nno register changed\n"},
        {"an unsupported processor", "--preset intel --changes P0=17", 2, "no register changed\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result result = runSim(c.arguments);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err, c.err);
    }
}

TEST(SimChanges, LeavesTheReportAsItIs)
{
    const Result plain = runSim("--preset family15");
    const Result listed = runSim("--preset family15 --changes");
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(plain.out, "");
    EXPECT_EQ(listed.out, plain.out);
    EXPECT_EQ(listed.err, "no register changed\n");
}

} // namespace
