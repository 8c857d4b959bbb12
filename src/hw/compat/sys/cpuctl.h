#pragma once
// The records and requests of FreeBSD's cpuctl(4), as published for amd64, so
// that the FreeBSD device code builds and is tested on other systems too.
// Linux defines _IOWR with another encoding, so the request numbers are given
// as FreeBSD computes them, checked against the numbers below.
//
// Like FreeBSD's, this header includes nothing: uint64_t must be declared
// before it, so that a missing include fails here as it would on FreeBSD. The
// request encoding, which users of FreeBSD's get from <sys/ioctl.h>, is
// included here, since Linux's <sys/ioctl.h> does not have it.

#include "sys/ioccom.h" // PRAVELLON_FREEBSD_IOWR, FreeBSD's _IOWR

typedef struct {
    int msr;
    uint64_t data;
} cpuctl_msr_args_t;

typedef struct {
    int level;
    uint32_t data[4];
} cpuctl_cpuid_args_t;

#define CPUCTL_RDMSR PRAVELLON_FREEBSD_IOWR('c', 1, cpuctl_msr_args_t)
#define CPUCTL_WRMSR PRAVELLON_FREEBSD_IOWR('c', 2, cpuctl_msr_args_t)
#define CPUCTL_CPUID PRAVELLON_FREEBSD_IOWR('c', 3, cpuctl_cpuid_args_t)

static_assert(sizeof(cpuctl_msr_args_t) == 16, "cpuctl_msr_args_t is 16 bytes");
static_assert(sizeof(cpuctl_cpuid_args_t) == 20, "cpuctl_cpuid_args_t is 20 bytes");
static_assert(CPUCTL_RDMSR == 0xC0106301UL, "CPUCTL_RDMSR");
static_assert(CPUCTL_WRMSR == 0xC0106302UL, "CPUCTL_WRMSR");
static_assert(CPUCTL_CPUID == 0xC0146303UL, "CPUCTL_CPUID");
