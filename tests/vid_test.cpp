#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "profiles.h"
#include "cpu/vid.h"

namespace {

constexpr double kStep7 = 0.0125;
constexpr double kStep8 = 0.00625;

TEST(VidToVoltage, Table)
{
    struct Case {
        std::int32_t vid;
        double step;
        double volts;
    };
    const Case cases[] = {
        {0, kStep7, 1.55},     {1, kStep7, 1.5375},   {24, kStep7, 1.25},    {44, kStep7, 1.0},
        {48, kStep7, 0.95},    {88, kStep7, 0.45},    {124, kStep7, 0.0},    {127, kStep7, -0.0375},
        {0, kStep8, 1.55},     {1, kStep8, 1.54375},  {24, kStep8, 1.4},     {44, kStep8, 1.275},
        {48, kStep8, 1.25},    {88, kStep8, 1.0},     {124, kStep8, 0.775},  {127, kStep8, 0.75625},
        {248, kStep8, 0.0},    {255, kStep8, -0.04375},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(vidToVoltage(withStep(c.step), c.vid), c.volts, 1e-12) << "VID " << c.vid << " step " << c.step;
}

TEST(VoltageToVid, Table)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double volts;
        std::int32_t vid7;
        std::int32_t vid8;
    };
    const Case cases[] = {
        {2.0, 0, 0},
        {1.55, 0, 0},
        {1.34375, 16, 33}, // halfway at step 0.0125: the higher voltage
        {1.33, 18, 35},
        {1.25, 24, 48},
        {1.003125, 44, 87}, // halfway at step 0.00625: the higher voltage
        {1.0, 44, 88},
        {0.0, 124, 248},
        {-0.0, 124, 248},
        {-0.5, 124, 248},
        {inf, 0, 0},
        {-inf, 124, 248},
        {nan, 0, 0},
        {-nan, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(voltageToVid(withStep(kStep7), c.volts), c.vid7) << c.volts << " V, step 0.0125";
        EXPECT_EQ(voltageToVid(withStep(kStep8), c.volts), c.vid8) << c.volts << " V, step 0.00625";
    }
}

TEST(VoltageToVid, EveryVidRoundTrips)
{
    struct Case {
        double step;
        std::int32_t zeroVoltVid;
    };
    for (const Case& c : {Case{kStep7, 124}, Case{kStep8, 248}}) {
        const ProcessorProfile profile = withStep(c.step);
        for (std::int32_t vid = 0; vid <= c.zeroVoltVid; ++vid)
            EXPECT_EQ(voltageToVid(profile, vidToVoltage(profile, vid)), vid) << "step " << c.step;
    }
}

} // namespace
