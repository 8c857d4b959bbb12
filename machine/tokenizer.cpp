#include "machine/tokenizer.h"

#include <cerrno>
#include <limits>

#include "hw/hex_text.h"

namespace {

constexpr unsigned kPciDeviceBits = 5;   // devices 0x00-0x1f
constexpr unsigned kPciFunctionBits = 3; // functions 0-7
// How much of an offending entry a message repeats.
constexpr std::size_t kShownEntryBytes = 80;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The errors a device operation can meet, as a fail line may name them.
struct ErrorName {
    int error;
    const char* name;
};
const ErrorName kErrorNames[] = {{EIO, "EIO"},       {EPERM, "EPERM"}, {EACCES, "EACCES"},
                                 {ENOENT, "ENOENT"}, {ENXIO, "ENXIO"}, {EBUSY, "EBUSY"}};

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

} // namespace

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

bool hasHexPrefix(const std::string& text)
{
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

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

bool parseNumber(const std::string& text, unsigned width, std::uint64_t& value)
{
    if (hasHexPrefix(text))
        return parseDigits(text.substr(2), 16, width, value);
    return parseDigits(text, 10, width, value);
}

bool parsePciFunction(const std::string& text, std::uint8_t& device, std::uint8_t& function)
{
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos)
        return false;
    std::uint64_t deviceNumber = 0;
    std::uint64_t functionNumber = 0;
    if (!parseDigits(text.substr(0, dot), 16, kPciDeviceBits, deviceNumber)
        || !parseDigits(text.substr(dot + 1), 16, kPciFunctionBits, functionNumber))
        return false;
    device = static_cast<std::uint8_t>(deviceNumber);
    function = static_cast<std::uint8_t>(functionNumber);
    return true;
}

namespace {

void appendEscaped(std::string& text, unsigned char c)
{
    text += "\\x" + byteDigits(c);
}

} // namespace

std::string shown(const std::string& entry)
{
    std::string text;
    for (std::size_t i = 0; i < entry.size() && i < kShownEntryBytes; ++i) {
        const auto c = static_cast<unsigned char>(entry[i]);
        if (c == '\\') {
            text += "\\\\";
        } else if (c < 0x20 || c > 0x7E) {
            appendEscaped(text, c);
        } else {
            text += static_cast<char>(c);
        }
    }
    if (entry.size() > kShownEntryBytes)
        text += "...";
    return text;
}

int errorNumber(const std::string& name)
{
    for (const ErrorName& known : kErrorNames)
        if (name == known.name)
            return known.error;
    return 0;
}

std::string errorName(int error)
{
    for (const ErrorName& known : kErrorNames)
        if (error == known.error)
            return known.name;
    return std::string();
}
