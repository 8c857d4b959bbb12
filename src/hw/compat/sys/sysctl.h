#pragma once
// FreeBSD's sysctlbyname(3), which glibc does not have: the FreeBSD device code
// asks it for the number of CPUs. Built elsewhere only for pravellon-sim and
// the tests, whose emulated kernel answers it.

#include <stddef.h>

extern "C" int sysctlbyname(const char* name, void* oldp, size_t* oldlenp, const void* newp, size_t newlen);
