// The northbridge P-state codec on raw register values, without a device.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "pstate/nb_pstate.h"

namespace {

ProcessorProfile family15(std::int32_t model)
{
    ProcessorProfile profile;
    profile.family = 0x15;
    profile.model = model;
    profile.nbPstateCount = 4;
    return profile;
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
        EXPECT_EQ(nbRatio(code), c.ratio) << "requested " << c.requested;
    }
}

TEST(NbRatio, EveryRequestGetsTheClosestRatioFromBelow)
{
    // Every ratio the register can hold, and every request on a fine grid: the
    // code chosen must be at or under the request, with nothing holdable between.
    std::vector<double> holdable;
    for (std::uint32_t fid = 0; fid < 32; ++fid)
        for (std::uint32_t divisor = 0; divisor < 2; ++divisor)
            holdable.push_back(nbRatio(NbRatioCode{fid, divisor}));

    for (int step = 0; step <= 3400; ++step) {
        const double requested = 1.0 + step * 0.01;
        const double limited = std::fmin(std::fmax(requested, 2.0), 35.0);
        const NbRatioCode code = encodeNbRatio(requested);
        const double got = nbRatio(code);
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

TEST(NbPstateEncode, ReplacesOnlyTheFieldsTheRequestSets)
{
    struct Case {
        const char* name;
        std::int32_t model;
        double multiplier;
        std::int32_t vid;
        std::uint32_t before;
        std::uint32_t after;
    };
    const Case cases[] = {
        {"vid 0x85, model 0x13", 0x13, -1.0, 0x85, 0x00000000, 0x00201400},
        {"vid 0x85, model 0x20 keeps bit 21 set", 0x20, -1.0, 0x85, 0xFFFFFFFF, 0xFFFE17FF},
        {"vid 0 on all ones", 0x38, -1.0, 0, 0xFFFFFFFF, 0xFFDE03FF},
        {"ratio 8.99 on all ones", 0x13, 8.99, -1, 0xFFFFFFFF, 0xFFFFFFDB},
        {"ratio 40 on all ones", 0x13, 40.0, -1, 0xFFFFFFFF, 0xFFFFFF7F},
        {"ratio 4 on all ones", 0x02, 4.0, -1, 0xFFFFFFFF, 0xFFFFFF41},
        {"ratio 2 on zero", 0x02, 0.0, -1, 0x00000000, 0x00000080},
        {"ratio and vid", 0x01, 4.5, 0x40, 0x00000000, 0x0001008A},
    };
    for (const Case& c : cases) {
        NbPstate request;
        request.multiplier = c.multiplier;
        request.vid = c.vid;
        EXPECT_EQ(encodeNbPstate(family15(c.model), request, c.before), c.after) << c.name;
    }
}

} // namespace
