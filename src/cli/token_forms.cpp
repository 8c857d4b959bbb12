#include "cli/token_forms.h"

#include <strings.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "cli/number_text.h"
#include "cpu/clock_codec.h"
#include "cpu/vid.h"
#include "pstate/core_pstate.h"
#include "pstate/nb_pstate.h"

namespace {

bool startsWithLetterP(const std::string& text)
{
    return !text.empty() && std::tolower(static_cast<unsigned char>(text[0])) == 'p';
}

bool equalsIgnoringCase(const std::string& text, const char* keyword)
{
    return strcasecmp(text.c_str(), keyword) == 0;
}

// P<n> with 0 <= n < pstateCount, the letter in either case.
bool readCorePstateKey(const ProcessorProfile& profile, const std::string& key, TokenRequest& request)
{
    if (key.size() < 2 || !startsWithLetterP(key))
        return false;
    const std::optional<std::int32_t> n = readIndexText(key.substr(1));
    if (!n || *n < 0 || *n >= profile.pstateCount)
        return false;
    request.index = *n;
    return true;
}

bool readCorePstateValueKey(const ProcessorProfile& profile, const std::string& key, bool valueGiven,
                            TokenRequest& request)
{
    return valueGiven && readCorePstateKey(profile, key, request);
}

// P<n> alone, or with an empty value as in P0=.
bool readTargetKey(const ProcessorProfile& profile, const std::string& key, bool valueGiven, TokenRequest& request)
{
    return !valueGiven && readCorePstateKey(profile, key, request);
}

bool readNbPstateKey(const ProcessorProfile& profile, const std::string& key, bool valueGiven, TokenRequest& request)
{
    if (!valueGiven || key.size() < 5 || strncasecmp(key.c_str(), "NB_P", 4) != 0)
        return false;
    const std::optional<std::int32_t> n = readIndexText(key.substr(4));
    if (!n || *n < 0 || *n >= profile.nbPstateCount)
        return false;
    request.index = *n;
    return true;
}

bool readNbSplitKey(const ProcessorProfile& /*profile*/, const std::string& key, bool valueGiven,
                    TokenRequest& /*request*/)
{
    return valueGiven && equalsIgnoringCase(key, "NB_low");
}

bool readTurboKey(const ProcessorProfile& /*profile*/, const std::string& key, bool valueGiven,
                  TokenRequest& /*request*/)
{
    return valueGiven && equalsIgnoringCase(key, "Turbo");
}

bool readApmKey(const ProcessorProfile& /*profile*/, const std::string& key, bool valueGiven,
                TokenRequest& /*request*/)
{
    return valueGiven && equalsIgnoringCase(key, "APM");
}

// <multiplier>@<voltage>, either part possibly empty: the multiplier times
// scale, the voltage as its VID. False when a part is not a number, a
// multiplier is negative, or a voltage could not be written (see
// isWritableVoltage).
bool readMultiplierAtVoltage(const ProcessorProfile& profile, const std::string& value, double scale,
                             TokenRequest& request)
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
        request.multiplier = (*multiplier + 0.0) * scale;
    }
    if (!voltageText.empty()) {
        const std::optional<double> volts = readDecimalText(voltageText, 'v');
        if (!volts || !isWritableVoltage(profile, *volts))
            return false;
        request.vid = voltageToVid(profile, *volts);
    }
    return true;
}

// A core multiplier is typed relative to the reference clock and kept in units
// of 100 MHz.
bool readCoreMultiplierAtVoltage(const ProcessorProfile& profile, const std::string& value, TokenRequest& request)
{
    return readMultiplierAtVoltage(profile, value, profile.refClockFactor, request);
}

// The northbridge ratio is the register's own and is kept as typed.
bool readNbMultiplierAtVoltage(const ProcessorProfile& profile, const std::string& value, TokenRequest& request)
{
    return readMultiplierAtVoltage(profile, value, 1.0, request);
}

bool readInteger(const ProcessorProfile& /*profile*/, const std::string& value, TokenRequest& request)
{
    request.number = readIntegerText(value);
    return request.number.has_value();
}

// 0 or 1; negative numbers are not switches.
bool readSwitch(const ProcessorProfile& profile, const std::string& value, TokenRequest& request)
{
    return readInteger(profile, value, request) && (*request.number == 0 || *request.number == 1);
}

bool readNothing(const ProcessorProfile& /*profile*/, const std::string& /*value*/, TokenRequest& /*request*/)
{
    return true;
}

void applyCorePstate(const TokenRequest& request, ChangeSet& changes)
{
    const auto n = static_cast<std::size_t>(request.index);
    CorePstate& pstate = changes.corePstates[n];
    pstate.multiplier = request.multiplier.value_or(pstate.multiplier);
    pstate.vid = request.vid.value_or(pstate.vid);
    PstateTokens& tokens = changes.corePstateTokens[n];
    if (request.multiplier)
        tokens.multiplier = request.token;
    if (request.vid)
        tokens.voltage = request.token;
}

void applyNbPstate(const TokenRequest& request, ChangeSet& changes)
{
    NbPstate& pstate = changes.nbPstates[static_cast<std::size_t>(request.index)];
    pstate.multiplier = request.multiplier.value_or(pstate.multiplier);
    pstate.vid = request.vid.value_or(pstate.vid);
}

// Core P-states below n on northbridge P-state 0, the rest on 1.
void applyNbSplit(const TokenRequest& request, ChangeSet& changes)
{
    for (CorePstate& pstate : changes.corePstates)
        pstate.nbPstate = pstate.index < *request.number ? 0 : 1;
}

void applyTurbo(const TokenRequest& request, ChangeSet& changes)
{
    changes.boost = *request.number;
}

void applyApm(const TokenRequest& request, ChangeSet& changes)
{
    changes.apm = *request.number;
}

void applyTarget(const TokenRequest& request, ChangeSet& changes)
{
    changes.targetPstate = request.index;
}

constexpr TokenNeed kNothing{};
// Without northbridge P-states there is nothing to set or split; marking every
// core P-state would only rewrite them unchanged.
constexpr TokenNeed kNbPstates{&kNbPstateFeature, Lacking::warn};

// Width of the first column of the usage lines.
constexpr std::size_t kUsageColumn = 32;

} // namespace

const std::array<TokenForm, 6> kTokenForms{{
    {"P<n>=<multiplier>@<voltage>", "core P-state n (either part may be left out)", readCorePstateValueKey,
     readCoreMultiplierAtVoltage, kNothing, {&kEncodableMultipliers, Lacking::refuse}, applyCorePstate},
    {"NB_P<n>=<multiplier>@<voltage>", "northbridge P-state n", readNbPstateKey, readNbMultiplierAtVoltage,
     kNbPstates, {&kNbMultiplierFeature, Lacking::warn}, applyNbPstate},
    {"NB_low=<n>", "core P-states below n use NB_P0, the others NB_P1", readNbSplitKey, readInteger, kNbPstates,
     kNothing, applyNbSplit},
    {"Turbo=0|1", "core performance boost off or on", readTurboKey, readSwitch, {&kBoostFeature, Lacking::warn},
     kNothing, applyTurbo},
    {"APM=0|1", "APM off or on (family 0x15)", readApmKey, readSwitch, {&kApmFeature, Lacking::warn}, kNothing,
     applyApm},
    {"P<n>", "switch to core P-state n", readTargetKey, readNothing, kNothing, kNothing, applyTarget},
}};

std::string tokenFormsUsage()
{
    std::string text;
    for (const TokenForm& form : kTokenForms) {
        std::string usage = form.usage;
        usage.resize(kUsageColumn, ' ');
        text += "  " + usage + form.meaning + "\n";
    }
    return text;
}
