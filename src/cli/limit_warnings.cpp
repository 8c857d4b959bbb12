#include "cli/limit_warnings.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cpu/vid.h"
#include "pstate/core_pstate.h"
#include "report/format.h"

namespace {

// The voltages are compared as VIDs: a lower VID is a higher voltage, and
// no rounding of volts can make two equal VIDs differ.
std::vector<std::int32_t> vidsAfterTheChange(const ProcessorProfile& profile, const ChangeSet& changes)
{
    std::vector<std::int32_t> vids;
    for (const CorePstate& request : changes.corePstates)
        vids.push_back(request.vid >= 0 ? request.vid : readCorePstate(profile, request.index).vid);
    return vids;
}

bool anyVoltageSet(const ChangeSet& changes)
{
    return std::any_of(changes.corePstates.begin(), changes.corePstates.end(),
                       [](const CorePstate& request) { return request.vid >= 0; });
}

std::string pstateVoltage(const ProcessorProfile& profile, std::size_t n, std::int32_t vid)
{
    return "P" + std::to_string(n) + "'s " + voltageText(profile, vid);
}

// One warning at most for a token's voltage: the slower P-state with the most
// voltage above it, or else the faster one with the least below it, unless a
// token set that one too and is warned of itself.
void warnOfOrder(const ProcessorProfile& profile, const ChangeSet& changes, const std::vector<std::int32_t>& vids,
                 std::size_t n, Warnings& warnings)
{
    const std::string& token = changes.corePstateTokens[n].voltage;
    const std::int32_t vid = vids[n];
    std::size_t slower = n;
    for (std::size_t j = n + 1; j < vids.size(); ++j)
        if (vids[j] < vid && (slower == n || vids[j] < vids[slower]))
            slower = j;
    if (slower != n) {
        warn(warnings, token + ": " + voltageText(profile, vid) + " is below "
                           + pstateVoltage(profile, slower, vids[slower]) + ", a slower P-state");
        return;
    }
    std::size_t faster = n;
    for (std::size_t j = 0; j < n; ++j)
        if (vids[j] > vid && (faster == n || vids[j] > vids[faster]))
            faster = j;
    if (faster != n && changes.corePstates[faster].vid < 0)
        warn(warnings, token + ": " + voltageText(profile, vid) + " is above "
                           + pstateVoltage(profile, faster, vids[faster]) + ", a faster P-state");
}

} // namespace

void warnPastLimits(const ProcessorProfile& profile, const ChangeSet& changes, Warnings& warnings)
{
    const std::int32_t highestVid = voltageToVid(profile, profile.maxVoltage);
    for (std::size_t n = 0; n < changes.corePstates.size(); ++n) {
        const CorePstate& request = changes.corePstates[n];
        const PstateTokens& tokens = changes.corePstateTokens[n];
        if (request.vid >= 0 && request.vid < highestVid)
            warn(warnings, tokens.voltage + ": " + voltageText(profile, request.vid)
                               + " is above the highest voltage this processor reports ("
                               + numberText(profile.maxVoltage) + "V)");
        if (request.multiplier > profile.topMultiplier)
            warn(warnings, tokens.multiplier + ": " + multiplierText(shownCoreMultiplier(profile, request.multiplier))
                               + " is above the highest multiplier this processor reports ("
                               + multiplierText(shownCoreMultiplier(profile, profile.topMultiplier)) + ")");
    }
    if (!anyVoltageSet(changes))
        return;
    const std::vector<std::int32_t> vids = vidsAfterTheChange(profile, changes);
    for (std::size_t n = 0; n < vids.size(); ++n)
        if (changes.corePstates[n].vid >= 0)
            warnOfOrder(profile, changes, vids, n, warnings);
}
