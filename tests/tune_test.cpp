// Tuning's pure parts: its options read whole or refused, the arithmetic of
// the search in VID steps, and its journal read back for a resume.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "hw/exception_with_message.h"
#include "cpu/probe.h"
#include "emulated_machine.h"
#include "pstate/core_pstate.h"
#include "profiles.h"
#include "run_program.h"
#include "test_file.h"
#include "tune/journal_file.h"
#include "tune/tune_checks.h"
#include "tune/tune_ending.h"
#include "tune/tune_journal.h"
#include "tune/tune_options.h"
#include "tune/tune_search.h"
#include "tune/tune_steps.h"

TEST(Tune, OptionValuesAreReadWholeOrRefused)
{
    const struct {
        const char* name;
        const char* value;
        bool zeroSeconds;
        const char* error; // the start of the refusal; "" when taken
    } cases[] = {
        {"--pstates", "1-3,5", false, ""},
        {"--pstates", "7", false, ""},
        {"--pstates", "8", false, "bad --pstates '8'"},
        {"--pstates", "3,1", false, "bad --pstates '3,1'"},
        {"--pstates", "1,1", false, "bad --pstates"},
        {"--pstates", "", false, "bad --pstates"},
        {"--pstates", "1\n", false, "bad --pstates"},
        {"--pstates", "P1", false, "bad --pstates"},
        {"--seconds", "600", false, ""},
        {"--seconds", "0", false, "bad --seconds '0' (whole seconds from 1 to 86400)"},
        {"--seconds", "0", true, ""},
        {"--seconds", "1.5", false, "bad --seconds"},
        {"--seconds", "60s", false, ""}, // read as the self-test reads it
        {"--seconds", "86401", false, "bad --seconds"},
        {"--margin", "0", false, ""},
        {"--margin", "25mV", false, "bad --margin"},
        {"--margin", "0.025V", false, ""},
        {"--margin", "-0.1", false, "bad --margin"},
        {"--max-drop", "0", false, "bad --max-drop"},
        {"--max-drop", "0.6", false, "bad --max-drop"},
        {"--max-drop", "nan", false, "bad --max-drop"},
        {"--tctl-limit", "0", false, ""},
        {"--tctl-limit", "75.5C", false, ""},
        {"--tctl-limit", "256", false, "bad --tctl-limit"},
    };
    for (const auto& c : cases) {
        TuneOptions options;
        EXPECT_EQ(setTuneOption(options, c.name, c.value, c.zeroSeconds).substr(0, std::string(c.error).size()),
                  c.error)
            << c.name << " " << c.value;
    }
    TuneOptions options;
    ASSERT_EQ(setTuneOption(options, "--pstates", "1-3,5", false), "");
    EXPECT_EQ(options.pstates, (std::vector<std::int32_t>{1, 2, 3, 5}));
}

TEST(Tune, StepsAreWholeVidsAndTheResultStaysWithinItsBounds)
{
    const struct {
        double step;
        double margin;
        std::int32_t steps;
        double maxDrop;
        std::int32_t floorBelow; // VIDs below the original
    } arithmetic[] = {
        {0.0125, 0.025, 2, 0.2, 16},
        {0.0125, 0.03, 3, 0.21, 16}, // a part of a step: the margin up, the floor back
        {0.0125, 0.0375, 3, 0.3, 24}, // 0.3 / 0.0125 is a hair below 24 in a double: still 24
        {0.00625, 0.025, 4, 0.2, 32},
        {0.0125, 0.0, 0, 0.0125, 1},
    };
    for (const auto& c : arithmetic) {
        const ProcessorProfile profile = withStep(c.step);
        EXPECT_EQ(marginSteps(profile, c.margin), c.steps) << c.step << " " << c.margin;
        EXPECT_EQ(floorVid(profile, 20, c.maxDrop), 20 + c.floorBelow) << c.step << " " << c.maxDrop;
    }
    const struct {
        std::int32_t original, lowestStable, margin, slower, result;
    } results[] = {
        {20, 30, 2, -1, 28}, // lowest stable plus the margin
        {20, 21, 2, -1, 20}, // never above the original
        {20, 20, 2, -1, 20}, // nothing below the original passed
        {20, 30, 2, 26, 26}, // never below the slower P-state's result
        {20, 30, 2, 18, 20}, // the original wins over a slower result above it
    };
    for (const auto& c : results)
        EXPECT_EQ(resultVid(c.original, c.lowestStable, c.margin, c.slower), c.result)
            << c.original << " " << c.lowestStable << " " << c.slower;
}

TEST(Tune, JournalReadBackForAResume)
{
    const std::string head = std::string(kJournalFormatLine) + "\nprocessor: x\nsaved: /s\noptions: --seconds 60\n";
    const struct {
        std::string text;
        bool valid, finished;
        std::int32_t unfinished;
        const char* unfinishedVolts;
        double p2Lowest;
        bool p2Ended;
    } cases[] = {
        {"", false, false, -1, "", 0.0, false},
        {"journal\n" + testingLine(2, 1.2), false, false, -1, "", 0.0, false},
        {head, true, false, -1, "", 0.0, false},
        // A hang: the last step line says testing.
        {head + testingLine(2, 1.2125) + "\n" + stableLine(2, 1.2125) + "\n" + testingLine(2, 1.2) + "\n", true, false,
         2, "1.2", 1.2125, false},
        {head + testingLine(2, 1.2125) + "\n" + failedLine(2, 1.2125, "core 5 left P2") + "\n" + resultLine(2, 1.225)
             + "\n" + testingLine(1, 1.3) + "\n",
         true, false, 1, "1.3", 0.0, true},
        {head + testingLine(2, 1.2125) + "\n" + stableLine(2, 1.2125) + "\n" + floorLine(2, 0.2) + "\n"
             + resultLine(2, 1.2375) + "\nfinished\n",
         true, true, -1, "", 1.2125, true},
        // A line torn by the crash leaves the step it follows unfinished.
        {head + testingLine(2, 1.2125) + "\nP2 1.2125 sta", true, false, 2, "1.2125", 0.0, false},
        // A step cut on request is unfinished too: a resume tests it again.
        {head + testingLine(2, 1.2) + "\n" + interruptedLine(2, 1.2) + "\n", true, false, 2, "1.2", 0.0, false},
    };
    for (const auto& c : cases) {
        const JournalState state = readJournal(c.text);
        EXPECT_EQ(state.valid, c.valid) << c.text;
        EXPECT_EQ(state.finished, c.finished) << c.text;
        EXPECT_EQ(state.unfinishedPstate, c.unfinished) << c.text;
        EXPECT_EQ(state.unfinishedVolts, c.unfinishedVolts) << c.text;
        const auto p2 = state.pstates.find(2);
        EXPECT_EQ(p2 == state.pstates.end() ? 0.0 : p2->second.lowestStable, c.p2Lowest) << c.text;
        EXPECT_EQ(p2 != state.pstates.end() && p2->second.ended, c.p2Ended) << c.text;
    }
    EXPECT_EQ(floorLine(4, 0.2), "P4: stopped at the 0.2V floor");
    EXPECT_EQ(failedLine(2, 1.2125, "Tctl 83.5C"), "P2 1.2125 failed: Tctl 83.5C");
}

TEST(Tune, JournalOnDiskIsWrittenLineByLine)
{
    const TestFile journal("tune");
    startJournal(journal.path, {"processor: x", "saved: /s"});
    appendJournalLine(journal.path, testingLine(2, 1.2125));
    std::string text;
    std::string error;
    ASSERT_TRUE(readJournalFile(journal.path, text, error)) << error;
    EXPECT_EQ(text, std::string(kJournalFormatLine) + "\nprocessor: x\nsaved: /s\nP2 1.2125 testing\n");
    EXPECT_EQ(readJournal(text).unfinishedPstate, 2);

    const TestFile missing("no-tune");
    EXPECT_THROW(appendJournalLine(missing.path, "finished"), ExceptionWithMessage) << "no headerless journal";
    EXPECT_FALSE(readJournalFile(missing.path, text, error));
    EXPECT_THROW(startJournal(missing.path + "/tune", {}), ExceptionWithMessage);
}

// family10's cores run in P1 at 1.4 V (VID 12), the processor limiting none.
TEST(TuneDeathTest, SearchFindsTheLowestStableVoltageOfAPstate)
{
    const std::string machine = findPreset("family10")->machineText;
    const struct {
        std::string extra;
        double maxDrop;
        std::int32_t lowestStable, result;
        bool floor;
        const char* endsRun;
        const char* lastLines; // the journal's end
        double tctlLimit = 80.0;
    } cases[] = {
        {"stable P1 1.35 hangs 1.3", 0.2, 16, 14, false, "", "P1: result 1.375"},
        {"stable P1 1.0 hangs 0.9", 0.05, 16, 14, true, "", "P1: result 1.375"},
        {"stable P1 1.45 hangs 1.3", 0.2, 12, 12, false, "", "P1: result 1.4"}, // never above the original
        {"msr 0xc0010061 0x41 core 2", 0.2, 12, 0, false, "limited to P2 by the processor",
         "P1 1.3875 failed: limited to P2 by the processor"},
        // Core 3 stays in P2, its requests dropped: the step did not take.
        {"msr 0xc0010071 0x0040f0303c021810 core 3\nignore wrmsr 0xc0010062 core 3", 0.2, 12, 0, false, "core 3 left P1",
         "P1 1.3875 failed: core 3 left P1"},
        // Core 3 enters P1 but keeps another voltage.
        {"moves msr 0xc0010071 0x200 core 3", 0.2, 12, 0, false, "core 3 runs at 1.4V, not 1.3875V",
         "P1 1.3875 failed: core 3 runs at 1.4V, not 1.3875V"},
        // Tctl rises under the load: 83.5 C, or no reading at all; unwatched
        // with a limit of 0.
        {"loaded pci 18.3 0xa4 0x53800fef", 0.2, 12, 12, false, "", "P1 1.3875 failed: Tctl 83.5C\nP1: result 1.4"},
        {"loaded pci 18.3 0xa4 0x0", 0.2, 12, 12, false, "", "P1 1.3875 failed: Tctl not available\nP1: result 1.4"},
        {"stable P1 1.35 hangs 1.3\nloaded pci 18.3 0xa4 0x53800fef", 0.2, 16, 14, false, "", "P1: result 1.375",
         0.0},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(attachMachineText(machine + c.extra + "\n"));
        ProcessorProfile profile;
        ASSERT_TRUE(probeProcessor(profile));
        const TestFile journal("tune");
        startJournal(journal.path, {});
        TuneOptions options;
        options.seconds = 0;
        options.maxDrop = c.maxDrop;
        options.tctlLimit = c.tctlLimit;
        const PstateSearch search = searchPstate(profile, 1, 12, 12, options, journal.path, -1);
        EXPECT_EQ(search.lowestStableVid, c.lowestStable) << c.extra;
        EXPECT_EQ(search.reachedFloor, c.floor) << c.extra;
        EXPECT_EQ(search.endsRun, c.endsRun) << c.extra;
        const std::string text = readFile(journal.path);
        const std::string end = std::string(c.lastLines) + "\n";
        EXPECT_EQ(text.substr(text.size() - std::min(text.size(), end.size())), end) << c.extra;
        if (search.endsRun.empty()) {
            EXPECT_EQ(search.resultVid, c.result) << c.extra;
        }
        // Every core left at the result, or at the original voltage by a run
        // that must end.
        for (std::int32_t core = 0; core < 6; ++core) {
            std::uint64_t value = 0;
            ASSERT_TRUE(msrOnCore(emulation::attachedMachine(), core, corePstateMsr(1), value));
            EXPECT_EQ(decodeCorePstate(profile, 1, value).vid, search.endsRun.empty() ? c.result : 12)
                << c.extra << " core " << core;
        }
    }

    // A wrong answer ends its step at once, not when the step's time is up.
    ASSERT_TRUE(attachMachineText(machine + "stable P1 1.45 hangs 1.3\n"));
    {
        ProcessorProfile profile;
        ASSERT_TRUE(probeProcessor(profile));
        const TestFile journal("tune-wrong");
        startJournal(journal.path, {});
        TuneOptions options;
        options.seconds = 600;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(searchPstate(profile, 1, 12, 12, options, journal.path, -1).lowestStableVid, 12);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }

    // A hang leaves the journal's last line saying which step hung.
    const TestFile journal("tune-hang");
    ASSERT_TRUE(attachMachineText(machine + "stable P1 1.375 hangs 1.375\n"));
    EXPECT_EXIT(
        {
            ProcessorProfile profile;
            probeProcessor(profile);
            startJournal(journal.path, {});
            TuneOptions options;
            options.seconds = 0;
            (void)searchPstate(profile, 1, 12, 12, options, journal.path, -1);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    const JournalState state = readJournal(readFile(journal.path));
    EXPECT_EQ(state.unfinishedPstate, 1);
    EXPECT_EQ(state.unfinishedVolts, "1.3625");
}

// An end requested by a signal during a step: the step is neither stable
// nor failed, and the P-state keeps its original voltage.
TEST(Tune, AnEndRequestedCutsTheStep)
{
    ASSERT_TRUE(attachMachineText(findPreset("family10")->machineText));
    ProcessorProfile profile;
    ASSERT_TRUE(probeProcessor(profile));
    const TestFile journal("tune");
    startJournal(journal.path, {});
    TuneOptions options;
    options.seconds = 600; // the request ends it at once
    emulation::setAfterWrite([]() noexcept { requestTuneEnd(SIGINT); }); // at the step's first write
    const PstateSearch search = searchPstate(profile, 1, 12, 12, options, journal.path, -1);
    emulation::setAfterWrite(nullptr);
    EXPECT_EQ(tuneEndRequested(), SIGINT);
    forgetTuneEnd();
    EXPECT_EQ(search.endsRun, "interrupted");
    const std::string text = readFile(journal.path);
    EXPECT_EQ(text.substr(text.find('\n') + 1), "P1 1.3875 testing\nP1 1.3875 interrupted\n");
    for (std::int32_t core = 0; core < 6; ++core) {
        std::uint64_t value = 0;
        ASSERT_TRUE(msrOnCore(emulation::attachedMachine(), core, corePstateMsr(1), value));
        EXPECT_EQ(decodeCorePstate(profile, 1, value).vid, 12) << "core " << core;
    }
}

TEST(Tune, PreparationRefusesWhatTuningCannotWatch)
{
    const struct {
        const char* preset;
        const char* extra;
        std::uint8_t hotNode; // whose Tctl register is set to tctl (0x18 + node; 0 for none)
        std::uint32_t tctl;
        double limit;
        const char* unsteady; // the start of the refusal; "" for none
        const char* tctlRefused;
    } cases[] = {
        {"family10", "", 0, 0, 80.0, "", ""},
        {"family10", "moves msr 0xc0010071 0x10000 core 3", 0, 0, 80.0, "core 3 moved from P0 to P1 within a second", ""},
        {"family10", "moves msr 0xc0010061 0x1 core 2", 0, 0, 80.0, "core 2's P-state limit moved from P2 to P1", ""},
        {"family10", "", 0x18, 0x53800fef, 80.0, "", "Tctl 83.5C on node 0 is above the limit of 80C"},
        {"family10", "", 0x18, 0x53800fef, 83.5, "", ""},
        {"family10", "", 0x18, 0, 80.0, "", "Tctl not available on node 0; give --tctl-limit 0 to tune without watching it"},
        {"family10", "", 0x18, 0, 0.0, "", ""},
        {"family10-2socket", "", 0x19, 0x53800fef, 75.5, "", "Tctl 83.5C on node 1 is above the limit of 75.5C"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(attachMachineText(findPreset(c.preset)->machineText + c.extra + "\n")) << c.extra;
        if (c.hotNode != 0)
            emulation::attachedMachine().pciRegisters[PciAddress{c.hotNode, 3, 0xa4}] = c.tctl;
        ProcessorProfile profile;
        ASSERT_TRUE(probeProcessor(profile));
        const std::string unsteady = unsteadyPstates(profile);
        EXPECT_EQ(unsteady.substr(0, std::string(c.unsteady).size()), c.unsteady) << c.extra;
        EXPECT_EQ(unsteady.empty(), std::string(c.unsteady).empty()) << c.extra;
        const std::string tctl = tctlRefusal(profile, c.limit);
        EXPECT_EQ(tctl.substr(0, std::string(c.tctlRefused).size()), c.tctlRefused) << c.preset << " " << c.limit;
        EXPECT_EQ(tctl.empty(), std::string(c.tctlRefused).empty()) << c.preset << " " << c.limit;
    }
}

// A state directory of this process's own, named to pravellon-sim through
// PRAVELLON_STATE_DIR, emptied when it goes.
struct StateDirectory {
    StateDirectory() : path(::testing::TempDir() + "pravellon_" + std::to_string(getpid()) + "_state")
    {
        clear();
        mkdir(path.c_str(), 0700);
        setenv("PRAVELLON_STATE_DIR", path.c_str(), 1);
    }
    ~StateDirectory()
    {
        clear();
        rmdir(path.c_str());
        unsetenv("PRAVELLON_STATE_DIR");
    }
    StateDirectory(const StateDirectory&) = delete;
    StateDirectory& operator=(const StateDirectory&) = delete;
    void clear() const
    {
        for (const char* name : {"/tune", "/tune-saved", "/pending"})
            std::remove((path + name).c_str());
    }
    std::string journal() const { return readFile(path + "/tune"); }
    const std::string path;
};

// The last line of text, without its newline.
std::string lastLine(std::string text)
{
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text.substr(text.rfind('\n') + 1);
}

// A preset with a stability line for each P-state it tunes.
std::string tunable(const std::string& preset, const std::string& stability)
{
    return findPreset(preset)->machineText + stability;
}

// The settings of a machine file, as --save writes them: a core's current
// P-state is the processor's, no setting.
std::string settingsOf(const std::string& machine)
{
    return runSim("--machine '" + machine + "' --save -").out;
}

// Whole tunings on every family: each result the lowest stable voltage plus
// the margin, within its bounds, and the machine given its settings back.
TEST(TuneRun, ResultsAreTheStableVoltagesPlusTheMargin)
{
    const StateDirectory state;
    const struct {
        const char* preset;
        std::string stability;
        std::string options;
        std::string tokens;
        std::string err;
    } cases[] = {
        // P4 at the 0.2V floor, P3 never above its original, P2 raised to P3's
        // result, P1 the stable voltage plus 0.025V.
        {"family10", "stable P4 0.7 hangs 0.6\nstable P3 1.1 hangs 1.0\nstable P2 1.05 hangs 1.0\nstable P1 1.35 hangs 1.3\n",
         "", "P1=@1.375 P2=@1.1 P3=@1.1 P4=@0.825", ""},
        // P4's floor is the processor's lowest voltage, 0.775V, above 0.2V below.
        {"family12", "stable P4 0.8 hangs 0.7\nstable P3 0.95 hangs 0.9\nstable P2 1.15 hangs 1.1\nstable P1 1.3 hangs 1.2\n",
         "", "P1=@1.325 P2=@1.175 P3=@0.975 P4=@0.825", ""},
        {"family14", "stable P2 0.9 hangs 0.85\nstable P1 1.1 hangs 1.0\nstable P0 1.2 hangs 1.1\n", "",
         "P0=@1.225 P1=@1.125 P2=@0.925", ""},
        {"family15",
         "stable P6 0.8 hangs 0.7\nstable P5 1.0 hangs 0.9\nstable P4 1.1 hangs 1.0\nstable P3 1.25 hangs 1.2\n"
         "stable P2 1.3 hangs 1.2\n",
         "", "P2=@1.325 P3=@1.275 P4=@1.125 P5=@1.025 P6=@0.825", ""},
        // The margin in 6.25 mV steps; a boosted P-state asked for is left out.
        {"family15-8bit", "stable P3 1.3 hangs 1.25\nstable P2 1.35 hangs 1.3\n", "--pstates 1-3 ", "P2=@1.375 P3=@1.325",
         "WARNING: P1 is boosted, which a switch cannot hold: left out\n"},
        // Tctl above the limit under the load fails every first step.
        {"family10", "loaded pci 18.3 0xa4 0x53800fef\n", "", "P1=@1.4 P2=@1.25 P3=@1.1 P4=@1", ""},
        // Written at the end, and told as JSON.
        {"family12", "stable P3 0.95 hangs 0.9\n", "--pstates 3 --apply ", "P3=@0.975", ""},
        {"family12", "stable P3 0.95 hangs 0.9\n", "--pstates 3 --json ", "P3=@0.975", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.preset);
        state.clear();
        const TestFile machine("tune.machine");
        const std::string before = tunable(c.preset, c.stability);
        writeFile(machine.path, before);
        const std::string settings = settingsOf(machine.path);
        const ProgramRun run = runSim("--machine '" + machine.path + "' --tune " + c.options + "--seconds 0");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, c.err);
        const bool json = c.options.find("--json") != std::string::npos;
        EXPECT_NE(run.out.find(json ? "\"tokens\": \"" + c.tokens + "\"" : "Tokens of the results: " + c.tokens + "\n"),
                  std::string::npos)
            << run.out;
        if (c.options.find("--apply") == std::string::npos) {
            EXPECT_EQ(settingsOf(machine.path), settings);
        } else {
            // The results in place, and the rest as it was: boost back on.
            EXPECT_EQ(runSim("--machine '" + machine.path + "' -n " + c.tokens + " Turbo=1").out, "nothing would change\n");
        }
        EXPECT_EQ(lastLine(state.journal()), "finished");
    }
}

// A hang (the emulated machine's SIGKILL, the file unsaved) leaves the
// journal on the step that hung; a resume counts it as failed and goes on
// with the same options to the result a run without the hang finds.
TEST(TuneRun, AResumeAfterAHangFindsWhatARunWithoutTheHangFinds)
{
    const StateDirectory state;
    const std::string options = " --tune --pstates 2-4 --seconds 0 --margin 0.0375";
    const std::string stability = "stable P4 0.9 hangs 0.8\nstable P3 1.0 hangs 0.9\n";
    const TestFile machine("tune.machine");
    writeFile(machine.path, tunable("family10", stability + "stable P2 1.2 hangs 1.1\n"));
    const ProgramRun withoutHang = runSim("--machine '" + machine.path + "'" + options);
    ASSERT_EQ(withoutHang.status, 0) << withoutHang.err;

    state.clear();
    const std::string hanging = tunable("family10", stability + "stable P2 1.2 hangs 1.2\n");
    writeFile(machine.path, hanging);
    EXPECT_EQ(runSim("--machine '" + machine.path + "'" + options).status, 128 + SIGKILL);
    EXPECT_EQ(readFile(machine.path), hanging);
    EXPECT_EQ(lastLine(state.journal()), "P2 1.1875 testing");
    const ProgramRun resumed = runSim("--machine '" + machine.path + "' --tune --resume");
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(resumed.out, withoutHang.out);
    EXPECT_NE(state.journal().find("resumed\nP2 1.1875 failed: the machine hung or was reset\nP2: result 1.2375\n"),
              std::string::npos)
        << state.journal();
    EXPECT_EQ(readFile(machine.path), hanging);
    EXPECT_EQ(runSim("--machine '" + machine.path + "' --tune --resume").err, "ERROR: nothing to resume\n");
}

// A resume goes on from what the journal can tell and no further: a run
// ended by a signal goes on, its cut step tested again; a torn or edited
// line never takes a P-state lower than the run without it went.
TEST(TuneRun, AResumeGoesOnFromWhatTheJournalCanTell)
{
    const StateDirectory state;
    const TestFile machine("tune.machine");
    writeFile(machine.path, tunable("family10", "stable P4 0.9 hangs 0.8\nstable P3 1.0 hangs 0.9\n"));
    const ProgramRun whole = runSim("--machine '" + machine.path + "' --tune --pstates 3-4 --seconds 0");
    ASSERT_EQ(whole.status, 0) << whole.err;
    const std::string journal = state.journal();
    // The journal up to and with its line that starts with line.
    const auto upTo = [&journal](const std::string& line) {
        return journal.substr(0, journal.find('\n', journal.find("\n" + line) + 1) + 1);
    };
    const std::string bySignal = "ending: SIGINT; giving the saved settings back\nended: the saved settings given back\n";
    const struct {
        std::string journal;
        const char* tokens;
    } cases[] = {
        {upTo("P4 0.9625 testing") + "P4 0.9625 interrupted\n" + bySignal, "P3=@1.025 P4=@0.925"},
        {upTo("P4 0.95 stable") + bySignal, "P3=@1.025 P4=@0.925"},
        // A result line torn by a crash: worked out again (P3's first step hung).
        {upTo("P4: result").replace(journal.find("P4: result 0.925"), 16, "P4: result 0.") + "P3 1.0875 testing\n",
         "P3=@1.1 P4=@0.925"},
        // A stable step below the floor, 0.8V: taken as the floor.
        {upTo("P4: result").replace(journal.find("P4 0.9 stable"), 13, "P4 0.5 stable") + "P3 1.0875 testing\n",
         "P3=@1.1 P4=@0.825"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.journal);
        writeFile(state.path + "/tune", c.journal);
        const ProgramRun resumed = runSim("--machine '" + machine.path + "' --tune --resume");
        EXPECT_EQ(resumed.status, 0) << resumed.err;
        EXPECT_NE(resumed.out.find("Tokens of the results: " + std::string(c.tokens) + "\n"), std::string::npos)
            << resumed.out;
    }
}

// On a terminal each step shows its P-state, voltage, seconds left and the
// most the run may take (here the 16 steps down to the floor), rewritten in
// place; the line is cleared at the end.
TEST(TuneRun, AProgressLineOnATerminal)
{
    const StateDirectory state;
    const TestFile machine("tune.machine");
    writeFile(machine.path, tunable("family10", "stable P4 0.975 hangs 0.9\n"));
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_TRUE(grantpt(terminal) == 0 && unlockpt(terminal) == 0 && fcntl(terminal, F_SETFL, O_NONBLOCK) == 0);
    const pid_t pid = startSim("--machine '" + machine.path + "' --tune --pstates 4 --seconds 1", ptsname(terminal));
    EXPECT_EQ(finishSim(pid), 0);
    std::string shown;
    char buffer[4096];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<std::size_t>(got));
    close(terminal);
    const std::string last = "P4 at 0.975V: 1s left in this step, at most 15s in the run";
    EXPECT_EQ(shown, "\rP4 at 0.9875V: 1s left in this step, at most 16s in the run\r" + last + " \r"
                         + std::string(last.size(), ' ') + "\r");
}

// Refused before anything is written or saved: status 3, the machine as it
// was, no journal begun.
TEST(TuneRun, RefusalsChangeNothing)
{
    const StateDirectory state;
    const std::string unfinished = std::string(kJournalFormatLine) + "\nsaved: x\noptions: --seconds 0\nP2 1.2 testing\n";
    const struct {
        std::string args;
        std::string err;
        std::string pending = "";
        std::string journal = "";
        std::string machine = "";
        bool running = false; // another tuning holds the state directory
    } cases[] = {
        {"--seconds 1.5", "ERROR: bad --seconds '1.5' (whole seconds from 0 to 86400)\n"},
        {"--pstates 5", "ERROR: P5 is not an enabled P-state of this processor (it has P0-P4)\n"},
        {"--pstates 0", "WARNING: P0 is boosted, which a switch cannot hold: left out\nERROR: no P-state to tune\n"},
        {"P1=10", "ERROR: invalid parameter P1=10\n"},
        {"--resume --seconds 0", "ERROR: invalid parameter --seconds\n"},
        {"--resume", "ERROR: nothing to resume\n"},
        {"--resume", "ERROR: nothing to resume\n", "", std::string(kJournalFormatLine) + "\nfinished\n"},
        {"", "ERROR: the tuning in STATE/tune has not finished: go on with it with --tune --resume, or remove it to"
             " start afresh\n", "", unfinished},
        {"", "ERROR: the settings applied at the boot of 2026-12-10 01:00:00 UTC are not confirmed (STATE/pending"
             " stands): tune once they are, or after 'pravellon-boot confirm'\n",
         "a1b2\n2026-12-10 01:00:00 UTC\n"},
        {"", "ERROR: core 3 moved from P0 to P1 within a second, not by this program: another program (powerd, a"
             " cpufreq governor) switches P-states; stop it before tuning\n", "", "",
         "moves msr 0xc0010071 0x10000 core 3\n"},
        {"--resume", "ERROR: a tuning runs on this machine already (it holds STATE): wait for it to end, or end it"
                     " with INT or TERM\n", "", unfinished, "", true},
    };
    const TestFile machine("tune.machine");
    const std::string before = tunable("family10", "stable P1 1.35 hangs 1.3\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        state.clear();
        if (!c.pending.empty())
            writeFile(state.path + "/pending", c.pending);
        if (!c.journal.empty())
            writeFile(state.path + "/tune", c.journal);
        writeFile(machine.path, before + c.machine);
        const int running = c.running ? open(state.path.c_str(), O_RDONLY | O_DIRECTORY) : -1;
        ASSERT_TRUE(!c.running || flock(running, LOCK_EX) == 0);
        const ProgramRun run = runSim("--machine '" + machine.path + "' --tune " + c.args);
        (void)close(running);
        EXPECT_EQ(run.status, 3);
        std::string err = run.err;
        for (std::size_t at; (at = err.find(state.path)) != std::string::npos;)
            err.replace(at, state.path.size(), "STATE");
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(readFile(machine.path), before + c.machine);
        EXPECT_EQ(state.journal(), c.journal);
    }
}

// SIGINT or SIGTERM at any moment of a run: the process ends by it, with
// the machine's settings as they were and, once the journal is begun, its
// last line saying they were given back.
TEST(TuneRun, ASignalAtAnyMomentLeavesTheOriginalSettings)
{
    const StateDirectory state;
    const TestFile machine("tune.machine");
    const TestFile err("tune.err");
    const std::string before =
        tunable("family10", "stable P4 0.9 hangs 0.8\nstable P3 1.0 hangs 0.9\nstable P2 1.2 hangs 1.1\n");
    writeFile(machine.path, before);
    const std::string settings = settingsOf(machine.path);
    const struct {
        int signal;
        int afterMs;
    } cases[] = {{SIGINT, 50}, {SIGINT, 1300}, {SIGTERM, 2600}, {SIGINT, 4100}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.afterMs);
        state.clear();
        writeFile(machine.path, before);
        const pid_t pid = startSim("--machine '" + machine.path + "' --tune --pstates 2-4 --seconds 1", err.path);
        std::this_thread::sleep_for(std::chrono::milliseconds(c.afterMs));
        kill(pid, c.signal);
        EXPECT_EQ(finishSim(pid), 128 + c.signal) << readFile(err.path);
        EXPECT_EQ(settingsOf(machine.path), settings);
        const std::string journal = state.journal();
        if (journal.find("\nP4 ") != std::string::npos) {
            EXPECT_EQ(lastLine(journal), "ended: the saved settings given back");
        }
    }
}

// Every other ending the program can catch gives the saved settings back,
// says so in the journal, and ends as such an ending ends any run.
TEST(TuneRun, EveryEndingGivesTheSettingsBack)
{
    const StateDirectory state;
    const struct {
        const char* extra;
        int status;
        const char* err;
    } cases[] = {
        {"fail op 600\n", 254, "pravellon-sim: ioctl("},
        {"ignore wrmsr 0xc0010067 core 2\n", 10,
         "ERROR: MSR 0xc0010067 on core 2 did not take 0x8000012e3c004a50 (reads 0x8000012e3c004850); the saved"
         " settings were given back\n"},
        {"msr 0xc0010061 0x31 core 2\n", 1,
         "ERROR: tuning ended: P1: limited to P2 by the processor; the saved settings were given back\n"},
        // Core 3 enters P4 at another voltage than the step wrote.
        {"moves msr 0xc0010071 0x200 core 3\n", 1,
         "ERROR: tuning ended: P4: core 3 runs at 1V, not 0.9875V; the saved settings were given back\n"},
    };
    const TestFile machine("tune.machine");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extra);
        state.clear();
        writeFile(machine.path, tunable("family10", "stable P4 0.9 hangs 0.8\nstable P3 1.0 hangs 0.9\n") + c.extra);
        const std::string settings = settingsOf(machine.path);
        const ProgramRun run = runSim("--machine '" + machine.path + "' --tune --seconds 0");
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err.rfind(c.err, 0), 0U) << run.err;
        EXPECT_EQ(settingsOf(machine.path), settings);
        const std::string journal = state.journal();
        EXPECT_NE(journal.find("\nending: "), std::string::npos) << journal;
        EXPECT_EQ(lastLine(journal), "ended: the saved settings given back");
    }
}
