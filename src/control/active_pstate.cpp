#include "control/active_pstate.h"

#include "cpu/registers.h"
#include "hw/bitfield.h"
#include "hw/device.h"
#include "hw/exception_with_message.h"
#include "hw/register_write.h"
#include "pstate/core_pstate.h"

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

std::int32_t awayPstate(const ProcessorProfile& profile, std::int32_t pstate)
{
    const std::int32_t last = profile.pstateCount - 1;
    return pstate == last ? 0 : last;
}
