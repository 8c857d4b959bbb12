#include "tune/tune_options.h"

#include <cmath>
#include <optional>
#include <sstream>

#include "cli/number_text.h"
#include "cpu/registers.h"
#include "hw/cpu_list.h"
#include "report/format.h"

namespace {

// The largest margin and drop taken: beyond them the run would either keep
// nothing of what it found or test voltages no chip of these families runs at.
constexpr double kMaxMarginVolts = 0.2;
constexpr double kMaxDropVolts = 0.5;
// Tctl is a temperature the processor reports up to 255 degrees.
constexpr double kMaxTctlLimit = 255.0;

std::string bad(const std::string& name, const std::string& value, const std::string& expected)
{
    return "bad " + name + " '" + value + "' (" + expected + ")";
}

bool readPstates(const std::string& text, std::vector<std::int32_t>& pstates)
{
    if (text.empty() || text.find('\n') != std::string::npos || !parseCpuList(text, pstates) || pstates.empty())
        return false;
    return pstates.back() < kMaxCorePstates;
}

// A number within [low, high], read whole; a unit letter may follow it.
std::optional<double> readWithin(const std::string& text, char unit, double low, double high)
{
    const std::optional<double> value = readDecimalText(text, unit);
    if (!value || !std::isfinite(*value) || *value < low || *value > high)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<double> readLoadSeconds(const std::string& text)
{
    return readWithin(text, 's', 0.0, kMaxTuneSeconds);
}

std::string setTuneOption(TuneOptions& options, const std::string& name, const std::string& value, bool zeroSeconds)
{
    if (name == "--pstates") {
        if (readPstates(value, options.pstates))
            return std::string();
        return bad(name, value, "P-state numbers and ranges, ascending, as 1-3,5, up to 7");
    }
    if (name == "--seconds") {
        const std::optional<double> seconds = readLoadSeconds(value);
        const std::int32_t least = zeroSeconds ? 0 : 1;
        if (seconds && *seconds >= least && std::floor(*seconds) == *seconds) {
            options.seconds = static_cast<std::int32_t>(*seconds);
            return std::string();
        }
        return bad(name, value, "whole seconds from " + std::to_string(least) + " to " + std::to_string(kMaxTuneSeconds));
    }
    if (name == "--margin" || name == "--max-drop") {
        const bool margin = name == "--margin";
        const std::optional<double> volts = readWithin(value, 'v', 0.0, margin ? kMaxMarginVolts : kMaxDropVolts);
        if (volts && (margin || *volts > 0.0)) {
            (margin ? options.margin : options.maxDrop) = *volts;
            return std::string();
        }
        return bad(name, value, margin ? "volts from 0 to 0.2, as 0.025" : "volts above 0, up to 0.5, as 0.2");
    }
    if (name == "--tctl-limit") {
        const std::optional<double> celsius = readWithin(value, 'c', 0.0, kMaxTctlLimit);
        if (celsius) {
            options.tctlLimit = *celsius;
            return std::string();
        }
        return bad(name, value, "degrees from 0 to 255, as 80; 0 leaves Tctl unwatched");
    }
    return "unknown tuning option " + name;
}

std::string tuneOptionsText(const TuneOptions& options)
{
    std::string text = "--pstates " + cpuListText(options.pstates) + " --seconds " + std::to_string(options.seconds)
        + " --margin " + numberText(options.margin) + " --max-drop " + numberText(options.maxDrop)
        + " --tctl-limit " + numberText(options.tctlLimit);
    return options.apply ? text + " --apply" : text;
}

std::string readTuneOptionsText(TuneOptions& options, const std::string& text, bool zeroSeconds)
{
    std::istringstream words(text);
    for (std::string name; words >> name;) {
        if (name == "--apply") {
            options.apply = true;
            continue;
        }
        std::string value;
        if (!(words >> value))
            return "option " + name + " without its value";
        std::string refusal = setTuneOption(options, name, value, zeroSeconds);
        if (!refusal.empty())
            return refusal;
    }
    return std::string();
}
