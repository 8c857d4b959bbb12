#include "cli/restore_settings.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

#include "control/active_pstate.h"
#include "cpu/every_core.h"
#include "cpu/writable_registers.h"
#include "hw/bitfield.h"
#include "hw/device.h"
#include "hw/register_write.h"

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

// The field of row that a change writes in step, where it has one.
const OwnedField* fieldOf(const WritableRegister& row, ChangeStep step)
{
    for (const OwnedField& field : row.fields)
        if (field.step == step)
            return &field;
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

    // A token change's order, and in each step the fields a token could have
    // set there, with the P-states' enable bits; the rest is the firmware's.
    // The switch comes last, on its own.
    std::vector<bool> rewritten;
    for (const ChangeStep step : kChangeSteps) {
        if (step == ChangeStep::pstateRequest)
            continue;
        for (const WritableRegister& row : writableRegisters()) {
            const std::uint64_t fields = ownedBits(profile, row, step);
            if (fields == 0)
                continue;
            std::vector<bool> written = giveBack(registers, row, fields);
            if (&row == &corePstateRegisters())
                rewritten = std::move(written);
        }
    }

    // A rewritten P-state a core runs in is entered again, as after tokens;
    // then each core is asked for the P-state it was asked for when saved.
    (void)switchPstates(profile, -1, rewritten);
    RestoredSwitch result;
    for (const Restoring& reg : registers) {
        const SavedRegister& s = *reg.saved;
        const OwnedField* field = fieldOf(*s.row, ChangeStep::pstateRequest);
        if (field == nullptr)
            continue;
        const std::uint32_t msr = s.row->number(s.n);
        const std::uint64_t now = readMsr(s.where, msr);
        const std::uint64_t request = bits::get(s.value, field->bits);
        if (bits::get(now, field->bits) == request)
            continue;
        writeMsrUnchecked(s.where, msr, bits::set(now, field->bits, request));
        result.switched.push_back(s.where);
        result.target = static_cast<std::int32_t>(request) + profile.boostStateCount;
    }
    std::sort(result.switched.begin(), result.switched.end());
    return result;
}
