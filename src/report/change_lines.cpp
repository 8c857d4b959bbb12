#include "report/change_lines.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "control/active_pstate.h"
#include "cpu/family_traits.h"
#include "cpu/every_core.h"
#include "cpu/registers.h"
#include "cpu/writable_registers.h"
#include "hw/bitfield.h"
#include "hw/cpu_list.h"
#include "hw/device.h"
#include "hw/hex_text.h"
#include "pstate/core_pstate.h"
#include "pstate/nb_pstate.h"
#include "report/format.h"
#include "report/report_walk.h"

namespace {

// "P1 (MSR 0xc0010065)": a P-state's register by its name, then its number.
std::string pstateName(const WritableRegister& row, std::int32_t n, const std::string& number)
{
    return row.name + std::to_string(n) + " (" + number + ")";
}

std::string onOff(bool on)
{
    return on ? "on" : "off";
}

std::string transition(const std::string& before, const std::string& after)
{
    return before + " -> " + after;
}

// Name and decoded fields of an MSR; no fields for one the program does not
// know.
void describeMsr(const ProcessorProfile* profile, std::uint32_t msr, RegisterChange& change)
{
    change.name = "MSR " + hexText(msr);
    if (profile == nullptr)
        return;
    if (const std::int32_t n = indexIn(corePstateRegisters(), msr); n >= 0) {
        change.name = pstateName(corePstateRegisters(), n, change.name);
        change.fields.push_back(FieldChange{"", corePstateLineText(*profile, corePstateItem(*profile, n, change.before)),
                                            corePstateLineText(*profile, corePstateItem(*profile, n, change.after))});
    } else if (msr == kMsrHardwareConfig) {
        // The bit disables boost.
        change.fields.push_back(FieldChange{"core performance boost", onOff(!bits::test(change.before, kBoostDisable)),
                                            onOff(!bits::test(change.after, kBoostDisable))});
    } else if (msr == kMsrPstateControl) {
        change.fields.push_back(FieldChange{"P-state request", std::to_string(bits::get(change.before, kPstateRequest)),
                                            std::to_string(bits::get(change.after, kPstateRequest))});
    }
}

} // namespace

namespace {

// One change per pair of old and new values, in the order of the lowest number
// that has it; describe names and decodes a new one.
template <typename Describe>
std::vector<RegisterChange> grouped(const std::vector<ValuesOn>& values, std::vector<std::int32_t> RegisterChange::*numbers,
                                    Describe describe)
{
    std::vector<RegisterChange> changes;
    for (const ValuesOn& value : values) {
        auto same = changes.begin();
        while (same != changes.end() && (same->before != value.before || same->after != value.after))
            ++same;
        if (same == changes.end()) {
            RegisterChange change;
            change.before = value.before;
            change.after = value.after;
            describe(change);
            same = changes.insert(changes.end(), change);
        }
        ((*same).*numbers).push_back(value.number);
    }
    return changes;
}

// Name and decoded fields of a PCI register; no fields for one the program
// does not know.
void describePci(const ProcessorProfile* profile, std::uint8_t device, std::uint8_t function, std::uint32_t reg,
                 RegisterChange& change)
{
    change.name = "PCI " + pciRegisterText(device, function, reg);
    if (profile == nullptr || device != northbridgeOf(0))
        return;
    const auto before = static_cast<std::uint32_t>(change.before);
    const auto after = static_cast<std::uint32_t>(change.after);
    const FamilyTraits& traits = familyTraits(*profile);
    const WritableRegister& nbPstates = nbPstateRegisters();
    const std::int32_t nbPstate = function == nbPstates.function ? indexIn(nbPstates, reg) : -1;
    if (traits.hasNbPstateRegisters && nbPstate >= 0) {
        change.name = pstateName(nbPstates, nbPstate, change.name);
        change.fields.push_back(
            FieldChange{"", clockText(*profile, nbPstateItem(*profile, nbPstate, before)),
                        clockText(*profile, nbPstateItem(*profile, nbPstate, after))});
    } else if (function == kFunctionLinkControl && reg == kPciBoostControl) {
        change.fields.push_back(FieldChange{"boost source", std::to_string(bits::get(before, kBoostSource)),
                                            std::to_string(bits::get(after, kBoostSource))});
        // The APM bit means APM only where the family has APM.
        if (traits.hasApm)
            change.fields.push_back(
                FieldChange{"APM", onOff(bits::test(before, kApmEnable)), onOff(bits::test(after, kApmEnable))});
    }
}

} // namespace

std::vector<RegisterChange> msrChanges(const ProcessorProfile* profile, std::uint32_t msr,
                                       const std::vector<ValuesOn>& values)
{
    return grouped(values, &RegisterChange::cores, [&](RegisterChange& change) { describeMsr(profile, msr, change); });
}

std::vector<RegisterChange> pciChanges(const ProcessorProfile* profile, std::uint8_t device, std::uint8_t function,
                                       std::uint32_t reg, const std::vector<ValuesOn>& values)
{
    return grouped(values, &RegisterChange::nodes,
                   [&](RegisterChange& change) { describePci(profile, device, function, reg, change); });
}

std::string numberListText(const char* what, const std::vector<std::int32_t>& numbers)
{
    if (numbers.size() == 1)
        return std::string(what) + " " + std::to_string(numbers.front());
    return std::string(what) + "s " + cpuListText(numbers);
}

std::string changeLine(const char* verb, const RegisterChange& change, bool severalCores, bool severalNodes)
{
    std::string line = std::string(verb) + " " + change.name;
    if (severalCores && !change.cores.empty())
        line += " on " + numberListText("core", change.cores);
    if (severalNodes && !change.nodes.empty())
        line += " on " + numberListText("node", change.nodes);
    line += ": " + transition(hexText(change.before), hexText(change.after));
    const char* separator = ": ";
    for (const FieldChange& field : change.fields) {
        line += separator;
        if (!field.label.empty())
            line += field.label + " ";
        line += transition(field.before, field.after);
        separator = ", ";
    }
    return line;
}
