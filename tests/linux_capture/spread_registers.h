#pragma once
// The msr and cpuid devices answer each register at the offset of its number,
// and the next number is another register, not the next byte: in a plain file
// standing in for them, MSR 0xC0010064 and 0xC0010065 would share seven
// bytes. So those stand-in files hold register n at n times its size, and
// pread and pwrite (wrapped at link time) on any descriptor of such a file
// move the offset there. The device code under test is not changed.

#include <cstddef>
#include <string>

namespace spread_registers {

// From now on a transfer at offset n of file goes to n * width in it.
void spread(const std::string& file, std::size_t width);

// Forget every spread file.
void reset();

} // namespace spread_registers
