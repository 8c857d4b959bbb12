#include "hw/bitfield.h"
#include "hw/device.h"
#include "pstate/core_pstate.h"
#include "pstate/core_pstate_fields.h"
#include "pstate/multiplier_encoding.h"

namespace {

using core_pstate_fields::Field;

std::uint64_t put(std::uint64_t value, Field f, std::int32_t code)
{
    // Only called with codes that are not negative; set() cuts them to the field.
    return bits::set(value, f.hi, f.lo, static_cast<std::uint64_t>(code));
}

std::uint64_t putClock(const ProcessorProfile& profile, std::uint64_t value, const MultiplierCodes& codes)
{
    using namespace core_pstate_fields;
    switch (profile.family) {
    case 0x12:
        return put(put(value, kFamily12FrequencyId, codes.first), kFamily12DivisorId, codes.second);
    case 0x14:
        return put(put(value, kFamily14IntegerDigit, codes.first), kFamily14QuarterDigit, codes.second);
    default: // 0x10 and 0x15
        return put(put(value, kPowerOfTwoFrequencyId, codes.first), kPowerOfTwoDivisorId, codes.second);
    }
}

} // namespace

std::uint64_t encodeCorePstate(const ProcessorProfile& profile, std::uint64_t value, const CorePstate& request)
{
    using namespace core_pstate_fields;

    if (request.multiplier >= 0.0) // a NaN is not a request
        value = putClock(profile, value, encodeMultiplier(profile, request.multiplier));

    if (request.vid >= 0)
        value = put(value, hasEightBitVids(profile) ? kCoreVid8 : kCoreVid7, request.vid);

    if (request.nbPstate >= 0 && (profile.family == 0x10 || profile.family == 0x15))
        value = bits::set(value, kNbPstateBit, kNbPstateBit, request.nbPstate != 0 ? 1u : 0u);

    // Family 0x15 keeps its northbridge voltages in the northbridge P-state
    // registers; only family 0x10 stores one per core P-state.
    if (request.nbVid >= 0 && profile.family == 0x10)
        value = put(value, kNbVid, request.nbVid);

    return value;
}

void writeCorePstate(const ProcessorProfile& profile, const CorePstate& pstate)
{
    const std::uint32_t msr = kMsrPstateBase + static_cast<std::uint32_t>(pstate.index);

    // One read, one write, also when nothing is requested. The encoding, the only
    // step that can refuse, sits between them, so a refusal leaves the register
    // exactly as it was.
    const std::uint64_t before = readMsr(msr);
    writeMsr(msr, encodeCorePstate(profile, before, pstate));
}
