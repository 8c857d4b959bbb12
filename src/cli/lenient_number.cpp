#include "cli/lenient_number.h"

#include <cstdlib>
#include <limits>

std::int32_t readLenientInt(const std::string& text)
{
    // strtol reads exactly what atoi reads, and saturates instead of
    // overflowing; the clamp then brings a long beyond 32 bits to the same ends.
    const long value = std::strtol(text.c_str(), nullptr, 10);
    constexpr long lowest = std::numeric_limits<std::int32_t>::min();
    constexpr long highest = std::numeric_limits<std::int32_t>::max();
    if (value < lowest)
        return std::numeric_limits<std::int32_t>::min();
    if (value > highest)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

double readLenientDouble(const std::string& text)
{
    return std::strtod(text.c_str(), nullptr);
}
