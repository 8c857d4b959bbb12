// Family 0x15 models 0x60-0x7F use 8-bit VIDs at 6.25 mV, like models 0x30-0x3F.

#include <gtest/gtest.h>

#include "cpu/processor_profile.h"
#include "pstate/core_pstate.h"
#include "cpu/vid.h"
#include "profiles.h"
#include "report_machines.h"
#include "run_program.h"

namespace {

// Model 0x65, four cores, no boost, two P-states and two northbridge P-states.
// P0 is 34x with VID 30; P1 is 14x (frequency ID 12, divisor 2) with VID 112
// on northbridge P-state 1. NB_P0 is ratio 18 with VID 136 (bit 7 in register
// bit 21); NB_P1 ratio 5 (numerator 10, halved) with VID 64. P0 is current.
const char* const kModel65 =
    "cpuid 0x80000000 0x8000001b 0x68747541 0x444d4163 0x69746e65\n"
    "cpuid 0x80000001 0x00660F51 0 0 0\n"
    "cpuid 0x80000008 0 0 3 0\n"
    "pci 18.3 0xdc 0x100\n"
    "pci 18.5 0x170 0x1\n"
    "msr 0xc0010071 0x1c08000000000\n"
    "msr 0xc0010062 0x0\n"
    "msr 0xc0010064 0x8000018300003C12\n"
    "msr 0xc0010065 0x800000000040E04C\n"
    "pci 18.5 0x160 0x0020201C\n"
    "pci 18.5 0x164 0x0001008C\n";

TEST(EightBitVids, Model60CoreRegisterDecodesAtSixPointTwoFiveMillivolts)
{
    const ProcessorProfile profile = profileOf(0x15, 0x60);
    const CorePstate p0 = decodeCorePstate(profile, 0, 0x8000018300003C12ull);
    EXPECT_EQ(p0.vid, 30);
    EXPECT_DOUBLE_EQ(vidToVoltage(profile, p0.vid), 1.3625);
}

TEST(EightBitVids, Model65ReportsItsVoltagesAtTheFineStep)
{
    const ProgramRun run = runProgram(kModel65);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, wholeReport("  AMD family 0x15, model 0x65 CPU, 4 cores\n"
                                   "  Default reference clock: 100 MHz\n"
                                   "  Available multipliers: 1 .. 63\n"
                                   "  Available voltage IDs: 0.85 .. 1.45 (0.00625 steps)\n",
                                   "  not supported\n",
                                   "  2 of 8 enabled (P0 .. P1)\n"
                                   "  ---\n"
                                   "  P0: 34x at 1.3625V\n      NorthBridge in NB_P0\n"
                                   "  P1: 14x at 0.85V\n      NorthBridge in NB_P1\n"
                                   "  ---\n"
                                   "  NB_P0: 18x at 0.7V\n"
                                   "  NB_P1: 5x at 1.15V\n"));
}

TEST(EightBitVids, Model65WritesVoltagesAtTheFineStep)
{
    // 1.2 V is VID 56 into bits 16..9; 0.7 V is VID 136: 0x08 into bits 16..10 and 1 into bit 21.
    ASSERT_EQ(runProgram(kModel65, {"P0=@1.2", "NB_P1=@0.7"}).status, 0);
    const Machine& after = emulation::attachedMachine();
    EXPECT_EQ(after.msrs.at(0xC0010064), 0x8000018300007012ull);
    EXPECT_EQ(after.pciRegisters.at(PciAddress{0x18, 5, 0x164}), 0x0020208Cu);
}

} // namespace
