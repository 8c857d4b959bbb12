// The machine file's reader: each line decoded into an entry, the entries
// added to a Machine, and the lines that name a core checked against the core
// count the whole file gives.

#include "machine/parser.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "cpu/registers.h"
#include "hw/cpu_list.h"
#include "hw/hex_text.h"

namespace {

class LineParser {
public:
    LineParser(const std::string& line, Entry& entry) : line_(line), entry_(entry), tokens_(tokenize(line)) {}

    // False with error set when the line is malformed.
    bool parse(std::string& error)
    {
        entry_ = Entry();
        if (tokens_.empty())
            return true;
        const std::string keyword = text(0);
        if (keyword == "cpuid")
            return parseCpuid(error);
        if (keyword == "msr")
            return parseMsr(error);
        if (keyword == "pci")
            return parsePci(error);
        if (keyword == "fail")
            return parseFail(error);
        if (keyword == "ignore")
            return parseIgnore(error);
        if (keyword == "cpus" || keyword == "offline")
            return parseCpus(keyword, error);
        if (keyword == "stable")
            return parseStability(error);
        if (keyword == "moves")
            return parseMoving(error);
        if (keyword == "loaded")
            return parseLoaded(error);
        error = "unknown entry '" + shown(keyword)
            + "' (expected cpuid, msr, pci, fail, ignore, cpus, offline, stable, moves or loaded)";
        return false;
    }

private:
    std::string text(std::size_t i) const
    {
        return line_.substr(tokens_[i].begin, tokens_[i].end - tokens_[i].begin);
    }

    bool expectTokens(std::size_t count, const char* form, std::string& error) const
    {
        if (tokens_.size() == count)
            return true;
        error = std::string("expected '") + form + "'";
        return false;
    }

    bool number(std::size_t i, unsigned width, const char* what, std::uint64_t& value, std::string& error) const
    {
        if (parseNumber(text(i), width, value))
            return true;
        error = std::string("bad ") + what + " '" + shown(text(i)) + "' (a number of at most " + std::to_string(width)
            + " bits, 0x-prefixed hexadecimal or decimal)";
        return false;
    }

    bool number32(std::size_t i, const char* what, std::uint32_t& value, std::string& error) const
    {
        std::uint64_t wide = 0;
        if (!number(i, 32, what, wide, error))
            return false;
        value = static_cast<std::uint32_t>(wide);
        return true;
    }

    bool pciAddress(std::size_t functionToken, PciAddress& address, std::string& error) const
    {
        if (!parsePciFunction(text(functionToken), address.device, address.function)) {
            error = "bad PCI function '" + shown(text(functionToken))
                + "' (DEV.FUNC in hexadecimal, device up to 1f and function up to 7, e.g. 18.3)";
            return false;
        }
        if (!number32(functionToken + 1, "PCI register", address.reg, error))
            return false;
        if (address.reg % kPciAccessWidth == 0 && address.reg < kPciConfigSpaceSize)
            return true;
        error = "bad PCI register '" + shown(text(functionToken + 1)) + "' (a multiple of 4 below 0x1000)";
        return false;
    }

    bool parseCpuid(std::string& error)
    {
        if (!expectTokens(6, "cpuid LEAF EAX EBX ECX EDX", error))
            return false;
        entry_.kind = EntryKind::cpuid;
        entry_.reg.kind = MachineRegister::Kind::cpuid;
        if (!number32(1, "CPUID leaf", entry_.reg.number, error))
            return false;
        for (std::size_t i = 0; i < 4; ++i) {
            if (!number32(2 + i, "CPUID register", entry_.words[i], error))
                return false;
            entry_.values.push_back(tokens_[2 + i]);
        }
        return true;
    }

    // An optional "core N" at the end of a line of count tokens.
    bool optionalCore(std::size_t count, const char* form, std::int32_t& core, std::string& error) const
    {
        if (tokens_.size() == count + 2 && text(count) == "core") {
            std::uint64_t wide = 0;
            if (!number(count + 1, kCoreNumberBits, "core", wide, error))
                return false;
            core = static_cast<std::int32_t>(wide);
            return true;
        }
        return expectTokens(count, form, error);
    }

    bool parseMsr(std::string& error)
    {
        const char* const form = "msr NUMBER VALUE [core N]";
        if (!optionalCore(3, form, entry_.reg.core, error))
            return false;
        entry_.kind = EntryKind::msr;
        entry_.reg.kind = MachineRegister::Kind::msr;
        entry_.values.push_back(tokens_[2]);
        if (!number32(1, "MSR number", entry_.reg.number, error) || !number(2, 64, "MSR value", entry_.value, error))
            return false;
        if (tokens_.size() == 3 || entry_.reg.core != 0)
            return true;
        error = "bad core 0 (core 0 has the line without 'core')";
        return false;
    }

    bool parsePci(std::string& error)
    {
        if (!expectTokens(4, "pci DEV.FUNC REGISTER VALUE", error))
            return false;
        entry_.kind = EntryKind::pci;
        entry_.reg.kind = MachineRegister::Kind::pci;
        entry_.values.push_back(tokens_[3]);
        return pciAddress(1, entry_.reg.pci, error) && number(3, 32, "PCI value", entry_.value, error);
    }

    // A fault line may end in the name of the error the operation meets, as
    // a kernel that refuses MSR writes answers EPERM.
    bool parseFail(std::string& error)
    {
        int failsWith = 0;
        if (tokens_.size() > 3 && text(1) != "op" && (failsWith = errorNumber(text(tokens_.size() - 1))) != 0)
            tokens_.pop_back();
        if (!parseFailedOperation(error))
            return false;
        entry_.fault.error = failsWith;
        return true;
    }

    bool parseFailedOperation(std::string& error)
    {
        const std::string what = tokens_.size() > 1 ? text(1) : std::string();
        if (what == "open") {
            if (!expectTokens(3, "fail open PATH", error))
                return false;
            entry_.kind = EntryKind::fault;
            const std::string path = text(2);
            entry_.fault.kind = FaultKind::open;
            entry_.fault.key = path;
            if (emulatedCpuctlCore(path) >= 0 || path == kEmulatedPciPath)
                return true;
            error = "bad device '" + shown(path) + "' (expected " + kEmulatedCpuctlPathPrefix + "N or " + kEmulatedPciPath
                + ")";
            return false;
        }
        if (what == "rdmsr" || what == "wrmsr") {
            if (!optionalCore(3, "fail rdmsr|wrmsr NUMBER [core K]", entry_.fault.core, error))
                return false;
            entry_.kind = EntryKind::fault;
            std::uint32_t number = 0;
            if (!number32(2, "MSR number", number, error))
                return false;
            entry_.fault.kind = what == "rdmsr" ? FaultKind::rdmsr : FaultKind::wrmsr;
            entry_.fault.key = number;
            return true;
        }
        if (what == "cpuid") {
            if (!expectTokens(3, "fail cpuid LEAF", error))
                return false;
            entry_.kind = EntryKind::fault;
            std::uint32_t number = 0;
            if (!number32(2, "CPUID leaf", number, error))
                return false;
            entry_.fault.kind = FaultKind::cpuid;
            entry_.fault.key = number;
            return true;
        }
        if (what == "pciread" || what == "pciwrite") {
            if (!expectTokens(4, "fail pciread|pciwrite DEV.FUNC REGISTER", error))
                return false;
            entry_.kind = EntryKind::fault;
            PciAddress address;
            if (!pciAddress(2, address, error))
                return false;
            entry_.fault.kind = what == "pciread" ? FaultKind::pciRead : FaultKind::pciWrite;
            entry_.fault.key = address;
            return true;
        }
        if (what == "op") {
            if (!expectTokens(3, "fail op N", error))
                return false;
            entry_.kind = EntryKind::failOp;
            entry_.values.push_back(tokens_[2]);
            if (!number(2, 31, "operation number", entry_.value, error))
                return false;
            if (entry_.value != 0)
                return true;
            error = "bad operation number 0 (operations count from 1)";
            return false;
        }
        error = "unknown fault '" + shown(what) + "' (expected open, rdmsr, wrmsr, cpuid, pciread, pciwrite or op)";
        return false;
    }

    // cpus N: the operating system's CPUs, 0 .. N - 1; cpus LIST: the CPUs
    // as Linux numbers them, with gaps, "0-7,16-23"; offline C: CPU C is
    // offline. Saves keep the line as it is.
    bool parseCpus(const std::string& keyword, std::string& error)
    {
        const bool cpus = keyword == "cpus";
        if (!expectTokens(2, cpus ? "cpus N" : "offline CPU", error))
            return false;
        entry_.kind = cpus ? EntryKind::cpus : EntryKind::offline;
        const std::string list = text(1);
        if (cpus && list.find_first_of(",-") != std::string::npos) {
            if (parseCpuList(list, entry_.cpus) && !entry_.cpus.empty() && entry_.cpus.front() == 0
                && entry_.cpus.back() < (1 << kCpuNumberBits))
                return true;
            error = "bad CPU list '" + shown(list) + "' (ascending CPU numbers and ranges from CPU 0, as 0-7,16-23)";
            return false;
        }
        if (!number(1, kCpuNumberBits, cpus ? "CPU count" : "CPU number", entry_.value, error))
            return false;
        if (!cpus)
            return true;
        if (entry_.value != 0) {
            for (std::int32_t cpu = 0; cpu < static_cast<std::int32_t>(entry_.value); ++cpu)
                entry_.cpus.push_back(cpu);
            return true;
        }
        error = "bad CPU count 0 (a machine has CPU 0 at least)";
        return false;
    }

    // stable PN V hangs W: the emulated load of P-state N computes right at V
    // and above and wrongly below it; below W the machine hangs. W above V
    // would make a voltage that hangs without first computing wrongly.
    bool parseStability(std::string& error)
    {
        if (tokens_.size() != 5 || text(3) != "hangs") {
            error = "expected 'stable PN VOLTS hangs VOLTS'";
            return false;
        }
        entry_.kind = EntryKind::stability;
        const std::string pstate = text(1);
        if (pstate.size() != 2 || pstate[0] != 'P' || pstate[1] < '0' || pstate[1] >= '0' + kMaxCorePstates) {
            error = "bad P-state '" + shown(pstate) + "' (P0 to P" + std::to_string(kMaxCorePstates - 1) + ")";
            return false;
        }
        entry_.pstate = pstate[1] - '0';
        for (const std::size_t i : {std::size_t{2}, std::size_t{4}}) {
            std::int64_t& volts =
                i == 2 ? entry_.stability.stableMicrovolts : entry_.stability.hangsMicrovolts;
            if (!parseMicrovolts(text(i), volts)) {
                error = "bad voltage '" + shown(text(i)) + "' (volts with one to six decimals, as 1.1875)";
                return false;
            }
        }
        if (entry_.stability.hangsMicrovolts <= entry_.stability.stableMicrovolts)
            return true;
        error = "hangs above stable (a voltage that hangs the machine is below the one that computes wrongly)";
        return false;
    }

    // moves msr NUMBER MASK [core N]: the MSR's bits of MASK flip before
    // each read, on core N or on every core.
    bool parseMoving(std::string& error)
    {
        entry_.reg.core = Fault::kEveryCore;
        if (!optionalCore(4, "moves msr NUMBER MASK [core N]", entry_.reg.core, error))
            return false;
        entry_.kind = EntryKind::moving;
        entry_.reg.kind = MachineRegister::Kind::msr;
        if (text(1) == "msr")
            return number32(2, "MSR number", entry_.reg.number, error) && number(3, 64, "mask", entry_.value, error);
        error = "expected 'moves msr NUMBER MASK [core N]'";
        return false;
    }

    // loaded pci DEV.FUNC REGISTER VALUE: what the register reads while the
    // tuning's load runs.
    bool parseLoaded(std::string& error)
    {
        if (!expectTokens(5, "loaded pci DEV.FUNC REGISTER VALUE", error))
            return false;
        entry_.kind = EntryKind::loaded;
        entry_.reg.kind = MachineRegister::Kind::pci;
        if (text(1) == "pci")
            return pciAddress(2, entry_.reg.pci, error) && number(4, 32, "PCI value", entry_.value, error);
        error = "expected 'loaded pci DEV.FUNC REGISTER VALUE'";
        return false;
    }

    // A write the device accepts and drops: the register keeps its value, as
    // one locked by the firmware or behind a hypervisor does.
    bool parseIgnore(std::string& error)
    {
        const std::string what = tokens_.size() > 1 ? text(1) : std::string();
        entry_.kind = EntryKind::fault;
        if (what == "wrmsr") {
            if (!optionalCore(3, "ignore wrmsr NUMBER [core N]", entry_.fault.core, error))
                return false;
            entry_.fault.kind = FaultKind::ignoreWrmsr;
            std::uint32_t msr = 0;
            if (!number32(2, "MSR number", msr, error))
                return false;
            entry_.fault.key = msr;
            return true;
        }
        if (what == "pciwrite") {
            if (!expectTokens(4, "ignore pciwrite DEV.FUNC REGISTER", error))
                return false;
            PciAddress address;
            if (!pciAddress(2, address, error))
                return false;
            entry_.fault.kind = FaultKind::ignorePciWrite;
            entry_.fault.key = address;
            return true;
        }
        error = "unknown ignored write '" + shown(what) + "' (expected wrmsr or pciwrite)";
        return false;
    }

    const std::string& line_;
    Entry& entry_;
    std::vector<Token> tokens_;
};

template <typename Key>
bool addOnce(std::set<Key>& set, const Key& key)
{
    return set.insert(key).second;
}

template <typename Key, typename Value>
bool addOnce(std::map<Key, Value>& map, const Key& key, const Value& value)
{
    return map.emplace(key, value).second;
}

// Adds a decoded line to the machine; false when it names a register, leaf or
// fault that an earlier line already gave.
bool addEntry(const Entry& entry, Machine& machine)
{
    switch (entry.kind) {
    case EntryKind::none:
        return true;
    case EntryKind::cpuid:
        return addOnce(machine.cpuidLeaves, entry.reg.number,
                       CpuidRegisters{entry.words[0], entry.words[1], entry.words[2], entry.words[3]});
    case EntryKind::msr:
        if (entry.reg.core != 0)
            return addOnce(machine.coreMsrs, CoreMsr{entry.reg.number, entry.reg.core}, entry.value);
        return addOnce(machine.msrs, entry.reg.number, entry.value);
    case EntryKind::pci:
        return addOnce(machine.pciRegisters, entry.reg.pci, static_cast<std::uint32_t>(entry.value));
    case EntryKind::fault:
        return addOnce(machine.faults, entry.fault);
    case EntryKind::failOp:
        if (machine.failOp != 0)
            return false;
        machine.failOp = static_cast<long>(entry.value);
        return true;
    case EntryKind::cpus:
        if (!machine.cpus.empty())
            return false;
        machine.cpus = entry.cpus;
        return true;
    case EntryKind::offline:
        return addOnce(machine.offline, static_cast<std::int32_t>(entry.value));
    case EntryKind::stability:
        return addOnce(machine.stability, entry.pstate, entry.stability);
    case EntryKind::moving:
        return addOnce(machine.movingMsrs, CoreMsr{entry.reg.number, entry.reg.core}, entry.value);
    case EntryKind::loaded:
        return addOnce(machine.loadedPciRegisters, entry.reg.pci, static_cast<std::uint32_t>(entry.value));
    }
    return false;
}

std::string coresText(std::int32_t count)
{
    return count == 1 ? "1 core" : std::to_string(count) + " cores";
}

// What is wrong with a line that names a core, now that the whole machine is
// known; empty when nothing is.
std::string coreProblem(const Machine& machine, const Entry& entry)
{
    const std::int32_t count = machineCpuCount(machine);
    const std::vector<std::int32_t> cpus = machineCpus(machine);
    const auto isCpu = [&cpus](std::uint64_t number) {
        return number < (1U << kCpuNumberBits)
            && std::binary_search(cpus.begin(), cpus.end(), static_cast<std::int32_t>(number));
    };
    const std::string cores = machine.cpus.empty()
        ? "(the machine has " + coresText(count) + ", by its CPUID leaf 0x80000008)"
        : cpusWithoutGaps(cpus)
        ? "(the machine has " + std::to_string(count) + (count == 1 ? " CPU" : " CPUs") + ", by its cpus line)"
        : "(the machine has CPUs " + cpuListText(cpus) + ", by its cpus line)";
    if (entry.kind == EntryKind::offline) {
        if (entry.value == 0)
            return "CPU 0 cannot be offline (the program reads it first)";
        if (!isCpu(entry.value))
            return "bad CPU " + std::to_string(entry.value) + " " + cores;
        return std::string();
    }
    if (entry.kind == EntryKind::moving) {
        if (entry.reg.core != Fault::kEveryCore && !isCpu(static_cast<std::uint64_t>(entry.reg.core)))
            return "bad core " + std::to_string(entry.reg.core) + " " + cores;
        return std::string();
    }
    if (entry.kind == EntryKind::msr) {
        if (!isCpu(static_cast<std::uint64_t>(entry.reg.core)))
            return "bad core " + std::to_string(entry.reg.core) + " " + cores;
        if (machine.msrs.count(entry.reg.number) == 0)
            return "core " + std::to_string(entry.reg.core) + "'s MSR " + hexText(entry.reg.number)
                + " without a line for every core ('msr NUMBER VALUE')";
        return std::string();
    }
    if (entry.kind != EntryKind::fault)
        return std::string();
    if (entry.fault.core != Fault::kEveryCore && !isCpu(static_cast<std::uint64_t>(entry.fault.core)))
        return "bad core " + std::to_string(entry.fault.core) + " " + cores;
    if (const auto* path = std::get_if<std::string>(&entry.fault.key))
        if (emulatedCpuctlCore(*path) >= count)
            return "bad device '" + *path + "' " + cores;
    return std::string();
}

} // namespace

bool parseLine(const std::string& line, Entry& entry, std::string& error)
{
    return LineParser(line, entry).parse(error);
}

bool parseMachine(const std::string& text, Machine& machine, std::string& error, std::size_t& errorLine)
{
    Machine parsed;
    parsed.lines = splitLines(text);
    // The core count may come after the lines that name a core.
    std::vector<std::pair<std::size_t, Entry>> namingCores;
    for (std::size_t i = 0; i < parsed.lines.size(); ++i) {
        Entry entry;
        std::string what;
        if (!parseLine(parsed.lines[i], entry, what)) {
            error = what;
            errorLine = i + 1;
            return false;
        }
        if (!addEntry(entry, parsed)) {
            error = entry.kind == EntryKind::failOp ? "a second 'fail op' line"
                : entry.kind == EntryKind::cpus     ? "a second 'cpus' line"
                : entry.kind == EntryKind::offline  ? "a second 'offline' line for the same CPU"
                : entry.kind == EntryKind::stability ? "a second 'stable' line for the same P-state"
                                                    : "a second line for the same register, leaf or fault";
            errorLine = i + 1;
            return false;
        }
        if (entry.kind == EntryKind::msr || entry.kind == EntryKind::fault || entry.kind == EntryKind::offline
            || entry.kind == EntryKind::moving)
            namingCores.emplace_back(i, entry);
    }
    for (const auto& [i, entry] : namingCores) {
        error = coreProblem(parsed, entry);
        if (!error.empty()) {
            errorLine = i + 1;
            return false;
        }
    }
    machine = std::move(parsed);
    return true;
}

bool parseMachine(const std::string& text, Machine& machine, std::string& error)
{
    std::size_t line = 0;
    std::string what;
    if (parseMachine(text, machine, what, line))
        return true;
    error = "line " + std::to_string(line) + ": " + what;
    return false;
}
