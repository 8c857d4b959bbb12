// Northbridge P-states: the codec on raw register values, and reading and
// writing through the emulated processor.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "hw/exception_with_message.h"
#include "emulated_machine.h"
#include "hw/bitfield.h"
#include "profiles.h"
#include "pstate/nb_pstate.h"

namespace {

ProcessorProfile family15(std::int32_t model, std::int32_t nbPstateCount = 4)
{
    ProcessorProfile profile = profileOf(0x15, model);
    profile.nbPstateCount = nbPstateCount;
    return profile;
}

// The ratio a code stands for, as the decoder reads it from a register holding
// the frequency ID in bits 1-5 and the divisor in bit 7.
double ratioOf(NbRatioCode code)
{
    return decodeNbPstate(family15(0x01), 0, code.frequencyId << 1 | code.divisor << 7).multiplier;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(NbRatio, CodesRequestsOutsideTheRegistersRange)
{
    struct Case {
        double requested;
        std::uint32_t frequencyId;
        std::uint32_t divisor;
        double ratio;
    };
    // The table of requests is run end to end on the emulated processor; these
    // are the requests a register write never sees or that fall between its rows.
    const Case cases[] = {
        {3.0, 2, 1, 3.0},  {35.0, 31, 0, 35.0}, {35.01, 31, 0, 35.0},
        {kInf, 31, 0, 35.0}, {-5.0, 0, 1, 2.0}, {kNaN, 0, 1, 2.0},
    };
    for (const Case& c : cases) {
        const NbRatioCode code = encodeNbRatio(c.requested);
        EXPECT_EQ(code.frequencyId, c.frequencyId) << "requested " << c.requested;
        EXPECT_EQ(code.divisor, c.divisor) << "requested " << c.requested;
        EXPECT_EQ(ratioOf(code), c.ratio) << "requested " << c.requested;
    }
}

TEST(NbRatio, EveryRequestGetsTheClosestRatioFromBelow)
{
    // Every ratio the register can hold, and every request on a fine grid: the
    // code chosen must be at or under the request, with nothing holdable between.
    std::vector<double> holdable;
    for (std::uint32_t fid = 0; fid < 32; ++fid)
        for (std::uint32_t divisor = 0; divisor < 2; ++divisor)
            holdable.push_back(ratioOf(NbRatioCode{fid, divisor}));

    for (int step = 0; step <= 3400; ++step) {
        const double requested = 1.0 + step * 0.01;
        const double limited = std::fmin(std::fmax(requested, 2.0), 35.0);
        const NbRatioCode code = encodeNbRatio(requested);
        const double got = ratioOf(code);
        ASSERT_LE(got, limited) << "requested " << requested;
        for (double r : holdable)
            ASSERT_FALSE(r > got && r <= limited) << "requested " << requested << " got " << got << " missed " << r;
        if (got == std::floor(got) && got >= 4.0) {
            ASSERT_EQ(code.divisor, 0u) << "whole ratio " << got << " must not be a half step";
        }
    }
}

TEST(NbPstateDecode, ReadsRatioAndVidOfTheModel)
{
    struct Case {
        const char* name;
        std::int32_t model;
        std::uint32_t value;
        double multiplier;
        std::int32_t vid;
    };
    const Case cases[] = {
        {"all clear", 0x02, 0x00000000, 4.0, 0},
        {"bit 21 alone, 8-bit model 0x30", 0x30, 0x00200000, 4.0, 128},
        {"bit 21 alone, 8-bit model 0x13", 0x13, 0x00200000, 4.0, 128},
        {"bit 21 alone, 7-bit model 0x20", 0x20, 0x00200000, 4.0, 0},
        {"bit 21 alone, 7-bit model 0x02", 0x02, 0x00200000, 4.0, 0},
        {"all set, 8-bit model", 0x10, 0xFFFFFFFF, 17.5, 0xFF},
        {"all set, 7-bit model", 0x01, 0xFFFFFFFF, 17.5, 0x7F},
        {"unowned bits only", 0x30, 0xFFDE0341, 4.0, 0},
        {"vid 0x85 and ratio 8.5", 0x13, 0x0020149A, 8.5, 0x85},
        {"ratio 35", 0x02, 0x0000003E, 35.0, 0},
    };
    for (const Case& c : cases) {
        const NbPstate p = decodeNbPstate(family15(c.model), 3, c.value);
        EXPECT_EQ(p.index, 3) << c.name;
        EXPECT_EQ(p.multiplier, c.multiplier) << c.name;
        EXPECT_EQ(p.vid, c.vid) << c.name;
    }
}

// Both fields set at once; each alone, over every kind of start, is written
// through the device below.
TEST(NbPstateEncode, RatioAndVidTogether)
{
    EXPECT_EQ(encodeNbPstate(family15(0x01), NbPstate{0, 4.5, 0x40}, 0x00000000), 0x0001008Au);
}

// Every northbridge P-state register filled with the same value.
void attachNbRegisters(std::uint32_t value)
{
    std::string text;
    for (std::uint32_t reg = 0x160; reg <= 0x170; reg += 4)
        text += "pci 18.5 " + hexText(reg) + " " + hexText(value) + "\n";
    ASSERT_TRUE(attachMachineText(text));
}

std::uint32_t nbRegister(std::int32_t index)
{
    return emulation::attachedMachine().pciRegisters.at(
        PciAddress{0x18, 5, kPciNbPstateBase + 4 * static_cast<std::uint32_t>(index)});
}

// The ratio is bits 1-5 and 7. With the VID's bits 10-16 they belong to the
// program on every model; bit 21 only on the 8-bit-VID ones.
constexpr std::uint32_t kRatioBits = 0x000000BE;
constexpr std::uint32_t kOwnedBits = 0x0001FCBE;
constexpr std::uint32_t kVidBit7 = 0x00200000;

TEST(NbPstateDevice, RatioRequestsReadBackAsTheRegisterHoldsThem)
{
    struct Case {
        double requested;
        std::uint32_t frequencyId;
        std::uint32_t divisor;
        double readBack;
    };
    const Case cases[] = {
        {0.0, 0, 1, 2.0},    {1.0, 0, 1, 2.0},    {2.0, 0, 1, 2.0},    {3.7, 3, 1, 3.5},
        {4.0, 0, 0, 4.0},    {4.4, 0, 0, 4.0},    {4.5, 5, 1, 4.5},    {8.0, 4, 0, 8.0},
        {8.99, 13, 1, 8.5},  {17.0, 13, 0, 17.0}, {17.5, 31, 1, 17.5}, {17.9, 31, 1, 17.5},
        {18.2, 14, 0, 18.0}, {34.9, 30, 0, 34.0}, {40.0, 31, 0, 35.0},
    };
    const std::uint32_t starts[] = {0x00000000, 0xFFFFFFFF, 0xA5A5A5A5};
    for (const Case& c : cases) {
        for (std::uint32_t start : starts) {
            attachNbRegisters(start);
            const ProcessorProfile profile = family15(0x13);
            writeNbPstate(profile, NbPstate{2, c.requested, -1});

            const std::uint32_t after = nbRegister(2);
            const std::string name = "requested " + std::to_string(c.requested) + " over " + hexText(start);
            EXPECT_EQ(bits::get(after, 5, 1), c.frequencyId) << name;
            EXPECT_EQ(bits::get(after, 7, 7), c.divisor) << name;
            // Bits 0 and 6 sit between the ratio's fields and must survive too.
            EXPECT_EQ(after & ~kRatioBits, start & ~kRatioBits) << name;
            EXPECT_EQ(nbRegister(1), start) << name << ": neighbour";
            EXPECT_EQ(nbRegister(3), start) << name << ": neighbour";

            const NbPstate read = readNbPstate(profile, 2);
            EXPECT_EQ(read.index, 2) << name;
            EXPECT_EQ(read.multiplier, c.readBack) << name;
        }
    }
}

TEST(NbPstateDevice, UnsetFieldsLeaveTheRegisterAsItWas)
{
    struct Case {
        const char* name;
        double multiplier;
        std::int32_t vid;
        std::uint32_t keptMask; // bits that must come back as read
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"nothing set", -1.0, -1, 0xFFFFFFFF},
        {"NaN ratio", nan, -1, 0xFFFFFFFF},
        {"vid only", -1.0, 0x42, ~std::uint32_t{0x0021FC00}},
        {"ratio only", 12.5, -1, ~std::uint32_t{0xBE}},
    };
    for (const Case& c : cases) {
        attachNbRegisters(0x5A5AA5A5);
        writeNbPstate(family15(0x30), NbPstate{0, c.multiplier, c.vid});
        EXPECT_EQ(nbRegister(0) & c.keptMask, 0x5A5AA5A5 & c.keptMask) << c.name;
        // The write is made all the same, with the value just read when nothing is set.
        const std::vector<std::string> expected = readWriteReadBack(
            "/dev/pci", "pciread 18.5 0x160 -> 0x5a5aa5a5", "pciwrite 18.5 0x160 <- " + hexText(nbRegister(0)));
        EXPECT_EQ(emulation::traceLines(), expected) << c.name;
    }
}

TEST(NbPstateDevice, VidWidthFollowsTheModel)
{
    struct Case {
        std::int32_t model;
        std::uint32_t start;
        std::int32_t vid;
        std::uint32_t bits16to10;
        bool bit21;
        std::int32_t readBack;
    };
    const Case cases[] = {
        {0x13, 0x00000000, 0x85, 0x05, true, 0x85},
        {0x30, 0x00000000, 0x85, 0x05, true, 0x85},
        {0x3F, 0xFFFFFFFF, 0x05, 0x05, false, 0x05},  // 8-bit model clears bit 7 too
        {0x02, 0x00000000, 0x85, 0x05, false, 0x05},  // 7-bit model: bit 21 kept clear
        {0x20, 0xFFFFFFFF, 0x85, 0x05, true, 0x05},   // 7-bit model: bit 21 kept set
        {0x13, 0x00000000, 0x1FF, 0x7F, true, 0xFF},  // cut to 8 bits
        {0x02, 0x00000000, 0x1FF, 0x7F, false, 0x7F}, // cut to 7 bits
    };
    for (const Case& c : cases) {
        attachNbRegisters(c.start);
        const ProcessorProfile profile = family15(c.model);
        writeNbPstate(profile, NbPstate{1, -1.0, c.vid});
        const std::uint32_t after = nbRegister(1);
        const std::string name = "model " + hexText(static_cast<std::uint32_t>(c.model)) + " vid " + hexText(static_cast<std::uint32_t>(c.vid));
        EXPECT_EQ(bits::get(after, 16, 10), c.bits16to10) << name;
        EXPECT_EQ(bits::test(after, 21), c.bit21) << name;
        EXPECT_EQ(after & ~(kOwnedBits | kVidBit7), c.start & ~(kOwnedBits | kVidBit7)) << name;
        EXPECT_EQ(readNbPstate(profile, 1).vid, c.readBack) << name;
    }
}

TEST(NbPstateDevice, RefusalsTouchNoRegister)
{
    struct Case {
        const char* name;
        std::int32_t family;
        std::int32_t nbPstateCount;
        std::int32_t index;
        const char* message;
    };
    const Case cases[] = {
        {"family 0x10", 0x10, 2, 0, "NB P-states not supported"},
        {"family 0x12", 0x12, 2, 1, "NB P-states not supported"},
        {"family 0x14", 0x14, 2, 0, "NB P-states not supported"},
        {"family 0x10, bad number too", 0x10, 2, 7, "NB P-states not supported"},
        {"negative number", 0x15, 2, -1, "NB P-state index out of range"},
        {"number equal to the count", 0x15, 2, 2, "NB P-state index out of range"},
        {"number past the count", 0x15, 1, 3, "NB P-state index out of range"},
        // 0x170 is the control register behind the four northbridge P-states.
        {"count beyond what the hardware has", 0x15, 8, 4, "NB P-state index out of range"},
        {"huge number", 0x15, 4, 0x7FFFFFFF, "NB P-state index out of range"},
    };
    for (const Case& c : cases) {
        ProcessorProfile profile = profileOf(c.family, 0x13);
        profile.nbPstateCount = c.nbPstateCount;
        for (bool write : {false, true}) {
            attachNbRegisters(0x12345678);
            const std::string name = std::string(c.name) + (write ? ", write" : ", read");
            try {
                if (write)
                    writeNbPstate(profile, NbPstate{c.index, 10.0, 0x20});
                else
                    readNbPstate(profile, c.index);
                ADD_FAILURE() << name << ": not refused";
            } catch (const ExceptionWithMessage& e) {
                EXPECT_STREQ(e.what(), c.message) << name;
            }
            EXPECT_TRUE(emulation::traceLines().empty()) << name;
        }
    }
}

TEST(NbPstateDevice, LastNorthbridgePstateIsReachable)
{
    attachNbRegisters(0);
    writeNbPstate(family15(0x02, 4), NbPstate{3, 8.0, 0x10});
    EXPECT_EQ(nbRegister(3), 0x00004008u);
    EXPECT_EQ(nbRegister(2), 0u);
}

} // namespace
