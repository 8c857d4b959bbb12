#pragma once
// Every register a token can write, in one table, with the fields this program
// owns in each: what the capture copies, the other nodes' reads before a
// change, what a restore gives back and compares, and the names and decoded
// fields of the change lines all come from here, so that a new writable
// register is one more row.

#include <array>
#include <cstddef>
#include <cstdint>

#include "cpu/features.h"
#include "cpu/processor_profile.h"
#include "hw/bitfield.h"

// The steps of a change, in the order it takes them; a restore gives fields
// back in the same order.
enum class ChangeStep { nbPstates, boostSource, apm, corePstates, coreBoost, pstateRequest };
inline constexpr std::array<ChangeStep, 6> kChangeSteps = {ChangeStep::nbPstates,   ChangeStep::boostSource,
                                                           ChangeStep::apm,         ChangeStep::corePstates,
                                                           ChangeStep::coreBoost,   ChangeStep::pstateRequest};

// How a change line tells a field's value.
enum class FieldText {
    number,
    onWhenSet,
    offWhenSet, // a bit that disables what the label names
};

// A field that this program owns in a writable register: one a token writes,
// or a P-state's enable bit, which only a restore writes. Every other bit is
// the firmware's, and a write gives it back as read.
struct OwnedField {
    bits::Field bits{0, 0};
    ChangeStep step = ChangeStep::corePstates;
    // Whether this processor's register has the field; nullptr where every
    // register of the row has it. Asks the family and model alone, which is
    // all that the change lines of pravellon-sim know; they decode a field
    // wherever the register has it.
    bool (*has)(const ProcessorProfile& profile) = nullptr;
    // What else the processor needs for a token to write the field;
    // nullptr for nothing. A restore gives back only what a token could have
    // set.
    const Feature* needs = nullptr;
    // "LABEL OLD -> NEW" in a change line; nullptr for a field of a P-state,
    // whose line decodes the P-state whole.
    const char* label = nullptr;
    FieldText text = FieldText::number;
};

// A row's owned fields: a constant array of them.
struct OwnedFields {
    const OwnedField* first = nullptr;
    std::size_t count = 0;

    constexpr const OwnedField* begin() const { return first; }
    constexpr const OwnedField* end() const { return first + count; }
};

template <std::size_t N>
constexpr OwnedFields ownedFields(const OwnedField (&fields)[N])
{
    return OwnedFields{fields, N};
}

struct WritableRegister {
    enum class Scope { everyCore, everyNode }; // an MSR, or a northbridge register
    Scope scope = Scope::everyCore;
    std::uint8_t function = 0; // of a northbridge register
    std::uint32_t first = 0;   // MSR or PCI register; of a run of P-states, P0's
    std::uint32_t stride = 1;  // from one P-state's register to the next
    std::int32_t room = 1;     // registers the hardware has room for
    // The registers of the run this processor has, 0 .. count - 1; 0 where
    // its family lacks the register.
    std::int32_t (*count)(const ProcessorProfile& profile) = nullptr;
    // How a change line names register n: this and n ("P1", "NB_P0");
    // nullptr for a register named by its number alone.
    const char* name = nullptr;
    OwnedFields fields;

    std::uint32_t number(std::int32_t n) const { return first + stride * static_cast<std::uint32_t>(n); }
};

// The rows, in the order the program first reads them after the probe: the
// switches' registers, the core P-states, the northbridge P-states, and the
// P-state request.
using WritableRegisters = std::array<WritableRegister, 5>;
const WritableRegisters& writableRegisters();

// The rows by name, for the code that writes them.
const WritableRegister& corePstateRegisters();
const WritableRegister& nbPstateRegisters();
const WritableRegister& boostControlRegister();

// Which register of row reg is, 0 .. room - 1, on any processor; -1 where it is
// none of the row's.
std::int32_t indexIn(const WritableRegister& row, std::uint32_t reg);

// The row of MSR or northbridge register reg (of function, for a northbridge
// register), with which of the row's it is in n; nullptr where it is no
// row's.
const WritableRegister* writableRegisterOf(WritableRegister::Scope scope, std::uint8_t function, std::uint32_t reg,
                                           std::int32_t& n);

// Whether this processor's register has the field.
bool hasField(const ProcessorProfile& profile, const OwnedField& field);

// The bits of row's fields that a change writes in step on this processor,
// enable bits among them: what a restore gives back there.
std::uint64_t ownedBits(const ProcessorProfile& profile, const WritableRegister& row, ChangeStep step);

// The MSR that only asks a core to switch P-state: a dry run says the switch
// instead of the value.
bool isPstateRequest(std::uint32_t msr);
