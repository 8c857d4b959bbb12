#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "hw/exception_with_message.h"
#include "emulated_machine.h"
#include "profiles.h"
#include "pstate/core_pstate.h"
#include "cpu/clock_codec.h"

namespace {

CorePstate request(double multiplier, std::int32_t vid, std::int32_t nbPstate, std::int32_t nbVid,
                   std::int32_t index = 0)
{
    CorePstate r;
    r.index = index;
    r.multiplier = multiplier;
    r.vid = vid;
    r.nbPstate = nbPstate;
    r.nbVid = nbVid;
    return r;
}

// Each case both encoded on the value and written through the device, where
// it must be one read of the P-state's register and one write of it.
TEST(EncodeCorePstate, Table)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        ProcessorProfile profile;
        std::uint64_t before;
        CorePstate request;
        std::uint64_t after;
    };
    const Case cases[] = {
        // The worked examples.
        {"f10 all", profileOf(0x10), 0x8000019A4840404E, request(20, 24, 0, -1), 0x8000019A48003004},
        {"f10 nbVid", profileOf(0x10), 0x8000019A4840404E, request(-1, -1, -1, 40), 0x8000019A5040404E},
        {"f10 none", profileOf(0x10), 0x8000019A4840404E, request(-1, -1, -1, -1), 0x8000019A4840404E},
        {"f12 multiplier P1", profileOf(0x12), 0x80000000000050A5, request(15, -1, -1, -1, 1), 0x80000000000050E2},
        {"f14 nb ignored P4", profileOf(0x14, 0, 32), 0x8000000000006032, request(16, -1, 1, 7, 4),
         0x8000000000006010},
        {"f15 model 13 P7", profileOf(0x15, 0x13), 0x800000000041600C, request(-1, 200, 0, -1, 7),
         0x800000000001900C},
        {"f15 model 02 P2", profileOf(0x15, 0x02), 0x800000000041600C, request(-1, 100, 0, 5, 2),
         0x800000000001C80C},
        // A register already at the clock keeps the pair it has: 24/3 (not
        // 16/2), and divisor 16 with the odd quarter the hardware ignores.
        {"f12 own pair kept", profileOf(0x12), 0x8000012800006883, request(8, -1, -1, -1), 0x8000012800006883},
        {"f14 own pair kept", profileOf(0x14, 0, 32), 0x80000000000000F1, request(2, -1, -1, -1), 0x80000000000000F1},
        // A multiplier of 0.0 is set and writes the slowest clock; NaN is not set.
        {"f10 zero clock", profileOf(0x10), 0x000000004840404E, request(0.0, -1, -1, -1), 0x0000000048404100},
        {"f10 nan clock", profileOf(0x10), 0x000000004840404E, request(nan, -1, -1, -1), 0x000000004840404E},
        // Any northbridge P-state above 0 sets the bit; 0 clears it.
        {"f10 nbPstate 2", profileOf(0x10), 0x0000000000000000, request(-1, -1, 2, -1), 0x0000000000400000},
        {"f15 nbPstate 0", profileOf(0x15, 0x02), 0xFFFFFFFFFFFFFFFF, request(-1, -1, 0, -1), 0xFFFFFFFFFFBFFFFF},
        {"f12 nb ignored", profileOf(0x12), 0x0000000000000000, request(-1, -1, 1, 99), 0x0000000000000000},
        {"f15 nbVid ignored", profileOf(0x15, 0x13), 0x0000000000000000, request(-1, -1, -1, 99), 0x0000000000000000},
        // A 7-bit VID write keeps bit 16 whatever the VID's 8th bit is.
        {"f15 model 02 bit 16 kept", profileOf(0x15, 0x02), 0x0000000000010000, request(-1, 0x80, -1, -1),
         0x0000000000010000},
        {"f15 model 38 8-bit vid", profileOf(0x15, 0x38), 0x0000000000000000, request(-1, 0x1FF, -1, -1),
         0x000000000001FE00},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(encodeCorePstate(c.profile, c.before, c.request), c.after) << c.name;

        const std::string msr = hexText(0xC0010064u + static_cast<std::uint32_t>(c.request.index));
        ASSERT_TRUE(attachMachineText("msr " + msr + " " + hexText(c.before) + "\n"));
        writeCorePstate(c.profile, c.request);
        EXPECT_EQ(emulation::traceLines(),
                  readWriteReadBack("/dev/cpuctl0", "rdmsr " + msr + " -> " + hexText(c.before),
                                    "wrmsr " + msr + " <- " + hexText(c.after)))
            << c.name;
    }
}

// Family 0x14 without a top multiplier cannot encode a clock: the register is
// read, nothing is written, not even the VID that was also requested. Without
// a clock the VID is encoded.
TEST(EncodeCorePstate, Family14UnknownMaxRefusesTheClockOnly)
{
    const ProcessorProfile profile = profileOf(0x14, 0, 0.0);
    ASSERT_TRUE(attachMachineText("msr 0xc0010064 0x8000000000006032\n"));
    try {
        writeCorePstate(profile, request(16, 10, -1, -1));
        ADD_FAILURE() << "no refusal";
    } catch (const ExceptionWithMessage& e) {
        EXPECT_STREQ(e.what(), "cannot encode multiplier (family 0x14) - unknown max multiplier");
    }
    EXPECT_EQ(emulation::traceLines(),
              (std::vector<std::string>{"open /dev/cpuctl0", "rdmsr 0xc0010064 -> 0x8000000000006032",
                                        "close /dev/cpuctl0"}));
    EXPECT_EQ(emulation::attachedMachine().msrs.at(0xC0010064), 0x8000000000006032u);
    EXPECT_EQ(encodeCorePstate(profile, 0x6032, request(-1, 10, -1, -1)), 0x1432u);
}

// Randomised registers and requests: nothing outside the fields the request
// sets (and the family owns) changes, and each field holds its value cut to width.
// The masks are written out here rather than taken from the code under test.
TEST(EncodeCorePstate, ChangesOnlyItsOwnFields)
{
    struct Layout {
        const char* name;
        ProcessorProfile profile;
        bool powerOfTwoClock; // frequency ID low, divisor ID above it
        std::uint64_t vidMask;
        std::uint64_t vidWidthMask;
        std::uint64_t nbPstateMask;
        std::uint64_t nbVidMask;
    };
    const Layout layouts[] = {
        {"f10", profileOf(0x10), true, 0xFE00, 0x7F, 0x400000, 0xFE000000},
        {"f12", profileOf(0x12), false, 0xFE00, 0x7F, 0, 0},
        {"f14", profileOf(0x14, 0, 37), false, 0xFE00, 0x7F, 0, 0},
        {"f15 model 02", profileOf(0x15, 0x02), true, 0xFE00, 0x7F, 0x400000, 0},
        {"f15 model 22", profileOf(0x15, 0x22), true, 0xFE00, 0x7F, 0x400000, 0},
        {"f15 model 13", profileOf(0x15, 0x13), true, 0x1FE00, 0xFF, 0x400000, 0},
        {"f15 model 38", profileOf(0x15, 0x38), true, 0x1FE00, 0xFF, 0x400000, 0},
    };
    constexpr std::uint64_t kClockMask = 0x1FF;

    std::mt19937_64 random(0x5eed1234);
    std::uniform_int_distribution<int> coin(0, 1);
    std::uniform_int_distribution<std::int32_t> code(0, 600);
    std::uniform_real_distribution<double> clock(0.0, 80.0);

    for (const Layout& l : layouts) {
        for (int i = 0; i < 1000; ++i) {
            const std::uint64_t before = random();
            const CorePstate r = request(coin(random) ? clock(random) : -1.0, coin(random) ? code(random) : -1,
                                         coin(random) ? code(random) % 4 : -1, coin(random) ? code(random) : -1);
            const std::uint64_t after = encodeCorePstate(l.profile, before, r);
            const std::string label = std::string(l.name) + " case " + std::to_string(i);

            std::uint64_t owned = 0;
            if (r.multiplier >= 0.0) {
                owned |= kClockMask;
                const MultiplierCodes codes = encodeMultiplier(l.profile, r.multiplier);
                const auto first = static_cast<std::uint64_t>(codes.first);
                const auto second = static_cast<std::uint64_t>(codes.second);
                const std::uint64_t encoded = l.powerOfTwoClock ? (second << 6 | first) : (first << 4 | second);
                // A register already at that clock keeps its own pair.
                const bool same = decodeMultiplier(l.profile, static_cast<std::uint32_t>(encoded))
                               == decodeMultiplier(l.profile, static_cast<std::uint32_t>(before & kClockMask));
                EXPECT_EQ(after & kClockMask, same ? before & kClockMask : encoded) << label;
            }
            if (r.vid >= 0) {
                owned |= l.vidMask;
                EXPECT_EQ((after & l.vidMask) >> 9, static_cast<std::uint64_t>(r.vid) & l.vidWidthMask) << label;
            }
            if (r.nbPstate >= 0 && l.nbPstateMask != 0) {
                owned |= l.nbPstateMask;
                EXPECT_EQ((after & l.nbPstateMask) != 0, r.nbPstate != 0) << label;
            }
            if (r.nbVid >= 0 && l.nbVidMask != 0) {
                owned |= l.nbVidMask;
                EXPECT_EQ((after & l.nbVidMask) >> 25, static_cast<std::uint64_t>(r.nbVid) & 0x7F) << label;
            }
            EXPECT_EQ(after & ~owned, before & ~owned) << label;
        }
    }
}

} // namespace
