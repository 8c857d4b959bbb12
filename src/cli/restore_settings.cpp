#include "cli/restore_settings.h"

#include <algorithm>
#include <cstddef>
#include <string>

#include "control/active_pstate.h"
#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "cpu/registers.h"
#include "cpu/writable_registers.h"
#include "hw/bitfield.h"
#include "hw/device.h"
#include "hw/register_write.h"
#include "pstate/core_pstate_fields.h"
#include "pstate/nb_pstate.h"

namespace {

// A saved register with what it holds now.
struct Restoring {
    const SavedRegister* saved = nullptr;
    std::uint64_t now = 0;
};

bool isOn(const std::vector<std::int32_t>& numbers, std::int32_t number)
{
    return std::find(numbers.begin(), numbers.end(), number) != numbers.end();
}

// Gives back fields of each register of row, register by register and core
// by core (or node by node), each a read-modify-write read back, where they
// differ; returns the register numbers written.
std::vector<bool> giveBack(std::vector<Restoring>& registers, const WritableRegister& row, std::uint64_t fields)
{
    std::vector<Restoring*> ofRow;
    for (Restoring& reg : registers)
        if (reg.saved->row == &row)
            ofRow.push_back(&reg);
    std::stable_sort(ofRow.begin(), ofRow.end(), [](const Restoring* a, const Restoring* b) {
        return a->saved->n != b->saved->n ? a->saved->n < b->saved->n : a->saved->where < b->saved->where;
    });
    std::vector<bool> written(static_cast<std::size_t>(row.room));
    for (Restoring* reg : ofRow) {
        const SavedRegister& saved = *reg->saved;
        if (((reg->now ^ saved.value) & fields) == 0)
            continue;
        const auto modify = [&saved, fields](auto value) {
            using Value = decltype(value);
            return bits::Rewrite<Value>{static_cast<Value>((value & ~fields) | (saved.value & fields)), fields};
        };
        if (row.scope == WritableRegister::Scope::everyCore)
            modifyMsr(saved.where, row.number(saved.n), modify);
        else
            modifyPciConfig(northbridgeOf(saved.where), row.function, row.number(saved.n), modify);
        reg->now = (reg->now & ~fields) | (saved.value & fields);
        written[static_cast<std::size_t>(saved.n)] = true;
    }
    return written;
}

const WritableRegister* rowOf(std::uint32_t first)
{
    for (const WritableRegister& row : writableRegisters())
        if (row.first == first)
            return &row;
    return nullptr;
}

} // namespace

RestoredSwitch restoreSettings(const ProcessorProfile& profile, const SavedSettings& saved, Warnings& warnings)
{
    const std::vector<std::int32_t> offlineNow = offlineCores(profile);
    for (const std::int32_t core : offlineNow)
        warn(warnings, "core " + std::to_string(core) + " is offline, left unchanged");
    for (const std::int32_t core : saved.offline)
        if (!isOn(offlineNow, core))
            warn(warnings, "core " + std::to_string(core) + " was offline when saved, left unchanged");

    // Every register is read before the first write, so that a core or node
    // that cannot be reached stops the run with nothing changed.
    forEachOtherCore(profile, checkMsrDevice);
    std::vector<Restoring> registers;
    for (const SavedRegister& reg : saved.registers) {
        if (reg.row->scope == WritableRegister::Scope::everyCore && isOn(offlineNow, reg.where))
            continue;
        registers.push_back(Restoring{&reg, readSavedRegister(reg)});
    }

    // A token change's order: northbridge P-states, boost source, APM, core
    // P-states, core performance boost, the switch.
    const FamilyTraits& traits = familyTraits(profile);
    (void)giveBack(registers, nbPstateRegisters(), nbPstateRestoredFields(profile));
    if (profile.boostSupported)
        (void)giveBack(registers, boostControlRegister(), bits::mask(kBoostSource));
    if (traits.hasApm)
        (void)giveBack(registers, boostControlRegister(), bits::mask(kApmEnable));
    // Every field a token writes lies in the low half; the enable bit is the
    // one bit above it that is given back, the rest is the firmware's.
    const std::vector<bool> rewritten = giveBack(
        registers, corePstateRegisters(),
        bits::mask(core_pstate_fields::kLowHalf) | bits::mask(core_pstate_fields::kPstateEnable));
    if (const WritableRegister* hardwareConfig = rowOf(kMsrHardwareConfig); hardwareConfig != nullptr && profile.boostSupported)
        (void)giveBack(registers, *hardwareConfig, bits::mask(kBoostDisable));

    // A rewritten P-state a core runs in is entered again, as after tokens;
    // then each core is asked for the P-state it was asked for when saved.
    (void)switchPstates(profile, -1, rewritten);
    RestoredSwitch result;
    for (const Restoring& reg : registers) {
        const SavedRegister& s = *reg.saved;
        if (!isPstateRequest(s.row->number(s.n)))
            continue;
        const std::uint64_t now = readMsr(s.where, kMsrPstateControl);
        const std::uint64_t request = bits::get(s.value, kPstateRequest);
        if (bits::get(now, kPstateRequest) == request)
            continue;
        writeMsrUnchecked(s.where, kMsrPstateControl, bits::set(now, kPstateRequest, request));
        result.switched.push_back(s.where);
        result.target = static_cast<std::int32_t>(request) + profile.boostStateCount;
    }
    std::sort(result.switched.begin(), result.switched.end());
    return result;
}
