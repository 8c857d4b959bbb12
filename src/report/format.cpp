#include "report/format.h"

#include <sstream>

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
