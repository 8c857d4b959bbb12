// pravellon-sim as a user runs it: the built binary, its options, its output,
// its exit status and the machine file it leaves behind.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "emulated_machine.h"

namespace {

struct SimRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

// Runs pravellon-sim through the shell; args are shell words.
SimRun runSim(const std::string& args)
{
    const TestFile out("sim_stdout");
    const TestFile err("sim_stderr");
    const std::string command = std::string(PRAVELLON_SIM_PATH) + " " + args + " >" + out.path + " 2>" + err.path;
    const int raw = std::system(command.c_str());
    SimRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = readFile(out.path);
    run.err = readFile(err.path);
    return run;
}

std::string presetText(const std::string& name)
{
    return findPreset(name)->machineText;
}

TEST(PravellonSim, UsageErrorsNameTheOptionOrFileLine)
{
    const TestFile badFile("bad_machine");
    const std::string& bad = badFile.path;
    writeFile(bad, "# fine\nmsr 1 2\nmsr 3\n");
    const std::string missing = TestFile("missing_machine").path;
    const struct {
        std::string args;
        std::string message; // the start of the one line on standard error
    } cases[] = {
        {"--bogus", "pravellon-sim: unknown option --bogus"},
        {"--machine", "pravellon-sim: option --machine needs a value"},
        {"--preset nosuch", "pravellon-sim: option --preset: no preset nosuch"},
        {"--preset family10 --machine " + bad, "pravellon-sim: option --machine: only one of --machine and --preset"},
        {"--machine " + bad + " --preset family10", "pravellon-sim: option --preset: only one of"},
        {"--trace a --trace b", "pravellon-sim: option --trace given twice"},
        {"--help=1", "pravellon-sim: option --help takes no value"},
        {"--machine " + missing, "pravellon-sim: cannot read " + missing + ": No such file or directory"},
        {"--machine " + bad, "pravellon-sim: " + bad + ":3: expected 'msr NUMBER VALUE'"},
        {"--machine=" + bad + " P0", "pravellon-sim: " + bad + ":3: "},
        {"--trace " + TestFile("no_dir/trace").path, "pravellon-sim: option --trace: cannot open"},
        {"--list-presets P0", "pravellon-sim: --list-presets takes no tokens"},
    };
    for (const auto& c : cases) {
        const SimRun run = runSim(c.args);
        EXPECT_EQ(run.status, 1) << c.args;
        EXPECT_EQ(run.out, "") << c.args;
        EXPECT_EQ(run.err.compare(0, c.message.size(), c.message), 0) << c.args << " gave: " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.args << " gave: " << run.err;
    }
}

TEST(PravellonSim, InformationOptions)
{
    SimRun run = runSim("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.compare(0, 20, "usage: pravellon-sim"), 0) << run.out;

    run = runSim("--list-presets");
    EXPECT_EQ(run.status, 0);
    std::istringstream lines(run.out);
    for (const Preset& preset : presets()) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line)) << preset.name;
        const std::size_t gap = line.find_first_not_of(' ', preset.name.size());
        EXPECT_EQ(line.compare(0, preset.name.size(), preset.name), 0) << line;
        EXPECT_GT(gap, preset.name.size()) << line;
        EXPECT_EQ(line.substr(gap), preset.description) << line;
    }

    // A user starts a machine of their own from a preset's printout.
    for (const Preset& preset : presets()) {
        run = runSim("--preset " + preset.name + " --print-machine");
        EXPECT_EQ(run.status, 0) << preset.name;
        EXPECT_EQ(run.out, preset.machineText) << preset.name;
    }
    const TestFile ownFile("own_machine");
    const std::string& own = ownFile.path;
    writeFile(own, presetText("family15") + "fail op 9\n");
    run = runSim("--print-machine --machine " + own);
    EXPECT_EQ(run.out, readFile(own)) << "fault lines included";
    EXPECT_EQ(runSim("--print-machine").out, defaultPreset().machineText);
}

TEST(PravellonSim, TokensAfterTheOptionsGoToTheProgram)
{
    const TestFile machineFile("tokens_machine");
    const std::string& machine = machineFile.path;
    writeFile(machine, presetText("family10"));
    const struct {
        std::string args;
        int status;
    } cases[] = {
        {"", 0},                                   // no token: the report
        {"--machine " + machine, 0},
        {"--machine " + machine + " ''", 3},       // one empty token, refused by the parser
        {"-- --preset", 3},                        // a token, not an option
        {"--preset family10 -- --help", 3},
        {"Bogus=1 --help", 3},                     // options end at the first token
    };
    for (const auto& c : cases) {
        const SimRun run = runSim(c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
        EXPECT_EQ(run.out.find("usage:"), std::string::npos) << c.args;
    }
}

TEST(PravellonSim, TraceIsAppended)
{
    const TestFile traceFile("trace");
    const std::string& trace = traceFile.path;
    ASSERT_EQ(runSim("--trace " + trace).status, 0);
    const std::string once = readFile(trace);
    const std::string start = "open /dev/cpuctl0\n"
                              "cpuid 0x80000000 -> 0x8000001b 0x68747541 0x444d4163 0x69746e65\n"
                              "close /dev/cpuctl0\n";
    EXPECT_EQ(once.compare(0, start.size(), start), 0) << once;
    ASSERT_EQ(runSim("--preset family10 --trace " + trace).status, 0);
    EXPECT_EQ(readFile(trace), once + once);
}

TEST(PravellonSim, DeviceFailuresAndRefusedProcessors)
{
    const TestFile machineFile("faulty_machine");
    const std::string& machine = machineFile.path;
    const struct {
        std::string fault;
        int status;
        std::string err;
    } cases[] = {
        {"fail open /dev/cpuctl0", 255, "pravellon-sim: Failed to open /dev/cpuctl0: No such file or directory\n"},
        {"fail rdmsr 0xc0010071", 254, "pravellon-sim: ioctl(CPUCTL_RDMSR) on /dev/cpuctl0: Input/output error\n"},
        {"fail op 7", 255, "pravellon-sim: Failed to open /dev/pci: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        writeFile(machine, presetText("family10") + c.fault + "\n");
        const SimRun run = runSim("--machine " + machine);
        EXPECT_EQ(run.status, c.status) << c.fault;
        EXPECT_EQ(run.err, c.err) << c.fault;
    }
    for (const char* refused : {"intel", "family11"}) {
        const SimRun run = runSim(std::string("--preset ") + refused + " P0");
        EXPECT_EQ(run.status, 2) << refused;
        EXPECT_EQ(run.out, "ERROR: unsupported CPU\n") << refused;
    }
}

TEST(PravellonSim, WritesAreSavedIntoTheMachineFile)
{
    const TestFile machineFile("saved_machine");
    const std::string& machine = machineFile.path;
    const std::string text = presetText("family10");
    writeFile(machine, text);
    const SimRun run = runSim("--machine " + machine + " Turbo=0");
    if (run.status == 3 && readFile(machine) == text)
        GTEST_SKIP() << "the program does not take Turbo=0 yet";
    ASSERT_EQ(run.status, 0) << run.err;

    // Boost source [1:0] cleared and boost disabled by bit 25; the rest as it was.
    std::string expected = text;
    const auto replace = [&expected](const std::string& from, const std::string& to) {
        const std::size_t at = expected.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        expected.replace(at, from.size(), to);
    };
    replace("pci 18.4 0x15c 0x00000007", "pci 18.4 0x15c 0x00000004");
    replace("msr 0xc0010015 0x0000000001000010", "msr 0xc0010015 0x0000000003000010");
    EXPECT_EQ(readFile(machine), expected);
}

} // namespace
