// The machine file's writer: the lines a machine was read from, each carrying
// its register's present value, and a line for each register and fault that
// has none yet.

#include "machine/writer.h"

#include <set>

#include "hw/cpu_list.h"
#include "hw/hex_text.h"
#include "machine/parser.h"
#include "machine/tokenizer.h"

namespace {

// The words that start the line of each fault kind, in the order of FaultKind.
struct FaultWords {
    const char* keyword;
    const char* operation;
};
const FaultWords kFaultWords[] = {{"fail", "open"},    {"fail", "rdmsr"},   {"fail", "wrmsr"},
                                  {"fail", "cpuid"},   {"fail", "pciread"}, {"fail", "pciwrite"},
                                  {"ignore", "wrmsr"}, {"ignore", "pciwrite"}};

// A new value written the way the old one was: decimal stays decimal, and
// hexadecimal keeps its number of digits, so that columns stay aligned.
std::string formatLike(const std::string& old, std::uint64_t value)
{
    if (!hasHexPrefix(old))
        return std::to_string(value);
    return hexText(value, old.size() - 2);
}

// Which registers and faults the written lines already hold, so that each
// gets exactly one line.
struct Written {
    std::set<MachineRegister> registers;
    std::set<Fault> faults;
    bool failOp = false;
    bool cpus = false;
    std::set<std::int32_t> offline;
    std::set<std::int32_t> stability;
    std::set<CoreMsr> moving;
    std::set<PciAddress> loaded;
};

std::string movingLine(const CoreMsr& msr, std::uint64_t mask)
{
    const std::string line = "moves msr " + hexText(msr.number) + " " + hexText(mask);
    return msr.core == Fault::kEveryCore ? line : line + " core " + std::to_string(msr.core);
}

std::string loadedLine(const PciAddress& address, std::uint32_t value)
{
    return "loaded pci " + pciRegisterText(address.device, address.function, address.reg) + " " + hexText(value);
}

std::string stabilityLine(std::int32_t pstate, const Stability& stability)
{
    return "stable P" + std::to_string(pstate) + " " + microvoltsText(stability.stableMicrovolts) + " hangs "
        + microvoltsText(stability.hangsMicrovolts);
}

// The value of an MSR's line: core 0's, or a core's own one where it differs
// from core 0's; false when the line has no value to carry.
bool hasOwnValue(const Machine& machine, const MachineRegister& reg, std::uint64_t& value)
{
    const auto every = machine.msrs.find(reg.number);
    if (every == machine.msrs.end())
        return false;
    if (reg.core == 0) {
        value = every->second;
        return true;
    }
    const auto own = machine.coreMsrs.find(CoreMsr{reg.number, reg.core});
    if (own == machine.coreMsrs.end() || own->second == every->second)
        return false;
    value = own->second;
    return true;
}

// The line as it is to be written, or false to drop it.
bool rewriteLine(const Machine& machine, const Entry& entry, std::string& line, Written& written)
{
    auto replaceValue = [&line](const Token& token, std::uint64_t value) {
        const std::string old = line.substr(token.begin, token.end - token.begin);
        line.replace(token.begin, token.end - token.begin, formatLike(old, value));
    };
    switch (entry.kind) {
    case EntryKind::none:
        return true;
    case EntryKind::cpuid: {
        const auto it = machine.cpuidLeaves.find(entry.reg.number);
        if (it == machine.cpuidLeaves.end() || !written.registers.insert(entry.reg).second)
            return false;
        const std::uint32_t words[4] = {it->second.eax, it->second.ebx, it->second.ecx, it->second.edx};
        for (std::size_t i = 4; i-- > 0;) // from the right, so earlier spans stay valid
            if (words[i] != entry.words[i])
                replaceValue(entry.values[i], words[i]);
        return true;
    }
    case EntryKind::msr: {
        // A core's own value is written only while it differs from core 0's.
        std::uint64_t value = 0;
        if (!hasOwnValue(machine, entry.reg, value) || !written.registers.insert(entry.reg).second)
            return false;
        if (value != entry.value)
            replaceValue(entry.values[0], value);
        return true;
    }
    case EntryKind::pci: {
        const auto it = machine.pciRegisters.find(entry.reg.pci);
        if (it == machine.pciRegisters.end() || !written.registers.insert(entry.reg).second)
            return false;
        if (it->second != entry.value)
            replaceValue(entry.values[0], it->second);
        return true;
    }
    case EntryKind::fault:
        return machine.faults.count(entry.fault) != 0 && written.faults.insert(entry.fault).second;
    case EntryKind::failOp:
        if (machine.failOp <= 0 || written.failOp)
            return false;
        written.failOp = true;
        if (static_cast<std::uint64_t>(machine.failOp) != entry.value)
            replaceValue(entry.values[0], static_cast<std::uint64_t>(machine.failOp));
        return true;
    case EntryKind::cpus:
        // Nothing the emulated devices do changes these.
        if (machine.cpus.empty() || written.cpus)
            return false;
        written.cpus = true;
        return true;
    case EntryKind::offline:
        return machine.offline.count(static_cast<std::int32_t>(entry.value)) != 0
            && written.offline.insert(static_cast<std::int32_t>(entry.value)).second;
    case EntryKind::moving: {
        // Nothing the emulated devices do changes these or the loaded ones.
        const CoreMsr msr{entry.reg.number, entry.reg.core};
        return machine.movingMsrs.count(msr) != 0 && written.moving.insert(msr).second;
    }
    case EntryKind::loaded:
        return machine.loadedPciRegisters.count(entry.reg.pci) != 0 && written.loaded.insert(entry.reg.pci).second;
    case EntryKind::stability: {
        const auto it = machine.stability.find(entry.pstate);
        if (it == machine.stability.end() || !written.stability.insert(entry.pstate).second)
            return false;
        if (!(it->second == entry.stability))
            line = stabilityLine(entry.pstate, it->second); // only a test changes these
        return true;
    }
    }
    return true;
}

// The line of a register the machine has, or an empty one for a register it
// lacks.
std::string registerLine(const Machine& machine, const MachineRegister& reg, bool fullWidth)
{
    const std::size_t digits32 = fullWidth ? 8 : 1;
    const std::size_t digits64 = fullWidth ? 16 : 1;
    switch (reg.kind) {
    case MachineRegister::Kind::cpuid: {
        const auto it = machine.cpuidLeaves.find(reg.number);
        if (it == machine.cpuidLeaves.end())
            return std::string();
        const CpuidRegisters& r = it->second;
        return "cpuid " + hexText(reg.number, digits32) + " " + hexText(r.eax, digits32) + " " + hexText(r.ebx, digits32) + " "
            + hexText(r.ecx, digits32) + " " + hexText(r.edx, digits32);
    }
    case MachineRegister::Kind::msr: {
        std::uint64_t value = 0;
        if (!hasOwnValue(machine, reg, value))
            return std::string();
        const std::string line = "msr " + hexText(reg.number, digits32) + " " + hexText(value, digits64);
        return reg.core == 0 ? line : line + " core " + std::to_string(reg.core);
    }
    case MachineRegister::Kind::pci: {
        const auto it = machine.pciRegisters.find(reg.pci);
        if (it == machine.pciRegisters.end())
            return std::string();
        return "pci " + pciRegisterText(reg.pci.device, reg.pci.function, reg.pci.reg) + " " + hexText(it->second, digits32);
    }
    }
    return std::string();
}

std::string faultLine(const Fault& fault)
{
    std::string key;
    if (const auto* path = std::get_if<std::string>(&fault.key))
        key = *path;
    else if (const auto* number = std::get_if<std::uint32_t>(&fault.key))
        key = hexText(*number);
    else if (const auto* address = std::get_if<PciAddress>(&fault.key))
        key = pciRegisterText(address->device, address->function, address->reg);
    const FaultWords& words = kFaultWords[static_cast<std::size_t>(fault.kind)];
    std::string line = std::string(words.keyword) + " " + words.operation + " " + key;
    if (fault.core != Fault::kEveryCore)
        line += " core " + std::to_string(fault.core);
    if (fault.error != 0)
        line += " " + errorName(fault.error);
    return line;
}

} // namespace

std::vector<std::string> machineLines(const Machine& machine, const AddedLines& added)
{
    std::vector<std::string> lines;
    Written written;
    for (const std::string& original : machine.lines) {
        Entry entry;
        std::string ignored;
        std::string line = original;
        if (!parseLine(original, entry, ignored)) {
            lines.push_back(line); // not ours to judge; kept as it is
            continue;
        }
        if (rewriteLine(machine, entry, line, written))
            lines.push_back(line);
    }

    const auto addRegister = [&](const MachineRegister& reg) {
        std::string line = registerLine(machine, reg, added.fullWidth);
        if (!line.empty() && written.registers.insert(reg).second)
            lines.push_back(std::move(line));
    };
    for (const MachineRegister& reg : added.order)
        addRegister(reg);
    if (!machine.cpus.empty() && !written.cpus)
        lines.push_back("cpus "
                        + (cpusWithoutGaps(machine.cpus) ? std::to_string(machine.cpus.size()) : cpuListText(machine.cpus)));
    for (const std::int32_t cpu : machine.offline)
        if (written.offline.count(cpu) == 0)
            lines.push_back("offline " + std::to_string(cpu));
    for (const auto& [pstate, stability] : machine.stability)
        if (written.stability.count(pstate) == 0)
            lines.push_back(stabilityLine(pstate, stability));
    for (const auto& [msr, mask] : machine.movingMsrs)
        if (written.moving.count(msr) == 0)
            lines.push_back(movingLine(msr, mask));
    for (const auto& [address, value] : machine.loadedPciRegisters)
        if (written.loaded.count(address) == 0)
            lines.push_back(loadedLine(address, value));
    for (const auto& leaf : machine.cpuidLeaves)
        addRegister(MachineRegister{MachineRegister::Kind::cpuid, leaf.first, PciAddress()});
    for (const auto& msr : machine.msrs)
        addRegister(MachineRegister{MachineRegister::Kind::msr, msr.first, PciAddress()});
    for (const auto& reg : machine.pciRegisters)
        addRegister(MachineRegister{MachineRegister::Kind::pci, 0, reg.first});
    for (const auto& own : machine.coreMsrs)
        addRegister(MachineRegister{MachineRegister::Kind::msr, own.first.number, PciAddress(), own.first.core});

    for (const Fault& fault : machine.faults)
        if (written.faults.count(fault) == 0)
            lines.push_back(faultLine(fault));
    if (machine.failOp > 0 && !written.failOp)
        lines.push_back("fail op " + std::to_string(machine.failOp));
    return lines;
}

std::string formatMachine(const Machine& machine, const AddedLines& added)
{
    std::string text;
    for (const std::string& line : machineLines(machine, added))
        text += line + "\n";
    return text;
}
