// pravellon-sim as a user runs it: the built binary, its options, its output,
// its exit status, its trace and the machine file it leaves behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "command_line_machines.h"
#include "run_program.h"

namespace {

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
        {"--machine " + bad, "pravellon-sim: " + bad + ":3: expected 'msr NUMBER VALUE [core N]'"},
        {"--machine=" + bad + " P0", "pravellon-sim: " + bad + ":3: "},
        {"--trace " + TestFile("no_dir/trace").path, "pravellon-sim: option --trace: cannot open"},
        {"--list-presets P0", "pravellon-sim: --list-presets takes no tokens"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = runSim(c.args);
        EXPECT_EQ(run.status, 1) << c.args;
        EXPECT_EQ(run.out, "") << c.args;
        EXPECT_EQ(run.err.compare(0, c.message.size(), c.message), 0) << c.args << " gave: " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.args << " gave: " << run.err;
    }
}

TEST(PravellonSim, InformationOptions)
{
    ProgramRun run = runSim("--help");
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
        {"-- --version", 3},                       // pravellon's own, but not here
        {"-- -h", 3},
        {"Bogus=1 --help", 3},                     // options end at the first token
    };
    for (const auto& c : cases) {
        const ProgramRun run = runSim(c.args);
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
        {"fail open /dev/cpuctl0", 255,
         "pravellon-sim: Failed to open /dev/cpuctl0: No such file or directory\n"
         "pravellon-sim: load the cpuctl module: kldload cpuctl\n"},
        {"fail rdmsr 0xc0010071", 254, "pravellon-sim: ioctl(CPUCTL_RDMSR) on /dev/cpuctl0: Input/output error\n"},
        {"fail op 7", 255, "pravellon-sim: Failed to open /dev/pci: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        writeFile(machine, presetText("family10") + c.fault + "\n");
        const ProgramRun run = runSim("--machine " + machine);
        EXPECT_EQ(run.status, c.status) << c.fault;
        EXPECT_EQ(run.err, c.err) << c.fault;
    }
    for (const char* refused : {"intel", "family11"}) {
        const ProgramRun run = runSim(std::string("--preset ") + refused + " P0");
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
    const ProgramRun run = runSim("--machine " + machine + " Turbo=0");
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

// A few commands as a user checks them before running them on the real
// processor: output and exit status, the trace file, and the machine file as
// the run saved it.
std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(PravellonSim, MachineFileAndTrace)
{
    struct Case {
        const char* name;
        const char* machineText;
        std::int32_t current;
        bool boost;
        std::vector<std::string> tokens;
        int status;
        const char* err;
        std::vector<OnCores> writes;
        const char* fault = ""; // machine-file lines added
    };
    const Case cases[] = {
        {"worked_example", kFamily10, 0, false, {"P0=20@1.25"}, 0, "",
         {{6, {"wrmsr 0xc0010064 <- 0x8000019a48403018"}}, {6, {"wrmsr 0xc0010062 <- 0x4"}}, {1, {"sleep 1"}},
          {6, {"wrmsr 0xc0010062 <- 0x0"}}}},
        {"second_token_invalid", kFamily10, 0, true, {"P0=20@1.25", "NB_P2=18"}, 3,
         "ERROR: invalid parameter NB_P2=18\n", {}},
        {"refusal", kFamily14, 0, true, {"P0=@1.2", "P1=20"}, 10,
         "ERROR: cannot encode multiplier (family 0x14) - unknown max multiplier\n",
         {{2, {"wrmsr 0xc0010064 <- 0x8000000000003832"}}}},
        // Every core's device is opened before anything is read for the
        // change, so a core that is missing stops the run with no core written.
        {"core 2 offline", kFamily10, 0, true, {"Turbo=0", "P0=20@1.25", "P2"}, 255,
         "pravellon-sim: Failed to open /dev/cpuctl2: No such file or directory\n"
         "pravellon-sim: load the cpuctl module: kldload cpuctl\n",
         {}, "fail open /dev/cpuctl2\n"},
    };
    for (const Case& c : cases) {
        Machine machine = machineOf(c.machineText, c.current);
        if (!c.boost)
            withoutBoost(machine);
        const TestFile machineFile("run.machine");
        const TestFile traceFile("run.trace");
        std::string error;
        ASSERT_TRUE(parseMachine(formatMachine(machine) + c.fault, machine, error)) << c.name << ": " << error;
        writeFile(machineFile.path, formatMachine(machine));
        std::string arguments = "--machine '" + machineFile.path + "' --trace '" + traceFile.path + "' --";
        for (const std::string& token : c.tokens)
            arguments += " '" + token + "'";
        const ProgramRun run = runSim(arguments);
        const std::string machineAfter = readFile(machineFile.path);

        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(run.out, "") << c.name;
        EXPECT_EQ(run.err, c.err) << c.name;
        EXPECT_EQ(joined(writesOf(linesOf(readFile(traceFile.path)))), joined(expanded(c.writes))) << c.name;

        // The saved machine file holds exactly the registers written, as last
        // written; a run that writes nothing leaves the file as it was.
        Machine expected = machine;
        for (const std::string& write : expanded(c.writes)) {
            unsigned long long number = 0;
            unsigned long long value = 0;
            if (std::sscanf(write.c_str(), "wrmsr %llx <- %llx", &number, &value) == 2)
                expected.msrs[static_cast<std::uint32_t>(number)] = value;
        }
        if (c.writes.empty()) {
            EXPECT_EQ(machineAfter, formatMachine(machine)) << c.name;
        }
        Machine saved;
        ASSERT_TRUE(parseMachine(machineAfter, saved, error)) << c.name << ": " << error;
        EXPECT_EQ(saved.msrs, expected.msrs) << c.name;
        EXPECT_TRUE(saved.coreMsrs.empty()) << c.name << ": every core alike";
        EXPECT_EQ(saved.pciRegisters, expected.pciRegisters) << c.name;
    }
}

} // namespace
