#include "tune/tune_steps.h"

#include <algorithm>
#include <cmath>

#include "cpu/vid.h"

namespace {

// Volts over a VID step come out a hair beside a whole number (0.3 / 0.0125
// is 23.999999999999996): such a hair is not a step.
constexpr double kStepSlack = 1e-9;

} // namespace

std::int32_t marginSteps(const ProcessorProfile& profile, double margin)
{
    return static_cast<std::int32_t>(std::ceil(margin / vidStep(profile) - kStepSlack));
}

std::int32_t floorVid(const ProcessorProfile& profile, std::int32_t originalVid, double maxDrop)
{
    return originalVid + static_cast<std::int32_t>(std::floor(maxDrop / vidStep(profile) + kStepSlack));
}

std::int32_t resultVid(std::int32_t originalVid, std::int32_t lowestStableVid, std::int32_t margin,
                       std::int32_t slowerResultVid)
{
    std::int32_t vid = lowestStableVid - margin;
    if (slowerResultVid >= 0)
        vid = std::min(vid, slowerResultVid);
    return std::max(vid, originalVid);
}
