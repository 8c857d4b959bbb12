// The machine file: reading it into a Machine and writing a Machine back into
// it. A file is edited by people, so writing keeps their layout and comments
// and changes only the values that differ.

#include "sim/machine_format.h"

#include <iterator>
#include <limits>
#include <utility>

#include "cpu/registers.h"
#include "hw/bitfield.h"

const char* const kEmulatedCpuctlPathPrefix = "/dev/cpuctl";
const char* const kEmulatedPciPath = "/dev/pci";

namespace {

constexpr unsigned kPciDeviceBits = 5;   // devices 0x00-0x1f
constexpr unsigned kPciFunctionBits = 3; // functions 0-7
// How much of an offending entry a message repeats.
constexpr std::size_t kShownEntryBytes = 80;
constexpr unsigned kCoreBits = 31;       // a core number fits an int32_t
// A CPU count or number of a cpus or offline line: far beyond any machine's,
// and small enough that a loop over the CPUs stays short.
constexpr unsigned kCpuNumberBits = 12;

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
    cpus,
    offline,
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

// An entry of the file as a message repeats it: the file may hold anything,
// and what reaches the terminal must be plain text of one line, so control
// and non-ASCII bytes are written \xHH, a backslash \\, and a long entry is
// cut.
std::string shown(const std::string& entry)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < entry.size() && i < kShownEntryBytes; ++i) {
        const auto c = static_cast<unsigned char>(entry[i]);
        if (c == '\\') {
            text += "\\\\";
        } else if (c < 0x20 || c > 0x7E) {
            text += "\\x";
            text += kDigits[c >> 4];
            text += kDigits[c & 0xF];
        } else {
            text += static_cast<char>(c);
        }
    }
    if (entry.size() > kShownEntryBytes)
        text += "...";
    return text;
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
        if (keyword == "cpus" || keyword == "offline")
            return parseCpus(keyword, error);
        error = "unknown entry '" + shown(keyword) + "' (expected cpuid, msr, pci, fail, ignore, cpus or offline)";
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
        if (!parsePciFunction(text(functionToken), address)) {
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
            if (!number(count + 1, kCoreBits, "core", wide, error))
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

    bool parseFail(std::string& error)
    {
        const std::string what = tokens_.size() > 1 ? text(1) : std::string();
        if (what == "open") {
            if (!expectTokens(3, "fail open PATH", error))
                return false;
            entry_.kind = EntryKind::fault;
            const std::string path = text(2);
            entry_.fault = Fault{FaultKind::open, path};
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
            entry_.fault = Fault{FaultKind::cpuid, number};
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
        error = "unknown fault '" + shown(what) + "' (expected open, rdmsr, wrmsr, cpuid, pciread, pciwrite or op)";
        return false;
    }

    // cpus N: the operating system's CPUs, 0 .. N - 1; offline C: CPU C is
    // offline. The value is the line's only number, and saves keep it.
    bool parseCpus(const std::string& keyword, std::string& error)
    {
        const bool cpus = keyword == "cpus";
        if (!expectTokens(2, cpus ? "cpus N" : "offline CPU", error))
            return false;
        entry_.kind = cpus ? EntryKind::cpus : EntryKind::offline;
        if (!number(1, kCpuNumberBits, cpus ? "CPU count" : "CPU number", entry_.value, error))
            return false;
        if (!cpus || entry_.value != 0)
            return true;
        error = "bad CPU count 0 (a machine has CPU 0 at least)";
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
        if (machine.cpus != 0)
            return false;
        machine.cpus = static_cast<std::int32_t>(entry.value);
        return true;
    case EntryKind::offline:
        return addOnce(machine.offline, static_cast<std::int32_t>(entry.value));
    }
    return false;
}

// Which registers and faults the written lines already hold, so that each
// gets exactly one line.
struct Written {
    std::set<MachineRegister> registers;
    std::set<Fault> faults;
    bool failOp = false;
    bool cpus = false;
    std::set<std::int32_t> offline;
};

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
        if (it == machine.cpuidLeaves.end() || !addOnce(written.registers, entry.reg))
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
        if (!hasOwnValue(machine, entry.reg, value) || !addOnce(written.registers, entry.reg))
            return false;
        if (value != entry.value)
            replaceValue(entry.values[0], value);
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
    case EntryKind::cpus:
        // Nothing the emulated devices do changes these.
        if (machine.cpus == 0 || written.cpus)
            return false;
        written.cpus = true;
        return true;
    case EntryKind::offline:
        return machine.offline.count(static_cast<std::int32_t>(entry.value)) != 0
            && addOnce(written.offline, static_cast<std::int32_t>(entry.value));
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
        std::uint64_t value = 0;
        if (!hasOwnValue(machine, reg, value))
            return std::string();
        const std::string line = "msr " + hex(reg.number, digits32) + " " + hex(value, digits64);
        return reg.core == 0 ? line : line + " core " + std::to_string(reg.core);
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

std::string coresText(std::int32_t count)
{
    return count == 1 ? "1 core" : std::to_string(count) + " cores";
}

// What is wrong with a line that names a core, now that the whole machine is
// known; empty when nothing is.
std::string coreProblem(const Machine& machine, const Entry& entry)
{
    const std::int32_t count = machineCpuCount(machine);
    const std::string cores = machine.cpus != 0
        ? "(the machine has " + std::to_string(count) + (count == 1 ? " CPU" : " CPUs") + ", by its cpus line)"
        : "(the machine has " + coresText(count) + ", by its CPUID leaf 0x80000008)";
    if (entry.kind == EntryKind::offline) {
        if (entry.value == 0)
            return "CPU 0 cannot be offline (the program reads it first)";
        if (entry.value >= static_cast<std::uint64_t>(count))
            return "bad CPU " + std::to_string(entry.value) + " " + cores;
        return std::string();
    }
    if (entry.kind == EntryKind::msr) {
        if (entry.reg.core >= count)
            return "bad core " + std::to_string(entry.reg.core) + " " + cores;
        if (machine.msrs.count(entry.reg.number) == 0)
            return "core " + std::to_string(entry.reg.core) + "'s MSR " + hex(entry.reg.number)
                + " without a line for every core ('msr NUMBER VALUE')";
        return std::string();
    }
    if (entry.kind != EntryKind::fault)
        return std::string();
    if (entry.fault.core >= count)
        return "bad core " + std::to_string(entry.fault.core) + " " + cores;
    if (const auto* path = std::get_if<std::string>(&entry.fault.key))
        if (emulatedCpuctlCore(*path) >= count)
            return "bad device '" + *path + "' " + cores;
    return std::string();
}

} // namespace

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
                                                    : "a second line for the same register, leaf or fault";
            errorLine = i + 1;
            return false;
        }
        if (entry.kind == EntryKind::msr || entry.kind == EntryKind::fault || entry.kind == EntryKind::offline)
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
    if (machine.cpus != 0 && !written.cpus)
        lines.push_back("cpus " + std::to_string(machine.cpus));
    for (const std::int32_t cpu : machine.offline)
        if (written.offline.count(cpu) == 0)
            lines.push_back("offline " + std::to_string(cpu));
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

std::string emulatedCpuctlPath(std::int32_t core)
{
    return kEmulatedCpuctlPathPrefix + std::to_string(core);
}

std::int32_t emulatedCpuctlCore(const std::string& path)
{
    const std::string prefix = kEmulatedCpuctlPathPrefix;
    if (path.compare(0, prefix.size(), prefix) != 0)
        return -1;
    const std::string digits = path.substr(prefix.size());
    std::uint64_t core = 0;
    // Only the spelling the device code uses: decimal, no leading zero.
    if (hasHexPrefix(digits) || !parseDigits(digits, 10, kCoreBits, core) || (digits.size() > 1 && digits[0] == '0'))
        return -1;
    return static_cast<std::int32_t>(core);
}

std::int32_t machineCoreCount(const Machine& machine)
{
    const auto leaf = machine.cpuidLeaves.find(kCpuidCoreCount);
    if (leaf == machine.cpuidLeaves.end())
        return 1;
    return static_cast<std::int32_t>(bits::get(leaf->second.ecx, kCoreCountMinusOne) + 1);
}

std::int32_t machineCpuCount(const Machine& machine)
{
    return machine.cpus != 0 ? machine.cpus : machineCoreCount(machine);
}

std::int32_t machineNodeCount(const Machine& machine)
{
    const auto nodeId = machine.pciRegisters.find(PciAddress{kNorthbridgeDevice, kFunctionHtConfig, kPciNodeId});
    if (nodeId == machine.pciRegisters.end())
        return 1;
    return static_cast<std::int32_t>(bits::get(nodeId->second, kNodeCountMinusOne) + 1);
}

bool msrOnCore(const Machine& machine, std::int32_t core, std::uint32_t number, std::uint64_t& value)
{
    const auto every = machine.msrs.find(number);
    if (every == machine.msrs.end())
        return false;
    const auto own = machine.coreMsrs.find(CoreMsr{number, core});
    value = own == machine.coreMsrs.end() ? every->second : own->second;
    return true;
}

void setMsrOnCore(Machine& machine, std::int32_t core, std::uint32_t number, std::uint64_t value)
{
    std::uint64_t& every = machine.msrs.at(number);
    if (core == 0) {
        // The cores that shared core 0's value keep it as their own.
        for (std::int32_t other = 1; other < machineCpuCount(machine); ++other)
            machine.coreMsrs.emplace(CoreMsr{number, other}, every);
        every = value;
        for (auto it = machine.coreMsrs.lower_bound(CoreMsr{number, 0});
             it != machine.coreMsrs.end() && it->first.number == number;)
            it = it->second == value ? machine.coreMsrs.erase(it) : std::next(it);
        return;
    }
    if (value == every)
        machine.coreMsrs.erase(CoreMsr{number, core});
    else
        machine.coreMsrs[CoreMsr{number, core}] = value;
}
