#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "hw/bitfield.h"
#include "hw/device.h"
#include "pstate/core_pstate.h"
#include "pstate/core_pstate_fields.h"
#include "pstate/multiplier_encoding.h"

namespace {

std::uint64_t put(std::uint64_t value, bits::Field f, std::int32_t code)
{
    // Only called with codes that are not negative; set() cuts them to the field.
    return bits::set(value, f, static_cast<std::uint64_t>(code));
}

std::uint64_t putClock(const ProcessorProfile& profile, std::uint64_t value, const MultiplierCodes& codes)
{
    using namespace core_pstate_fields;
    switch (familyTraits(profile).clockEncoding) {
    case ClockEncoding::divisorTable:
        return put(put(value, kTableFrequencyId, codes.first), kTableDivisorId, codes.second);
    case ClockEncoding::quarterStepDivisor:
        return put(put(value, kIntegerDigit, codes.first), kQuarterDigit, codes.second);
    case ClockEncoding::powerOfTwoDivisor:
        break;
    }
    return put(put(value, kPowerOfTwoFrequencyId, codes.first), kPowerOfTwoDivisorId, codes.second);
}

} // namespace

std::uint64_t encodeCorePstate(const ProcessorProfile& profile, std::uint64_t value, const CorePstate& request)
{
    using namespace core_pstate_fields;
    const FamilyTraits& traits = familyTraits(profile);

    if (request.multiplier >= 0.0) // a NaN is not a request
        value = putClock(profile, value, encodeMultiplier(profile, request.multiplier));

    if (request.vid >= 0)
        value = put(value, hasEightBitVids(profile) ? kCoreVid8 : kCoreVid7, request.vid);

    if (request.nbPstate >= 0 && traits.hasNbPstateSelect)
        value = bits::set(value, kNbPstateSelect, request.nbPstate != 0 ? 1u : 0u);

    // A family with northbridge P-state registers keeps its northbridge voltages
    // there; only a family without them stores one per core P-state.
    if (request.nbVid >= 0 && traits.hasNbVidInCorePstate)
        value = put(value, kNbVid, request.nbVid);

    return value;
}

void writeCorePstate(const ProcessorProfile& profile, const CorePstate& pstate)
{
    const std::uint32_t msr = kMsrPstateBase + static_cast<std::uint32_t>(pstate.index);

    // On each core one read, one write, also when nothing is requested. The
    // encoding, the only step that can refuse, sits between them and refuses on
    // core 0 already, so a refusal leaves every core's register as it was.
    modifyMsrOnEveryCore(profile, msr,
                         [&](std::uint64_t before) { return encodeCorePstate(profile, before, pstate); });
}
