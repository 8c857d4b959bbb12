#pragma once
// Numbers on the command line are read leniently, the way atoi and atof read
// them: leading white space and a sign are allowed, reading stops at the first
// character that does not belong to the number, and text that does not begin
// with a number reads as 0. Scripts rely on this (P1x names P-state 1,
// Turbo=1.9 means Turbo=1), so it stays.

#include <cstdint>
#include <string>

// As atoi reads text, for every number that fits 32 bits. A number beyond the
// 32-bit range, which atoi leaves undefined, reads as the nearest end of that
// range instead, so that a huge index is out of range rather than wrapping
// round to a small valid one.
std::int32_t readLenientInt(const std::string& text);

// As atof reads text (including "inf" and "nan"); 0.0 when no number begins it.
double readLenientDouble(const std::string& text);
