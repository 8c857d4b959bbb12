#include "cli/settings_tokens.h"

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "cli/number_text.h"
#include "control/boost.h"
#include "cpu/clock_codec.h"
#include "cpu/features.h"
#include "cpu/vid.h"
#include "pstate/core_pstate.h"
#include "pstate/nb_pstate.h"
#include "report/format.h"
#include "report/report_walk.h"
#include "report/warnings.h"

namespace {

// What the report's walk hands over that a token can set again, and the
// cores and nodes whose settings differ from the first ones': the tokens set
// every core and every node alike, so theirs are lost.
struct Settings {
    std::vector<CorePstate> corePstates;
    std::vector<NbPstate> nbPstates;
    std::optional<bool> boost;
    std::optional<bool> apm;
    std::vector<DifferingCoreItem> differingCores;
    std::vector<DifferingNodeItem> differingNodes;
};

struct GatherSettings {
    Settings& settings;

    void operator()(const BoostItem& item) const
    {
        if (item.supported)
            settings.boost = item.enabled;
    }
    void operator()(const ApmItem& item) const { settings.apm = item.enabled; }
    void operator()(const CorePstateItem& item) const { settings.corePstates.push_back(item.pstate); }
    void operator()(const NbPstateItem& item) const { settings.nbPstates.push_back(item.pstate); }
    // Every name the walk gives a differing core or node (P-states, boost, the
    // boost source, APM, northbridge P-states) is something a token sets.
    void operator()(const DifferingCoreItem& item) const { settings.differingCores.push_back(item); }
    void operator()(const DifferingNodeItem& item) const { settings.differingNodes.push_back(item); }
    template <typename Item>
    void operator()(const Item& /*item*/) const
    {
    }
};

// value with six significant digits as the report prints it, or with as few
// more as it takes for readsBack to accept the text; nullopt when no text
// does.
template <typename ReadsBack>
std::optional<std::string> numberText(double value, ReadsBack readsBack)
{
    for (int digits = 6; digits <= std::numeric_limits<double>::max_digits10; ++digits) {
        std::ostringstream text;
        text.precision(digits);
        text << value;
        if (readsBack(text.str()))
            return text.str();
    }
    return std::nullopt;
}

// A voltage as a token gives it: only one that strict reading takes and
// that comes back as the same VID.
std::optional<std::string> tokenVoltage(const ProcessorProfile& profile, std::int32_t vid)
{
    if (vid < 0)
        return std::nullopt;
    return numberText(vidToVoltage(profile, vid), [&](const std::string& text) {
        const std::optional<double> volts = readDecimalText(text, 'v');
        return volts && isWritableVoltage(profile, *volts) && voltageToVid(profile, *volts) == vid;
    });
}

// A core multiplier as typed (in reference clocks), only where the encoder
// produces the multiplier the register holds.
std::optional<std::string> coreMultiplierText(const ProcessorProfile& profile, const CorePstate& pstate)
{
    if (!(pstate.multiplier >= 0.0) || !kEncodableMultipliers.present(profile))
        return std::nullopt;
    return numberText(shownCoreMultiplier(profile, pstate.multiplier), [&](const std::string& text) {
        const std::optional<double> typed = readDecimalText(text, 'x');
        if (!typed)
            return false;
        CorePstate request;
        request.index = pstate.index;
        request.multiplier = *typed * profile.refClockFactor;
        const CorePstate encoded = decodeCorePstate(profile, pstate.index, encodeCorePstate(profile, 0, request));
        return encoded.multiplier == pstate.multiplier;
    });
}

std::optional<std::string> nbMultiplierText(const ProcessorProfile& profile, const NbPstate& pstate)
{
    if (!(pstate.multiplier >= 0.0))
        return std::nullopt;
    return numberText(pstate.multiplier, [&](const std::string& text) {
        const std::optional<double> typed = readDecimalText(text, 'x');
        if (!typed)
            return false;
        NbPstate request;
        request.index = pstate.index;
        request.multiplier = *typed;
        return decodeNbPstate(profile, pstate.index, encodeNbPstate(profile, request, 0)).multiplier
            == pstate.multiplier;
    });
}

// "KEY=MULTIPLIER@VOLTAGE" with what can be given of the two; nothing when
// neither can.
void addPairToken(std::vector<std::string>& tokens, const std::string& key,
                  const std::optional<std::string>& multiplier, const std::optional<std::string>& voltage)
{
    if (!multiplier && !voltage)
        return;
    std::string token = key + "=" + multiplier.value_or("");
    if (voltage)
        token += "@" + *voltage;
    tokens.push_back(token);
}

// Family 0x10: NB_Pn=@VOLTAGE where every enabled P-state that runs the
// northbridge in NB_Pn carries the same northbridge voltage.
void addNbVoltageTokens(std::vector<std::string>& tokens, const ProcessorProfile& profile,
                        const std::vector<CorePstate>& pstates)
{
    for (std::int32_t nb = 0; nb < 2; ++nb) {
        std::optional<std::int32_t> vid;
        bool same = true;
        for (const CorePstate& pstate : pstates) {
            if (pstate.nbPstate != nb)
                continue;
            same = same && (!vid || *vid == pstate.nbVid);
            vid = pstate.nbVid;
        }
        if (vid && same)
            addPairToken(tokens, "NB_P" + std::to_string(nb), std::nullopt, tokenVoltage(profile, *vid));
    }
}

// NB_low=n where the first n P-states run NB_P0 and every later one NB_P1.
void addNbSplitToken(std::vector<std::string>& tokens, const std::vector<CorePstate>& pstates)
{
    std::size_t low = 0;
    while (low < pstates.size() && pstates[low].nbPstate == 0)
        ++low;
    for (std::size_t i = low; i < pstates.size(); ++i) {
        if (pstates[i].nbPstate != 1)
            return;
    }
    tokens.push_back("NB_low=" + std::to_string(low));
}

// What the line cannot express, on standard error: a core or node that
// differs from the first (in the report's words), and boost whose two halves
// disagree, since Turbo= sets both alike.
void warnOfWhatTheTokensLose(const ProcessorProfile& profile, const Settings& settings)
{
    Warnings warnings;
    for (const DifferingCoreItem& item : settings.differingCores)
        warn(warnings, "core " + std::to_string(item.core) + " differs from core 0 in " + namesText(item.in)
                           + "; the tokens set every core alike");
    for (const DifferingNodeItem& item : settings.differingNodes)
        warn(warnings, "node " + std::to_string(item.node) + " differs from node 0 in " + namesText(item.in)
                           + "; the tokens set every node alike");
    if (settings.boost && !boostHalvesAgree(profile))
        warn(warnings, "core 0's boost and node 0's boost source disagree; the tokens set both alike");
}

} // namespace

void printSettingsAsTokens(const ProcessorProfile& profile)
{
    Settings settings;
    const GatherSettings gather{settings};
    walkReport(
        profile, [&gather](const ReportItem& item) { std::visit(gather, item); }, true);

    std::vector<std::string> tokens;
    for (const CorePstate& pstate : settings.corePstates) {
        const std::string key = "P" + std::to_string(pstate.index);
        // Its voltage alone would give it back with a clock nobody chose: the
        // P-state is left as the user finds it.
        if (!(pstate.multiplier >= 0.0)) {
            std::cerr << "WARNING: " << key << " has a reserved divisor: left out" << std::endl;
            continue;
        }
        addPairToken(tokens, key, coreMultiplierText(profile, pstate), tokenVoltage(profile, pstate.vid));
    }
    if (kNbPstateFeature.present(profile) && !kNbMultiplierFeature.present(profile))
        addNbVoltageTokens(tokens, profile, settings.corePstates);
    for (const NbPstate& pstate : settings.nbPstates)
        addPairToken(tokens, "NB_P" + std::to_string(pstate.index), nbMultiplierText(profile, pstate),
                     tokenVoltage(profile, pstate.vid));
    if (kNbPstateFeature.present(profile))
        addNbSplitToken(tokens, settings.corePstates);
    if (settings.boost)
        tokens.push_back(std::string("Turbo=") + (*settings.boost ? "1" : "0"));
    if (settings.apm)
        tokens.push_back(std::string("APM=") + (*settings.apm ? "1" : "0"));

    std::string line;
    for (const std::string& token : tokens)
        line += (line.empty() ? "" : " ") + token;
    std::cout << line << std::endl;
    warnOfWhatTheTokensLose(profile, settings);
}
