#include "cpu/clock_codec.h"
#include "cpu/core_pstate_fields.h"
#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "hw/bitfield.h"
#include "hw/device.h"
#include "hw/register_write.h"
#include "pstate/core_pstate.h"
#include "pstate/nb_vid_carry.h"

namespace {

using Replaced = bits::Rewrite<std::uint64_t>;

void put(Replaced& r, bits::Field f, std::int32_t code)
{
    // Only called with codes that are not negative; replace() cuts them to the field.
    bits::replace(r, f, static_cast<std::uint64_t>(code));
}

// value with the fields request sets replaced, and which those were.
Replaced encode(const ProcessorProfile& profile, std::uint64_t value, const CorePstate& request)
{
    using namespace core_pstate_fields;
    const FamilyTraits& traits = familyTraits(profile);
    Replaced r;
    r.value = value;

    if (request.multiplier >= 0.0) // a NaN is not a request
        replaceMultiplier(profile, r, request.multiplier);

    if (request.vid >= 0)
        put(r, profile.eightBitVids ? kCoreVid8 : kCoreVid7, request.vid);

    if (request.nbPstate >= 0 && traits.hasNbPstateSelect)
        put(r, kNbPstateSelect, request.nbPstate != 0 ? 1 : 0);

    // A family with northbridge P-state registers keeps its northbridge voltages
    // there; only a family without them stores one per core P-state.
    if (request.nbVid >= 0 && traits.hasNbVidInCorePstate)
        put(r, kNbVid, request.nbVid);

    return r;
}

} // namespace

std::uint64_t encodeCorePstate(const ProcessorProfile& profile, std::uint64_t value, const CorePstate& request)
{
    return encode(profile, value, request).value;
}

std::vector<std::int32_t> writeCorePstate(const ProcessorProfile& profile, const CorePstate& pstate,
                                          const std::vector<NbPstate>& nbPstates)
{
    const std::uint32_t msr = corePstateMsr(pstate.index);

    // On each core one read, one write and its read-back, also when nothing is
    // requested. The encoding, the only step that can refuse, sits between the
    // read and the write and refuses on core 0 already, so a refusal leaves
    // every core's register as it was.
    std::vector<std::int32_t> disabledOn;
    forEachCore(profile, [&](std::int32_t core) {
        modifyMsr(core, msr, [&](std::uint64_t before) {
            if (!bits::test(before, core_pstate_fields::kPstateEnable))
                disabledOn.push_back(core);
            return encode(profile, before, carryNbVidOnCore(profile, pstate, nbPstates, before));
        });
    });
    return disabledOn;
}
