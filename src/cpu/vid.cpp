#include "cpu/vid.h"

namespace {

// The voltage of VID 0, and the highest voltage a request may ask for.
constexpr double kVidZeroVoltage = 1.55;

constexpr double kSevenBitVidStep = 0.0125;
constexpr double kEightBitVidStep = 0.00625;

// The VID of 0 V: 124 at 12.5 mV a step, 248 at 6.25 mV.
std::int32_t zeroVoltVid(const ProcessorProfile& profile)
{
    return static_cast<std::int32_t>(kVidZeroVoltage / vidStep(profile));
}

} // namespace

double vidStep(const ProcessorProfile& profile)
{
    return profile.eightBitVids ? kEightBitVidStep : kSevenBitVidStep;
}

double vidToVoltage(const ProcessorProfile& profile, std::int32_t vid)
{
    // No clamp: a VID past the zero-volt code yields a negative voltage, and the
    // report shows it as such rather than hiding what the register holds.
    return kVidZeroVoltage - static_cast<double>(vid) * vidStep(profile);
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

    // Nearest step; an exact half rounds up in steps, that is to the higher voltage.
    // The quotient is never negative, where adding a half and truncating is the
    // rounding wanted.
    const auto steps = static_cast<std::int32_t>(limited / vidStep(profile) + 0.5); // NOLINT(bugprone-incorrect-roundings)
    return zeroVoltVid(profile) - steps;
}

bool isWritableVoltage(const ProcessorProfile& profile, double volts)
{
    return volts <= kVidZeroVoltage && voltageToVid(profile, volts) < zeroVoltVid(profile);
}
