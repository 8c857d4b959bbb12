#include "cli/parse_arguments.h"

#include <strings.h>

#include <cctype>
#include <cstdint>
#include <iostream>
#include <string>

#include "cli/lenient_number.h"
#include "cpu/vid.h"

namespace {

bool startsWithLetterP(const std::string& text)
{
    return !text.empty() && std::tolower(static_cast<unsigned char>(text[0])) == 'p';
}

bool equalsIgnoringCase(const std::string& text, const char* keyword)
{
    return strcasecmp(text.c_str(), keyword) == 0;
}

bool isCorePstateIndex(const ProcessorProfile& profile, std::int32_t n)
{
    return n >= 0 && n < profile.pstateCount;
}

bool isNbPstateIndex(const ProcessorProfile& profile, std::int32_t n)
{
    return n >= 0 && n < profile.nbPstateCount;
}

// A 0-or-1 switch value; negative numbers are not switches.
bool isSwitchValue(std::int32_t n)
{
    return n == 0 || n == 1;
}

// <multiplier>@<voltage> into a core or northbridge P-state request: the
// multiplier times scale, the voltage as its VID. An empty part leaves its
// field as it was.
template <typename Request>
void readMultiplierAtVoltage(const ProcessorProfile& profile, const std::string& value, double scale,
                             Request& request)
{
    std::string multiplierText;
    std::string voltageText;
    splitAt(value, '@', multiplierText, voltageText);
    if (!multiplierText.empty())
        request.multiplier = readLenientDouble(multiplierText) * scale;
    if (!voltageText.empty())
        request.vid = voltageToVid(profile, readLenientDouble(voltageText));
}

// P<n>=<multiplier>@<voltage>: the multiplier is typed relative to the
// reference clock and stored in units of 100 MHz.
bool applyCorePstateToken(const ProcessorProfile& profile, ChangeSet& changes, const std::string& key,
                          const std::string& value)
{
    if (key.size() < 2 || !startsWithLetterP(key))
        return false;
    const std::int32_t n = readLenientInt(key.substr(1));
    if (!isCorePstateIndex(profile, n))
        return false;

    readMultiplierAtVoltage(profile, value, profile.refClockFactor, changes.corePstates[static_cast<std::size_t>(n)]);
    return true;
}

// NB_P<n>=<multiplier>@<voltage>: the northbridge ratio is the register's own
// and is stored as typed.
bool applyNbPstateToken(const ProcessorProfile& profile, ChangeSet& changes, const std::string& key,
                        const std::string& value)
{
    if (key.size() < 5 || strncasecmp(key.c_str(), "NB_P", 4) != 0)
        return false;
    const std::int32_t n = readLenientInt(key.substr(4));
    if (!isNbPstateIndex(profile, n))
        return false;

    readMultiplierAtVoltage(profile, value, 1.0, changes.nbPstates[static_cast<std::size_t>(n)]);
    return true;
}

// NB_low=<n>: core P-states below n on northbridge P-state 0, the rest on 1.
bool applyNbSplitToken(ChangeSet& changes, const std::string& key, const std::string& value)
{
    if (!equalsIgnoringCase(key, "NB_low"))
        return false;
    const std::int32_t low = readLenientInt(value);
    for (CorePstate& request : changes.corePstates)
        request.nbPstate = request.index < low ? 0 : 1;
    return true;
}

bool applySwitchToken(const std::string& key, const char* keyword, const std::string& value,
                      std::int32_t& field)
{
    if (!equalsIgnoringCase(key, keyword))
        return false;
    const std::int32_t n = readLenientInt(value);
    if (!isSwitchValue(n))
        return false;
    field = n;
    return true;
}

// P<n> alone (or with an empty value, as in P0=): switch to that P-state.
bool applyTargetToken(const ProcessorProfile& profile, ChangeSet& changes, const std::string& token)
{
    if (token.size() < 2 || !startsWithLetterP(token))
        return false;
    const std::int32_t n = readLenientInt(token.substr(1));
    if (!isCorePstateIndex(profile, n))
        return false;
    changes.targetPstate = n;
    return true;
}

// A token that fails one form falls through to the next; one that fails them
// all is invalid.
bool applyToken(const ProcessorProfile& profile, ChangeSet& changes, const std::string& token)
{
    std::string key;
    std::string value;
    splitAt(token, '=', key, value);
    if (value.empty())
        return applyTargetToken(profile, changes, token);
    return applyCorePstateToken(profile, changes, key, value) || applyNbPstateToken(profile, changes, key, value)
        || applyNbSplitToken(changes, key, value) || applySwitchToken(key, "Turbo", value, changes.turbo)
        || applySwitchToken(key, "APM", value, changes.apm);
}

} // namespace

void splitAt(const std::string& source, char separator, std::string& first, std::string& second)
{
    const auto at = source.find(separator);
    first = source.substr(0, at);
    second = at == std::string::npos ? std::string() : source.substr(at + 1);
}

bool parseArguments(const ProcessorProfile& profile, ChangeSet& changes, int argc, const char* const* argv)
{
    for (std::int32_t i = 0; i < profile.pstateCount; ++i) {
        CorePstate request;
        request.index = i;
        changes.corePstates.push_back(request);
    }
    for (std::int32_t i = 0; i < profile.nbPstateCount; ++i) {
        NbPstate request;
        request.index = i;
        changes.nbPstates.push_back(request);
    }

    for (int i = 1; i < argc; ++i) {
        const std::string token = argv[i];
        if (!applyToken(profile, changes, token)) {
            std::cerr << "ERROR: invalid parameter " << token << std::endl;
            return false;
        }
    }
    return true;
}
