// Every device operation of a run fails in turn (the machine file's `fail op N`):
// whichever open or transfer fails, the process ends there through err(3) with
// the status and message the device code promises, the registers hold exactly
// the writes made before the failure, and nothing on standard output claims
// that the run went through.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "emulated_machine.h"
#include "run_program.h"
#include "machine/parser.h"
#include "sim/presets.h"
#include "sim/processor_moves.h"

namespace {

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Opens and transfers count; closes and pauses do not.
bool isOperation(const std::string& traceLine)
{
    return !startsWith(traceLine, "close ") && !startsWith(traceLine, "sleep ");
}

// The trace line of a failed operation: the operation without its result.
std::string failedLine(const std::string& traceLine)
{
    for (const char* arrow : {" -> ", " <- "}) {
        const std::size_t at = traceLine.find(arrow);
        if (at != std::string::npos)
            return traceLine.substr(0, at) + " failed";
    }
    return traceLine + " failed";
}

struct Failure {
    int status;
    std::string message; // err(3)'s line without the program name, and the hint's if any
};

// The device of the transfer at trace line at: the one opened last before it.
std::string deviceOf(const std::vector<std::string>& trace, std::size_t at)
{
    while (at-- > 0)
        if (startsWith(trace[at], "open "))
            return trace[at].substr(5);
    return std::string();
}

// What the device code reports when the operation at trace line at fails.
Failure failureOf(const std::vector<std::string>& trace, std::size_t at)
{
    static const struct {
        const char* operation;
        const char* request;
    } transfers[] = {
        {"cpuid ", "CPUCTL_CPUID"}, {"rdmsr ", "CPUCTL_RDMSR"}, {"wrmsr ", "CPUCTL_WRMSR"},
        {"pciread ", "PCIOCREAD"},  {"pciwrite ", "PCIOCWRITE"},
    };
    const std::string& traceLine = trace[at];
    // The module hint only while no cpuctl device has opened in the run.
    bool cpuctlOpened = false;
    for (std::size_t i = 0; i < at; ++i)
        cpuctlOpened = cpuctlOpened || startsWith(trace[i], "open /dev/cpuctl");
    if (startsWith(traceLine, "open /dev/cpuctl"))
        return {255, "Failed to open " + traceLine.substr(5) + ": No such file or directory"
                         + (cpuctlOpened ? "" : "\npravellon-sim: load the cpuctl module: kldload cpuctl")};
    if (startsWith(traceLine, "open "))
        return {255, "Failed to open " + traceLine.substr(5) + ": No such file or directory"};
    for (const auto& t : transfers)
        if (startsWith(traceLine, t.operation))
            return {254, std::string("ioctl(") + t.request + ") on " + deviceOf(trace, at) + ": Input/output error"};
    ADD_FAILURE() << "not an operation: " << traceLine;
    return {};
}

// The machine after the register writes among these trace lines, each MSR
// write on the core whose device was opened for it, and the current P-state
// moved as the processor moves it.
void applyWrites(const std::vector<std::string>& trace, std::size_t count, Machine& machine)
{
    for (std::size_t i = 0; i < count; ++i) {
        int core = 0;
        unsigned msr = 0;
        unsigned long long msrValue = 0;
        unsigned device = 0;
        unsigned function = 0;
        unsigned reg = 0;
        unsigned pciValue = 0;
        if (std::sscanf(trace[i].c_str(), "wrmsr %x <- %llx", &msr, &msrValue) == 2
            && std::sscanf(deviceOf(trace, i).c_str(), "/dev/cpuctl%d", &core) == 1) {
            setMsrOnCore(machine, core, msr, msrValue);
            followWrite(machine, core, msr, msrValue);
        } else if (std::sscanf(trace[i].c_str(), "pciwrite %x.%x %x <- %x", &device, &function, &reg, &pciValue)
                   == 4) {
            machine.pciRegisters[PciAddress{static_cast<std::uint8_t>(device), static_cast<std::uint8_t>(function),
                                            reg}] = pciValue;
        }
    }
}

struct Scenario {
    const char* preset;
    const char* tokens;                // empty: the report
    std::vector<const char*> reaches; // trace lines the fault-free run must have, by their start
    const char* warnings = "";        // what the tokens ask of a processor without it, or past its limits
};

// One run of every family that reaches each step of applying a change set
// (northbridge requests, boost source, APM, core P-states, boost, the switch
// to a target or out of and back into a modified current P-state), and the
// report of each.
const Scenario kScenarios[] = {
    {"family10", "NB_low=2 NB_P1=@1.1 Turbo=0 APM=1 P1=8@1.2 P3=@1.0",
     {"pciwrite 18.4 0x15c", "wrmsr 0xc0010065", "wrmsr 0xc0010067", "wrmsr 0xc0010015", "sleep 1"},
     "WARNING: APM=1: APM not supported, left unchanged\n"
     "WARNING: P1=8@1.2: 1.2V is below P2's 1.25V, a slower P-state\n"},
    {"family12", "NB_P0=@1.0 Turbo=1 P0=20@1.3 P2=14 P3",
     {"pciwrite 18.4 0x15c", "wrmsr 0xc0010064", "wrmsr 0xc0010066", "wrmsr 0xc0010015", "wrmsr 0xc0010062 <- 0x2"},
     "WARNING: NB_P0=@1.0: NB P-states not supported, left unchanged\n"
     "WARNING: P0=20@1.3: 1.3V is below P1's 1.3375V, a slower P-state\n"},
    {"family14", "Turbo=1 P0=16@1.3 P1=@1.1", {"wrmsr 0xc0010064", "wrmsr 0xc0010065", "sleep 1"},
     "WARNING: Turbo=1: CPB not supported, left unchanged\n"},
    {"family15", "NB_P0=20@1.15 NB_P1=12 Turbo=1 APM=0 P2=17@1.3 P5=@1.0 P4",
     {"pciwrite 18.5 0x160", "pciwrite 18.5 0x164", "pciwrite 18.4 0x15c", "wrmsr 0xc0010066", "wrmsr 0xc0010069",
      "wrmsr 0xc0010015", "wrmsr 0xc0010062 <- 0x2"}},
    {"family15-8bit", "NB_P1=@1.0 Turbo=0 APM=1 P2=30@1.2",
     {"pciwrite 18.5 0x164", "pciwrite 18.4 0x15c", "wrmsr 0xc0010066", "wrmsr 0xc0010015", "sleep 1"},
     "WARNING: P2=30@1.2: 1.2V is below P3's 1.35V, a slower P-state\n"},
    {"family10", "", {}},
    {"family12", "", {}},
    {"family14", "", {}},
    {"family15", "", {}},
    {"family15-8bit", "", {}},
};

// Each scenario a test of its own, so that they run side by side.
class FaultInjection : public ::testing::TestWithParam<Scenario> {};

TEST_P(FaultInjection, EveryOperationOfARunFailsInTurn)
{
    const TestFile machineFile("fault_injection.machine");
    const TestFile traceFile("fault_injection.trace");
    const std::string& machinePath = machineFile.path;
    const std::string& tracePath = traceFile.path;
    const auto runWith = [&](const std::string& machineText, const std::string& tokens) {
        std::ofstream(machinePath) << machineText;
        std::remove(tracePath.c_str());
        return runSim("--machine '" + machinePath + "' --trace '" + tracePath + "' " + tokens, true);
    };

    const Scenario& r = GetParam();
    const Preset* preset = findPreset(r.preset);
    ASSERT_NE(preset, nullptr) << r.preset;
    const std::string what = std::string(r.preset) + " [" + r.tokens + "]";
    Machine original;
    std::string error;
    ASSERT_TRUE(parseMachine(preset->machineText, original, error)) << error;

    const ProgramRun clean = runWith(preset->machineText, r.tokens);
    ASSERT_EQ(clean.status, 0) << what << "\n" << clean.out;
    const bool report = *r.tokens == '\0';
    // The report, or after tokens nothing but the warnings.
    EXPECT_EQ(clean.out.empty(), !report && *r.warnings == '\0') << what << "\n" << clean.out;
    if (!report) {
        EXPECT_EQ(clean.out, r.warnings) << what;
    }
    const std::vector<std::string> trace = linesOf(readFile(tracePath));
    for (const char* step : r.reaches) {
        bool found = false;
        for (const std::string& line : trace)
            found = found || startsWith(line, step);
        EXPECT_TRUE(found) << what << " does not reach " << step;
    }
    Machine expected = original;
    applyWrites(trace, trace.size(), expected);
    Machine saved;
    ASSERT_TRUE(parseMachine(readFile(machinePath), saved, error)) << error;
    ASSERT_EQ(saved.msrs, expected.msrs) << what;
    ASSERT_EQ(saved.coreMsrs, expected.coreMsrs) << what;
    ASSERT_EQ(saved.pciRegisters, expected.pciRegisters) << what;

    int operation = 0;
    bool warned = false;
    std::size_t said = 0;
    for (std::size_t at = 0; at < trace.size(); ++at) {
        if (!isOperation(trace[at]))
            continue;
        ++operation;
        const std::string where = what + ", fail op " + std::to_string(operation) + " (" + trace[at] + ")";
        const ProgramRun failed = runWith(preset->machineText + "fail op " + std::to_string(operation) + "\n",
                                           r.tokens);
        const Failure failure = failureOf(trace, at);
        EXPECT_EQ(failed.status, failure.status) << where;

        // The same operations up to the failing one, and nothing after it:
        // a failed transfer is not even followed by its close.
        std::vector<std::string> expectedTrace(trace.begin(), trace.begin() + static_cast<long>(at));
        expectedTrace.push_back(failedLine(trace[at]));
        EXPECT_EQ(linesOf(readFile(tracePath)), expectedTrace) << where;

        Machine afterFailure = original;
        applyWrites(trace, at, afterFailure);
        ASSERT_TRUE(parseMachine(readFile(machinePath), saved, error)) << where << ": " << error;
        EXPECT_EQ(saved.msrs, afterFailure.msrs) << where;
        EXPECT_EQ(saved.coreMsrs, afterFailure.coreMsrs) << where;
        EXPECT_EQ(saved.pciRegisters, afterFailure.pciRegisters) << where;

        // err(3)'s line last. Before it nothing that claims success: after
        // tokens nothing but the warnings, which come before any access;
        // of the report only whole lines printed before the failure, never
        // all of it.
        const std::string errLine = "pravellon-sim: " + failure.message + "\n";
        ASSERT_GE(failed.out.size(), errLine.size()) << where << "\n" << failed.out;
        const std::size_t printed = failed.out.size() - errLine.size();
        EXPECT_EQ(failed.out.substr(printed), errLine) << where;
        if (report) {
            // Only the other cores are read after the last line of a
            // processor without northbridge P-states, whose cores agree.
            const bool otherCore = startsWith(trace[at], "open /dev/cpuctl")
                ? trace[at] != "open /dev/cpuctl0"
                : startsWith(deviceOf(trace, at), "/dev/cpuctl") && deviceOf(trace, at) != "/dev/cpuctl0";
            if (otherCore)
                EXPECT_LE(printed, clean.out.size()) << where;
            else
                EXPECT_LT(printed, clean.out.size()) << where;
        } else {
            // The warnings come once the probe is done, those of the
            // limits after the reads they need: a failure comes after the
            // ones said so far, and every write after all of them.
            const std::string before = failed.out.substr(0, printed);
            EXPECT_EQ(std::string(r.warnings).compare(0, before.size(), before), 0) << where;
            EXPECT_GE(before.size(), said) << where;
            said = before.size();
            if (startsWith(trace[at], "wrmsr") || startsWith(trace[at], "pciwrite")) {
                EXPECT_EQ(before, r.warnings) << where;
            }
            warned = warned || !before.empty();
        }
        EXPECT_EQ(clean.out.compare(0, printed, failed.out, 0, printed), 0) << where << "\n" << failed.out;
        EXPECT_TRUE(printed == 0 || failed.out[printed - 1] == '\n') << where;
    }
    EXPECT_GT(operation, 10) << what;
    EXPECT_EQ(warned, !report && *r.warnings != '\0') << what;
}

// family15_8bit_changes, family10_report, ...
std::string scenarioName(const ::testing::TestParamInfo<Scenario>& info)
{
    std::string name = std::string(info.param.preset) + (*info.param.tokens == '\0' ? "_report" : "_changes");
    for (char& c : name)
        if (c == '-')
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryScenario, FaultInjection, ::testing::ValuesIn(kScenarios), scenarioName);

} // namespace
