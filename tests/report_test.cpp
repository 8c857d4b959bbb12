// The status report, whole, on emulated processors whose registers were worked
// out by hand and on every built-in processor of pravellon-sim; every expected
// report is written out line by line from the report's layout and the
// processor's description, not captured from the program.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "json_as_text.h"
#include "report/json_writer.h"
#include "report_machines.h"
#include "run_program.h"
#include "version.h"
#include "hw/hex_text.h"

namespace {

struct WholeReport {
    const char* name;    // for a preset, its name
    const char* machine; // nullptr: the preset of that name
    int status;
    std::string report;
};

const WholeReport kWholeReports[] = {
    {"family 0x10 with boost", kThubanMachine, 0,
     wholeReport("  AMD family 0x10, model 0xa CPU, 6 cores\n"
                 "  Default reference clock: 200 MHz\n"
                 "  Available multipliers: 0.5 .. 18\n"
                 "  Available voltage IDs: 0.75 .. 1.5 (0.0125 steps)\n",
                 "  enabled\n  unlocked\n  Max multiplier: 16\n",
                 "  5 of 5 enabled (P0 .. P4)\n"
                 "  Turbo P-states: P0\n"
                 "  ---\n"
                 "  P0: 18x at 1.475V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P1: 16x at 1.4V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P2: 12.5x at 1.25V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P3: 9.5x at 1.125V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P4: 4x at 0.975V\n      NorthBridge in NB_P1 at 1.075V\n")},
    {"family 0x10 without boost", kDenebMachine, 0,
     wholeReport("  AMD family 0x10, model 0x4 CPU, 4 cores\n"
                 "  Default reference clock: 200 MHz\n"
                 "  Available multipliers: 0.5 .. 15\n"
                 "  Available voltage IDs: 0 .. 1.55 (0.0125 steps)\n",
                 "  not supported\n",
                 "  4 of 5 enabled (P0 .. P3)\n"
                 "  ---\n"
                 "  P0: 15x at 1.425V\n      NorthBridge in NB_P0 at 1.1V\n"
                 "  P1: 11.5x at 1.3V\n      NorthBridge in NB_P0 at 1.1V\n"
                 "  P2: 9x at 1.2V\n      NorthBridge in NB_P0 at 1.1V\n"
                 "  P3: 4x at 1.05V\n      NorthBridge in NB_P1 at 1V\n")},
    {"family 0x12 with boost switched off", kLlanoMachine, 0,
     wholeReport("  AMD family 0x12, model 0x1 CPU, 4 cores\n"
                 "  Default reference clock: 100 MHz\n"
                 "  Available multipliers: 1 .. 23\n"
                 "  Available voltage IDs: 0.8 .. 1.45 (0.0125 steps)\n",
                 "  disabled\n  locked\n",
                 "  4 of 8 enabled (P0 .. P3)\n"
                 "  Turbo P-states: P0\n"
                 "  ---\n"
                 "  P0: 23x at 1.4V\n"
                 "  P1: 14x at 1.25V\n"
                 "  P2: 11x at 1.1375V\n"
                 "  P3: 8x at 1V\n")},
    {"family 0x14 without its top multiplier", kZacateMachine, 0,
     wholeReport("  AMD family 0x14, model 0x1 CPU, 2 cores\n"
                 "  Default reference clock: 100 MHz\n"
                 "  Available multipliers: 0 .. 0\n"
                 "  Available voltage IDs: 0.6 .. 1.4 (0.0125 steps)\n",
                 "  not supported\n",
                 "  3 of 8 enabled (P0 .. P2)\n"
                 "  ---\n"
                 "  P0: 0x at 1.35V\n"
                 "  P1: 0x at 1.2375V\n"
                 "  P2: 0x at 1.1V\n")},
    {"family 0x15, 7-bit VIDs, two northbridge P-states", kZambeziMachine, 0,
     wholeReport("  AMD family 0x15, model 0x1 CPU, 8 cores\n"
                 "  Default reference clock: 200 MHz\n"
                 "  Available multipliers: 0.5 .. 21\n"
                 "  Available voltage IDs: 0.85 .. 1.45 (0.0125 steps)\n",
                 "  enabled\n  locked\n  Max multiplier: 18\n",
                 "  7 of 8 enabled (P0 .. P6)\n"
                 "  Turbo P-states: P0 P1\n"
                 "  ---\n"
                 "  P0: 21x at 1.4125V\n      NorthBridge in NB_P0\n"
                 "  P1: 19.5x at 1.375V\n      NorthBridge in NB_P0\n"
                 "  P2: 18x at 1.35V\n      NorthBridge in NB_P0\n"
                 "  P3: 16.5x at 1.3V\n      NorthBridge in NB_P0\n"
                 "  P4: 13.5x at 1.2V\n      NorthBridge in NB_P0\n"
                 "  P5: 10.5x at 1.0875V\n      NorthBridge in NB_P1\n"
                 "  P6: 7x at 0.9125V\n      NorthBridge in NB_P1\n"
                 "  ---\n"
                 "  NB_P0: 11x at 1.1625V\n"
                 "  NB_P1: 5.5x at 1.025V\n")},
    {"family 0x15, 8-bit VIDs, four northbridge P-states", kRichlandMachine, 0,
     wholeReport("  AMD family 0x15, model 0x13 CPU, 4 cores\n"
                 "  Default reference clock: 100 MHz\n"
                 "  Available multipliers: 1 .. 44\n"
                 "  Available voltage IDs: 0.8 .. 1.5 (0.00625 steps)\n",
                 "  enabled\n  unlocked\n  Max multiplier: 41\n",
                 "  7 of 8 enabled (P0 .. P6)\n"
                 "  Turbo P-states: P0 P1\n"
                 "  ---\n"
                 "  P0: 44x at 1.475V\n      NorthBridge in NB_P0\n"
                 "  P1: 43x at 1.45V\n      NorthBridge in NB_P0\n"
                 "  P2: 41x at 1.4V\n      NorthBridge in NB_P0\n"
                 "  P3: 35x at 1.3V\n      NorthBridge in NB_P0\n"
                 "  P4: 30x at 1.2125V\n      NorthBridge in NB_P0\n"
                 "  P5: 23x at 1.1V\n      NorthBridge in NB_P1\n"
                 "  P6: 18x at 0.75V\n      NorthBridge in NB_P1\n"
                 "  ---\n"
                 "  NB_P0: 18x at 1.25V\n"
                 "  NB_P1: 16x at 1.175V\n"
                 "  NB_P2: 14x at 1.1V\n"
                 "  NB_P3: 8.5x at 0.7375V\n")},
    {"family10", nullptr, 0,
     wholeReport("  AMD family 0x10, model 0xa CPU, 6 cores\n"
                 "  Default reference clock: 200 MHz\n"
                 "  Available multipliers: 0.5 .. 18\n"
                 "  Available voltage IDs: 0.8 .. 1.475 (0.0125 steps)\n",
                 "  enabled\n  unlocked\n  Max multiplier: 16\n",
                 "  5 of 5 enabled (P0 .. P4)\n"
                 "  Turbo P-states: P0\n"
                 "  ---\n"
                 "  P0: 18x at 1.475V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P1: 16x at 1.4V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P2: 12x at 1.25V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P3: 8x at 1.1V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P4: 4x at 1V\n      NorthBridge in NB_P1 at 1.075V\n")},
    // Core 3's P1 differs in its VID alone; the other cores agree with core 0
    // and get no line.
    {"family10-mixed", nullptr, 0,
     wholeReport("  AMD family 0x10, model 0xa CPU, 6 cores\n"
                 "  Default reference clock: 200 MHz\n"
                 "  Available multipliers: 0.5 .. 18\n"
                 "  Available voltage IDs: 0.8 .. 1.475 (0.0125 steps)\n",
                 "  enabled\n  unlocked\n  Max multiplier: 16\n",
                 "  5 of 5 enabled (P0 .. P4)\n"
                 "  Turbo P-states: P0\n"
                 "  ---\n"
                 "  P0: 18x at 1.475V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P1: 16x at 1.4V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P2: 12x at 1.25V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P3: 8x at 1.1V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P4: 4x at 1V\n      NorthBridge in NB_P1 at 1.075V\n"
                 "  Core 3 differs from core 0 in P1\n")},
    {"family10-2socket", nullptr, 0,
     wholeReport("  AMD family 0x10, model 0x8 CPU, 6 cores\n"
                 "  2 nodes, 12 CPUs in all\n"
                 "  Default reference clock: 200 MHz\n"
                 "  Available multipliers: 0.5 .. 18\n"
                 "  Available voltage IDs: 0.8 .. 1.475 (0.0125 steps)\n",
                 "  enabled\n  unlocked\n  Max multiplier: 16\n",
                 "  5 of 5 enabled (P0 .. P4)\n"
                 "  Turbo P-states: P0\n"
                 "  ---\n"
                 "  P0: 18x at 1.475V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P1: 16x at 1.4V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P2: 12x at 1.25V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P3: 8x at 1.1V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P4: 4x at 1V\n      NorthBridge in NB_P1 at 1.075V\n"
                 "  Node 1 differs from node 0 in boost source\n")},
    {"family10-noboost", nullptr, 0,
     wholeReport("  AMD family 0x10, model 0x4 CPU, 4 cores\n"
                 "  Default reference clock: 200 MHz\n"
                 "  Available multipliers: 0.5 .. 15\n"
                 "  Available voltage IDs: 0.8 .. 1.4 (0.0125 steps)\n",
                 "  not supported\n",
                 "  4 of 5 enabled (P0 .. P3)\n"
                 "  ---\n"
                 "  P0: 15x at 1.35V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P1: 11.5x at 1.25V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P2: 9x at 1.15V\n      NorthBridge in NB_P0 at 1.175V\n"
                 "  P3: 4x at 1.05V\n      NorthBridge in NB_P1 at 1.075V\n")},
    {"family12", nullptr, 0,
     wholeReport("  AMD family 0x12, model 0x1 CPU, 4 cores\n"
                 "  Default reference clock: 100 MHz\n"
                 "  Available multipliers: 1 .. 28\n"
                 "  Available voltage IDs: 0.775 .. 1.425 (0.0125 steps)\n",
                 "  enabled\n  locked\n",
                 "  5 of 8 enabled (P0 .. P4)\n"
                 "  Turbo P-states: P0\n"
                 "  ---\n"
                 "  P0: 28x at 1.4125V\n"
                 "  P1: 25x at 1.3375V\n"
                 "  P2: 20x at 1.2V\n"
                 "  P3: 12x at 1.025V\n"
                 "  P4: 8x at 0.9V\n")},
    {"family14", nullptr, 0,
     wholeReport("  AMD family 0x14, model 0x1 CPU, 2 cores\n"
                 "  Default reference clock: 100 MHz\n"
                 "  Available multipliers: 1.20755 .. 32\n"
                 "  Available voltage IDs: 0.85 .. 1.35 (0.0125 steps)\n",
                 "  not supported\n",
                 "  3 of 8 enabled (P0 .. P2)\n"
                 "  ---\n"
                 "  P0: 16x at 1.25V\n"
                 "  P1: 12.8x at 1.15V\n"
                 "  P2: 8x at 1V\n")},
    {"family15", nullptr, 0,
     wholeReport("  AMD family 0x15, model 0x1 CPU, 8 cores\n"
                 "  Default reference clock: 200 MHz\n"
                 "  Available multipliers: 0.5 .. 21\n"
                 "  Available voltage IDs: 0.75 .. 1.45 (0.0125 steps)\n",
                 "  enabled\n  unlocked\n  Max multiplier: 18\n",
                 "  7 of 8 enabled (P0 .. P6)\n"
                 "  Turbo P-states: P0 P1\n"
                 "  ---\n"
                 "  P0: 21x at 1.4125V\n      NorthBridge in NB_P0\n"
                 "  P1: 19.5x at 1.3875V\n      NorthBridge in NB_P0\n"
                 "  P2: 18x at 1.35V\n      NorthBridge in NB_P0\n"
                 "  P3: 16.5x at 1.2875V\n      NorthBridge in NB_P0\n"
                 "  P4: 13.5x at 1.175V\n      NorthBridge in NB_P0\n"
                 "  P5: 10.5x at 1.0625V\n      NorthBridge in NB_P1\n"
                 "  P6: 7x at 0.875V\n      NorthBridge in NB_P1\n"
                 "  ---\n"
                 "  NB_P0: 22x at 1.175V\n"
                 "  NB_P1: 11x at 1.05V\n")},
    {"family15-8bit", nullptr, 0,
     wholeReport("  AMD family 0x15, model 0x10 CPU, 4 cores\n"
                 "  Default reference clock: 100 MHz\n"
                 "  Available multipliers: 1 .. 42\n"
                 "  Available voltage IDs: 0.9 .. 1.5 (0.00625 steps)\n",
                 "  enabled\n  unlocked\n  Max multiplier: 38\n",
                 "  8 of 8 enabled (P0 .. P7)\n"
                 "  Turbo P-states: P0 P1\n"
                 "  ---\n"
                 "  P0: 42x at 1.475V\n      NorthBridge in NB_P0\n"
                 "  P1: 40x at 1.45V\n      NorthBridge in NB_P0\n"
                 "  P2: 38x at 1.4125V\n      NorthBridge in NB_P0\n"
                 "  P3: 34x at 1.35V\n      NorthBridge in NB_P0\n"
                 "  P4: 30x at 1.2875V\n      NorthBridge in NB_P0\n"
                 "  P5: 25x at 1.2V\n      NorthBridge in NB_P1\n"
                 "  P6: 19x at 1.1V\n      NorthBridge in NB_P1\n"
                 "  P7: 14x at 0.9625V\n      NorthBridge in NB_P1\n"
                 "  ---\n"
                 "  NB_P0: 18x at 1.25V\n"
                 "  NB_P1: 16x at 1.1875V\n"
                 "  NB_P2: 14x at 1.125V\n"
                 "  NB_P3: 11x at 1V\n")},
    {"family15-g34", nullptr, 0,
     wholeReport("  AMD family 0x15, model 0x1 CPU, 16 cores\n"
                 "  2 nodes, 16 CPUs in all\n"
                 "  Default reference clock: 200 MHz\n"
                 "  Available multipliers: 0.5 .. 21\n"
                 "  Available voltage IDs: 0.75 .. 1.45 (0.0125 steps)\n",
                 "  enabled\n  unlocked\n  Max multiplier: 18\n",
                 "  7 of 8 enabled (P0 .. P6)\n"
                 "  Turbo P-states: P0 P1\n"
                 "  ---\n"
                 "  P0: 21x at 1.4125V\n      NorthBridge in NB_P0\n"
                 "  P1: 19.5x at 1.3875V\n      NorthBridge in NB_P0\n"
                 "  P2: 18x at 1.35V\n      NorthBridge in NB_P0\n"
                 "  P3: 16.5x at 1.2875V\n      NorthBridge in NB_P0\n"
                 "  P4: 13.5x at 1.175V\n      NorthBridge in NB_P0\n"
                 "  P5: 10.5x at 1.0625V\n      NorthBridge in NB_P1\n"
                 "  P6: 7x at 0.875V\n      NorthBridge in NB_P1\n"
                 "  Node 1 differs from node 0 in NB_P1\n"
                 "  ---\n"
                 "  NB_P0: 22x at 1.175V\n"
                 "  NB_P1: 11x at 1.05V\n")},
    {"family11", nullptr, 2, "ERROR: unsupported CPU\n"},
    {"intel", nullptr, 2, "ERROR: unsupported CPU\n"},
};

const WholeReport* wholeReportOf(const char* machine, const std::string& preset = std::string())
{
    for (const WholeReport& c : kWholeReports)
        if (machine != nullptr ? c.machine == machine : c.machine == nullptr && preset == c.name)
            return &c;
    ADD_FAILURE() << "no whole report for this machine " << preset;
    return nullptr;
}

// The hand-written report of one of the machines above.
std::string expectedReport(const char* machine)
{
    const WholeReport* c = wholeReportOf(machine);
    return c == nullptr ? "" : c->report;
}

TEST(Report, WholeReportsMatchToTheLastCharacter)
{
    for (const WholeReport& c : kWholeReports) {
        const Preset* preset = c.machine == nullptr ? findPreset(c.name) : nullptr;
        if (c.machine == nullptr && preset == nullptr) {
            ADD_FAILURE() << "preset " << c.name << " is gone";
            continue;
        }
        const std::string machine = c.machine != nullptr ? std::string(c.machine) : preset->machineText;
        const ProgramRun result = runProgram(machine);
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.out, c.report) << c.name;
        EXPECT_EQ(result.err, "") << c.name;
        // The JSON report holds every value of the text report and nothing else.
        const ProgramRun json = runProgram(machine, {"--json"});
        EXPECT_EQ(json.status, c.status) << c.name;
        // A processor it does not support leaves standard output empty.
        EXPECT_EQ(c.status == 0 ? jsonAsText(json.out, std::string("report ") + kPravellonVersion) : json.err, c.report)
            << c.name;
        EXPECT_EQ(c.status == 0 ? json.err : json.out, "") << c.name;
    }
    for (const Preset& preset : presets())
        wholeReportOf(nullptr, preset.name);
}

TEST(Report, SimulatorWithoutArgumentsReportsTheDefaultPreset)
{
    const ProgramRun run = runSim("", true);
    const WholeReport* expected = wholeReportOf(nullptr, defaultPreset().name);
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, expected->report);
}

// The machine text with the register lines replaced that have the same
// register as one of the changes (the first two words, three for pci); a
// change for a register the machine does not have is added.
std::string withChanges(const std::string& machine, const std::vector<std::string>& changes)
{
    const auto keyOf = [](const std::string& line) {
        std::istringstream words(line);
        std::string kind;
        std::string first;
        std::string second;
        std::string core;
        std::string number;
        words >> kind >> first >> second >> core >> number;
        if (kind == "msr" && core == "core")
            return kind + " " + first + " core " + number;
        return kind == "pci" ? kind + " " + first + " " + second : kind + " " + first;
    };
    std::vector<std::string> lines;
    std::istringstream in(machine);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    for (const std::string& change : changes) {
        bool replaced = false;
        for (std::string& line : lines)
            if (keyOf(line) == keyOf(change)) {
                line = change;
                replaced = true;
            }
        if (!replaced)
            lines.push_back(change);
    }
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(Report, ConditionalLines)
{
    struct Case {
        const char* name;
        const char* machine;
        std::vector<std::string> changes;
        std::vector<std::string> present; // each a run of whole lines
        std::vector<std::string> absent;
        std::string end;
    };
    const Case cases[] = {
        {"boost without boosted P-states", kZambeziMachine, {"pci 18.4 0x15C 0x80000001"},
         {"  Max multiplier: 18\n\n.:. P-states\n---\n  7 of 8 enabled (P0 .. P6)\n  ---\n  P0: 21x at 1.4125V\n"},
         {"Turbo P-states"},
         ""},
        {"boost limit equal to the multiplier without boost", kZambeziMachine, {"pci 18.3 0xD4 0x00000024"},
         {"  Available multipliers: 0.5 .. 18\n", "---\n  enabled\n  locked\n\n.:. P-states\n",
          "  Turbo P-states: P0 P1\n"},
         {"Max multiplier"},
         ""},
        {"family 0x10 boost source not both bits", kThubanMachine, {"pci 18.4 0x15C 0x80000105"},
         {"---\n  disabled\n  locked\n  Max multiplier: 16\n\n", "  Turbo P-states: P0\n  ---\n"},
         {},
         ""},
        {"family 0x15 boost switched off by the hardware configuration", kRichlandMachine,
         {"msr 0xC0010015 0x0000000003000010"},
         {"---\n  disabled\n  unlocked\n  Max multiplier: 41\n\n"},
         {},
         ""},
        {"family 0x10 northbridge VID 0, the highest voltage", kThubanMachine, {"msr 0xC0010065 0x8000014900001810"},
         {"  P1: 16x at 1.4V\n      NorthBridge in NB_P0 at 1.55V\n"},
         {},
         ""},
        {"family 0x10 with a single P-state", kDenebMachine, {"pci 18.3 0xDC 0x00000000"},
         {"  1 of 5 enabled (P0 .. P0)\n  ---\n"},
         {"P1"},
         "  ---\n  P0: 15x at 1.425V\n      NorthBridge in NB_P0 at 1.1V\n"},
        {"family 0x14 with boost and a top multiplier", kZacateMachine,
         {"cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000003F9", "msr 0xC0010015 0x0000000001000010",
          "pci 18.4 0x15C 0x00000005", "msr 0xC0010071 0x0021306000000000"},
         {"  Available multipliers: 1.20755 .. 32\n", "---\n  enabled\n  unlocked\n\n.:. P-states\n",
          "  3 of 8 enabled (P0 .. P2)\n  Turbo P-states: P0\n  ---\n"},
         {"Max multiplier", "NorthBridge", "NB_P"},
         "  ---\n  P0: 16x at 1.35V\n  P1: 12.8x at 1.2375V\n  P2: 8x at 1.1V\n"},
        {"model and core count above 9", kRichlandMachine,
         {"cpuid 0x80000001 0x00610FA1 0x20000000 0x01EBBFFF 0x2FD3FBFF",
          "cpuid 0x80000008 0x00003030 0x00000000 0x0000400F 0x00000000"},
         {"  AMD family 0x15, model 0x1a CPU, 16 cores\n"},
         {},
         "  NB_P3: 8.5x at 0.7375V\n"},
        // Each core against core 0 by what a line would show: the enable bit
        // and the decoded fields, and its own boost-disable bit.
        {"cores differing in boost, an enable bit and a reserved bit", kRichlandMachine,
         {"msr 0xC0010015 0x0000000003000010 core 3", "msr 0xC0010065 0x000001490000201B core 2",
          "msr 0xC0010064 0x800001490080181C core 1", "msr 0xC0010066 0x8000014900003219 core 3"},
         {"      NorthBridge in NB_P1\n  Core 2 differs from core 0 in P1\n"
          "  Core 3 differs from core 0 in P2, boost\n  ---\n",
          "---\n  enabled\n"},
         {"Core 1"},
         ""},
        {"core 1 differing visibly", kThubanMachine, {"msr 0xC0010065 0x800001493C001A10 core 1"},
         {"      NorthBridge in NB_P1 at 1.075V\n  Core 1 differs from core 0 in P1\n"},
         {"Core 2"},
         ""},
        {"family 0x10 core differing only in a northbridge VID", kThubanMachine,
         {"msr 0xC0010066 0x800001493E003009 core 4"},
         {"\n  Core 4 differs from core 0 in P2\n"},
         {"Core 1"},
         ""},
        {"two nodes, node 1 differing", kZambeziMachine,
         {"pci 18.0 0x60 0x00000010", "cpus 16", "pci 19.4 0x15C 0x80000089", "pci 19.5 0x160 0x00207C0F",
          "pci 19.5 0x164 0x0000A88D"},
         {"  AMD family 0x15, model 0x1 CPU, 8 cores\n  2 nodes, 16 CPUs in all\n",
          "      NorthBridge in NB_P1\n  Node 1 differs from node 0 in APM, NB_P1\n  ---\n"},
         {},
         ""},
        {"two nodes alike in all they show", kZambeziMachine,
         {"pci 18.0 0x60 0x00000010", "pci 19.4 0x15C 0x00000009", "pci 19.5 0x160 0x00207C0F",
          "pci 19.5 0x164 0x0000A88F"},
         {"  2 nodes, 8 CPUs in all\n"},
         {"Node 1"},
         ""},
        {"two nodes, node 1's NB_P1 disabled", kZambeziMachine,
         {"pci 18.0 0x60 0x00000010", "pci 19.4 0x15C 0x00000009", "pci 19.5 0x160 0x00207C0F",
          "pci 19.5 0x164 0x0000A88E"},
         {"  Node 1 differs from node 0 in NB_P1\n"},
         {},
         ""},
        {"one node, more CPUs than one processor's cores", kThubanMachine, {"cpus 12"},
         {"  AMD family 0x10, model 0xa CPU, 6 cores\n  1 node, 12 CPUs in all\n  Default"},
         {},
         ""},
        {"a reserved core divisor, named, not decoded", kZambeziMachine, {"msr 0xC0010066 0x80000134000021C0"},
         {"  P2: reserved divisor at 1.35V\n"},
         {"-0.5x", "-1x"},
         ""},
        {"family 0x15 with one northbridge P-state", kZambeziMachine, {"pci 18.5 0x170 0x00000000"},
         {"  P6: 7x at 0.9125V\n      NorthBridge in NB_P1\n  ---\n  NB_P0: 11x at 1.1625V\n"},
         {"NB_P1:"},
         "  NB_P0: 11x at 1.1625V\n"},
    };
    for (const Case& c : cases) {
        const ProgramRun result = runProgram(withChanges(c.machine, c.changes));
        EXPECT_EQ(result.status, 0) << c.name;
        for (const std::string& lines : c.present)
            EXPECT_NE(result.out.find(lines), std::string::npos) << c.name << ": no\n" << lines << "in\n" << result.out;
        for (const std::string& text : c.absent)
            EXPECT_EQ(result.out.find(text), std::string::npos) << c.name << ": " << text << " in\n" << result.out;
        EXPECT_TRUE(endsWith(result.out, c.end)) << c.name << ": does not end with\n" << c.end << "but is\n"
                                                 << result.out;
        const ProgramRun json = runProgram(withChanges(c.machine, c.changes), {"--json"});
        EXPECT_EQ(jsonAsText(json.out, std::string("report ") + kPravellonVersion), result.out) << c.name;
    }
}

// What the JSON writer makes of text and numbers the report never holds.
TEST(Report, JsonWriterEscapesTextAndWritesNoNumberJsonLacks)
{
    const struct {
        void (*write)(JsonWriter&);
        const char* json;
    } cases[] = {
        {[](JsonWriter& j) { j.string("a\"b\\c/d"); }, "\"a\\\"b\\\\c/d\""},
        {[](JsonWriter& j) { j.string("\n\x01\x7f\xc3\xa9"); }, "\"\\u000a\\u0001\\u007f\\u00c3\\u00a9\""},
        {[](JsonWriter& j) { j.number(std::nan("")); }, "null"},
        {[](JsonWriter& j) { j.number(-HUGE_VAL); }, "null"},
        {[](JsonWriter& j) { j.number(1234567.0); }, "1.23457e+06"},
    };
    for (const auto& c : cases) {
        JsonWriter json;
        json.beginArray();
        c.write(json);
        json.endArray();
        EXPECT_EQ(json.text(), std::string("[") + c.json + "]\n");
    }
}

// Whatever the caller's stream was set to, the report prints its own way, and
// the caller finds the stream as it left it.
TEST(Report, LeavesTheStreamStateAsItFoundIt)
{
    const std::ios_base::fmtflags callerFlags =
        std::ios_base::hex | std::ios_base::uppercase | std::ios_base::showbase | std::ios_base::scientific;
    const std::ios_base::fmtflags savedFlags = std::cout.flags(callerFlags);
    const std::streamsize savedPrecision = std::cout.precision(2);

    const ProgramRun result = runProgram(kDenebMachine);
    const std::ios_base::fmtflags flagsAfter = std::cout.flags(savedFlags);
    const std::streamsize precisionAfter = std::cout.precision(savedPrecision);

    EXPECT_EQ(result.out, expectedReport(kDenebMachine));
    EXPECT_EQ(flagsAfter, callerFlags);
    EXPECT_EQ(precisionAfter, 2);
}

// A register that cannot be read in the middle of the report ends the process
// there: the lines before it have already reached standard output, the device
// error follows them.
TEST(Report, DeviceFailureMidwayKeepsTheLinesWrittenBefore)
{
    struct Case {
        const char* name;
        const char* machine;
        const char* fault;
        const char* firstLineNotWritten;
        const char* error;
        int status = 254;
    };
    const Case cases[] = {
        {"core P-state P2", kThubanMachine, "fail rdmsr 0xc0010066", "  P2: ",
         "pravellon-sim: ioctl(CPUCTL_RDMSR) on /dev/cpuctl0: Input/output error\n"},
        // Without northbridge lines a P-state's own line is the last before the next read.
        {"core P-state P2, no northbridge lines", kLlanoMachine, "fail rdmsr 0xc0010066", "  P2: ",
         "pravellon-sim: ioctl(CPUCTL_RDMSR) on /dev/cpuctl0: Input/output error\n"},
        {"northbridge P-state NB_P1", kRichlandMachine, "fail pciread 18.5 0x164", "  NB_P1: ",
         "pravellon-sim: ioctl(PCIOCREAD) on /dev/pci: Input/output error\n"},
        // The other cores are read after core 0's lines, before the
        // northbridge block; a core that cannot be reached ends the report.
        {"core 2's P-state P2", kRichlandMachine, "fail rdmsr 0xc0010066 core 2", "  ---\n  NB_P0: ",
         "pravellon-sim: ioctl(CPUCTL_RDMSR) on /dev/cpuctl2: Input/output error\n"},
        // Core 0's device opened, so the module is there: no hint to load it.
        {"core 3 offline", kRichlandMachine, "fail open /dev/cpuctl3", "  ---\n  NB_P0: ",
         "pravellon-sim: Failed to open /dev/cpuctl3: No such file or directory\n", 255},
    };
    for (const Case& c : cases) {
        const std::string report = expectedReport(c.machine);
        const std::size_t cut = report.find(c.firstLineNotWritten);
        ASSERT_NE(cut, std::string::npos) << c.name;
        const TestFile machineFile("report.machine");
        std::ofstream(machineFile.path) << c.machine << c.fault << "\n";
        const ProgramRun run = runSim("--machine '" + machineFile.path + "'", true);
        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(run.out, report.substr(0, cut) + c.error) << c.name;
        // The JSON report is printed whole or not at all.
        const ProgramRun json = runSim("--json --machine '" + machineFile.path + "'", true);
        EXPECT_EQ(json.status, c.status) << c.name;
        EXPECT_EQ(json.out, c.error) << c.name;
    }
}

} // namespace

// --tokens makes the report's reads (and on family 0x15 with one node one
// more, for APM, before the northbridge P-states), and its line, given back,
// changes nothing: not a bit before (a register keeps its own code for a
// clock), nor what the report shows after.
TEST(Report, TokensSetTheReportedSettingsAgain)
{
    const struct {
        const char* preset;
        const char* tokens;
        bool apm = false; // family 0x15
        void (*adjust)(Machine&) = nullptr;
        const char* err = "";
    } cases[] = {
        {"family10", "P0=18@1.475 P1=16@1.4 P2=12@1.25 P3=8@1.1 P4=4@1 NB_P0=@1.175 NB_P1=@1.075 NB_low=4 Turbo=1"},
        // Every P-state on NB_P0: all five below NB_P1.
        {"family10", "P0=18@1.475 P1=16@1.4 P2=12@1.25 P3=8@1.1 P4=4@1 NB_P0=@1.175 NB_low=5 Turbo=1", false,
         [](Machine& m) { m.msrs[0xc0010068] = 0x800001283c005840; }},
        {"family10-noboost", "P0=15@1.35 P1=11.5@1.25 P2=9@1.15 P3=4@1.05 NB_P0=@1.175 NB_P1=@1.075 NB_low=3"},
        {"family12", "P0=28@1.4125 P1=25@1.3375 P2=20@1.2 P3=12@1.025 P4=8@0.9 Turbo=1"},
        {"family14", "P0=16@1.25 P1=12.8@1.15 P2=8@1"},
        {"family15", "P0=21@1.4125 P1=19.5@1.3875 P2=18@1.35 P3=16.5@1.2875 P4=13.5@1.175 P5=10.5@1.0625 P6=7@0.875 "
                     "NB_P0=22@1.175 NB_P1=11@1.05 NB_low=5 Turbo=1 APM=1", true},
        {"family15-8bit", "P0=42@1.475 P1=40@1.45 P2=38@1.4125 P3=34@1.35 P4=30@1.2875 P5=25@1.2 P6=19@1.1 "
                          "P7=14@0.9625 NB_P0=18@1.25 NB_P1=16@1.1875 NB_P2=14@1.125 NB_P3=11@1 NB_low=5 Turbo=1 APM=1", true},
        {"family15", "P0=21@1.4125 P1=19.5@1.3875 P3=16.5@1.2875 P4=13.5@1.175 P5=10.5@1.0625 P6=7@0.875 "
                     "NB_P0=22@1.175 NB_P1=11@1.05 NB_low=5 Turbo=1 APM=1", true,
         [](Machine& m) { m.msrs[0xc0010066] = 0x80000134000021c0; },
         "WARNING: P2 has a reserved divisor: left out\n"},
    };
    for (const auto& c : cases) {
        Machine machine;
        std::string error;
        ASSERT_TRUE(parseMachine(findPreset(c.preset)->machineText, machine, error)) << c.preset;
        if (c.adjust != nullptr)
            c.adjust(machine);
        const std::string report = runProgram(machine).out;
        std::vector<std::string> reportTrace = emulation::traceLines();

        const ProgramRun tokens = runProgram(machine, {"--tokens"});
        EXPECT_EQ(tokens.out, std::string(c.tokens) + "\n") << c.preset;
        EXPECT_EQ(tokens.err, c.err) << c.preset;
        if (c.apm) {
            const auto nbPstates = std::find(reportTrace.begin(), reportTrace.end(),
                                             "pciread 18.5 0x160 -> " + hexText(machine.pciRegisters[PciAddress{0x18, 5, 0x160}]));
            ASSERT_NE(nbPstates, reportTrace.end()) << c.preset;
            reportTrace.insert(nbPstates - 1, {"open /dev/pci", "pciread 18.4 0x15c -> " +
                hexText(machine.pciRegisters[PciAddress{0x18, 4, 0x15c}]), "close /dev/pci"});
        }
        EXPECT_EQ(joined(emulation::traceLines()), joined(reportTrace)) << c.preset;

        std::vector<std::string> words;
        std::istringstream line(c.tokens);
        for (std::string word; line >> word;)
            words.push_back(word);
        words.insert(words.begin(), "-n");
        EXPECT_EQ(runProgram(machine, words).out, "nothing would change\n") << c.preset;
        words.erase(words.begin());
        EXPECT_EQ(runProgram(machine, words).status, 0) << c.preset;
        const Machine applied = emulation::attachedMachine();
        EXPECT_EQ(runProgram(applied).out, report) << c.preset;
        words.insert(words.begin(), "-n");
        EXPECT_EQ(runProgram(applied, words).out, "nothing would change\n") << c.preset;
    }
}

// --now on every preset, worked out from each machine file: the P-state each
// core runs in (COFVID status [18:16]) as that P-state's register defines it,
// and each node's Tctl (function 3 0xA4 [31:21] in eighths of a degree).
TEST(Report, NowShowsEachCoresStateAndEachNodesTctl)
{
    const auto now = [](const std::string& lines) { return "Pravellon v1.1\n\n.:. Now\n---\n" + lines; };
    const struct {
        const char* name;
        const char* preset;
        const char* from = nullptr; // replaced in the preset by to
        const char* to = nullptr;
        int status = 0;
        std::string out;
    } cases[] = {
        {"family10", "family10", nullptr, nullptr, 0,
         now("  Cores 0-5: P1, 16x at 1.4V (3200 MHz)\n  Node 0: Tctl 41.5C\n")},
        {"family10-mixed", "family10-mixed", nullptr, nullptr, 0,
         now("  Cores 0-2,4-5: P1, 16x at 1.4V (3200 MHz)\n  Core 3: P1, 16x at 1.35V (3200 MHz)\n"
             "  Node 0: Tctl 43C\n")},
        {"family10-2socket", "family10-2socket", nullptr, nullptr, 0,
         now("  Cores 0-6,8-11: P1, 16x at 1.4V (3200 MHz)\n  Core 7: P3, 8x at 1.1V (1600 MHz)\n"
             "  Node 0: Tctl 47.25C\n  Node 1: Tctl 44.75C\n")},
        {"family10-noboost", "family10-noboost", nullptr, nullptr, 0,
         now("  Cores 0-3: P0, 15x at 1.35V (3000 MHz)\n  Node 0: Tctl 38C\n")},
        {"family12", "family12", nullptr, nullptr, 0,
         now("  Cores 0-3: P1, 25x at 1.3375V (2500 MHz)\n  Node 0: Tctl 52.125C\n")},
        {"family14", "family14", nullptr, nullptr, 0, now("  Cores 0-1: P0, 16x at 1.25V (1600 MHz)\n  Node 0: Tctl 46.5C\n")},
        {"family15", "family15", nullptr, nullptr, 0, now("  Cores 0-7: P2, 18x at 1.35V (3600 MHz)\n  Node 0: Tctl 35.75C\n")},
        {"family15-g34", "family15-g34", nullptr, nullptr, 0,
         now("  Cores 0-15: P2, 18x at 1.35V (3600 MHz)\n  Node 0: Tctl 45.5C\n  Node 1: Tctl 43.25C\n")},
        // Its Tctl counts from -49 C: 0x2b9 eighths are 87.125 C, less 49.
        {"family15-8bit", "family15-8bit", nullptr, nullptr, 0,
         now("  Cores 0,2-3: P2, 38x at 1.4125V (3800 MHz)\n  Core 1: P0, 42x at 1.475V (4200 MHz, boosted)\n"
             "  Node 0: Tctl 38.125C\n")},
        {"family11", "family11", nullptr, nullptr, 2, "ERROR: unsupported CPU\n"},
        {"intel", "intel", nullptr, nullptr, 2, "ERROR: unsupported CPU\n"},
        {"model 0x60 keeps Tctl elsewhere", "family15-8bit", "cpuid 0x80000001 0x00610f01", "cpuid 0x80000001 0x00660f01",
         0,
         now("  Cores 0,2-3: P2, 38x at 1.4125V (3800 MHz)\n  Core 1: P0, 42x at 1.475V (4200 MHz, boosted)\n"
             "  Node 0: Tctl not available\n")},
        {"one range-select bit is no offset", "family15", "pci 18.3 0xa4 0x23c00fef", "pci 18.3 0xa4 0x23c20fef", 0,
         now("  Cores 0-7: P2, 18x at 1.35V (3600 MHz)\n  Node 0: Tctl 35.75C\n")},
        {"the offset on family 0x10 is none", "family10", "pci 18.3 0xa4 0x29800fef", "pci 18.3 0xa4 0x29830fef", 0,
         now("  Cores 0-5: P1, 16x at 1.4V (3200 MHz)\n  Node 0: Tctl 41.5C\n")},
        {"without the register's line", "family15", "pci 18.3 0xa4 0x23c00fef", "", 0,
         now("  Cores 0-7: P2, 18x at 1.35V (3600 MHz)\n  Node 0: Tctl not available\n")},
        // Cores 0 and 2 share a state they do not share with core 1 between them.
        {"a current P-state past the family's registers", "family10-noboost", "msr 0xc0010071 0x003cf0603c00200e",
         "msr 0xc0010071 0x003cf0603c00200e\nmsr 0xc0010071 0x003cf0603c07200e core 1", 0,
         now("  Cores 0,2-3: P0, 15x at 1.35V (3000 MHz)\n  Core 1: P7\n  Node 0: Tctl 38C\n")},
    };
    for (const auto& c : cases) {
        std::string machine = findPreset(c.preset)->machineText;
        if (c.from != nullptr) {
            const std::size_t at = machine.find(c.from);
            ASSERT_NE(at, std::string::npos) << c.name;
            machine.replace(at, std::strlen(c.from), c.to);
        }
        const ProgramRun run = runProgram(machine, {"--now"});
        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(run.out, c.out) << c.name;
        EXPECT_EQ(run.err, "") << c.name;
        // Nothing written, not even the P-state request.
        for (const std::string& line : emulation::traceLines())
            EXPECT_TRUE(line.rfind("wrmsr", 0) != 0 && line.rfind("pciwrite", 0) != 0) << c.name << ": " << line;
    }
}

// What the line cannot give back is said on standard error: the tokens set
// every core and every node alike, and both halves of boost.
TEST(Report, TokensWarnOfWhatTheyCannotSet)
{
    const struct {
        const char* preset;
        void (*adjust)(Machine&);
        const char* err;
    } cases[] = {
        {"family10-mixed", nullptr, "WARNING: core 3 differs from core 0 in P1; the tokens set every core alike\n"},
        {"family15-g34", nullptr, "WARNING: node 1 differs from node 0 in NB_P1; the tokens set every node alike\n"},
        {"family10-2socket", nullptr,
         "WARNING: node 1 differs from node 0 in boost source; the tokens set every node alike\n"},
        {"family15", [](Machine& m) { m.msrs.at(0xc0010015) |= 0x2000000; },
         "WARNING: core 0's boost and node 0's boost source disagree; the tokens set both alike\n"},
    };
    for (const auto& c : cases) {
        Machine machine;
        std::string error;
        ASSERT_TRUE(parseMachine(findPreset(c.preset)->machineText, machine, error)) << c.preset;
        if (c.adjust != nullptr)
            c.adjust(machine);
        const ProgramRun tokens = runProgram(machine, {"--tokens"});
        EXPECT_EQ(tokens.status, 0) << c.preset;
        EXPECT_NE(tokens.out, "") << c.preset;
        EXPECT_EQ(tokens.err, c.err) << c.preset;
    }
}

namespace {

// machine with each core but core 0 and each node but node 0 set apart in
// every field --restore gives back: a VID bit of each P-state (and VID bit 7,
// the northbridge P-state it selects and a northbridge VID bit, which only
// some families have there), the enable bit of P1, the boost-disable bit,
// the northbridge P-states' VID, the boost source and APM.
Machine setApart(Machine machine)
{
    const std::int32_t cpus = static_cast<std::int32_t>(machineCpus(machine).size());
    for (std::int32_t core = 1; core < cpus; ++core) {
        for (std::uint32_t msr = 0xc0010064; msr <= 0xc001006b; ++msr)
            if (machine.msrs.count(msr) != 0)
                machine.coreMsrs[CoreMsr{msr, core}] = machine.msrs[msr] ^ (std::uint64_t{1} << 9)
                    ^ (std::uint64_t{1} << 16) ^ (std::uint64_t{1} << 22) ^ (std::uint64_t{1} << 25)
                    ^ (msr == 0xc0010065 ? std::uint64_t{1} << 63 : 0);
        machine.coreMsrs[CoreMsr{0xc0010015, core}] = machine.msrs[0xc0010015] ^ (std::uint64_t{1} << 25);
    }
    for (auto& [address, value] : machine.pciRegisters) {
        if (address.device == 0x18)
            continue;
        if (address.function == 5 && address.reg >= 0x160 && address.reg <= 0x16c)
            value ^= 1U << 10;
        if (address.function == 4 && address.reg == 0x15c)
            value ^= 0x81;
    }
    return machine;
}

// machine with a bit the program owns in no register flipped in each register
// --restore could write, on every core and node, as firmware might since.
Machine unownedMoved(Machine machine)
{
    // HWCR and the P-state request bit 4; the P-states' bit 20.
    const auto flipped = [](std::uint32_t msr) -> std::uint64_t {
        return msr == 0xc0010015 || msr == 0xc0010062 ? 0x10 : msr >= 0xc0010064 && msr <= 0xc001006b ? 0x100000 : 0;
    };
    for (auto& [msr, value] : machine.msrs)
        value ^= flipped(msr);
    for (auto& [at, value] : machine.coreMsrs)
        value ^= flipped(at.number);
    for (auto& [address, value] : machine.pciRegisters)
        value ^= address.function == 4 && address.reg == 0x15c                       ? 0x40U
            : address.function == 5 && address.reg >= 0x160 && address.reg <= 0x16c ? 0x100U
                                                                                     : 0U;
    return machine;
}

} // namespace

// --save, any change, --restore: every register the file holds is as saved,
// core by core and node by node, P-state enable bits included; bits of those
// registers that the program does not own are left as they are now.
TEST(SavedSettings, GiveBackEveryCoreAndNodeExactly)
{
    const TestFile settings("settings");
    for (const Preset& preset : presets()) {
        Machine machine;
        std::string error;
        ASSERT_TRUE(parseMachine(preset.machineText, machine, error)) << preset.name;
        if (runProgram(machine).status != 0)
            continue; // a processor the program does not support
        for (const Machine& start : {machine, setApart(machine)}) {
            const ProgramRun saved = runProgram(start, {"--save", settings.path});
            ASSERT_EQ(saved.status, 0) << preset.name << saved.err;
            EXPECT_EQ(saved.out + saved.err, "") << preset.name;
            const std::string text = runProgram(start, {"--save", "-"}).out;
            EXPECT_EQ(readFile(settings.path), text) << preset.name;
            EXPECT_EQ(runProgram(start, {"-n", "--restore", settings.path}).out, "nothing would change\n") << preset.name;

            const std::string tokens = runProgram(start, {"--tokens"}).out;
            std::vector<std::string> words;
            std::istringstream line(tokens);
            for (std::string word; line >> word;)
                words.push_back(word);
            ASSERT_EQ(runProgram(start, words).status, 0) << preset.name;
            const ProgramRun restored = runProgram(emulation::attachedMachine(), {"--restore", settings.path});
            EXPECT_EQ(restored.status, 0) << preset.name << restored.err;
            EXPECT_EQ(runProgram(emulation::attachedMachine(), {"--save", "-"}).out, text) << preset.name;
            EXPECT_EQ(runProgram(unownedMoved(start), {"-n", "--restore", settings.path}).out, "nothing would change\n")
                << preset.name;
        }
    }
}

// A file that is not whole, or not of this processor, is refused before any
// register is written.
TEST(SavedSettings, RefusesAFileNotWholeOrOfAnotherProcessor)
{
    const TestFile settings("settings");
    const std::string g34 = runProgram(findPreset("family15-g34")->machineText, {"--save", "-"}).out;
    const std::string other = runProgram(findPreset("family10-2socket")->machineText, {"--save", "-"}).out;
    const std::size_t third = g34.find('\n', g34.find('\n') + 1) + 1;
    const std::string name = settings.path;
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", name + ": empty"},
        {g34.substr(0, g34.size() - 5), name + ": cut short: the last line has no end"},
        {g34.substr(0, g34.rfind('\n', g34.size() - 2) + 1), name + ": missing: pci 18.5 0x164 node 1"},
        {g34 + g34.substr(third, g34.find('\n', third) + 1 - third),
         name + ":" + std::to_string(std::count(g34.begin(), g34.end(), '\n') + 1) + ": repeated: msr 0xc0010015 core 0"},
        {g34 + "msr 0xc0010070 core 0 0x0\n",
         name + ":" + std::to_string(std::count(g34.begin(), g34.end(), '\n') + 1)
             + ": a register this processor has no setting in"},
        {"P0=21@1.4\n", name + ":1: not saved settings of pravellon: the first line is not \"pravellon-settings 1\""},
        {other, name + " was saved on AMD family 0x10 model 0x8, cores 0-11, 2 nodes; "
                       "this is AMD family 0x15 model 0x1, cores 0-15, 2 nodes"},
    };
    for (const auto& c : cases) {
        writeFile(settings.path, c.text);
        const ProgramRun run = runProgram(findPreset("family15-g34")->machineText, {"--restore", settings.path});
        EXPECT_EQ(run.status, 3) << c.error;
        EXPECT_EQ(run.err, "ERROR: " + c.error + "\n");
        for (const std::string& op : emulation::traceLines())
            EXPECT_EQ(op.find("write"), std::string::npos) << op;
    }
}
