#include "cli/parse_arguments.h"

#include <strings.h>

#include <cctype>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>

#include "cli/number_text.h"
#include "cpu/family_traits.h"
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

bool isCorePstateIndex(const ProcessorProfile& profile, std::optional<std::int32_t> n)
{
    return n && *n >= 0 && *n < profile.pstateCount;
}

bool isNbPstateIndex(const ProcessorProfile& profile, std::optional<std::int32_t> n)
{
    return n && *n >= 0 && *n < profile.nbPstateCount;
}

// A 0-or-1 switch value; negative numbers are not switches.
bool isSwitchValue(std::int32_t n)
{
    return n == 0 || n == 1;
}

// A family has northbridge P-states exactly where each core P-state selects one.
bool hasNbPstates(const ProcessorProfile& profile)
{
    return familyTraits(profile).hasNbPstateSelect;
}

void leaveUnchanged(ChangeSet& changes, const std::string& token, const char* reason)
{
    changes.unsupported.push_back(UnsupportedRequest{token, reason});
}

// What <multiplier>@<voltage> asks for; an empty part asks for nothing.
struct MultiplierAtVoltage {
    std::optional<double> multiplier;
    std::optional<std::int32_t> vid;
};

// Reads <multiplier>@<voltage>: the multiplier times scale, the voltage as its
// VID. False when a part is not a number, a multiplier is negative, or a
// voltage could not be written (see isWritableVoltage).
bool readMultiplierAtVoltage(const ProcessorProfile& profile, const std::string& value, double scale,
                             MultiplierAtVoltage& read)
{
    std::string multiplierText;
    std::string voltageText;
    splitAt(value, '@', multiplierText, voltageText);
    if (!multiplierText.empty()) {
        const std::optional<double> multiplier = readDecimalText(multiplierText, 'x');
        if (!multiplier || *multiplier < 0.0)
            return false;
        // -0 counts as 0, and is stored as +0 so that no later step takes it
        // for a negative request.
        read.multiplier = (*multiplier + 0.0) * scale;
    }
    if (!voltageText.empty()) {
        const std::optional<double> volts = readDecimalText(voltageText, 'v');
        if (!volts || !isWritableVoltage(profile, *volts))
            return false;
        read.vid = voltageToVid(profile, *volts);
    }
    return true;
}

// P<n>=<multiplier>@<voltage>: the multiplier is typed relative to the
// reference clock and stored in units of 100 MHz.
bool applyCorePstateToken(const ProcessorProfile& profile, ChangeSet& changes, const std::string& key,
                          const std::string& value)
{
    if (key.size() < 2 || !startsWithLetterP(key))
        return false;
    const std::optional<std::int32_t> n = readIndexText(key.substr(1));
    if (!isCorePstateIndex(profile, n))
        return false;

    MultiplierAtVoltage read;
    if (!readMultiplierAtVoltage(profile, value, profile.refClockFactor, read))
        return false;
    CorePstate& request = changes.corePstates[static_cast<std::size_t>(*n)];
    request.multiplier = read.multiplier.value_or(request.multiplier);
    request.vid = read.vid.value_or(request.vid);
    return true;
}

// NB_P<n>=<multiplier>@<voltage>: the northbridge ratio is the register's own
// and is stored as typed. Where the northbridge P-states are only a VID in each
// core P-state, the ratio cannot be set.
bool applyNbPstateToken(const ProcessorProfile& profile, ChangeSet& changes, const std::string& token,
                        const std::string& key, const std::string& value)
{
    if (key.size() < 5 || strncasecmp(key.c_str(), "NB_P", 4) != 0)
        return false;
    const std::optional<std::int32_t> n = readIndexText(key.substr(4));
    if (!isNbPstateIndex(profile, n))
        return false;

    MultiplierAtVoltage read;
    if (!readMultiplierAtVoltage(profile, value, 1.0, read))
        return false;
    NbPstate& request = changes.nbPstates[static_cast<std::size_t>(*n)];
    if (!hasNbPstates(profile)) {
        if (read.multiplier || read.vid)
            leaveUnchanged(changes, token, "NB P-states not supported");
        return true;
    }
    if (read.multiplier && !familyTraits(profile).hasNbPstateRegisters) {
        leaveUnchanged(changes, token, "NB multiplier not supported");
        read.multiplier.reset();
    }
    request.multiplier = read.multiplier.value_or(request.multiplier);
    request.vid = read.vid.value_or(request.vid);
    return true;
}

// NB_low=<n>: core P-states below n on northbridge P-state 0, the rest on 1.
bool applyNbSplitToken(const ProcessorProfile& profile, ChangeSet& changes, const std::string& token,
                       const std::string& key, const std::string& value)
{
    if (!equalsIgnoringCase(key, "NB_low"))
        return false;
    const std::optional<std::int32_t> low = readIntegerText(value);
    if (!low)
        return false;
    // Without northbridge P-states there is nothing to split; marking every
    // core P-state would only rewrite them unchanged.
    if (!hasNbPstates(profile)) {
        leaveUnchanged(changes, token, "NB P-states not supported");
        return true;
    }
    for (CorePstate& request : changes.corePstates)
        request.nbPstate = request.index < *low ? 0 : 1;
    return true;
}

// Turbo=<0|1> or APM=<0|1>; a processor without the switch keeps the field
// unset.
bool applySwitchToken(ChangeSet& changes, const std::string& token, const std::string& key, const char* keyword,
                      const std::string& value, bool supported, const char* unsupportedReason,
                      std::int32_t& field)
{
    if (!equalsIgnoringCase(key, keyword))
        return false;
    const std::optional<std::int32_t> n = readIntegerText(value);
    if (!n || !isSwitchValue(*n))
        return false;
    if (supported)
        field = *n;
    else
        leaveUnchanged(changes, token, unsupportedReason);
    return true;
}

// P<n> alone (or with an empty value, as in P0=): switch to that P-state.
bool applyTargetToken(const ProcessorProfile& profile, ChangeSet& changes, const std::string& key)
{
    if (key.size() < 2 || !startsWithLetterP(key))
        return false;
    const std::optional<std::int32_t> n = readIndexText(key.substr(1));
    if (!isCorePstateIndex(profile, n))
        return false;
    changes.targetPstate = *n;
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
        return applyTargetToken(profile, changes, key);
    return applyCorePstateToken(profile, changes, key, value)
        || applyNbPstateToken(profile, changes, token, key, value)
        || applyNbSplitToken(profile, changes, token, key, value)
        || applySwitchToken(changes, token, key, "Turbo", value, profile.boostSupported, "CPB not supported",
                            changes.boost)
        || applySwitchToken(changes, token, key, "APM", value, familyTraits(profile).hasApm, "APM not supported",
                            changes.apm);
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
