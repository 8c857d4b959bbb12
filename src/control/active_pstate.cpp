#include "control/active_pstate.h"

#include <unistd.h>

#include "cpu/registers.h"
#include "hw/bitfield.h"
#include "hw/device.h"
#include "hw/exception_with_message.h"
#include "hw/register_write.h"
#include "pstate/core_pstate.h"

std::int32_t currentPstate()
{
    return static_cast<std::int32_t>(bits::get(readMsr(0, kMsrCofvidStatus), kCurrentPstate));
}

void activatePstate(const ProcessorProfile& profile, std::int32_t pstate)
{
    // The request field has three bits, room for the eight P-states the hardware
    // can have; a number past them would wrap round to a different P-state.
    if (pstate < 0 || pstate >= profile.pstateCount || pstate >= kMaxCorePstates)
        throw ExceptionWithMessage("P-state index out of range");

    // The request field counts from the first non-boosted P-state; a boosted
    // one cannot be asked for, and asking for it gets the first non-boosted.
    const std::int32_t request = pstate > profile.boostStateCount ? pstate - profile.boostStateCount : 0;
    const std::uint64_t value = readMsr(0, kMsrPstateControl);
    writeMsrUnchecked(0, kMsrPstateControl, bits::set(value, kPstateRequest, static_cast<std::uint64_t>(request)));
}

void reenterPstate(const ProcessorProfile& profile, std::int32_t pstate)
{
    // The last enabled P-state is the one to leave to, unless it is pstate
    // itself; then the first.
    const std::int32_t last = profile.pstateCount - 1;
    activatePstate(profile, pstate == last ? 0 : last);
    ::sleep(1);
    activatePstate(profile, pstate);
}
