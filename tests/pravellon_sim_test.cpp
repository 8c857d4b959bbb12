// pravellon-sim as a user runs it: the built binary, its options, its output,
// its exit status, its trace and the machine file it leaves behind.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "command_line_machines.h"
#include "machine/writer.h"
#include "run_program.h"
#include "sim/processor_moves.h"

namespace {

// The attributes row sets the file's access ACL as Linux stores it, a binary
// extended attribute, and one user attribute. FreeBSD's ACLs take another
// interface, so there the row is left out, as on a file system without them.
bool setAttributes(const std::string& file, const std::string& acl)
{
#if defined(__linux__)
    return setxattr(file.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0
        && setxattr(file.c_str(), "user.note", "mine", 4, 0) == 0;
#else
    (void)file;
    (void)acl;
    return false;
#endif
}

// The attribute NAME of FILE, at most SIZE bytes; empty when it is missing.
std::string attribute([[maybe_unused]] const std::string& file, [[maybe_unused]] const char* name, std::size_t size)
{
    std::string value(size, '\0');
#if defined(__linux__)
    value.resize(static_cast<std::size_t>(std::max<ssize_t>(getxattr(file.c_str(), name, value.data(), size), 0)));
#endif
    return value;
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
    // Endless or huge: refused before a byte is read.
    const TestFile hugeFile("huge_machine");
    writeFile(hugeFile.path, "");
    ASSERT_EQ(truncate(hugeFile.path.c_str(), 16 * 1024 * 1024 + 1), 0);
    const struct {
        std::string args;
        std::string message; // the start of the one line on standard error
    } cases[] = {
        {"--bogus", "pravellon-sim: unknown option --bogus"},
        {"--machine", "pravellon-sim: option --machine needs a value"},
        {"--machine=", "pravellon-sim: option --machine needs a value"},
        {"--trace= P0", "pravellon-sim: option --trace needs a value"},
        {"--preset nosuch", "pravellon-sim: option --preset: no preset nosuch"},
        {"--preset family10 --machine " + bad, "pravellon-sim: option --machine: only one of --machine and --preset"},
        {"--machine " + bad + " --preset family10", "pravellon-sim: option --preset: only one of"},
        {"--trace a --trace b", "pravellon-sim: option --trace given twice"},
        {"--help=1", "pravellon-sim: option --help takes no value"},
        {"--machine " + missing, "pravellon-sim: cannot read " + missing + ": No such file or directory"},
        {"--machine " + bad, "pravellon-sim: " + bad + ":3: expected 'msr NUMBER VALUE [core N]'"},
        {"--machine=" + bad + " P0", "pravellon-sim: " + bad + ":3: "},
        {"--trace " + TestFile("no_dir/trace").path, "pravellon-sim: cannot write trace "},
        {"--list-presets P0", "pravellon-sim: --list-presets takes no tokens"},
        {"--tune", "pravellon-sim: option --tune: set PRAVELLON_STATE_DIR to the folder for the tuning's journal\n"},
        {"--machine /dev/zero", "pravellon-sim: cannot read /dev/zero: not a regular file\n"},
        {"--machine " + hugeFile.path, "pravellon-sim: cannot read " + hugeFile.path + ": larger than 16 MiB\n"},
        // What the user typed comes back with its control bytes escaped, the
        // rest as typed.
        {"--machine '" + missing + "\x1b[2J\x7f\xc3\xa9'",
         "pravellon-sim: cannot read " + missing + "\\x1b[2J\\x7f\xc3\xa9: No such file or directory\n"},
        {"'--pre\x1bset'", "pravellon-sim: unknown option --pre\\x1bset (see --help)\n"},
        {"--preset '\x1b]0;'", "pravellon-sim: option --preset: no preset \\x1b]0; (see --list-presets)\n"},
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
        const char* tokens = "";
    } cases[] = {
        {"fail open /dev/cpuctl0", 255,
         "pravellon-sim: Failed to open /dev/cpuctl0: No such file or directory\n"
         "pravellon-sim: load the cpuctl module: kldload cpuctl\n"},
        {"fail rdmsr 0xc0010071", 254, "pravellon-sim: ioctl(CPUCTL_RDMSR) on /dev/cpuctl0: Input/output error\n"},
        {"fail op 7", 255, "pravellon-sim: Failed to open /dev/pci: No such file or directory\n"},
        // As a kernel at securelevel 1 refuses the write, with the device code's hint.
        {"fail wrmsr 0xc0010064 core 2 EPERM", 254,
         "WARNING: P0=20: 20x is above the highest multiplier this processor reports (18x)\n"
         "pravellon-sim: ioctl(CPUCTL_WRMSR) on /dev/cpuctl2: Operation not permitted\n"
         "pravellon-sim: the kernel refuses MSR writes (securelevel above 0)\n",
         "P0=20"},
    };
    for (const auto& c : cases) {
        writeFile(machine, presetText("family10") + c.fault + "\n");
        const ProgramRun run = runSim("--machine " + machine + " " + c.tokens);
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
        std::string name;
        const char* machineText;
        std::int32_t current;
        bool boost;
        std::vector<std::string> tokens;
        int status;
        std::string err;
        std::vector<OnCores> writes;
        const char* fault = ""; // machine-file lines added
    };
    // The test machine reports 16x at most, and runs P1 at 1.4V.
    const std::string p0Warnings =
        "WARNING: P0=20@1.25: 20x is above the highest multiplier this processor reports (16x)\n"
        "WARNING: P0=20@1.25: 1.25V is below P1's 1.4V, a slower P-state\n";
    std::vector<Case> cases = {
        {"worked_example", kFamily10, 0, false, {"P0=20@1.25"}, 0, p0Warnings,
         {{6, {"wrmsr 0xc0010064 <- 0x8000019a48403018"}}, {6, {"wrmsr 0xc0010062 <- 0x4"}}, {1, {"sleep 1"}},
          {6, {"wrmsr 0xc0010062 <- 0x0"}}}},
        {"second_token_invalid", kFamily10, 0, true, {"P0=20@1.25", "NB_P2=18"}, 3,
         "ERROR: invalid parameter NB_P2=18\n", {}},
        {"refusal", kFamily14, 0, true, {"P0=@1.2", "P1=20"}, 10,
         "ERROR: cannot encode multiplier (family 0x14) - unknown max multiplier\n", {}},
        // Every core's device is opened before anything is read for the
        // change, so a core that is missing stops the run with no core written.
        {"core 2 offline", kFamily10, 0, true, {"Turbo=0", "P0=20@1.25", "P2"}, 255,
         "WARNING: P0=20@1.25: 20x is above the highest multiplier this processor reports (18x)\n"
         "WARNING: P0=20@1.25: 1.25V is below P1's 1.4V, a slower P-state\n"
         "pravellon-sim: Failed to open /dev/cpuctl2: No such file or directory\n", {}, "fail open /dev/cpuctl2\n"},
        // Numbers as the report prints them, and the forms that keep their
        // meaning.
        {"units", kFamily10, 0, false, {"P0=18x@1.475V"}, 0,
         "WARNING: P0=18x@1.475V: 18x is above the highest multiplier this processor reports (16x)\n",
         {{6, {"wrmsr 0xc0010064 <- 0x8000019a48400c14"}}, {6, {"wrmsr 0xc0010062 <- 0x4"}}, {1, {"sleep 1"}},
          {6, {"wrmsr 0xc0010062 <- 0x0"}}}},
        {"empty parts", kFamily10, 0, false, {"P0=@", "P0="}, 0, "", {}},
        {"leading zero", kFamily10, 1, false, {"P01=+1e1", "p2"}, 0, "",
         {{6, {"wrmsr 0xc0010065 <- 0x8000013a3c001804"}}, {6, {"wrmsr 0xc0010062 <- 0x2"}}}},
        {"negative zero is the lowest multiplier", kFamily10, 1, false, {"P3=-0"}, 0, "",
         {{6, {"wrmsr 0xc0010067 <- 0x8000012e3c004900"}}}},
        {"negative split", kFamily10, 4, false, {"NB_low=-3"}, 0, "",
         {{6, {"wrmsr 0xc0010064 <- 0x8000019a4840404e"}}, {6, {"wrmsr 0xc0010065 <- 0x8000013a3c401810"}},
          {6, {"wrmsr 0xc0010066 <- 0x800001343c403008"}}, {6, {"wrmsr 0xc0010067 <- 0x8000012e3c404850"}},
          {6, {"wrmsr 0xc0010068 <- 0x800001284c405840"}}, {6, {"wrmsr 0xc0010062 <- 0x0"}}, {1, {"sleep 1"}},
          {6, {"wrmsr 0xc0010062 <- 0x4"}}}},
    };
    // Each of these used to be read as some other request, status 0; each is
    // now refused before anything is written.
    for (const char* token :
         {"P3=@abc", "P3=@@", "P3=@ ", "P3=@-1", "P3=@0", "P3=@0.006", "P2=@1,25", "P4=@1250", "P4=@1.5500001",
          "P0=@1.2mV", "P3= ", "P3=-5", "P3=0x10", "P3=inf", "P3=nan", "P3=1e400", "P3=1e-400", "P3=10 x", "P3=10v", "P3=1.2.3", "P3=1e", "P3=.",
          "Turbo=on", "Turbo=yes", "Turbo=1.9", "Turbo=", "APM=yes", "NB_low=abc", "NB_low=99999999999",
          "NB_low=", "PO=20", "Pfoo=20", "Power=12", "P1x=10", "P-1=10", "P+1=10", "P 1=10", "P=", "Px", "P+1",
          "NB_P0x=@1.0", "NB_P+0=@1.0"})
        cases.push_back({std::string("unsafe ") + token, kFamily10, 1, true, {token}, 3,
                         std::string("ERROR: invalid parameter ") + token + "\n", {}});
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
            if (std::sscanf(write.c_str(), "wrmsr %llx <- %llx", &number, &value) == 2) {
                expected.msrs[static_cast<std::uint32_t>(number)] = value;
                followWrite(expected, 0, static_cast<std::uint32_t>(number), value);
            }
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

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

// What a run may do to the user's machine file, whoever runs it: the file is
// saved whole and keeps its owner, group and mode, or stays exactly as it was.
// As root, an ordinary user's runs are made as uid 4321, and another user owns
// files as uid 1234; without root, the cases that need root to set up are
// skipped.
TEST(PravellonSim, KeepsTheUsersFilesWhole)
{
    const bool root = geteuid() == 0;
    const std::string before = presetText("family15");
    const std::string after = replaced(before, "msr 0xc0010067 0x8000012e00002a11", "msr 0xc0010067 0x8000012e00002a0e");
    enum class Beside { nothing, hardLink, traceLink, readOnlyDirectory, fifo, attributes };
    // An access ACL that lets uid 4321 write the file, as setfacl -m u:4321:rw
    // sets it: version 2, then tag, permissions and id of each entry.
    const struct { std::uint16_t tag, perm; std::uint32_t id; } aclEntries[] = {
        {0x01, 6, ~0u}, {0x02, 6, 4321}, {0x04, 4, ~0u}, {0x10, 6, ~0u}, {0x20, 4, ~0u}};
    std::string acl("\x02\0\0\0", 4);
    for (const auto& entry : aclEntries)
        acl.append(reinterpret_cast<const char*>(&entry), sizeof entry);
    const struct {
        const char* name;
        mode_t mode;   // the file's, the kind included
        int owner;     // the file's owner and group, set by root; -1: the test's own
        Beside beside;
        bool asUser;   // run as an ordinary user
        std::string args; // FILE stands for the file
        int status;
        std::string err;
        bool saved; // holds the change, or else its bytes as before
        const char* before = ""; // shell commands run first
    } cases[] = {
        {"saved, keeping the mode", S_IFREG | 0640, -1, Beside::nothing, false, "--machine FILE P3=15", 0, "", true},
        {"without any write permission: refused before the run, even for root", S_IFREG | 0444, -1, Beside::nothing,
         false, "--machine FILE P3=15", 1, "pravellon-sim: cannot save FILE: Permission denied\n", false},
        {"in a directory the user cannot write", S_IFREG | 0666, -1, Beside::readOnlyDirectory, true,
         "--machine FILE P3=15", 1, "pravellon-sim: cannot save FILE: Permission denied\n", false},
        {"a second hard link", S_IFREG | 0644, -1, Beside::hardLink, false, "--machine FILE P3=15", 1,
         "pravellon-sim: cannot save FILE: it has 2 hard links\n", false},
        {"a second hard link: a dry run saves nothing", S_IFREG | 0644, -1, Beside::hardLink, false,
         "--machine FILE -n --json P3=15", 0, "", false},
        {"a second hard link: --tokens saves nothing", S_IFREG | 0644, -1, Beside::hardLink, false,
         "--machine FILE --tokens", 0, "", false},
        {"a second hard link: a JSON report saves nothing", S_IFREG | 0644, -1, Beside::hardLink, false,
         "--machine FILE --json", 0, "", false},
        {"a second hard link: a save of the settings saves nothing", S_IFREG | 0644, -1, Beside::hardLink, false,
         "--machine FILE --save -", 0, "", false},
        {"settings saved through a link to the machine file", S_IFREG | 0644, -1, Beside::traceLink, false,
         "--machine FILE --save FILE.trace", 1, "pravellon-sim: option --save: FILE.trace is the machine file\n", false},
        {"the trace through a link to the machine file", S_IFREG | 0644, -1, Beside::traceLink, false,
         "--machine FILE --trace FILE.trace P3=15", 1, "pravellon-sim: option --trace: FILE.trace is the machine file\n",
         false},
        {"a FIFO: refused, not waited on, not replaced", S_IFIFO | 0644, -1, Beside::nothing, false,
         "--machine FILE P3=15", 1, "pravellon-sim: cannot read FILE: not a regular file\n", false},
        {"another user's file saved by root stays theirs", S_IFREG | 0604, 1234, Beside::nothing, false,
         "--machine FILE P3=15", 0, "", true},
        {"an owner the user cannot give the file: not saved", S_IFREG | 0666, 1234, Beside::nothing, true,
         "--machine FILE P3=15", 1,
         "pravellon-sim: cannot save FILE: cannot give the new file its owner (uid 1234): Operation not permitted\n",
         false},
        {"an ACL and a user's attribute stay with the file", S_IFREG | 0664, -1, Beside::attributes, false,
         "--machine FILE P3=15", 0, "", true},
        // Output that cannot take more cuts no change in half and passes for
        // no success.
        {"a trace that stops taking lines: the change goes on untraced", S_IFREG | 0644, -1, Beside::nothing, false,
         "--machine FILE --trace /dev/full P3=15", 1,
         "pravellon-sim: cannot write trace /dev/full: No space left on device\n", true},
        {"a trace FIFO nobody reads: refused, not waited on", S_IFREG | 0644, -1, Beside::fifo, false,
         "--machine FILE --trace FILE.fifo P3=15", 1,
         "pravellon-sim: cannot write trace FILE.fifo: No such device or address\n", false},
        {"standard output a pipe nobody reads: no SIGPIPE", S_IFREG | 0644, -1, Beside::fifo, false,
         "--machine FILE >&4", 1, "pravellon-sim: cannot write standard output: Broken pipe\n", false,
         "exec 3<>FILE.fifo 4>FILE.fifo 3<&-; "},
        {"standard output on a full disk", S_IFREG | 0644, -1, Beside::nothing, false,
         "--machine FILE --print-machine >/dev/full", 1,
         "pravellon-sim: cannot write standard output: No space left on device\n", false},
        {"--changes on a full disk", S_IFREG | 0644, -1, Beside::nothing, false,
         "--machine FILE --changes P3=15 2>/dev/full", 1, "", true},
        {"--changes with standard error closed", S_IFREG | 0644, -1, Beside::nothing, false,
         "--machine FILE --changes P3=15 2>&-", 1, "", true},
        {"a file-size limit: a failed save, no SIGXFSZ", S_IFREG | 0644, -1, Beside::nothing, false,
         "--machine FILE P3=15", 1, "pravellon-sim: cannot save FILE: File too large\n", false, "ulimit -f 1; "},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.owner >= 0 && !root)
            continue;
        namespace fs = std::filesystem;
        const TestFile dirName("files_" + std::to_string(index++));
        const std::string& dir = dirName.path;
        fs::remove_all(dir);
        ASSERT_TRUE(fs::create_directory(dir));
        const std::string file = dir + "/machine";
        if (S_ISFIFO(c.mode)) {
            ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
        } else {
            writeFile(file, before);
        }
        const auto owner = static_cast<uid_t>(c.owner);
        ASSERT_TRUE(c.owner < 0 || chown(file.c_str(), owner, static_cast<gid_t>(owner)) == 0);
        ASSERT_EQ(chmod(file.c_str(), c.mode & 07777), 0);
        ASSERT_TRUE(c.beside != Beside::hardLink || link(file.c_str(), (dir + "/other").c_str()) == 0);
        ASSERT_TRUE(c.beside != Beside::traceLink || symlink(file.c_str(), (file + ".trace").c_str()) == 0);
        ASSERT_TRUE(c.beside != Beside::fifo || mkfifo((file + ".fifo").c_str(), 0600) == 0);
        if (c.beside == Beside::attributes && !setAttributes(file, acl)) {
            std::cout << "skipped: no ACLs or user attributes in " << dir << "\n";
            fs::remove_all(dir);
            continue;
        }
        ASSERT_EQ(chmod(dir.c_str(), c.beside == Beside::readOnlyDirectory ? 0555 : 0777), 0);
        struct stat set {};
        ASSERT_EQ(lstat(file.c_str(), &set), 0);

        const auto withFile = [&file](std::string text) {
            for (std::size_t at = text.find("FILE"); at != std::string::npos; at = text.find("FILE", at + file.size()))
                text.replace(at, 4, file);
            return text;
        };
        const TestFile err("files_err");
        const int status =
            finishSim(startSim(withFile(c.args), err.path, c.asUser && root ? 4321 : -1, withFile(c.before)));
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(readFile(err.path), withFile(c.err));

        struct stat left {};
        ASSERT_EQ(lstat(file.c_str(), &left), 0);
        EXPECT_EQ(left.st_mode, c.mode) << std::oct << left.st_mode;
        EXPECT_EQ(left.st_uid, set.st_uid);
        EXPECT_EQ(left.st_gid, set.st_gid);
        if (S_ISREG(left.st_mode)) {
            EXPECT_EQ(readFile(file), c.saved ? after : before);
        }
        if (c.beside == Beside::attributes) {
            EXPECT_EQ(attribute(file, "system.posix_acl_access", acl.size() + 1), acl);
            EXPECT_EQ(attribute(file, "user.note", 5), "mine");
        }
        for (const auto& entry : fs::directory_iterator(dir))
            EXPECT_EQ(entry.path().filename().string().find(".saving-"), std::string::npos) << entry.path();
        chmod(dir.c_str(), 0777);
        fs::remove_all(dir);
    }
}

// A signal once the change has begun: SIGINT, SIGTERM, SIGHUP and SIGQUIT
// wait for the change, its save and the listing, then end the run by the
// signal; SIGKILL leaves the file as it was before the run. The signal is
// sent when the trace shows the first write, while the run of 4095 CPUs waits
// for the trace's reader.
TEST(PravellonSim, ASignalDuringTheChange)
{
    const std::string before = presetText("family15") + "cpus 4095\n";
    const std::string after = replaced(before, "msr 0xc0010067 0x8000012e00002a11", "msr 0xc0010067 0x8000012e00002a0e");
    const std::string listing = "changed P3 (MSR 0xc0010067) on cores 0-4094: 0x8000012e00002a11 -> 0x8000012e00002a0e: "
                                "16.5x at 1.2875V, NorthBridge in NB_P0 -> 15x at 1.2875V, NorthBridge in NB_P0\n";
    // Settings given back are cut no more than tokens.
    const TestFile settings("signal.settings");
    writeFile(settings.path, before);
    ASSERT_EQ(runSim("--machine '" + settings.path + "' --save '" + settings.path + ".saved'").status, 0);
    const std::string restoring = "--restore '" + settings.path + ".saved'";
    const std::string givenBack = "changed P3 (MSR 0xc0010067) on cores 0-4094: 0x8000012e00002a0e -> 0x8000012e00002a11: "
                                  "15x at 1.2875V, NorthBridge in NB_P0 -> 16.5x at 1.2875V, NorthBridge in NB_P0\n";
    const struct {
        int signal;
        std::string err;
        bool saved;
        std::string args = "P3=15";
        bool fromAfter = false; // the machine starts as after, and ends as before when saved
    } cases[] = {{SIGINT, listing, true}, {SIGTERM, listing, true}, {SIGKILL, "", false},
                 {SIGINT, givenBack, true, restoring, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(strsignal(c.signal));
        const TestFile machine("signal.machine");
        const TestFile fifo("signal.trace");
        const TestFile err("signal.err");
        writeFile(machine.path, c.fromAfter ? after : before);
        std::remove(fifo.path.c_str());
        ASSERT_EQ(mkfifo(fifo.path.c_str(), 0600), 0);
        const int reader = open(fifo.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
        const pid_t pid =
            startSim("--machine '" + machine.path + "' --trace '" + fifo.path + "' --changes " + c.args, err.path);
        std::string trace;
        char buffer[4096];
        for (int waited = 0; trace.find("\nwrmsr ") == std::string::npos && waited < 6000;) {
            const ssize_t count = read(reader, buffer, sizeof buffer);
            if (count > 0) {
                trace.append(buffer, static_cast<std::size_t>(count));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                ++waited;
            }
        }
        EXPECT_NE(trace.find("\nwrmsr "), std::string::npos);
        kill(pid, c.signal);
        // The rest, to its end when the run closes the trace.
        ASSERT_EQ(fcntl(reader, F_SETFL, 0), 0);
        while (read(reader, buffer, sizeof buffer) > 0) {
        }
        close(reader);
        EXPECT_EQ(finishSim(pid), 128 + c.signal);
        EXPECT_EQ(readFile(err.path), c.err);
        EXPECT_EQ(readFile(machine.path), c.saved != c.fromAfter ? after : before);
    }
    std::remove((settings.path + ".saved").c_str());
}

// Two runs on one file while another holds it: each says once that it waits,
// and when the file is free they take turns, so both changes are in it.
TEST(PravellonSim, RunsOnOneMachineFileTakeTurns)
{
    const TestFile machineFile("turns_machine");
    const std::string& machine = machineFile.path;
    const std::string before = presetText("family15");
    writeFile(machine, before);
    const int held = open(machine.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    const TestFile firstErr("turns_first_err");
    const TestFile secondErr("turns_second_err");
    const pid_t first = startSim("--machine '" + machine + "' NB_P1=12", firstErr.path);
    const pid_t second = startSim("--machine '" + machine + "' P3=15", secondErr.path);
    const std::string waiting = "pravellon-sim: waiting for " + machine + " (another run holds it)\n";
    for (int i = 0; i < 3000 && (readFile(firstErr.path) != waiting || readFile(secondErr.path) != waiting); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(readFile(firstErr.path), waiting);
    EXPECT_EQ(readFile(secondErr.path), waiting);
    EXPECT_EQ(readFile(machine), before) << "written while another held the file";
    close(held);

    EXPECT_EQ(finishSim(first), 0);
    EXPECT_EQ(finishSim(second), 0);
    EXPECT_EQ(readFile(firstErr.path), waiting);
    EXPECT_EQ(readFile(secondErr.path), waiting);
    EXPECT_EQ(readFile(machine),
              replaced(replaced(before, "msr 0xc0010067 0x8000012e00002a11", "msr 0xc0010067 0x8000012e00002a0e"),
                       "pci 18.5 0x164 0x0000a0a5", "pci 18.5 0x164 0x0000a011"));
}

// --now as a user runs it: after a switch every core is in the new P-state,
// samples come as timestamped lines or as JSON lines that each parse, a
// reader that has had enough ends it with status 0, and a refusal reads
// nothing beyond the probe and writes nothing.
TEST(PravellonSim, NowShowsWhatTheProcessorIsDoing)
{
    const TestFile machineFile("now.machine");
    writeFile(machineFile.path, presetText("family10-2socket"));
    const std::string machine = "--machine '" + machineFile.path + "' ";
    ASSERT_EQ(runSim(machine + "P1").status, 0);
    const ProgramRun once = runSim(machine + "--now");
    EXPECT_EQ(once.status, 0);
    EXPECT_EQ(once.out, "Pravellon v1.1\n\n.:. Now\n---\n  Cores 0-11: P1, 16x at 1.4V (3200 MHz)\n"
                        "  Node 0: Tctl 47.25C\n  Node 1: Tctl 44.75C\n");
    EXPECT_EQ(runSim("--changes " + machine + "P1").err, "no register changed\n") << "a second P1 switches again";

    const ProgramRun samples = runSim(machine + "--now --every 0.1 --count 3");
    EXPECT_EQ(samples.status, 0);
    const std::vector<std::string> lines = linesOf(samples.out);
    EXPECT_EQ(lines.size(), 3u) << samples.out;
    for (const std::string& line : lines) {
        // HH:MM:SS, then the cores' and the nodes' columns.
        EXPECT_EQ(line.substr(8), " P1 P1 P1 P1 P1 P1 P1 P1 P1 P1  P1  P1  47.25C  44.75C") << line;
        EXPECT_TRUE(line.size() > 8 && std::isdigit(static_cast<unsigned char>(line[0])) && line[2] == ':'
                    && line[5] == ':' && std::isdigit(static_cast<unsigned char>(line[7])))
            << line;
    }

    const TestFile json("now.json");
    writeFile(json.path, runSim(machine + "--now --every=0.1 --count=2 --json").out);
    EXPECT_EQ(linesOf(readFile(json.path)).size(), 2u);
    const ProgramRun parsed = runBuilt(PYTHON3_PATH, "-c 'import json, sys\nfor line in open(sys.argv[1]):\n"
                                                     "    assert len(json.loads(line)[\"cores\"]) == 12' '"
                                                         + json.path + "'");
    EXPECT_EQ(parsed.status, 0) << parsed.err;

    const TestFile status("now.status");
    const std::string head = "( '" PRAVELLON_SIM_PATH "' --preset family15 --now --every 0.1; echo $? >'" + status.path
        + "' ) | head -1 >/dev/null";
    ASSERT_EQ(std::system(head.c_str()), 0);
    EXPECT_EQ(readFile(status.path), "0\n");

    const TestFile trace("now.trace");
    (void)runSim(machine + "--trace '" + trace.path + "' Bogus");
    const std::string probe = readFile(trace.path);
    for (const char* refused : {"--now P2", "--every 1", "--now --count 2", "--now --every 1 --count 0", "--now --every 0.05",
                                "--now --every=1x", "-n --now", "--now --tokens"}) {
        writeFile(trace.path, "");
        const ProgramRun run = runSim(machine + "--trace '" + trace.path + "' " + refused);
        EXPECT_EQ(run.status, 3) << refused;
        EXPECT_EQ(run.out, "") << refused;
        EXPECT_EQ(run.err.rfind("ERROR: invalid parameter ", 0), 0u) << refused << ": " << run.err;
        EXPECT_EQ(readFile(trace.path), probe) << refused;
    }
    EXPECT_EQ(runSim(machine + "--now --every 1 --count 0").err, "ERROR: invalid parameter --count 0\n");
}

} // namespace
