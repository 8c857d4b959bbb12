#include "cpu/temperature.h"

#include <limits>

#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "cpu/registers.h"
#include "hw/device.h"

namespace {

constexpr double kEighthsPerDegree = 8.0;
// Where the range-select bits are both set, the reading counts from -49 C.
constexpr std::uint32_t kRangeFromMinus49 = 3;
constexpr double kRangeOffset = 49.0;

} // namespace

bool reportsTctl(const ProcessorProfile& profile)
{
    const ModelRange& elsewhere = familyTraits(profile).tctlElsewhereModels;
    return profile.model < elsewhere.first || profile.model > elsewhere.last;
}

std::optional<double> decodeTctl(const ProcessorProfile& profile, std::uint32_t value)
{
    if (!reportsTctl(profile) || value == 0 || value == std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    double celsius = bits::get(value, kCurrentTemperature) / kEighthsPerDegree;
    if (familyTraits(profile).hasTctlRangeSelect && bits::get(value, kTemperatureRangeSelect) == kRangeFromMinus49)
        celsius -= kRangeOffset;
    return celsius;
}

std::optional<double> readTctl(const ProcessorProfile& profile, std::int32_t node)
{
    if (!reportsTctl(profile))
        return std::nullopt;
    return decodeTctl(profile, readPciConfig(northbridgeOf(node), kFunctionMisc, kPciReportedTemperature));
}
