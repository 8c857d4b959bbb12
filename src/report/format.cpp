#include "report/format.h"

#include <sstream>
#include <string>
#include <vector>

#include "cpu/vid.h"

std::string numberText(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

double shownCoreMultiplier(const ProcessorProfile& profile, double multiplier)
{
    return multiplier / profile.refClockFactor;
}

std::string multiplierText(double multiplier)
{
    return numberText(multiplier) + "x";
}

std::string namesText(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::string voltageText(const ProcessorProfile& profile, std::int32_t vid)
{
    return numberText(vidToVoltage(profile, vid)) + "V";
}

std::string northbridgeText(const ProcessorProfile& profile, const CorePstate& pstate)
{
    std::string text = "NorthBridge in NB_P" + std::to_string(pstate.nbPstate);
    if (pstate.nbVid >= 0)
        text += " at " + voltageText(profile, pstate.nbVid);
    return text;
}

namespace {

// A multiplier the decoder could not name (its -1) is no number to show.
std::string shownMultiplierText(double multiplier)
{
    if (!(multiplier >= 0.0))
        return "reserved divisor";
    return multiplierText(multiplier);
}

} // namespace

std::string clockText(const ProcessorProfile& profile, const CorePstateItem& item)
{
    return shownMultiplierText(shownCoreMultiplier(profile, item.pstate.multiplier)) + " at "
        + voltageText(profile, item.pstate.vid);
}

std::string clockText(const ProcessorProfile& profile, const NbPstateItem& item)
{
    // The northbridge ratio is the register's own and is never scaled.
    return shownMultiplierText(item.pstate.multiplier) + " at " + voltageText(profile, item.pstate.vid);
}

std::string corePstateLineText(const ProcessorProfile& profile, const CorePstateItem& item)
{
    std::string text = clockText(profile, item);
    if (item.pstate.nbPstate >= 0)
        text += ", " + northbridgeText(profile, item.pstate);
    return text;
}
