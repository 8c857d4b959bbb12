#include "sim/register_changes.h"

#include <cstddef>
#include <cstdint>

#include "control/active_pstate.h"
#include "control/boost.h"
#include "cpu/probe.h"
#include "cpu/processor_profile.h"
#include "cpu/family_traits.h"
#include "cpu/registers.h"
#include "cpu/vid.h"
#include "hw/bitfield.h"
#include "machine/tokenizer.h"
#include "pstate/core_pstate.h"
#include "pstate/nb_pstate.h"
#include "report/format.h"

namespace {

// The processor as the probe would see it, from the register file alone; false
// when the probe would refuse it, and then nothing is decoded.
bool decodingProfile(const Machine& machine, ProcessorProfile& profile)
{
    const auto vendor = machine.cpuidLeaves.find(kCpuidVendor);
    const auto signature = machine.cpuidLeaves.find(kCpuidFamilyModel);
    if (vendor == machine.cpuidLeaves.end() || vendor->second.ecx != kAmdVendorEcx
        || signature == machine.cpuidLeaves.end() || !identifyProcessor(profile, signature->second.eax))
        return false;
    const auto limits = machine.msrs.find(kMsrCofvidStatus);
    if (limits != machine.msrs.end())
        decodeLimits(profile, limits->second);
    return true;
}

// A multiplier as the report prints it, except that a divisor without a table
// entry decodes as absent: the report shows the -1 as it is, a change names it.
std::string multiplier(double value)
{
    return value >= 0.0 ? multiplierText(value) : "unknown";
}

// As the report shows a core P-state, on one line.
std::string corePstateText(const ProcessorProfile& profile, std::uint32_t n, std::uint64_t value)
{
    const CorePstate p = decodeCorePstate(profile, static_cast<std::int32_t>(n), value);
    std::string text = multiplier(shownCoreMultiplier(profile, p.multiplier)) + " at " + voltageText(profile, p.vid);
    if (p.nbPstate >= 0)
        text += ", " + northbridgeText(profile, p);
    return text;
}

std::string nbPstateText(const ProcessorProfile& profile, std::uint32_t n, std::uint32_t value)
{
    const NbPstate p = decodeNbPstate(profile, static_cast<std::int32_t>(n), value);
    return multiplier(p.multiplier) + " at " + voltageText(profile, p.vid);
}

// Which northbridge P-state register this is, or -1.
std::int32_t nbPstateAt(std::uint32_t reg)
{
    for (std::int32_t n = 0; n < kMaxNbPstates; ++n)
        if (reg == nbPstateAddress(n))
            return n;
    return -1;
}

std::string onOff(bool on)
{
    return on ? "on" : "off";
}

std::string transition(const std::string& before, const std::string& after)
{
    return before + " -> " + after;
}

// Name and decoded change of an MSR; an empty decoding for one we do not know.
void describeMsr(const ProcessorProfile* profile, std::uint32_t msr, std::uint64_t before, std::uint64_t after,
                 std::string& name, std::string& decoded)
{
    name = "MSR " + hex(msr);
    if (profile == nullptr)
        return;
    if (msr >= kMsrPstateBase && msr < kMsrPstateBase + static_cast<std::uint32_t>(kMaxCorePstates)) {
        const std::uint32_t n = msr - kMsrPstateBase;
        name = "P" + std::to_string(n) + " (" + name + ")";
        decoded = transition(corePstateText(*profile, n, before), corePstateText(*profile, n, after));
    } else if (msr == kMsrHardwareConfig) {
        // The bit disables boost.
        decoded = "core performance boost "
            + transition(onOff(!bits::test(before, kBoostDisable)), onOff(!bits::test(after, kBoostDisable)));
    } else if (msr == kMsrPstateControl) {
        decoded = "P-state request "
            + transition(std::to_string(bits::get(before, kPstateRequest)),
                         std::to_string(bits::get(after, kPstateRequest)));
    }
}

void describePci(const ProcessorProfile* profile, const PciAddress& address, std::uint32_t before,
                 std::uint32_t after, std::string& name, std::string& decoded)
{
    name = "PCI " + pciText(address);
    if (profile == nullptr || address.device != kNorthbridgeDevice)
        return;
    const FamilyTraits& traits = familyTraits(*profile);
    const std::int32_t nbPstate = address.function == kFunctionExtendedMisc ? nbPstateAt(address.reg) : -1;
    if (traits.hasNbPstateRegisters && nbPstate >= 0) {
        const auto n = static_cast<std::uint32_t>(nbPstate);
        name = "NB_P" + std::to_string(n) + " (" + name + ")";
        decoded = transition(nbPstateText(*profile, n, before), nbPstateText(*profile, n, after));
    } else if (address.function == kFunctionLinkControl && address.reg == kPciBoostControl) {
        decoded = "boost source "
            + transition(std::to_string(bits::get(before, kBoostSource)),
                         std::to_string(bits::get(after, kBoostSource)));
        // The APM bit means APM only where the family has APM.
        if (traits.hasApm)
            decoded += ", APM "
                + transition(onOff(bits::test(before, kApmEnable)), onOff(bits::test(after, kApmEnable)));
    }
}

// The cores of one MSR line, on a machine with more than one: " on core 3",
// " on cores 0-5", " on cores 1-2,4".
std::string coresText(const std::vector<std::int32_t>& cores)
{
    if (cores.size() == 1)
        return " on core " + std::to_string(cores.front());
    std::string text;
    for (std::size_t i = 0; i < cores.size();) {
        std::size_t last = i;
        while (last + 1 < cores.size() && cores[last + 1] == cores[last] + 1)
            ++last;
        text += (text.empty() ? "" : ",") + std::to_string(cores[i]);
        if (last > i)
            text += "-" + std::to_string(cores[last]);
        i = last + 1;
    }
    return " on cores " + text;
}

// The cores on which an MSR went from one value to another.
struct CoreChange {
    std::uint64_t before = 0;
    std::uint64_t after = 0;
    std::vector<std::int32_t> cores;
};

// An MSR's changes, one per pair of old and new values, by lowest core. An MSR
// missing from before counts as 0 on every core, and as changed.
std::vector<CoreChange> coreChanges(const Machine& before, const Machine& after, std::uint32_t msr)
{
    const bool existed = before.msrs.count(msr) != 0;
    std::vector<CoreChange> changes;
    for (std::int32_t core = 0; core < machineCoreCount(after); ++core) {
        CoreChange change;
        (void)msrOnCore(after, core, msr, change.after);
        if (existed && msrOnCore(before, core, msr, change.before) && change.before == change.after)
            continue;
        auto same = changes.begin();
        while (same != changes.end() && (same->before != change.before || same->after != change.after))
            ++same;
        if (same == changes.end())
            same = changes.insert(changes.end(), change);
        same->cores.push_back(core);
    }
    return changes;
}

std::string changeLine(const std::string& name, std::uint64_t before, std::uint64_t after, const std::string& decoded)
{
    std::string line = "changed " + name + ": " + transition(hex(before), hex(after));
    if (!decoded.empty())
        line += ": " + decoded;
    return line;
}

} // namespace

std::vector<std::string> describeRegisterChanges(const Machine& before, const Machine& after)
{
    ProcessorProfile decoded;
    const ProcessorProfile* profile = decodingProfile(before, decoded) ? &decoded : nullptr;

    std::vector<std::string> lines;
    const bool severalCores = machineCoreCount(after) > 1;
    for (const auto& entry : after.msrs) {
        const std::uint32_t msr = entry.first;
        for (const CoreChange& change : coreChanges(before, after, msr)) {
            std::string name;
            std::string text;
            describeMsr(profile, msr, change.before, change.after, name, text);
            if (severalCores)
                name += coresText(change.cores);
            lines.push_back(changeLine(name, change.before, change.after, text));
        }
    }
    for (const auto& [address, value] : after.pciRegisters) {
        const auto old = before.pciRegisters.find(address);
        const std::uint32_t oldValue = old == before.pciRegisters.end() ? 0 : old->second;
        if (oldValue == value)
            continue;
        std::string name;
        std::string text;
        describePci(profile, address, oldValue, value, name, text);
        lines.push_back(changeLine(name, oldValue, value, text));
    }
    return lines;
}
