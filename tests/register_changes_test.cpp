// pravellon-sim --changes: the lines that name what a run changed, decoded as
// the user reads the report, and nothing for registers that kept their value.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "machine/parser.h"
#include "sim/presets.h"
#include "sim/register_changes.h"

namespace {

struct Edit {
    bool pci = false;
    std::int32_t core = -1; // of an MSR: -1 for every core
    std::uint32_t number = 0; // MSR number or PCI register
    std::uint8_t function = 0;
    std::uint64_t before = 0;
    std::uint64_t after = 0;
};

Edit msr(std::uint32_t number, std::uint64_t before, std::uint64_t after)
{
    return Edit{false, -1, number, 0, before, after};
}

// One core's own change, made after the changes of every core.
Edit msrOn(std::int32_t core, std::uint32_t number, std::uint64_t before, std::uint64_t after)
{
    return Edit{false, core, number, 0, before, after};
}

Edit pci(std::uint8_t function, std::uint32_t reg, std::uint64_t before, std::uint64_t after)
{
    return Edit{true, -1, reg, function, before, after};
}

void apply(Machine& machine, const Edit& edit, std::uint64_t value)
{
    if (edit.pci)
        machine.pciRegisters[PciAddress{0x18, edit.function, edit.number}] = static_cast<std::uint32_t>(value);
    else if (edit.core < 0)
        machine.msrs[edit.number] = value;
    else
        setMsrOnCore(machine, edit.core, edit.number, value);
}

TEST(RegisterChanges, NamesEachChangedRegisterDecoded)
{
    struct Case {
        const char* name;
        const char* preset;
        std::vector<Edit> edits;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"family 0x10 core P-state, multiplier halved for the 200 MHz clock", "family10",
         {msr(0xC0010064, 0x800001403c000c14, 0x800001403c003018)},
         {"changed P0 (MSR 0xc0010064) on cores 0-5: 0x800001403c000c14 -> 0x800001403c003018: "
          "18x at 1.475V, NorthBridge in NB_P0 at 1.175V -> 20x at 1.25V, NorthBridge in NB_P0 at 1.175V"}},
        {"family 0x10 northbridge VID 0, the highest voltage", "family10",
         {msr(0xC0010064, 0x800001403c000c14, 0x8000014000000c14)},
         {"changed P0 (MSR 0xc0010064) on cores 0-5: 0x800001403c000c14 -> 0x8000014000000c14: "
          "18x at 1.475V, NorthBridge in NB_P0 at 1.175V -> 18x at 1.475V, NorthBridge in NB_P0 at 1.55V"}},
        {"family 0x14 core P-state, divided from the undivided clock", "family14",
         {msr(0xC0010064, 0x8000014000003010, 0x8000014000003030)},
         {"changed P0 (MSR 0xc0010064) on cores 0-1: 0x8000014000003010 -> 0x8000014000003030: 16x at 1.25V -> 8x at 1.25V"}},
        {"a divisor ID without a divisor", "family15",
         {msr(0xC0010066, 0x8000000000001000, 0x80000000000011c0)},
         {"changed P2 (MSR 0xc0010066) on cores 0-7: 0x8000000000001000 -> 0x80000000000011c0: "
          "8x at 1.45V, NorthBridge in NB_P0 -> reserved divisor at 1.45V, NorthBridge in NB_P0"}},
        {"boost, APM and northbridge P-state on family 0x15, MSRs first", "family15",
         {pci(5, 0x164, 0xa0a5, 0xb00d), pci(4, 0x15c, 0x89, 0x88), msr(0xC0010015, 0x1000010, 0x3000010),
          msr(0xC0010062, 0x0, 0x8000000000000004)},
         {"changed MSR 0xc0010015 on cores 0-7: 0x1000010 -> 0x3000010: core performance boost on -> off",
          "changed MSR 0xc0010062 on cores 0-7: 0x0 -> 0x8000000000000004: P-state request 0 -> 4",
          "changed PCI 18.4 0x15c: 0x89 -> 0x88: boost source 1 -> 0, APM on -> on",
          "changed NB_P1 (PCI 18.5 0x164): 0xa0a5 -> 0xb00d: 11x at 1.05V -> 10x at 1V"}},
        {"8-bit northbridge VID with its bit 7 in bit 21", "family15-8bit",
         {pci(5, 0x160, 0x0, 0x201408)},
         {"changed NB_P0 (PCI 18.5 0x160): 0x0 -> 0x201408: 4x at 1.55V -> 8x at 0.71875V"}},
        {"bit 7 of the boost register is no APM on family 0x10", "family10",
         {pci(4, 0x15c, 0x7, 0x84)},
         {"changed PCI 18.4 0x15c: 0x7 -> 0x84: boost source 3 -> 0"}},
        {"boost switched on again", "family12",
         {msr(0xC0010015, 0x2000000, 0x0)},
         {"changed MSR 0xc0010015 on cores 0-3: 0x2000000 -> 0x0: core performance boost off -> on"}},
        {"registers the program does not decode, in hexadecimal only", "family15",
         {msr(0xC0010070, 0x1, 0x2), pci(3, 0xd4, 0x10, 0x11)},
         {"changed MSR 0xc0010070 on cores 0-7: 0x1 -> 0x2", "changed PCI 18.3 0xd4: 0x10 -> 0x11"}},
        {"a processor the probe refuses is not decoded", "intel",
         {msr(0xC0010064, 0x1, 0x2)},
         {"changed MSR 0xc0010064: 0x1 -> 0x2"}},
        {"cores that changed alike share a line, by lowest core", "family10",
         {msr(0xC0010015, 0x1000010, 0x3000010), msrOn(3, 0xC0010015, 0x1000011, 0x3000010),
          msrOn(5, 0xC0010015, 0x1000010, 0x1000010), msrOn(1, 0xC0010062, 0x0, 0x2)},
         {"changed MSR 0xc0010015 on cores 0-2,4: 0x1000010 -> 0x3000010: core performance boost on -> off",
          "changed MSR 0xc0010015 on core 3: 0x1000011 -> 0x3000010: core performance boost on -> off",
          "changed MSR 0xc0010062 on core 1: 0x0 -> 0x2: P-state request 0 -> 2"}},
        {"registers written back unchanged", "family15",
         {msr(0xC0010064, 0x5, 0x5), pci(4, 0x15c, 0x89, 0x89)},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine before;
        std::string error;
        ASSERT_TRUE(parseMachine(findPreset(c.preset)->machineText, before, error)) << error;
        for (const Edit& edit : c.edits)
            apply(before, edit, edit.before);
        Machine after = before;
        for (const Edit& edit : c.edits)
            apply(after, edit, edit.after);
        EXPECT_EQ(describeRegisterChanges(before, after), c.lines);
    }
}

TEST(RegisterChanges, PciRegisterFirstWrittenCountsAsReadingZero)
{
    // The emulation reads a register the machine file lacks as 0, and the
    // write adds it.
    struct Case {
        const char* name;
        std::uint32_t written;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"written as 0", 0, {}},
        {"written with a value", 0x80, {"changed PCI 18.3 0x1f4: 0x0 -> 0x80"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine before;
        std::string error;
        ASSERT_TRUE(parseMachine(findPreset("family10")->machineText, before, error)) << error;
        Machine after = before;
        after.pciRegisters[PciAddress{0x18, 3, 0x1f4}] = c.written;
        EXPECT_EQ(describeRegisterChanges(before, after), c.lines);
    }
}

} // namespace
