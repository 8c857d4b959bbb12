#include "pstate/nb_pstate.h"

#include <cmath>

#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "cpu/features.h"
#include "cpu/nb_pstate_fields.h"
#include "hw/bitfield.h"
#include "hw/device.h"
#include "hw/exception_with_message.h"
#include "hw/register_write.h"

namespace {

using namespace nb_pstate_fields;

// The top bit of an 8-bit VID, the one kVid has no room for.
constexpr bits::Field kVidCodeBit7 = bits::bit(7);

constexpr double kLowestRatio = 2.0;
constexpr double kHighestRatio = 35.0;
constexpr std::uint32_t kLowestNumerator = 4;
constexpr std::uint32_t kHighestNumerator = 35;

std::uint32_t clampNumerator(double value)
{
    // value lies in 2.0 .. 70.0 here, so the truncation is defined.
    const auto n = static_cast<std::uint32_t>(value);
    if (n >= kHighestNumerator)
        return kHighestNumerator;
    if (n < kLowestNumerator + 1)
        return kLowestNumerator;
    return n;
}

NbRatioCode codeFor(std::uint32_t numerator, std::uint32_t divisor)
{
    return NbRatioCode{numerator - kLowestNumerator, divisor};
}

// The code a register value holds.
NbRatioCode ratioCodeOf(std::uint32_t value)
{
    return NbRatioCode{bits::get(value, kFrequencyId), bits::get(value, kDivisor)};
}

// The ratio a code stands for.
double nbRatio(NbRatioCode code)
{
    return static_cast<double>(code.frequencyId + kLowestNumerator) / std::exp2(static_cast<double>(code.divisor));
}

// The register of northbridge P-state index, once the request has been found
// to concern an existing northbridge P-state of a processor that has them.
std::uint32_t nbPstateRegister(const ProcessorProfile& profile, std::int32_t index)
{
    if (!familyTraits(profile).hasNbPstateRegisters)
        throw ExceptionWithMessage(kNbPstateFeature.lacking);
    // A number past the last northbridge P-state would land on the control
    // register behind them or beyond; refuse it rather than write there.
    if (index < 0 || index >= profile.nbPstateCount || index >= kMaxNbPstates)
        throw ExceptionWithMessage("NB P-state index out of range");
    return nbPstateAddress(index);
}

// value with the fields request sets replaced, and which those were.
bits::Rewrite<std::uint32_t> encode(const ProcessorProfile& profile, const NbPstate& request, std::uint32_t value)
{
    bits::Rewrite<std::uint32_t> r;
    r.value = value;
    // A NaN multiplier fails this test and so leaves the ratio alone.
    if (request.multiplier >= 0.0) {
        // Some ratios have two codes (11 whole and 22 halved). A register that
        // already holds the ratio the request comes to keeps its own code, the
        // one its firmware chose, so that its own settings change nothing.
        NbRatioCode code = encodeNbRatio(request.multiplier);
        if (nbRatio(code) == nbRatio(ratioCodeOf(value)))
            code = ratioCodeOf(value);
        bits::replace(r, kFrequencyId, code.frequencyId);
        bits::replace(r, kDivisor, code.divisor);
    }
    if (request.vid >= 0) {
        const auto vid = static_cast<std::uint32_t>(request.vid);
        bits::replace(r, kVid, vid);
        if (profile.eightBitVids)
            bits::replace(r, kVidBit7, bits::get(vid, kVidCodeBit7));
    }
    return r;
}

} // namespace

NbRatioCode encodeNbRatio(double multiplier)
{
    double m = multiplier;
    if (!(m <= kHighestRatio))
        m = std::isnan(m) ? kLowestRatio : kHighestRatio;
    if (m < kLowestRatio)
        m = kLowestRatio;

    const std::uint32_t whole = clampNumerator(m);
    if (m == static_cast<double>(whole))
        return codeFor(whole, 0);

    // Below 4 the whole series has nothing at or under m, so any half step wins.
    const double wholeRatio = m > static_cast<double>(whole) ? static_cast<double>(whole) : -1.0;
    const std::uint32_t half = clampNumerator(2.0 * m);
    const double halfRatio = static_cast<double>(half) / 2.0;
    if (wholeRatio < halfRatio && halfRatio <= m)
        return codeFor(half, 1);
    return codeFor(whole, 0);
}

NbPstate decodeNbPstate(const ProcessorProfile& profile, std::int32_t index, std::uint32_t value)
{
    NbPstate pstate;
    pstate.index = index;
    pstate.multiplier = nbRatio(ratioCodeOf(value));
    std::uint32_t vid = bits::get(value, kVid);
    if (profile.eightBitVids)
        vid = bits::set(vid, kVidCodeBit7, bits::get(value, kVidBit7));
    pstate.vid = static_cast<std::int32_t>(vid);
    return pstate;
}

std::uint32_t encodeNbPstate(const ProcessorProfile& profile, const NbPstate& request, std::uint32_t value)
{
    return encode(profile, request, value).value;
}

NbPstate readNbPstate(const ProcessorProfile& profile, std::int32_t index)
{
    const std::uint32_t reg = nbPstateRegister(profile, index);
    return decodeNbPstate(profile, index, readPciConfig(kNorthbridgeDevice, kFunctionExtendedMisc, reg));
}

std::vector<std::int32_t> writeNbPstate(const ProcessorProfile& profile, const NbPstate& pstate)
{
    const std::uint32_t reg = nbPstateRegister(profile, pstate.index);
    // On every node, node 0 first. Written even when the request sets nothing:
    // the register gets back what it held.
    std::vector<std::int32_t> disabledOn;
    forEachNode(profile, [&](std::int32_t node) {
        modifyPciConfig(northbridgeOf(node), kFunctionExtendedMisc, reg, [&](std::uint32_t value) {
            if (!nbPstateEnabled(value))
                disabledOn.push_back(node);
            return encode(profile, pstate, value);
        });
    });
    return disabledOn;
}

bool nbPstateEnabled(std::uint32_t value)
{
    return bits::test(value, kPstateEnable);
}
