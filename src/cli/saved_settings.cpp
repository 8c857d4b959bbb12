#include "cli/saved_settings.h"

#include <algorithm>
#include <cstddef>
#include <set>
#include <sstream>
#include <tuple>

#include "cpu/every_core.h"
#include "hw/cpu_list.h"
#include "hw/device.h"
#include "hw/exception_with_message.h"
#include "hw/hex_text.h"
#include "report/report_walk.h"

namespace {

using Scope = WritableRegister::Scope;

constexpr const char* kFirstLine = "pravellon-settings 1";
constexpr std::size_t kMsrDigits = 16;
constexpr std::size_t kPciDigits = 8;
constexpr unsigned kHexDigitBits = 4;

bool isMsr(const WritableRegister& row)
{
    return row.scope == Scope::everyCore;
}

// "msr 0xc0010064 core 0" or "pci 18.5 0x164 node 1": a register of saved,
// without its value; the key by which a line is one of a kind.
std::string registerText(const WritableRegister& row, std::int32_t n, std::int32_t where)
{
    if (isMsr(row))
        return "msr " + hexText(row.number(n)) + " core " + std::to_string(where);
    return "pci " + pciRegisterText(northbridgeOf(0), row.function, row.number(n)) + " node " + std::to_string(where);
}

std::string lineOf(const SavedRegister& saved)
{
    return registerText(*saved.row, saved.n, saved.where) + " "
        + hexText(saved.value, isMsr(*saved.row) ? kMsrDigits : kPciDigits);
}

// "AMD family 0x15 model 0x1, cores 0-15, 2 nodes"
std::string processorText(std::int32_t family, std::int32_t model, const std::vector<std::int32_t>& cpus,
                          std::int32_t nodes)
{
    return "AMD family " + hexText(static_cast<std::uint32_t>(family)) + " model "
        + hexText(static_cast<std::uint32_t>(model)) + ", " + (cpus.size() == 1 ? "core " : "cores ")
        + cpuListText(cpus) + ", " + std::to_string(nodes) + (nodes == 1 ? " node" : " nodes");
}

std::vector<std::int32_t> cpuNumbers(const ProcessorProfile& profile)
{
    std::vector<std::int32_t> numbers;
    for (const SystemCpu& cpu : profileCpus(profile))
        numbers.push_back(cpu.number);
    return numbers;
}

std::int32_t nodesOf(const ProcessorProfile& profile)
{
    return std::max<std::int32_t>(profile.nodeCount, 1);
}

std::vector<std::string> wordsOf(const std::string& line)
{
    std::vector<std::string> words;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = line.find(' ', start);
        words.push_back(line.substr(start, end - start));
        if (end == std::string::npos)
            return words;
        start = end + 1;
    }
}

// "0x" and lower-case digits, as the file writes them, at most width bits.
bool readHex(const std::string& text, unsigned width, std::uint64_t& value)
{
    if (text.size() < 3 || text.compare(0, 2, "0x") != 0 || (text.size() - 2) * kHexDigitBits > width)
        return false;
    value = 0;
    for (std::size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        const bool digit = c >= '0' && c <= '9';
        if (!digit && (c < 'a' || c > 'f'))
            return false;
        value = (value << kHexDigitBits) | static_cast<std::uint64_t>(digit ? c - '0' : c - 'a' + 10);
    }
    return true;
}

// A whole decimal number below limit, without leading zeros.
bool readNumber(const std::string& text, std::int32_t limit, std::int32_t& value)
{
    if (text.empty() || text.size() > 9 || (text.size() > 1 && text[0] == '0')
        || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    value = std::stoi(text);
    return value < limit;
}

struct Reader {
    const ProcessorProfile& profile;
    std::string name;
    std::size_t line = 0;

    [[noreturn]] void refuse(const std::string& what) const
    {
        throw ExceptionWithMessage(printable(name) + ":" + std::to_string(line) + ": " + what);
    }

    void readProcessor(const std::string& text, SavedSettings& saved) const
    {
        const std::vector<std::string> words = wordsOf(text);
        std::uint64_t family = 0;
        std::uint64_t model = 0;
        const bool read = words.size() == 9 && words[0] == "processor" && words[1] == "family"
            && readHex(words[2], 8, family) && words[3] == "model" && readHex(words[4], 8, model)
            && words[5] == "cores" && parseCpuList(words[6], saved.cpus) && !saved.cpus.empty() && words[7] == "nodes"
            && readNumber(words[8], 9, saved.nodeCount) && saved.nodeCount > 0;
        if (!read)
            refuse("not a processor line: processor family 0xF model 0xM cores LIST nodes N");
        saved.family = static_cast<std::int32_t>(family);
        saved.model = static_cast<std::int32_t>(model);
        const std::vector<std::int32_t> cpus = cpuNumbers(profile);
        if (saved.family != profile.family || saved.model != profile.model || saved.cpus != cpus
            || saved.nodeCount != nodesOf(profile))
            throw ExceptionWithMessage(printable(name) + " was saved on "
                                       + processorText(saved.family, saved.model, saved.cpus, saved.nodeCount)
                                       + "; this is " + processorText(profile.family, profile.model, cpus, nodesOf(profile)));
    }

    // The row and register number of reg in scope on this processor, or refuses.
    SavedRegister registerOf(Scope scope, std::uint8_t function, std::uint64_t reg) const
    {
        std::int32_t n = 0;
        const WritableRegister* row =
            reg > UINT32_MAX ? nullptr : writableRegisterOf(scope, function, static_cast<std::uint32_t>(reg), n);
        if (row == nullptr || n >= row->count(profile))
            refuse("a register this processor has no setting in");
        return SavedRegister{row, n, 0, 0};
    }

    // A register line, or a core's offline line.
    void readRegister(const std::string& text, SavedSettings& saved) const
    {
        const std::vector<std::string> words = wordsOf(text);
        std::int32_t where = 0;
        std::uint64_t reg = 0;
        std::uint64_t value = 0;
        if (words.size() == 3 && words[0] == "core" && words[2] == "offline") {
            if (!readNumber(words[1], kCpuListLimit, where)
                || !std::binary_search(saved.cpus.begin(), saved.cpus.end(), where))
                refuse("not a core of the processor line");
            saved.offline.push_back(where);
            return;
        }
        SavedRegister read;
        if (words.size() == 5 && words[0] == "msr" && words[2] == "core") {
            if (!readHex(words[1], 32, reg) || !readNumber(words[3], kCpuListLimit, where)
                || !readHex(words[4], 64, value))
                refuse("not a register line: msr 0xREGISTER core N 0xVALUE");
            read = registerOf(Scope::everyCore, 0, reg);
            if (!std::binary_search(saved.cpus.begin(), saved.cpus.end(), where))
                refuse("not a core of the processor line");
        } else if (words.size() == 6 && words[0] == "pci" && words[3] == "node") {
            const std::string expected = pciRegisterText(northbridgeOf(0), 0, 0);
            const std::size_t dot = words[1].find('.');
            const bool device = dot != std::string::npos && words[1].compare(0, dot, expected, 0, expected.find('.')) == 0
                && dot + 2 == words[1].size() && words[1][dot + 1] >= '0' && words[1][dot + 1] <= '7';
            if (!device || !readHex(words[2], 16, reg) || !readNumber(words[4], saved.nodeCount, where)
                || !readHex(words[5], 32, value))
                refuse("not a register line: pci " + expected.substr(0, expected.find(' '))
                       + "F 0xREGISTER node N 0xVALUE");
            read = registerOf(Scope::everyNode, static_cast<std::uint8_t>(words[1][dot + 1] - '0'), reg);
        } else {
            refuse("not a line of saved settings");
        }
        read.where = where;
        read.value = value;
        saved.registers.push_back(read);
    }
};

// Each register once per online core or node, each core once: a line the
// processor would need and the file lacks is named.
void checkWhole(const Reader& reader, const std::vector<std::size_t>& lines, SavedSettings& saved)
{
    std::set<std::tuple<const WritableRegister*, std::int32_t, std::int32_t>> seen;
    std::set<std::int32_t> offline;
    for (std::size_t i = 0; i < saved.registers.size(); ++i) {
        const SavedRegister& reg = saved.registers[i];
        if (!seen.insert({reg.row, reg.n, reg.where}).second) {
            Reader atLine = reader;
            atLine.line = lines[i];
            atLine.refuse("repeated: " + registerText(*reg.row, reg.n, reg.where));
        }
    }
    for (const std::int32_t core : saved.offline) {
        if (!offline.insert(core).second)
            throw ExceptionWithMessage(printable(reader.name) + ": core " + std::to_string(core) + " offline twice");
    }
    const auto need = [&](const WritableRegister& row, std::int32_t where) {
        for (std::int32_t n = 0; n < row.count(reader.profile); ++n) {
            const bool present = seen.count({&row, n, where}) != 0;
            const bool isOffline = isMsr(row) && offline.count(where) != 0;
            if (present == isOffline)
                throw ExceptionWithMessage(printable(reader.name) + ": "
                                           + (present ? "a register of offline core " + std::to_string(where) + ": "
                                                      : "missing: ")
                                           + registerText(row, n, where));
        }
    };
    for (const WritableRegister& row : writableRegisters()) {
        if (isMsr(row))
            for (const std::int32_t core : saved.cpus)
                need(row, core);
        else
            for (std::int32_t node = 0; node < saved.nodeCount; ++node)
                need(row, node);
    }
}

} // namespace

std::string savedSettingsText(const ProcessorProfile& profile)
{
    // What the report reads first, so that a device that fails says so as
    // the report would.
    walkReport(profile, [](const ReportItem& /*item*/) {});
    std::ostringstream text;
    text << kFirstLine << "\n"
         << "processor family " << hexText(static_cast<std::uint32_t>(profile.family)) << " model "
         << hexText(static_cast<std::uint32_t>(profile.model)) << " cores " << cpuListText(cpuNumbers(profile))
         << " nodes " << nodesOf(profile) << "\n";
    const auto add = [&text](const WritableRegister& row, std::int32_t where, std::int32_t count) {
        for (std::int32_t n = 0; n < count; ++n) {
            SavedRegister saved{&row, n, where, 0};
            saved.value = readSavedRegister(saved);
            text << lineOf(saved) << "\n";
        }
    };
    for (const SystemCpu& cpu : profileCpus(profile)) {
        if (!cpu.online)
            text << "core " << cpu.number << " offline\n";
        else
            for (const WritableRegister& row : writableRegisters())
                if (isMsr(row))
                    add(row, cpu.number, row.count(profile));
    }
    forEachNode(profile, [&](std::int32_t node) {
        for (const WritableRegister& row : writableRegisters())
            if (!isMsr(row))
                add(row, node, row.count(profile));
    });
    return text.str();
}

std::uint64_t readSavedRegister(const SavedRegister& saved)
{
    const WritableRegister& row = *saved.row;
    if (isMsr(row))
        return readMsr(saved.where, row.number(saved.n));
    return readPciConfig(northbridgeOf(saved.where), row.function, row.number(saved.n));
}

SavedSettings parseSavedSettings(const ProcessorProfile& profile, const std::string& name, const std::string& text)
{
    Reader reader{profile, name};
    if (text.empty())
        throw ExceptionWithMessage(printable(name) + ": empty");
    if (text.back() != '\n')
        throw ExceptionWithMessage(printable(name) + ": cut short: the last line has no end");
    SavedSettings saved;
    std::vector<std::size_t> registerLines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++reader.line;
        if (reader.line == 1) {
            if (line != kFirstLine)
                reader.refuse(std::string("not saved settings of pravellon: the first line is not \"") + kFirstLine
                              + "\"");
        } else if (reader.line == 2) {
            reader.readProcessor(line, saved);
        } else {
            const std::size_t before = saved.registers.size();
            reader.readRegister(line, saved);
            if (saved.registers.size() > before)
                registerLines.push_back(reader.line);
        }
    }
    if (reader.line < 2)
        throw ExceptionWithMessage(printable(name) + ": cut short: no processor line");
    checkWhole(reader, registerLines, saved);
    std::sort(saved.offline.begin(), saved.offline.end());
    return saved;
}
