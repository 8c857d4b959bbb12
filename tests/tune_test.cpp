// Tuning's pure parts: its options read whole or refused, the arithmetic of
// the search in VID steps, and its journal read back for a resume.

#include <gtest/gtest.h>

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
        const char* lastLine;
    } cases[] = {
        {"stable P1 1.35 hangs 1.3", 0.2, 16, 14, false, "", "P1: result 1.375"},
        {"stable P1 1.0 hangs 0.9", 0.05, 16, 14, true, "", "P1: result 1.375"},
        {"stable P1 1.45 hangs 1.3", 0.2, 12, 12, false, "", "P1: result 1.4"}, // never above the original
        {"msr 0xc0010061 0x41 core 2", 0.2, 12, 0, false, "limited to P2 by the processor",
         "P1 1.3875 failed: limited to P2 by the processor"},
        // Core 3 stays in P2, its requests dropped: the step did not take.
        {"msr 0xc0010071 0x0040f0303c021810 core 3\nignore wrmsr 0xc0010062 core 3", 0.2, 12, 0, false, "core 3 left P1",
         "P1 1.3875 failed: core 3 left P1"},
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
        const PstateSearch search = searchPstate(profile, 1, 12, options, journal.path, -1);
        EXPECT_EQ(search.lowestStableVid, c.lowestStable) << c.extra;
        EXPECT_EQ(search.reachedFloor, c.floor) << c.extra;
        EXPECT_EQ(search.endsRun, c.endsRun) << c.extra;
        const std::string text = readFile(journal.path);
        EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1), std::string(c.lastLine) + "\n") << c.extra;
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
