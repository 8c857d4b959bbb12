#include "cpu/vid.h"

namespace {

// The voltage of VID 0, and the highest voltage a request may ask for.
constexpr double kVidZeroVoltage = 1.55;

} // namespace

double vidToVoltage(const ProcessorProfile& profile, std::int32_t vid)
{
    // No clamp: a VID past the zero-volt code yields a negative voltage, and the
    // report shows it as such rather than hiding what the register holds.
    return kVidZeroVoltage - static_cast<double>(vid) * profile.vidStep;
}

std::int32_t voltageToVid(const ProcessorProfile& profile, double volts)
{
    // Written so that a NaN fails the first test and ends up at 1.55 V, the
    // same as any request above the top; -infinity falls to 0 V below.
    double limited = volts;
    if (!(limited <= kVidZeroVoltage))
        limited = kVidZeroVoltage;
    if (limited < 0.0)
        limited = 0.0;

    const auto zeroVoltVid = static_cast<std::int32_t>(kVidZeroVoltage / profile.vidStep);
    // Nearest step; an exact half rounds up in steps, that is to the higher voltage.
    // The quotient is never negative, where adding a half and truncating is the
    // rounding wanted.
    const auto steps = static_cast<std::int32_t>(limited / profile.vidStep + 0.5); // NOLINT(bugprone-incorrect-roundings)
    return zeroVoltVid - steps;
}
