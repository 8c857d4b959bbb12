// pravellon-sim --changes as a user runs it: the program's own output stays as
// it is, and the changes follow on standard error however the run ends, an
// exit inside err(3) included.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

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

class SimChanges : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/pravellon-sim-changes-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    // Arguments are passed through the shell unquoted: keep them plain.
    Result run(const std::string& arguments) const
    {
        const std::string command = std::string(PRAVELLON_SIM_PATH) + " " + arguments + " >" + path("out") + " 2>"
            + path("err");
        const int raw = std::system(command.c_str());
        Result result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = readFile(path("out"));
        result.err = readFile(path("err"));
        return result;
    }

private:
    std::string dir_;
};

TEST_F(SimChanges, FollowsTheProgramsOwnOutput)
{
    const std::string p0Lowered = "changed P0 (MSR 0xc0010064): 0x800001403c000c14 -> 0x800001403c000c12: "
                                  "18x at 1.475V, NorthBridge in NB_P0 at 1.175V -> "
                                  "17x at 1.475V, NorthBridge in NB_P0 at 1.175V\n";
    {
        std::ofstream machine(path("machine"));
        machine << findPreset("family10")->machineText << "fail wrmsr 0xc0010065\n";
    }
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
         "--machine " + path("machine") + " --changes P0=17 P1=15", 254,
         "pravellon-sim: ioctl(CPUCTL_WRMSR) on /dev/cpuctl0: Input/output error\n"
             + p0Lowered},
        {"an invalid token: nothing written", "--preset family10 --changes P0=17 Bogus", 3,
         "ERROR: invalid parameter Bogus\nno register changed\n"},
        {"an unsupported processor", "--preset intel --changes P0=17", 2, "no register changed\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result result = run(c.arguments);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err, c.err);
    }
}

TEST_F(SimChanges, LeavesTheReportAsItIs)
{
    const Result plain = run("--preset family15");
    const Result listed = run("--preset family15 --changes");
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(plain.out, "");
    EXPECT_EQ(listed.out, plain.out);
    EXPECT_EQ(listed.err, "no register changed\n");
}

} // namespace
