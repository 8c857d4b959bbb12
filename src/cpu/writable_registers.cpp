#include "cpu/writable_registers.h"

#include "cpu/core_pstate_fields.h"
#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "cpu/nb_pstate_fields.h"
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

// Whether a register has a field: from the family and model alone, which
// even a profile that only identified the processor knows (pravellon-sim's
// listing of what a run changed has no more).
bool sevenBitVids(const ProcessorProfile& profile)
{
    return !profile.eightBitVids;
}

bool eightBitVids(const ProcessorProfile& profile)
{
    return profile.eightBitVids;
}

bool selectsNbPstate(const ProcessorProfile& profile)
{
    return familyTraits(profile).hasNbPstateSelect;
}

bool holdsNbVid(const ProcessorProfile& profile)
{
    return familyTraits(profile).hasNbVidInCorePstate;
}

bool hasApm(const ProcessorProfile& profile)
{
    return familyTraits(profile).hasApm;
}

using Step = ChangeStep;
using Text = FieldText;

constexpr OwnedField kHardwareConfigFields[] = {
    {kBoostDisable, Step::coreBoost, nullptr, &kBoostFeature, "core performance boost", Text::offWhenSet},
};

// The boost source is decoded wherever the register is, but written only on
// a processor with boost; the bit means APM only where the family has APM.
constexpr OwnedField kBoostControlFields[] = {
    {kBoostSource, Step::boostSource, nullptr, &kBoostFeature, "boost source", Text::number},
    {kApmEnable, Step::apm, hasApm, nullptr, "APM", Text::onWhenSet},
};

constexpr OwnedField kCorePstateFields[] = {
    {core_pstate_fields::kClock, Step::corePstates},
    {core_pstate_fields::kCoreVid7, Step::corePstates, sevenBitVids},
    {core_pstate_fields::kCoreVid8, Step::corePstates, eightBitVids},
    {core_pstate_fields::kNbPstateSelect, Step::corePstates, selectsNbPstate},
    {core_pstate_fields::kNbVid, Step::corePstates, holdsNbVid},
    {core_pstate_fields::kPstateEnable, Step::corePstates},
};

constexpr OwnedField kNbPstateFields[] = {
    {nb_pstate_fields::kPstateEnable, Step::nbPstates},
    {nb_pstate_fields::kFrequencyId, Step::nbPstates},
    {nb_pstate_fields::kDivisor, Step::nbPstates},
    {nb_pstate_fields::kVid, Step::nbPstates},
    {nb_pstate_fields::kVidBit7, Step::nbPstates, eightBitVids},
};

constexpr OwnedField kPstateControlFields[] = {
    {kPstateRequest, Step::pstateRequest, nullptr, nullptr, "P-state request", Text::number},
};

// Trivially destroyed, so that the listing of changes at exit can still read it.
constexpr WritableRegisters kRows = {{
    {Scope::everyCore, 0, kMsrHardwareConfig, 1, 1, ifBoost, nullptr, ownedFields(kHardwareConfigFields)},
    {Scope::everyNode, kFunctionLinkControl, kPciBoostControl, 1, 1, ifBoostOrApm, nullptr,
     ownedFields(kBoostControlFields)},
    {Scope::everyCore, 0, corePstateMsr(0), 1, kMaxCorePstates, enabledPstates, "P", ownedFields(kCorePstateFields)},
    {Scope::everyNode, kFunctionExtendedMisc, nbPstateAddress(0), nbPstateAddress(1) - nbPstateAddress(0),
     kMaxNbPstates, nbPstates, "NB_P", ownedFields(kNbPstateFields)},
    {Scope::everyCore, 0, kMsrPstateControl, 1, 1, always, nullptr, ownedFields(kPstateControlFields)},
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

const WritableRegister* writableRegisterOf(WritableRegister::Scope scope, std::uint8_t function, std::uint32_t reg,
                                           std::int32_t& n)
{
    for (const WritableRegister& row : writableRegisters()) {
        if (row.scope != scope || (scope == Scope::everyNode && row.function != function))
            continue;
        n = indexIn(row, reg);
        if (n >= 0)
            return &row;
    }
    return nullptr;
}

bool hasField(const ProcessorProfile& profile, const OwnedField& field)
{
    return field.has == nullptr || field.has(profile);
}

std::uint64_t ownedBits(const ProcessorProfile& profile, const WritableRegister& row, ChangeStep step)
{
    std::uint64_t owned = 0;
    for (const OwnedField& field : row.fields)
        if (field.step == step && hasField(profile, field) && (field.needs == nullptr || field.needs->present(profile)))
            owned |= bits::mask(field.bits);
    return owned;
}

bool isPstateRequest(std::uint32_t msr)
{
    return msr == kMsrPstateControl;
}
