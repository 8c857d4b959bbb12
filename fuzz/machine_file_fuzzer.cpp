// libFuzzer target: the machine-file reader of pravellon-sim, and the writer that
// saves register writes back into the same text. A file that does not read
// must be refused with a message and its line, never by ending the process; a
// file that reads must survive a save: what is saved reads back as the same
// machine, also after every register changed, and saving it again changes
// nothing.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "machine/parser.h"
#include "machine/writer.h"

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool sameLeaves(const Machine& a, const Machine& b)
{
    if (a.cpuidLeaves.size() != b.cpuidLeaves.size())
        return false;
    for (const auto& leaf : a.cpuidLeaves) {
        const auto other = b.cpuidLeaves.find(leaf.first);
        if (other == b.cpuidLeaves.end())
            return false;
        const CpuidRegisters& x = leaf.second;
        const CpuidRegisters& y = other->second;
        if (x.eax != y.eax || x.ebx != y.ebx || x.ecx != y.ecx || x.edx != y.edx)
            return false;
    }
    return true;
}

// Every core's value of every MSR; a core's own line that repeats core 0's
// value is not written back, so the lines themselves may differ.
bool sameCores(const Machine& a, const Machine& b)
{
    if (machineCpus(a) != machineCpus(b))
        return false;
    for (const auto& msr : a.msrs) {
        for (const std::int32_t core : machineCpus(a)) {
            std::uint64_t x = 0;
            std::uint64_t y = 0;
            if (!msrOnCore(a, core, msr.first, x) || !msrOnCore(b, core, msr.first, y) || x != y)
                return false;
        }
    }
    return true;
}

bool sameMachine(const Machine& a, const Machine& b)
{
    return sameLeaves(a, b) && a.msrs == b.msrs && sameCores(a, b) && a.pciRegisters == b.pciRegisters
        && a.faults == b.faults && a.failOp == b.failOp && a.cpus == b.cpus && a.offline == b.offline;
}

// Saves the machine and reads the saved text back.
void checkSave(const Machine& machine)
{
    const std::string saved = formatMachine(machine);
    Machine again;
    std::string error;
    std::size_t line = 0;
    require(parseMachine(saved, again, error, line));
    require(sameMachine(machine, again));
    require(formatMachine(again) == saved);
}

// Values of every width, so that a saved value is longer, shorter or as long
// as the one it replaces.
std::uint64_t changed(std::uint64_t value)
{
    return value == 0 ? 0x123456789abcdef0 : (value >> 3) ^ 0x5a;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    Machine machine;
    std::string error;
    std::size_t line = 0;
    if (!parseMachine(text, machine, error, line)) {
        require(!error.empty());
        const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
        require(line >= 1 && line <= lines);
        return 0;
    }
    checkSave(machine);

    // What the emulated writes do: every register takes a new value, which a
    // save puts into its line in place.
    for (auto& msr : machine.msrs)
        msr.second = changed(msr.second);
    for (auto& own : machine.coreMsrs)
        own.second = changed(own.second);
    for (auto& reg : machine.pciRegisters)
        reg.second = static_cast<std::uint32_t>(changed(reg.second));
    for (auto& leaf : machine.cpuidLeaves)
        leaf.second.edx = static_cast<std::uint32_t>(changed(leaf.second.edx));
    checkSave(machine);

    // A register taken away loses its line, and one added gets a line.
    if (!machine.msrs.empty())
        machine.msrs.erase(machine.msrs.begin());
    machine.pciRegisters[PciAddress{0x18, 3, 0xdc}] = 0xe80;
    checkSave(machine);
    return 0;
}
