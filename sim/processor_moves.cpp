#include "sim/processor_moves.h"

#include <algorithm>

#include "control/active_pstate.h"
#include "cpu/probe.h"
#include "cpu/processor_profile.h"
#include "cpu/registers.h"
#include "hw/bitfield.h"
#include "pstate/core_pstate.h"
#include "sim/register_changes.h"

namespace {

std::uint32_t pciRegister(const Machine& machine, std::uint8_t function, std::uint32_t reg)
{
    const auto it = machine.pciRegisters.find(PciAddress{kNorthbridgeDevice, function, reg});
    return it == machine.pciRegisters.end() ? 0 : it->second;
}

} // namespace

void followWrite(Machine& machine, std::int32_t core, std::uint32_t msr, std::uint64_t value)
{
    ProcessorProfile profile;
    std::uint64_t status = 0;
    if (msr != kMsrPstateControl || !decodingProfile(machine, profile)
        || !msrOnCore(machine, core, kMsrCofvidStatus, status))
        return;
    std::int32_t boosted = 0;
    const auto power = machine.cpuidLeaves.find(kCpuidPowerManagement);
    if (power != machine.cpuidLeaves.end() && bits::test(power->second.edx, kBoostSupported))
        boosted = decodeBoostStateCount(profile, pciRegister(machine, kFunctionLinkControl, kPciBoostControl));
    const std::int32_t last = decodePstateCount(pciRegister(machine, kFunctionMisc, kPciClockPowerControl)) - 1;
    const auto requested = static_cast<std::int32_t>(bits::get(value, kPstateRequest));
    const std::int32_t pstate = std::min(requested + boosted, last);
    status = bits::set(status, kCurrentPstate, static_cast<std::uint64_t>(pstate));
    // Entering the P-state takes its voltage as its register holds it now.
    std::uint64_t definition = 0;
    if (pstate >= 0 && msrOnCore(machine, core, corePstateMsr(pstate), definition))
        status = bits::set(status, kCurrentVid,
                           static_cast<std::uint64_t>(decodeCorePstate(profile, pstate, definition).vid));
    setMsrOnCore(machine, core, kMsrCofvidStatus, status);
}

bool movedByProcessor(std::uint32_t msr)
{
    return msr == kMsrCofvidStatus || msr == kMsrPstateLimit;
}
