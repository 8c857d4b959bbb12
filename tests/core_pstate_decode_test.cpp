#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "emulated_machine.h"
#include "profiles.h"
#include "pstate/core_pstate.h"

namespace {

struct DecodeCase {
    const char* name;
    ProcessorProfile profile;
    std::uint32_t low; // the register's low 32 bits
    double multiplier;
    std::int32_t vid;
    std::int32_t nbPstate;
    std::int32_t nbVid;
};

const DecodeCase kDecodeCases[] = {
    // The worked examples.
    {"f10", profileOf(0x10), 0x4840404E, 30.0 / 2, 32, 1, 36},
    {"f12", profileOf(0x12), 0x50A5, 26.0 / 6, 40, -1, -1},
    {"f14 digits 3,2", profileOf(0x14, 0, 32), 0x6032, 32 / 4.5, 48, -1, -1},
    {"f14 digits 14,1", profileOf(0x14, 0, 32), 0x60E1, 32 / 15.25, 48, -1, -1},
    {"f14 digits 16,3", profileOf(0x14, 0, 32), 0x6103, 32 / 17.5, 48, -1, -1},
    {"f14 unknown max", profileOf(0x14, 0, 0), 0x6032, 0.0, 48, -1, -1},
    {"f15 model 02", profileOf(0x15, 0x02), 0x0041600C, 28.0, 48, 1, -1},
    {"f15 model 13", profileOf(0x15, 0x13), 0x0041600C, 28.0, 176, 1, -1},
    // Northbridge fields exist only where the family has them, whatever the bits hold.
    {"f12 nb bits set", profileOf(0x12), 0xFE4050A5, 26.0 / 6, 40, -1, -1},
    {"f14 nb bits set", profileOf(0x14, 0, 32), 0xFE406032, 32 / 4.5, 48, -1, -1},
    {"f15 nb vid bits set", profileOf(0x15, 0x02), 0xFE41600C, 28.0, 48, 1, -1},
    {"f10 nb p-state 0", profileOf(0x10), 0x0800404E, 15.0, 32, 0, 4},
    // Family 0x14 half steps from integer digit 15: quarter 1 reads 0, 3 reads 2.
    {"f14 digits 14,3", profileOf(0x14, 0, 32), 0x60E3, 32 / 15.75, 48, -1, -1},
    {"f14 digits 15,1", profileOf(0x14, 0, 32), 0x60F1, 32 / 16.0, 48, -1, -1},
    {"f14 digits 15,3", profileOf(0x14, 0, 32), 0x60F3, 32 / 16.5, 48, -1, -1},
    {"f14 digits 25,2", profileOf(0x14, 0, 32), 0x6192, 32 / 26.5, 48, -1, -1},
    // The 8-bit VID on the other 8-bit-VID range, and a 7-bit model beside it.
    {"f15 model 38", profileOf(0x15, 0x38), 0x0001FE00, 16.0, 255, 0, -1},
    {"f15 model 22", profileOf(0x15, 0x22), 0x0001FE00, 16.0, 127, 0, -1},
    {"f15 model 4f", profileOf(0x15, 0x4F), 0x0001FE00, 16.0, 127, 0, -1},
    // Divisor IDs with no divisor decode as absent.
    {"f12 divisor id 9", profileOf(0x12), 0x0009, -1.0, 0, -1, -1},
    {"f12 divisor id 15", profileOf(0x12), 0x01FF, -1.0, 0, -1, -1},
    {"f12 divisor id 8", profileOf(0x12), 0x01F8, 47.0 / 16, 0, -1, -1},
    {"f10 divisor id 5", profileOf(0x10), 0x0140, -1.0, 0, 0, 0},
    {"f15 divisor id 7", profileOf(0x15, 0x02), 0x01FF, -1.0, 0, 0, -1},
    {"f15 divisor id 4", profileOf(0x15, 0x02), 0x013F, 79.0 / 16, 0, 0, -1},
};

TEST(DecodeCorePstate, Table)
{
    // The upper half never changes the record.
    const std::uint64_t uppers[] = {0, 0x80000000, 0xFFFFFFFF, 0x8000019A};
    for (const DecodeCase& c : kDecodeCases) {
        for (const std::uint64_t upper : uppers) {
            const std::string label = std::string(c.name) + " upper " + std::to_string(upper);
            const CorePstate p = decodeCorePstate(c.profile, 3, upper << 32 | c.low);
            EXPECT_EQ(p.index, 3) << label;
            EXPECT_DOUBLE_EQ(p.multiplier, c.multiplier) << label;
            EXPECT_EQ(p.vid, c.vid) << label;
            EXPECT_EQ(p.nbPstate, c.nbPstate) << label;
            EXPECT_EQ(p.nbVid, c.nbVid) << label;
        }
    }
}

TEST(DecodeCorePstate, Family14UnknownMaxDecodesEveryClockAsZero)
{
    const ProcessorProfile profile = profileOf(0x14, 0, 0.0);
    for (std::uint32_t clock = 0; clock <= 0x1FF; ++clock)
        EXPECT_EQ(decodeCorePstate(profile, 0, clock).multiplier, 0.0) << "clock bits " << clock;
}

TEST(DecodeCorePstate, ReadOnTheDeviceIsOneReadOfItsRegister)
{
    ASSERT_TRUE(attachMachineText("msr 0xc0010064 0x0\nmsr 0xc0010067 0x8000019a4840404e\n"));
    const CorePstate p = readCorePstate(profileOf(0x10), 3);
    EXPECT_EQ(p.index, 3);
    EXPECT_EQ(p.multiplier, 15.0);
    EXPECT_EQ(p.vid, 32);
    EXPECT_EQ(p.nbPstate, 1);
    EXPECT_EQ(p.nbVid, 36);
    EXPECT_EQ(emulation::traceLines(), (std::vector<std::string>{"open /dev/cpuctl0",
                                                                 "rdmsr 0xc0010067 -> 0x8000019a4840404e",
                                                                 "close /dev/cpuctl0"}));
}

} // namespace
