#include "report/change_lines.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cpu/every_core.h"
#include "cpu/family_traits.h"
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

std::string fieldText(const OwnedField& field, std::uint64_t value)
{
    const std::uint64_t code = bits::get(value, field.bits);
    switch (field.text) {
    case FieldText::onWhenSet:
        return onOff(code != 0);
    case FieldText::offWhenSet:
        return onOff(code == 0);
    case FieldText::number:
        break;
    }
    return std::to_string(code);
}

// The name and decoded fields of register n of row: a P-state whole, as the
// report shows it, or each field with a label that the register has.
void describe(const ProcessorProfile& profile, const WritableRegister& row, std::int32_t n, RegisterChange& change)
{
    if (&row == &corePstateRegisters()) {
        change.name = pstateName(row, n, change.name);
        change.fields.push_back(FieldChange{"", corePstateLineText(profile, corePstateItem(profile, n, change.before)),
                                            corePstateLineText(profile, corePstateItem(profile, n, change.after))});
        return;
    }
    if (&row == &nbPstateRegisters()) {
        if (!familyTraits(profile).hasNbPstateRegisters)
            return;
        const auto before = static_cast<std::uint32_t>(change.before);
        const auto after = static_cast<std::uint32_t>(change.after);
        change.name = pstateName(row, n, change.name);
        change.fields.push_back(FieldChange{"", clockText(profile, nbPstateItem(profile, n, before)),
                                            clockText(profile, nbPstateItem(profile, n, after))});
        return;
    }
    for (const OwnedField& field : row.fields)
        if (field.label != nullptr && hasField(profile, field))
            change.fields.push_back(
                FieldChange{field.label, fieldText(field, change.before), fieldText(field, change.after)});
}

// Name and decoded fields of an MSR; no fields for one the program does not
// know.
void describeMsr(const ProcessorProfile* profile, std::uint32_t msr, RegisterChange& change)
{
    change.name = "MSR " + hexText(msr);
    std::int32_t n = 0;
    const WritableRegister* row = writableRegisterOf(WritableRegister::Scope::everyCore, 0, msr, n);
    if (profile != nullptr && row != nullptr)
        describe(*profile, *row, n, change);
}

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
    std::int32_t n = 0;
    const WritableRegister* row = writableRegisterOf(WritableRegister::Scope::everyNode, function, reg, n);
    if (profile != nullptr && device == northbridgeOf(0) && row != nullptr)
        describe(*profile, *row, n, change);
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
