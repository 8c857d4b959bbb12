#include "hw/register_write.h"

#include <string>

#include "hw/device.h"
#include "hw/exception_with_message.h"
#include "hw/hex_text.h"
#include "hw/signal_hold.h"

namespace {

// "did not take 0x... (reads 0x...)", after the register's name: the whole
// register both times, so that a bit the hardware keeps shows beside the rest.
std::string refusal(const std::string& where, std::uint64_t written, std::uint64_t read)
{
    return where + " did not take " + hexText(written) + " (reads " + hexText(read) + ")";
}

} // namespace

void writeMsrChecked(std::int32_t core, std::uint32_t msr, std::uint64_t value, std::uint64_t fields)
{
    writeMsrUnchecked(core, msr, value);
    const std::uint64_t read = readMsr(core, msr);
    if (((read ^ value) & fields) != 0)
        throw ExceptionWithMessage(refusal("MSR " + hexText(msr) + " on core " + std::to_string(core), value, read));
}

void writePciConfigChecked(std::uint8_t device, std::uint8_t function, std::uint32_t reg, std::uint32_t value,
                           std::uint64_t fields)
{
    holdSignals();
    writePciConfig(device, function, reg, value);
    const std::uint32_t read = readPciConfig(device, function, reg);
    if (((read ^ value) & fields) != 0) {
        throw ExceptionWithMessage(refusal("PCI " + pciRegisterText(device, function, reg), value, read));
    }
}

void writeMsrUnchecked(std::int32_t core, std::uint32_t msr, std::uint64_t value)
{
    holdSignals();
    writeMsr(core, msr, value);
}
