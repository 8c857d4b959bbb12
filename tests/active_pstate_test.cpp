// Reading the current P-state and requesting another on the emulated processor.
#include <gtest/gtest.h>

#include <string>

#include "hw/exception_with_message.h"
#include "control/active_pstate.h"
#include "cpu/registers.h"
#include "emulated_machine.h"
#include "profiles.h"
#include "hw/bitfield.h"

namespace {

ProcessorProfile pstates(std::int32_t count, std::int32_t boosted)
{
    ProcessorProfile profile = profileOf(0x15);
    profile.pstateCount = count;
    profile.boostStateCount = boosted;
    profile.boostSupported = boosted > 0;
    return profile;
}

void attachControl(std::uint64_t control, std::uint64_t status = 0)
{
    ASSERT_TRUE(attachMachineText("msr " + hexText(kMsrPstateControl) + " " + hexText(control) + "\n" +
                                  "msr " + hexText(kMsrCofvidStatus) + " " + hexText(status) + "\n"));
}

std::uint64_t control() { return emulation::attachedMachine().msrs.at(kMsrPstateControl); }

TEST(ActivatePstate, RequestCountsFromTheFirstUnboostedPstate)
{
    struct Case {
        std::int32_t count;
        std::int32_t boosted;
        std::int32_t number;
        std::int32_t request; // -1: refused
    };
    const Case cases[] = {
        {7, 2, -1, -1}, {7, 2, 0, 0}, {7, 2, 1, 0}, {7, 2, 2, 0}, {7, 2, 3, 1},
        {7, 2, 6, 4},   {7, 2, 7, -1}, {5, 0, 0, 0}, {5, 0, 3, 3}, {5, 0, 4, 4},
        {8, 0, 7, 7},   {1, 0, 0, 0},  {1, 0, 1, -1}, {8, 7, 7, 0},
        // More P-states than the three-bit request field can name must not wrap.
        {9, 0, 8, -1},
    };
    const std::uint64_t starts[] = {0, ~0ull, 0xDEADBEEF00000005ull};
    for (const Case& c : cases) {
        for (std::uint64_t start : starts) {
            attachControl(start);
            const std::string name = "count " + std::to_string(c.count) + " boosted " + std::to_string(c.boosted) +
                                     " number " + std::to_string(c.number) + " over " + hexText(start);
            try {
                activatePstate(pstates(c.count, c.boosted), 0, c.number);
                EXPECT_NE(c.request, -1) << name << ": not refused";
                EXPECT_EQ(bits::get(control(), 2, 0), static_cast<std::uint64_t>(c.request)) << name;
                EXPECT_EQ(bits::get(control(), 63, 3), bits::get(start, 63, 3)) << name;
                EXPECT_EQ(emulation::traceLines(),
                          readThenWrite("/dev/cpuctl0", "rdmsr 0xc0010062 -> " + hexText(start),
                                        "wrmsr 0xc0010062 <- " + hexText(control())))
                    << name;
            } catch (const ExceptionWithMessage& e) {
                EXPECT_EQ(c.request, -1) << name << ": refused";
                EXPECT_STREQ(e.what(), "P-state index out of range") << name;
                EXPECT_TRUE(emulation::traceLines().empty()) << name;
            }
        }
    }
}

TEST(CurrentPstate, ReadsOnlyItsField)
{
    struct Case {
        std::uint64_t status;
        std::int32_t current;
    };
    const Case cases[] = {
        {0x0000000000000000ull, 0},
        {0xFFFFFFFFFFFDFFFFull, 5},
        {0x0000000000070000ull, 7},
        {0xFFFFFFFFFFF8FFFFull, 0},
    };
    for (const Case& c : cases) {
        attachControl(0, c.status);
        EXPECT_EQ(currentPstate(0), c.current) << hexText(c.status);
    }
}

} // namespace
