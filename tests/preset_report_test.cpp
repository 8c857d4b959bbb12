// Every built-in processor of pravellon-sim reports exactly the P-state table
// that its description states. The expected reports are written out by hand
// from those tables.

#include <gtest/gtest.h>

#include <string>

#include "run_program.h"
#include "sim/presets.h"

namespace {

struct PresetReport {
    const char* preset;
    int status;
    const char* report;
};

const PresetReport kPresetReports[] = {
    {"family10", 0,
     "\n"
     "Pravellon v1.1\n"
     "\n"
     ".:. General\n"
     "---\n"
     "  AMD family 0x10, model 0xa CPU, 6 cores\n"
     "  Default reference clock: 200 MHz\n"
     "  Available multipliers: 0.5 .. 18\n"
     "  Available voltage IDs: 0.8 .. 1.475 (0.0125 steps)\n"
     "\n"
     ".:. Turbo\n"
     "---\n"
     "  enabled\n"
     "  unlocked\n"
     "  Max multiplier: 16\n"
     "\n"
     ".:. P-states\n"
     "---\n"
     "  5 of 5 enabled (P0 .. P4)\n"
     "  Turbo P-states: P0\n"
     "  ---\n"
     "  P0: 18x at 1.475V\n"
     "      NorthBridge in NB_P0 at 1.175V\n"
     "  P1: 16x at 1.4V\n"
     "      NorthBridge in NB_P0 at 1.175V\n"
     "  P2: 12x at 1.25V\n"
     "      NorthBridge in NB_P0 at 1.175V\n"
     "  P3: 8x at 1.1V\n"
     "      NorthBridge in NB_P0 at 1.175V\n"
     "  P4: 4x at 1V\n"
     "      NorthBridge in NB_P1 at 1.075V\n"},
    {"family10-noboost", 0,
     "\n"
     "Pravellon v1.1\n"
     "\n"
     ".:. General\n"
     "---\n"
     "  AMD family 0x10, model 0x4 CPU, 4 cores\n"
     "  Default reference clock: 200 MHz\n"
     "  Available multipliers: 0.5 .. 15\n"
     "  Available voltage IDs: 0.8 .. 1.4 (0.0125 steps)\n"
     "\n"
     ".:. Turbo\n"
     "---\n"
     "  not supported\n"
     "\n"
     ".:. P-states\n"
     "---\n"
     "  4 of 5 enabled (P0 .. P3)\n"
     "  ---\n"
     "  P0: 15x at 1.35V\n"
     "      NorthBridge in NB_P0 at 1.175V\n"
     "  P1: 11.5x at 1.25V\n"
     "      NorthBridge in NB_P0 at 1.175V\n"
     "  P2: 9x at 1.15V\n"
     "      NorthBridge in NB_P0 at 1.175V\n"
     "  P3: 4x at 1.05V\n"
     "      NorthBridge in NB_P1 at 1.075V\n"},
    {"family12", 0,
     "\n"
     "Pravellon v1.1\n"
     "\n"
     ".:. General\n"
     "---\n"
     "  AMD family 0x12, model 0x1 CPU, 4 cores\n"
     "  Default reference clock: 100 MHz\n"
     "  Available multipliers: 1 .. 28\n"
     "  Available voltage IDs: 0.775 .. 1.425 (0.0125 steps)\n"
     "\n"
     ".:. Turbo\n"
     "---\n"
     "  enabled\n"
     "  locked\n"
     "\n"
     ".:. P-states\n"
     "---\n"
     "  5 of 8 enabled (P0 .. P4)\n"
     "  Turbo P-states: P0\n"
     "  ---\n"
     "  P0: 28x at 1.4125V\n"
     "  P1: 25x at 1.3375V\n"
     "  P2: 20x at 1.2V\n"
     "  P3: 12x at 1.025V\n"
     "  P4: 8x at 0.9V\n"},
    {"family14", 0,
     "\n"
     "Pravellon v1.1\n"
     "\n"
     ".:. General\n"
     "---\n"
     "  AMD family 0x14, model 0x1 CPU, 2 cores\n"
     "  Default reference clock: 100 MHz\n"
     "  Available multipliers: 1.20755 .. 32\n"
     "  Available voltage IDs: 0.85 .. 1.35 (0.0125 steps)\n"
     "\n"
     ".:. Turbo\n"
     "---\n"
     "  not supported\n"
     "\n"
     ".:. P-states\n"
     "---\n"
     "  3 of 8 enabled (P0 .. P2)\n"
     "  ---\n"
     "  P0: 16x at 1.25V\n"
     "  P1: 12.8x at 1.15V\n"
     "  P2: 8x at 1V\n"},
    {"family15", 0,
     "\n"
     "Pravellon v1.1\n"
     "\n"
     ".:. General\n"
     "---\n"
     "  AMD family 0x15, model 0x1 CPU, 8 cores\n"
     "  Default reference clock: 200 MHz\n"
     "  Available multipliers: 0.5 .. 21\n"
     "  Available voltage IDs: 0.75 .. 1.45 (0.0125 steps)\n"
     "\n"
     ".:. Turbo\n"
     "---\n"
     "  enabled\n"
     "  unlocked\n"
     "  Max multiplier: 18\n"
     "\n"
     ".:. P-states\n"
     "---\n"
     "  7 of 8 enabled (P0 .. P6)\n"
     "  Turbo P-states: P0 P1\n"
     "  ---\n"
     "  P0: 21x at 1.4125V\n"
     "      NorthBridge in NB_P0\n"
     "  P1: 19.5x at 1.3875V\n"
     "      NorthBridge in NB_P0\n"
     "  P2: 18x at 1.35V\n"
     "      NorthBridge in NB_P0\n"
     "  P3: 16.5x at 1.2875V\n"
     "      NorthBridge in NB_P0\n"
     "  P4: 13.5x at 1.175V\n"
     "      NorthBridge in NB_P0\n"
     "  P5: 10.5x at 1.0625V\n"
     "      NorthBridge in NB_P1\n"
     "  P6: 7x at 0.875V\n"
     "      NorthBridge in NB_P1\n"
     "  ---\n"
     "  NB_P0: 22x at 1.175V\n"
     "  NB_P1: 11x at 1.05V\n"},
    {"family15-8bit", 0,
     "\n"
     "Pravellon v1.1\n"
     "\n"
     ".:. General\n"
     "---\n"
     "  AMD family 0x15, model 0x10 CPU, 4 cores\n"
     "  Default reference clock: 100 MHz\n"
     "  Available multipliers: 1 .. 42\n"
     "  Available voltage IDs: 0.9 .. 1.5 (0.00625 steps)\n"
     "\n"
     ".:. Turbo\n"
     "---\n"
     "  enabled\n"
     "  unlocked\n"
     "  Max multiplier: 38\n"
     "\n"
     ".:. P-states\n"
     "---\n"
     "  8 of 8 enabled (P0 .. P7)\n"
     "  Turbo P-states: P0 P1\n"
     "  ---\n"
     "  P0: 42x at 1.475V\n"
     "      NorthBridge in NB_P0\n"
     "  P1: 40x at 1.45V\n"
     "      NorthBridge in NB_P0\n"
     "  P2: 38x at 1.4125V\n"
     "      NorthBridge in NB_P0\n"
     "  P3: 34x at 1.35V\n"
     "      NorthBridge in NB_P0\n"
     "  P4: 30x at 1.2875V\n"
     "      NorthBridge in NB_P0\n"
     "  P5: 25x at 1.2V\n"
     "      NorthBridge in NB_P1\n"
     "  P6: 19x at 1.1V\n"
     "      NorthBridge in NB_P1\n"
     "  P7: 14x at 0.9625V\n"
     "      NorthBridge in NB_P1\n"
     "  ---\n"
     "  NB_P0: 18x at 1.25V\n"
     "  NB_P1: 16x at 1.1875V\n"
     "  NB_P2: 14x at 1.125V\n"
     "  NB_P3: 11x at 1V\n"},
    {"family11", 2, "ERROR: unsupported CPU\n"},
    {"intel", 2, "ERROR: unsupported CPU\n"},
};

const PresetReport* expectedFor(const std::string& preset)
{
    for (const PresetReport& expected : kPresetReports)
        if (preset == expected.preset)
            return &expected;
    return nullptr;
}

TEST(PresetReport, EveryPresetReportsTheTableItStates)
{
    for (const Preset& preset : presets()) {
        const PresetReport* expected = expectedFor(preset.name);
        if (expected == nullptr) {
            ADD_FAILURE() << "no expected report for preset " << preset.name;
            continue;
        }
        const ProgramRun run = runProgram(preset.machineText);
        EXPECT_EQ(run.status, expected->status) << preset.name;
        EXPECT_EQ(run.out, expected->report) << preset.name;
        EXPECT_EQ(run.err, "") << preset.name;
    }
    for (const PresetReport& expected : kPresetReports)
        EXPECT_NE(findPreset(expected.preset), nullptr) << "preset " << expected.preset << " is gone";
}

TEST(PresetReport, SimulatorWithoutArgumentsReportsTheDefaultPreset)
{
    const CombinedRun run = runSimCombined("");
    const PresetReport* expected = expectedFor(defaultPreset().name);
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, expected->report);
}

} // namespace
