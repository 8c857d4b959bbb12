#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "cli/number_text.h"
#include "cpu/clock_codec.h"
#include "hw/exception_with_message.h"
#include "profiles.h"
#include "pstate/core_pstate.h"
#include "report/format.h"

namespace {

struct EncodeCase {
    std::int32_t family;
    double requested;
    std::int32_t first;
    std::int32_t second;
};

TEST(EncodeMultiplier, DivisorIdFamilies)
{
    const double inf = std::numeric_limits<double>::infinity();
    // Family 0x10 rows hold for family 0x15 too: they share one encoding.
    const EncodeCase cases[] = {
        {0x10, 20, 4, 0},   {0x10, 8, 0, 1},    {0x10, 12.3, 33, 2}, {0x10, 9.9, 23, 2},
        {0x10, 3.3, 10, 3}, {0x10, 0.5, 0, 4},  {0x10, 0, 0, 4},     {0x10, 70, 47, 0},
        {0x10, 63, 47, 0},  {0x10, inf, 47, 0}, {0x10, -5, 0, 4},    {0x10, 1.0, 0, 4},
        {0x12, 30, 14, 0},  {0x12, 15, 14, 2},  {0x12, 14.8, 6, 1},  {0x12, 8, 0, 2},
        {0x12, 2.9, 7, 6},  {0x12, 50, 31, 0},  {0x12, 0, 0, 8},     {0x12, 47, 31, 0},
    };
    for (const EncodeCase& c : cases) {
        for (const std::int32_t family : {c.family, c.family == 0x10 ? 0x15 : c.family}) {
            const MultiplierCodes codes = encodeMultiplier(profileOf(family), c.requested);
            EXPECT_EQ(codes.first, c.first) << "family " << family << " request " << c.requested;
            EXPECT_EQ(codes.second, c.second) << "family " << family << " request " << c.requested;
        }
    }
}

TEST(EncodeMultiplier, Family14)
{
    const double inf = std::numeric_limits<double>::infinity();
    const EncodeCase cases[] = {
        {0x14, 40, 0, 0},    {0x14, 16, 1, 0},  {0x14, 12.5, 1, 3}, {0x14, 11, 2, 0},
        {0x14, 10, 2, 1},    {0x14, 2, 15, 0},  {0x14, 1.97, 15, 2}, {0x14, 1.92, 16, 0},
        {0x14, 1.0, 25, 2},  {0x14, 0, 25, 2},  {0x14, 32, 0, 0},   {0x14, inf, 0, 0},
        {0x14, 1.2, 25, 2},        // divisor 26.67, just past the largest
        {0x14, 32 / 15.8, 15, 0},  // divisor 15.8 rounds up to 16.0
        {0x14, 32 / 16.25, 15, 2}, // 16.25 does not exist; 16.5 does
        {0x14, 32 / 15.25, 14, 1}, // below 16 the quarter steps are kept
        // What divisor 12.25 decodes to comes back a rounding error above
        // 12.25; the request's tolerance keeps it there.
        {0x14, 32 / 12.25, 11, 1},
    };
    for (const EncodeCase& c : cases) {
        const MultiplierCodes codes = encodeMultiplier(profileOf(0x14, 0, 32), c.requested);
        EXPECT_EQ(codes.first, c.first) << "request " << c.requested;
        EXPECT_EQ(codes.second, c.second) << "request " << c.requested;
    }
}

TEST(EncodeMultiplier, Family14UnknownMaxRefusesEveryRequest)
{
    for (const double requested : {0.0, 1.0, 16.0, 32.0, 100.0}) {
        try {
            encodeMultiplier(profileOf(0x14, 0, 0.0), requested);
            ADD_FAILURE() << "no refusal for " << requested;
        } catch (const ExceptionWithMessage& e) {
            EXPECT_STREQ(e.what(), "cannot encode multiplier (family 0x14) - unknown max multiplier") << requested;
        }
    }
}

// Requests that are not plain positive numbers get the slowest clock everywhere:
// a NaN, and on family 0x14 a negative zero, which would otherwise divide into
// -infinity and come out as the fastest clock.
TEST(EncodeMultiplier, OddRequestsGetTheSlowestClock)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const EncodeCase cases[] = {
        {0x10, nan, 0, 4}, {0x12, nan, 0, 8}, {0x15, -0.0, 0, 4},
        {0x14, nan, 25, 2}, {0x14, -0.0, 25, 2}, {0x14, -3.0, 25, 2},
    };
    for (const EncodeCase& c : cases) {
        const MultiplierCodes codes = encodeMultiplier(profileOf(c.family, 0x02, 32), c.requested);
        EXPECT_EQ(codes.first, c.first) << "family " << c.family << " request " << c.requested;
        EXPECT_EQ(codes.second, c.second) << "family " << c.family << " request " << c.requested;
    }
}

struct DivisorFamily {
    std::int32_t family;
    std::int32_t maxFrequencyId;
    std::int32_t divisorCount;
};
const DivisorFamily kDivisorFamilies[] = {{0x10, 47, 5}, {0x12, 31, 9}, {0x15, 47, 5}};

std::uint64_t clockBits(std::int32_t family, std::int32_t first, std::int32_t second)
{
    const auto f = static_cast<std::uint64_t>(first);
    const auto d = static_cast<std::uint64_t>(second);
    return family == 0x10 || family == 0x15 ? (d << 6 | f) : (f << 4 | d);
}

double decodedClock(const ProcessorProfile& profile, const MultiplierCodes& codes)
{
    return decodeCorePstate(profile, 0, clockBits(profile.family, codes.first, codes.second)).multiplier;
}

// Every code the encoder can produce decodes to a multiplier that encodes back
// to it, also when typed back as the report prints it, with six significant
// digits (16/3 as 5.33333).
TEST(EncodeMultiplier, EveryEncodableMultiplierRoundTrips)
{
    struct Clock {
        ProcessorProfile profile;
        std::vector<MultiplierCodes> codes;
    };
    std::vector<Clock> clocks;
    for (const DivisorFamily& f : kDivisorFamilies) {
        for (const double refClockFactor : {1.0, 2.0}) {
            Clock clock{profileOf(f.family), {}};
            clock.profile.refClockFactor = refClockFactor;
            for (std::int32_t fid = 0; fid <= f.maxFrequencyId; ++fid)
                for (std::int32_t did = 0; did < f.divisorCount; ++did)
                    clock.codes.push_back(MultiplierCodes{fid, did});
            clocks.push_back(clock);
        }
    }
    // Family 0x14, with every undivided clock the processor can state: quarter
    // steps of the divisor up to 15.75, half steps from 16 to 26.5.
    for (std::int32_t maxMultiplier = 17; maxMultiplier <= 79; ++maxMultiplier) {
        Clock clock{profileOf(0x14, 0x01, maxMultiplier), {}};
        for (std::int32_t digit = 0; digit <= 25; ++digit)
            for (std::int32_t quarter = 0; quarter < 4; quarter += digit < 15 ? 1 : 2)
                clock.codes.push_back(MultiplierCodes{digit, quarter});
        clocks.push_back(clock);
    }

    for (const Clock& clock : clocks) {
        const ProcessorProfile& profile = clock.profile;
        for (const MultiplierCodes& original : clock.codes) {
            const double m = decodedClock(profile, original);
            const std::string shown = multiplierText(shownCoreMultiplier(profile, m));
            const std::string label = "family " + std::to_string(profile.family) + " max " +
                                      std::to_string(profile.maxMultiplier) + " codes " +
                                      std::to_string(original.first) + "/" + std::to_string(original.second) +
                                      " shown " + shown;
            const MultiplierCodes codes = encodeMultiplier(profile, m);
            EXPECT_EQ(decodedClock(profile, codes), m) << label;
            // The smallest divisor that expresses it, so never a later one.
            if (profile.family != 0x14) {
                EXPECT_LE(codes.second, original.second) << label;
            }
            const std::optional<double> typed = readDecimalText(shown, 'x');
            ASSERT_TRUE(typed) << label;
            EXPECT_EQ(decodedClock(profile, encodeMultiplier(profile, *typed * profile.refClockFactor)), m) << label;
        }
    }
}

// Against every pair the encoding can express: the result is the largest one
// not above the request (clamped to the range), and of equal ones the one with
// the smallest divisor.
TEST(EncodeMultiplier, LargestNotAboveTheRequest)
{
    for (const DivisorFamily& f : kDivisorFamilies) {
        const ProcessorProfile profile = profileOf(f.family);
        const double* table = f.family == 0x12 ? divisorTableDivisors : powerOfTwoDivisors;
        for (int hundredths = 0; hundredths <= 7000; hundredths += 7) {
            const double requested = hundredths / 100.0;
            const double top = 16.0 + f.maxFrequencyId;
            const double target = requested > top ? top : (requested < 1.0 ? 1.0 : requested);
            double bestValue = -1.0;
            MultiplierCodes best;
            for (std::int32_t did = 0; did < f.divisorCount; ++did) {
                for (std::int32_t fid = 0; fid <= f.maxFrequencyId; ++fid) {
                    const double value = (fid + 16) / table[did];
                    if (value <= target && value > bestValue) {
                        bestValue = value;
                        best = MultiplierCodes{fid, did};
                    }
                }
            }
            const MultiplierCodes codes = encodeMultiplier(profile, requested);
            const std::string label = "family " + std::to_string(f.family) + " request " + std::to_string(requested);
            EXPECT_EQ(codes.first, best.first) << label;
            EXPECT_EQ(codes.second, best.second) << label;
        }
    }
}

TEST(SearchDivisorTable, Choices)
{
    struct Case {
        const double* table;
        std::int32_t minNumerator;
        std::int32_t maxNumerator;
        double target;
        std::int32_t numerator;
        std::int32_t divisorIndex;
    };
    const Case cases[] = {
        {divisorTableDivisors, 16, 47, 14.8, 22, 1},
        {divisorTableDivisors, 16, 47, 2.9, 23, 6},
        {powerOfTwoDivisors, 16, 63, 8.0, 16, 1},
        {powerOfTwoDivisors, 16, 63, 0.0, 16, 4},
        {powerOfTwoDivisors, 16, 63, 1000.0, 63, 0},
        {powerOfTwoDivisors + 2, 16, 63, 5.0, 20, 0}, // a table that starts at 4
    };
    for (const Case& c : cases) {
        const DivisorChoice choice = searchDivisorTable(c.table, c.minNumerator, c.maxNumerator, c.target);
        EXPECT_EQ(choice.numerator, c.numerator) << "target " << c.target;
        EXPECT_EQ(choice.divisorIndex, c.divisorIndex) << "target " << c.target;
    }
}

} // namespace
