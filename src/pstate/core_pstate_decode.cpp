#include "cpu/clock_codec.h"
#include "cpu/core_pstate_fields.h"
#include "cpu/family_traits.h"
#include "hw/bitfield.h"
#include "hw/device.h"
#include "pstate/core_pstate.h"

namespace {

constexpr std::int32_t kAbsent = -1;

} // namespace

CorePstate decodeCorePstate(const ProcessorProfile& profile, std::int32_t index, std::uint64_t value)
{
    using namespace core_pstate_fields;
    const FamilyTraits& traits = familyTraits(profile);
    // The upper half holds nothing we decode.
    const auto r = static_cast<std::uint32_t>(bits::get(value, kLowHalf));

    CorePstate pstate;
    pstate.index = index;
    pstate.multiplier = decodeMultiplier(profile, r);
    pstate.vid = static_cast<std::int32_t>(bits::get(r, profile.eightBitVids ? kCoreVid8 : kCoreVid7));
    pstate.nbPstate = traits.hasNbPstateSelect ? static_cast<std::int32_t>(bits::get(r, kNbPstateSelect)) : kAbsent;
    pstate.nbVid = traits.hasNbVidInCorePstate ? static_cast<std::int32_t>(bits::get(r, kNbVid)) : kAbsent;
    return pstate;
}

CorePstate readCorePstate(const ProcessorProfile& profile, std::int32_t index)
{
    return decodeCorePstate(profile, index, readMsr(0, corePstateMsr(index)));
}
