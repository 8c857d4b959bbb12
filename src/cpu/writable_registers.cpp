#include "cpu/writable_registers.h"

#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "cpu/registers.h"

namespace {

using Scope = WritableRegister::Scope;

std::int32_t ifBoost(const ProcessorProfile& profile)
{
    return profile.boostSupported ? 1 : 0;
}

// APM lives in the boost control register too, and is switched whether or not
// the processor has boost.
std::int32_t ifBoostOrApm(const ProcessorProfile& profile)
{
    return profile.boostSupported || familyTraits(profile).hasApm ? 1 : 0;
}

std::int32_t enabledPstates(const ProcessorProfile& profile)
{
    return profile.pstateCount;
}

std::int32_t nbPstates(const ProcessorProfile& profile)
{
    return familyTraits(profile).hasNbPstateRegisters ? nbPstateRegisterCount(profile) : 0;
}

std::int32_t always(const ProcessorProfile& /*profile*/)
{
    return 1;
}

// Trivially destroyed, so that the listing of changes at exit can still read it.
constexpr WritableRegisters kRows = {{
    {Scope::everyCore, 0, kMsrHardwareConfig, 1, 1, ifBoost, nullptr},
    {Scope::everyNode, kFunctionLinkControl, kPciBoostControl, 1, 1, ifBoostOrApm, nullptr},
    {Scope::everyCore, 0, corePstateMsr(0), 1, kMaxCorePstates, enabledPstates, "P"},
    {Scope::everyNode, kFunctionExtendedMisc, nbPstateAddress(0), nbPstateAddress(1) - nbPstateAddress(0),
     kMaxNbPstates, nbPstates, "NB_P"},
    {Scope::everyCore, 0, kMsrPstateControl, 1, 1, always, nullptr},
}};

} // namespace

const WritableRegisters& writableRegisters()
{
    return kRows;
}

const WritableRegister& boostControlRegister()
{
    return writableRegisters()[1];
}

const WritableRegister& corePstateRegisters()
{
    return writableRegisters()[2];
}

const WritableRegister& nbPstateRegisters()
{
    return writableRegisters()[3];
}

std::int32_t indexIn(const WritableRegister& row, std::uint32_t reg)
{
    for (std::int32_t n = 0; n < row.room; ++n)
        if (reg == row.number(n))
            return n;
    return -1;
}

bool isPstateRequest(std::uint32_t msr)
{
    return msr == kMsrPstateControl;
}
