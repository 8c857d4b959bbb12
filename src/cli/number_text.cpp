#include "cli/number_text.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// White space as the C locale knows it, whatever locale is set.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

void skipBlanks(const std::string& text, std::size_t& at)
{
    while (at < text.size() && isBlank(text[at]))
        ++at;
}

bool skipSign(const std::string& text, std::size_t& at)
{
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        ++at;
        return text[at - 1] == '-';
    }
    return false;
}

// Digits from at on, as their magnitude; nullopt when there is none. The
// magnitude stops growing past 2^31, which is out of range for every caller.
std::optional<std::int64_t> readDigits(const std::string& text, std::size_t& at)
{
    constexpr std::int64_t beyond = std::int64_t{1} << 31;
    const std::size_t first = at;
    std::int64_t magnitude = 0;
    for (; at < text.size() && isDigit(text[at]); ++at) {
        if (magnitude <= beyond)
            magnitude = magnitude * 10 + (text[at] - '0');
    }
    if (at == first)
        return std::nullopt;
    return magnitude;
}

std::optional<std::int32_t> inInt32Range(std::int64_t value)
{
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::size_t skipDigits(const std::string& text, std::size_t& at)
{
    const std::size_t first = at;
    while (at < text.size() && isDigit(text[at]))
        ++at;
    return at - first;
}

} // namespace

std::optional<std::int32_t> readIndexText(const std::string& text)
{
    std::size_t at = 0;
    const std::optional<std::int64_t> magnitude = readDigits(text, at);
    if (!magnitude || at != text.size())
        return std::nullopt;
    return inInt32Range(*magnitude);
}

std::optional<std::int32_t> readIntegerText(const std::string& text)
{
    std::size_t at = 0;
    skipBlanks(text, at);
    const bool negative = skipSign(text, at);
    const std::optional<std::int64_t> magnitude = readDigits(text, at);
    skipBlanks(text, at);
    if (!magnitude || at != text.size())
        return std::nullopt;
    return inInt32Range(negative ? -*magnitude : *magnitude);
}

std::optional<double> readDecimalText(const std::string& text, char unit)
{
    std::size_t at = 0;
    skipBlanks(text, at);
    const std::size_t numberStart = at;
    skipSign(text, at);
    std::size_t digits = skipDigits(text, at);
    if (at < text.size() && text[at] == '.') {
        ++at;
        digits += skipDigits(text, at);
    }
    if (digits == 0)
        return std::nullopt;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        skipSign(text, at);
        if (skipDigits(text, at) == 0)
            return std::nullopt;
    }
    const std::string number = text.substr(numberStart, at - numberStart);
    const std::size_t exponent = number.find_first_of("eE");
    const bool nonZero = number.substr(0, exponent).find_first_of("123456789") != std::string::npos;
    if (at < text.size() && std::tolower(static_cast<unsigned char>(text[at])) == unit)
        ++at;
    skipBlanks(text, at);
    if (at != text.size())
        return std::nullopt;

    // The text is a plain decimal number now, which strtod reads exactly; only
    // its size can still be beyond a double, too large or too small: a number
    // that is not zero must not be taken for 0, the lowest setting.
    const double value = std::strtod(number.c_str(), nullptr);
    if (std::isinf(value) || (value == 0 && nonZero))
        return std::nullopt;
    return value;
}

void splitAt(const std::string& source, char separator, std::string& first, std::string& second)
{
    const auto at = source.find(separator);
    first = source.substr(0, at);
    second = at == std::string::npos ? std::string() : source.substr(at + 1);
}
