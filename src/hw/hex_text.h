#pragma once
// Numbers in hexadecimal as every message, listing, trace, report and machine
// file writes them, so that a register reads the same wherever it shows.

#include <cstddef>
#include <cstdint>
#include <string>

// Lower-case hexadecimal after 0x, without leading zeros unless padded to
// minDigits digits (0x0, 0xc0010064; 0x00000003 with 8).
std::string hexText(std::uint64_t value, std::size_t minDigits = 1);

// A PCI register of bus 0 as messages and listings name it: "18.4 0x15c",
// device and function as lspci writes them.
std::string pciRegisterText(std::uint8_t device, std::uint8_t function, std::uint32_t reg);

// A byte as the two lower-case digits of an escape, without prefix: "1b".
std::string byteDigits(unsigned char byte);

// A processor as the report and a captured machine file name it:
// "AMD family 0x15, model 0x1".
std::string familyModelText(std::int32_t family, std::int32_t model);

// A name the user gave (a file, an option, a preset) as a message quotes
// it: control bytes (below 0x20, and 0x7F) as \xHH, so that no escape sequence reaches the terminal, and
// every other byte as it is, so that UTF-8 names stay readable.
std::string printable(const std::string& name);
