// The machine file: reading it into a Machine and writing a Machine back into
// it. A file is edited by people, so writing keeps their layout and comments
// and changes only the values that differ.

#include "sim/machine_format.h"

#include <limits>
#include <utility>

#include "cpu/registers.h"
#include "hw/bitfield.h"

const char* const kEmulatedCpuctlPath = "/dev/cpuctl0";
const char* const kEmulatedPciPath = "/dev/pci";

namespace {

constexpr unsigned kPciDeviceBits = 5;   // devices 0x00-0x1f
constexpr unsigned kPciFunctionBits = 3; // functions 0-7
constexpr unsigned kCoreBits = 8;        // the processor counts its cores in 8 bits

// A token is a span of its line, so that a value can be replaced in place.
struct Token {
    std::size_t begin = 0;
    std::size_t end = 0;
};

enum class EntryKind {
    none, // blank or comment only
    cpuid,
    msr,
    pci,
    fault,
    failOp,
};

// The words that start the line of each fault kind, in the order of FaultKind.
struct FaultWords {
    const char* keyword;
    const char* operation;
};
const FaultWords kFaultWords[] = {{"fail", "open"},    {"fail", "rdmsr"},   {"fail", "wrmsr"},
                                  {"fail", "cpuid"},   {"fail", "pciread"}, {"fail", "pciwrite"},
                                  {"ignore", "wrmsr"}, {"ignore", "pciwrite"}};

// One line of a machine file, decoded.
struct Entry {
    EntryKind kind = EntryKind::none;
    MachineRegister reg;        // of a cpuid, msr or pci line
    Fault fault;                // of a fail line other than fail op
    std::uint64_t value = 0;    // MSR or PCI value, or N of fail op
    std::uint32_t words[4] = {0, 0, 0, 0};
    std::vector<Token> values;  // the value tokens of a register line
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::vector<Token> tokenize(const std::string& line)
{
    std::vector<Token> tokens;
    const std::size_t end = line.find('#') == std::string::npos ? line.size() : line.find('#');
    std::size_t i = 0;
    while (i < end) {
        if (isBlank(line[i])) {
            ++i;
            continue;
        }
        Token token;
        token.begin = i;
        while (i < end && !isBlank(line[i]))
            ++i;
        token.end = i;
        tokens.push_back(token);
    }
    return tokens;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool hasHexPrefix(const std::string& text)
{
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// Digits in base 16 or 10 into a value of at most `width` bits; false on an
// empty text, a stray character or a value too wide, never overflowing.
bool parseDigits(const std::string& digits, unsigned base, unsigned width, std::uint64_t& value)
{
    const std::uint64_t limit = width >= 64 ? std::numeric_limits<std::uint64_t>::max()
                                            : (std::uint64_t{1} << width) - 1;
    if (digits.empty())
        return false;
    value = 0;
    for (const char c : digits) {
        const int digit = hexDigit(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            return false;
        const auto d = static_cast<unsigned>(digit);
        if (d > limit || value > (limit - d) / base)
            return false;
        value = value * base + d;
    }
    return true;
}

// 0x-prefixed hexadecimal or plain decimal; a leading 0 is still decimal.
bool parseNumber(const std::string& text, unsigned width, std::uint64_t& value)
{
    if (hasHexPrefix(text))
        return parseDigits(text.substr(2), 16, width, value);
    return parseDigits(text, 10, width, value);
}

// DEV.FUNC, both hexadecimal, as lspci writes them: 18.3.
bool parsePciFunction(const std::string& text, PciAddress& address)
{
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos)
        return false;
    std::uint64_t device = 0;
    std::uint64_t function = 0;
    if (!parseDigits(text.substr(0, dot), 16, kPciDeviceBits, device)
        || !parseDigits(text.substr(dot + 1), 16, kPciFunctionBits, function))
        return false;
    address.device = static_cast<std::uint8_t>(device);
    address.function = static_cast<std::uint8_t>(function);
    return true;
}

// A new value written the way the old one was: decimal stays decimal, and
// hexadecimal keeps its number of digits, so that columns stay aligned.
std::string formatLike(const std::string& old, std::uint64_t value)
{
    if (!hasHexPrefix(old))
        return std::to_string(value);
    return hex(value, old.size() - 2);
}

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
        error = "unknown entry '" + keyword + "' (expected cpuid, msr, pci, fail or ignore)";
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
        error = std::string("bad ") + what + " '" + text(i) + "' (a number of at most " + std::to_string(width)
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
        if (!parsePciFunction(text(functionToken), address)) {
            error = "bad PCI function '" + text(functionToken)
                + "' (DEV.FUNC in hexadecimal, device up to 1f and function up to 7, e.g. 18.3)";
            return false;
        }
        return number32(functionToken + 1, "PCI register", address.reg, error);
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

    bool parseMsr(std::string& error)
    {
        if (!expectTokens(3, "msr NUMBER VALUE", error))
            return false;
        entry_.kind = EntryKind::msr;
        entry_.reg.kind = MachineRegister::Kind::msr;
        entry_.values.push_back(tokens_[2]);
        return number32(1, "MSR number", entry_.reg.number, error) && number(2, 64, "MSR value", entry_.value, error);
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

    bool parseFail(std::string& error)
    {
        const std::string what = tokens_.size() > 1 ? text(1) : std::string();
        if (what == "open") {
            if (!expectTokens(3, "fail open PATH", error))
                return false;
            entry_.kind = EntryKind::fault;
            const std::string path = text(2);
            entry_.fault = Fault{FaultKind::open, path};
            if (path == kEmulatedCpuctlPath || path == kEmulatedPciPath)
                return true;
            error = "bad device '" + path + "' (expected " + kEmulatedCpuctlPath + " or " + kEmulatedPciPath + ")";
            return false;
        }
        if (what == "rdmsr" || what == "wrmsr" || what == "cpuid") {
            if (!expectTokens(3, what == "cpuid" ? "fail cpuid LEAF" : "fail rdmsr|wrmsr NUMBER", error))
                return false;
            entry_.kind = EntryKind::fault;
            std::uint32_t number = 0;
            if (!number32(2, what == "cpuid" ? "CPUID leaf" : "MSR number", number, error))
                return false;
            entry_.fault = Fault{what == "rdmsr" ? FaultKind::rdmsr
                                     : what == "wrmsr" ? FaultKind::wrmsr
                                                       : FaultKind::cpuid,
                                 number};
            return true;
        }
        if (what == "pciread" || what == "pciwrite") {
            if (!expectTokens(4, "fail pciread|pciwrite DEV.FUNC REGISTER", error))
                return false;
            entry_.kind = EntryKind::fault;
            PciAddress address;
            if (!pciAddress(2, address, error))
                return false;
            entry_.fault = Fault{what == "pciread" ? FaultKind::pciRead : FaultKind::pciWrite, address};
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
        error = "unknown fault '" + what + "' (expected open, rdmsr, wrmsr, cpuid, pciread, pciwrite or op)";
        return false;
    }

    // A write the device accepts and drops: the register keeps its value, as
    // one locked by the firmware or behind a hypervisor does.
    bool parseIgnore(std::string& error)
    {
        const std::string what = tokens_.size() > 1 ? text(1) : std::string();
        entry_.kind = EntryKind::fault;
        if (what == "wrmsr") {
            const char* const form = "ignore wrmsr NUMBER [core N]";
            if (tokens_.size() != 3 && (tokens_.size() != 5 || text(3) != "core")) {
                error = std::string("expected '") + form + "'";
                return false;
            }
            entry_.fault.kind = FaultKind::ignoreWrmsr;
            std::uint32_t msr = 0;
            if (!number32(2, "MSR number", msr, error))
                return false;
            entry_.fault.key = msr;
            if (tokens_.size() == 3)
                return true;
            std::uint64_t core = 0;
            if (!number(4, kCoreBits, "core", core, error))
                return false;
            entry_.fault.core = static_cast<std::int32_t>(core);
            return true;
        }
        if (what == "pciwrite") {
            if (!expectTokens(4, "ignore pciwrite DEV.FUNC REGISTER", error))
                return false;
            PciAddress address;
            if (!pciAddress(2, address, error))
                return false;
            entry_.fault = Fault{FaultKind::ignorePciWrite, address};
            return true;
        }
        error = "unknown ignored write '" + what + "' (expected wrmsr or pciwrite)";
        return false;
    }

    const std::string& line_;
    Entry& entry_;
    std::vector<Token> tokens_;
};

bool parseLine(const std::string& line, Entry& entry, std::string& error)
{
    return LineParser(line, entry).parse(error);
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t newline = text.find('\n', start);
        if (newline == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, newline - start));
        start = newline + 1;
    }
    return lines;
}

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
    }
    return false;
}

// Which registers and faults the written lines already hold, so that each
// gets exactly one line.
struct Written {
    std::set<MachineRegister> registers;
    std::set<Fault> faults;
    bool failOp = false;
};

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
        if (it == machine.cpuidLeaves.end() || !addOnce(written.registers, entry.reg))
            return false;
        const std::uint32_t words[4] = {it->second.eax, it->second.ebx, it->second.ecx, it->second.edx};
        for (std::size_t i = 4; i-- > 0;) // from the right, so earlier spans stay valid
            if (words[i] != entry.words[i])
                replaceValue(entry.values[i], words[i]);
        return true;
    }
    case EntryKind::msr: {
        const auto it = machine.msrs.find(entry.reg.number);
        if (it == machine.msrs.end() || !addOnce(written.registers, entry.reg))
            return false;
        if (it->second != entry.value)
            replaceValue(entry.values[0], it->second);
        return true;
    }
    case EntryKind::pci: {
        const auto it = machine.pciRegisters.find(entry.reg.pci);
        if (it == machine.pciRegisters.end() || !addOnce(written.registers, entry.reg))
            return false;
        if (it->second != entry.value)
            replaceValue(entry.values[0], it->second);
        return true;
    }
    case EntryKind::fault:
        return machine.faults.count(entry.fault) != 0 && addOnce(written.faults, entry.fault);
    case EntryKind::failOp:
        if (machine.failOp <= 0 || written.failOp)
            return false;
        written.failOp = true;
        if (static_cast<std::uint64_t>(machine.failOp) != entry.value)
            replaceValue(entry.values[0], static_cast<std::uint64_t>(machine.failOp));
        return true;
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
        return "cpuid " + hex(reg.number, digits32) + " " + hex(r.eax, digits32) + " " + hex(r.ebx, digits32) + " "
            + hex(r.ecx, digits32) + " " + hex(r.edx, digits32);
    }
    case MachineRegister::Kind::msr: {
        const auto it = machine.msrs.find(reg.number);
        if (it == machine.msrs.end())
            return std::string();
        return "msr " + hex(reg.number, digits32) + " " + hex(it->second, digits64);
    }
    case MachineRegister::Kind::pci: {
        const auto it = machine.pciRegisters.find(reg.pci);
        if (it == machine.pciRegisters.end())
            return std::string();
        return "pci " + pciText(reg.pci) + " " + hex(it->second, digits32);
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
        key = hex(*number);
    else
        key = pciText(std::get<PciAddress>(fault.key));
    const FaultWords& words = kFaultWords[static_cast<std::size_t>(fault.kind)];
    std::string line = std::string(words.keyword) + " " + words.operation + " " + key;
    if (fault.core != Fault::kEveryCore)
        line += " core " + std::to_string(fault.core);
    return line;
}

// The number of cores, as the processor reports it in CPUID leaf 0x80000008;
// one without that leaf.
std::int32_t coreCount(const Machine& machine)
{
    const auto it = machine.cpuidLeaves.find(kCpuidCoreCount);
    const std::uint32_t ecx = it == machine.cpuidLeaves.end() ? 0 : it->second.ecx;
    return static_cast<std::int32_t>(bits::get(ecx, kCoreCountMinusOne)) + 1;
}

} // namespace

bool parseMachine(const std::string& text, Machine& machine, std::string& error, std::size_t& errorLine)
{
    Machine parsed;
    parsed.lines = splitLines(text);
    // The lines that name a core, checked once the CPUID leaf that counts the
    // cores has been read, wherever it stands.
    std::vector<std::pair<std::size_t, std::int32_t>> coreLines;
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
                                                    : "a second line for the same register, leaf or fault";
            errorLine = i + 1;
            return false;
        }
        if (entry.kind == EntryKind::fault && entry.fault.core != Fault::kEveryCore)
            coreLines.emplace_back(i + 1, entry.fault.core);
    }
    const std::int32_t cores = coreCount(parsed);
    for (const auto& [line, core] : coreLines) {
        if (core < cores)
            continue;
        error = "no core " + std::to_string(core) + " (the processor has " + std::to_string(cores)
            + (cores == 1 ? " core" : " cores") + ", by CPUID leaf 0x80000008)";
        errorLine = line;
        return false;
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
        if (!line.empty() && addOnce(written.registers, reg))
            lines.push_back(std::move(line));
    };
    for (const MachineRegister& reg : added.order)
        addRegister(reg);
    for (const auto& leaf : machine.cpuidLeaves)
        addRegister(MachineRegister{MachineRegister::Kind::cpuid, leaf.first, PciAddress()});
    for (const auto& msr : machine.msrs)
        addRegister(MachineRegister{MachineRegister::Kind::msr, msr.first, PciAddress()});
    for (const auto& reg : machine.pciRegisters)
        addRegister(MachineRegister{MachineRegister::Kind::pci, 0, reg.first});

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

std::string hex(std::uint64_t value, std::size_t minDigits)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (digits.size() < minDigits)
        digits.insert(0, minDigits - digits.size(), '0');
    return "0x" + digits;
}

std::string pciText(const PciAddress& address)
{
    return hex(address.device).substr(2) + "." + hex(address.function).substr(2) + " " + hex(address.reg);
}
