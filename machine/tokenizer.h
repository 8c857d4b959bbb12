#pragma once
// The words of a machine file: lines, the tokens of a line, and the numbers
// and PCI functions a token spells. Shared by the parser, the writer (which
// replaces a value in place, keeping its spelling), the device paths and the
// emulator's messages. Numbers are written back by hw/hex_text.h.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hw/hex_text.h"

// The widest core number a file may give: one that fits an int32_t.
constexpr unsigned kCoreNumberBits = 31;

// A CPU count or number of a cpus or offline line: far beyond any machine's,
// and small enough that a loop over the CPUs stays short.
constexpr unsigned kCpuNumberBits = 12;

// A token is a span of its line, so that a value can be replaced in place.
struct Token {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// The text's lines, without their newlines; a last line without a newline is
// a line too.
std::vector<std::string> splitLines(const std::string& text);

// The tokens of a line: runs of non-blank characters before a '#', which
// starts a comment.
std::vector<Token> tokenize(const std::string& line);

// Whether the text starts with 0x or 0X.
bool hasHexPrefix(const std::string& text);

// Digits in base 16 or 10 into a value of at most `width` bits; false on an
// empty text, a stray character or a value too wide, never overflowing.
bool parseDigits(const std::string& digits, unsigned base, unsigned width, std::uint64_t& value);

// 0x-prefixed hexadecimal or plain decimal; a leading 0 is still decimal.
bool parseNumber(const std::string& text, unsigned width, std::uint64_t& value);

// DEV.FUNC, both hexadecimal, as lspci writes them: 18.3. Sets device and
// function only when the whole text reads.
bool parsePciFunction(const std::string& text, std::uint8_t& device, std::uint8_t& function);

// An entry of the file as a message repeats it: the file may hold anything,
// and what reaches the terminal must be plain text of one line, so control
// and non-ASCII bytes are written \xHH, a backslash \\, and a long entry is
// cut.
std::string shown(const std::string& entry);

// The errno a fail line names (EPERM, ...), or 0 for a name it may not give.
int errorNumber(const std::string& name);

// The name of an errno that errorNumber reads; empty for any other.
std::string errorName(int error);
