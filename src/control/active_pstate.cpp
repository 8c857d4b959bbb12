#include "control/active_pstate.h"

#include <unistd.h>

#include <cstddef>
#include <utility>

#include "cpu/every_core.h"
#include "cpu/registers.h"
#include "hw/bitfield.h"
#include "hw/device.h"
#include "hw/exception_with_message.h"
#include "hw/recorded_writes.h"
#include "hw/register_write.h"
#include "pstate/core_pstate.h"

namespace {

// The P-state a core leaves to before it enters pstate again: the processor
// takes a rewritten P-state register into effect only when it enters that
// P-state. The last enabled P-state, unless that is pstate itself; then the
// first.
std::int32_t awayPstate(const ProcessorProfile& profile, std::int32_t pstate)
{
    const std::int32_t last = profile.pstateCount - 1;
    return pstate == last ? 0 : last;
}

} // namespace

std::int32_t currentPstate(std::int32_t core)
{
    return static_cast<std::int32_t>(bits::get(readMsr(core, kMsrCofvidStatus), kCurrentPstate));
}

void activatePstate(const ProcessorProfile& profile, std::int32_t core, std::int32_t pstate)
{
    // The request field has three bits, room for the eight P-states the hardware
    // can have; a number past them would wrap round to a different P-state.
    if (pstate < 0 || pstate >= profile.pstateCount || pstate >= kMaxCorePstates)
        throw ExceptionWithMessage("P-state index out of range");

    // The request field counts from the first non-boosted P-state; a boosted
    // one cannot be asked for, and asking for it gets the first non-boosted.
    const std::int32_t request = pstate > profile.boostStateCount ? pstate - profile.boostStateCount : 0;
    const std::uint64_t value = readMsr(core, kMsrPstateControl);
    writeMsrUnchecked(core, kMsrPstateControl, bits::set(value, kPstateRequest, static_cast<std::uint64_t>(request)));
}

std::vector<std::int32_t> switchPstates(const ProcessorProfile& profile, std::int32_t target,
                                       const std::vector<bool>& modified)
{
    const auto isModified = [&modified](std::int32_t pstate) {
        return pstate >= 0 && static_cast<std::size_t>(pstate) < modified.size()
            && modified[static_cast<std::size_t>(pstate)];
    };
    // Each core with the P-state it runs in.
    std::vector<std::pair<std::int32_t, std::int32_t>> current;
    forEachCore(profile, [&current](std::int32_t core) { current.emplace_back(core, currentPstate(core)); });

    std::vector<std::int32_t> switched;
    std::vector<std::pair<std::int32_t, std::int32_t>> sentAway;
    for (const auto& [core, pstate] : current) {
        if (target >= 0 && target != pstate) {
            activatePstate(profile, core, target);
            switched.push_back(core);
        } else if (isModified(pstate)) {
            activatePstate(profile, core, awayPstate(profile, pstate));
            sentAway.emplace_back(core, pstate);
        }
    }
    if (sentAway.empty())
        return switched;
    // A dry run changes no P-state, so there is nothing to wait for.
    if (!writesArePlanned())
        ::sleep(1);
    for (const auto& [core, pstate] : sentAway)
        activatePstate(profile, core, pstate);
    return switched;
}
