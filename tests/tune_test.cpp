// Tuning's pure parts: its options read whole or refused, the arithmetic of
// the search in VID steps, and its journal read back for a resume.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "hw/exception_with_message.h"
#include "cpu/probe.h"
#include "emulated_machine.h"
#include "pstate/core_pstate.h"
#include "profiles.h"
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
        // A step cut on request counts as failed on resume, as a hang does.
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
        const PstateSearch search = searchPstate(profile, 1, 12, options, journal.path, -1);
        EXPECT_EQ(search.lowestStableVid, c.lowestStable) << c.extra;
        EXPECT_EQ(search.reachedFloor, c.floor) << c.extra;
        EXPECT_EQ(search.endsRun, c.endsRun) << c.extra;
        const std::string text = readFile(journal.path);
        const std::string end = std::string(c.lastLines) + "\n";
        EXPECT_EQ(text.substr(text.size() - std::min(text.size(), end.size())), end) << c.extra;
        {
            // A run that must end leaves the original voltage.
            if (search.endsRun.empty()) {
                EXPECT_EQ(search.resultVid, c.result) << c.extra;
            }
            for (std::int32_t core = 0; core < 6; ++core) {
                std::uint64_t value = 0;
                ASSERT_TRUE(msrOnCore(emulation::attachedMachine(), core, corePstateMsr(1), value));
                EXPECT_EQ(decodeCorePstate(profile, 1, value).vid, search.endsRun.empty() ? c.result : 12)
                    << c.extra << " core " << core;
            }
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
        EXPECT_EQ(searchPstate(profile, 1, 12, options, journal.path, -1).lowestStableVid, 12);
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
            (void)searchPstate(profile, 1, 12, options, journal.path, -1);
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
    const PstateSearch search = searchPstate(profile, 1, 12, options, journal.path, -1);
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
