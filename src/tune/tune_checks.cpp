#include "tune/tune_checks.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "control/active_pstate.h"
#include "cpu/every_core.h"
#include "cpu/registers.h"
#include "cpu/temperature.h"
#include "hw/device.h"
#include "hw/load.h"
#include "report/format.h"

namespace {

constexpr int kLooks = 10;
constexpr std::chrono::milliseconds kLookInterval{100};

// A core's current P-state and the processor's limit on it, both as the
// report numbers P-states.
struct CorePstates {
    std::int32_t core = 0;
    std::int32_t pstate = 0;
    std::int32_t limit = 0;
};

std::vector<CorePstates> lookAtCores(const ProcessorProfile& profile)
{
    std::vector<CorePstates> cores;
    forEachCore(profile, [&](std::int32_t core) {
        const auto limit = static_cast<std::int32_t>(bits::get(readMsr(core, kMsrPstateLimit), kCurrentPstateLimit));
        cores.push_back(CorePstates{core, currentPstate(core), limit + profile.boostStateCount});
    });
    return cores;
}

std::string moved(const CorePstates& before, const CorePstates& now)
{
    const std::string core = "core " + std::to_string(now.core);
    if (now.pstate != before.pstate)
        return core + " moved from P" + std::to_string(before.pstate) + " to P" + std::to_string(now.pstate)
            + " within a second, not by this program: another program (powerd, a cpufreq governor) switches "
              "P-states; stop it before tuning";
    if (now.limit != before.limit)
        return core + "'s P-state limit moved from P" + std::to_string(before.limit) + " to P"
            + std::to_string(now.limit)
            + " within a second: the processor limits its P-states for heat or power; tune when it does not";
    return std::string();
}

} // namespace

std::string unsteadyPstates(const ProcessorProfile& profile)
{
    const std::vector<CorePstates> first = lookAtCores(profile);
    for (int look = 0; look < kLooks; ++look) {
        watchingPause(kLookInterval);
        const std::vector<CorePstates> now = lookAtCores(profile);
        for (std::size_t i = 0; i < first.size() && i < now.size(); ++i) {
            std::string why = moved(first[i], now[i]);
            if (!why.empty())
                return why;
        }
    }
    return std::string();
}

std::optional<NodeTctl> tctlBeyond(const ProcessorProfile& profile, double limit)
{
    std::optional<NodeTctl> beyond;
    forEachNode(profile, [&](std::int32_t node) {
        if (beyond)
            return;
        const std::optional<double> celsius = readTctl(profile, node);
        if (!celsius || *celsius > limit)
            beyond = NodeTctl{node, celsius};
    });
    return beyond;
}

std::string tctlOneDecimal(double celsius)
{
    char text[32];
    (void)std::snprintf(text, sizeof text, "%.1fC", celsius);
    return text;
}

std::string tctlRefusal(const ProcessorProfile& profile, double limit)
{
    if (limit <= 0.0)
        return std::string();
    const std::optional<NodeTctl> beyond = tctlBeyond(profile, limit);
    if (!beyond)
        return std::string();
    const std::string node = " on node " + std::to_string(beyond->node);
    if (!beyond->celsius)
        return "Tctl not available" + node + "; give --tctl-limit 0 to tune without watching it";
    return "Tctl " + tctlOneDecimal(*beyond->celsius) + node + " is above the limit of " + numberText(limit)
        + "C; let the machine cool first";
}
