#include "hw/hex_text.h"

namespace {

constexpr char kDigits[] = "0123456789abcdef";

} // namespace

std::string hexText(std::uint64_t value, std::size_t minDigits)
{
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (digits.size() < minDigits)
        digits.insert(0, minDigits - digits.size(), '0');
    return "0x" + digits;
}

std::string pciRegisterText(std::uint8_t device, std::uint8_t function, std::uint32_t reg)
{
    return hexText(device).substr(2) + "." + hexText(function).substr(2) + " " + hexText(reg);
}

std::string byteDigits(unsigned char byte)
{
    return {kDigits[byte >> 4], kDigits[byte & 0xF]};
}

std::string familyModelText(std::int32_t family, std::int32_t model)
{
    // As 32-bit numbers, so that no value could print as a 64-bit one.
    return "AMD family " + hexText(static_cast<std::uint32_t>(family)) + ", model "
        + hexText(static_cast<std::uint32_t>(model));
}

std::string printable(const std::string& name)
{
    std::string text;
    for (const char byte : name) {
        const auto c = static_cast<unsigned char>(byte);
        if (c < 0x20 || c == 0x7F)
            text += "\\x" + byteDigits(c);
        else
            text += byte;
    }
    return text;
}
