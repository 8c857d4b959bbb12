#pragma once
// Numbers on the command line are read whole or not at all. A number that
// only begins the text (1,25 or 1250mV for a voltage, "on" for a switch, P1x
// for a P-state) would otherwise be taken for a different request than the
// one typed, and on this program that can stop or overvolt the processor.

#include <cstdint>
#include <optional>
#include <string>

// Splits source at the first separator: before goes to first, after to second
// (empty when the separator does not occur).
void splitAt(const std::string& source, char separator, std::string& first, std::string& second);

// A P-state number: one or more decimal digits and nothing else, within the
// 32-bit signed range.
std::optional<std::int32_t> readIndexText(const std::string& text);

// An integer: optional white space, an optional sign, at least one decimal
// digit, optional white space, and nothing else, within the 32-bit signed range.
std::optional<std::int32_t> readIntegerText(const std::string& text);

// A decimal number: optional white space, an optional sign, digits with at
// most one point (at least one digit), an optional exponent, then the unit
// letter (given in lower case, typed in either) if the user writes it, optional white space, and
// nothing else. Hexadecimal, "inf", "nan" and numbers beyond the range of a
// double (too large, or so small that they would read as 0) are not numbers here.
std::optional<double> readDecimalText(const std::string& text, char unit);
