#pragma once
// Every register write of a change goes through here. Each one but the P-state
// request is read back at once from the same core or function: a register
// that does not take a write (locked by the firmware, or behind a hypervisor
// that drops MSR writes) must end the run with an error rather than pass for
// done. The first write holds the signals that would cut the change in half
// (hw/signal_hold.h).

#include <cstdint>

#include "hw/bitfield.h"
#include "hw/device.h"

// Writes value to msr on core and reads it back from that core; throws
// ExceptionWithMessage when a bit of fields, the fields this write replaced,
// reads otherwise than written. The other bits are the hardware's, which may
// change them at will. A write that changes nothing is checked all the same.
void writeMsrChecked(std::int32_t core, std::uint32_t msr, std::uint64_t value, std::uint64_t fields);

// The same for a PCI configuration register; fields as bits::mask gives them.
void writePciConfigChecked(std::uint8_t device, std::uint8_t function, std::uint32_t reg, std::uint32_t value,
                           std::uint64_t fields);

// A write that is not read back: the P-state request, which the hardware and
// the operating system's own P-state driver change at will, so that what it
// reads a moment later says nothing about this write.
void writeMsrUnchecked(std::int32_t core, std::uint32_t msr, std::uint64_t value);

// One read-modify-write of msr on core: modify takes the value read and
// returns the new value and the fields it replaced, which the read-back then
// checks. Every bit outside those fields is written back as read.
template <typename Modify>
void modifyMsr(std::int32_t core, std::uint32_t msr, Modify modify)
{
    const bits::Rewrite<std::uint64_t> after = modify(readMsr(core, msr));
    writeMsrChecked(core, msr, after.value, after.fields);
}

// The same for a PCI configuration register.
template <typename Modify>
void modifyPciConfig(std::uint8_t device, std::uint8_t function, std::uint32_t reg, Modify modify)
{
    const bits::Rewrite<std::uint32_t> after = modify(readPciConfig(device, function, reg));
    writePciConfigChecked(device, function, reg, after.value, after.fields);
}

// The modify of a write that replaces one field with fieldValue, cut to its
// width, for either helper above.
inline auto replacingField(bits::Field field, std::uint64_t fieldValue)
{
    return [field, fieldValue](auto value) {
        bits::Rewrite<decltype(value)> after{value};
        bits::replace(after, field, fieldValue);
        return after;
    };
}
