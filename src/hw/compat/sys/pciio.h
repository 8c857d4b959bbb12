#pragma once
// The records and requests of FreeBSD's pci(4), as published for amd64; see
// cpuctl.h beside this file for why the requests are spelled out.
//
// Like FreeBSD's, this header includes only <sys/ioccom.h>: its u_int*_t types
// come from <sys/types.h>, which must be included before it.

#include "sys/ioccom.h" // PRAVELLON_FREEBSD_IOWR

struct pcisel {
    u_int32_t pc_domain;
    u_int8_t pc_bus;
    u_int8_t pc_dev;
    u_int8_t pc_func;
};

struct pci_io {
    struct pcisel pi_sel;
    int pi_reg;
    int pi_width;
    u_int32_t pi_data;
};

#define PCIOCREAD PRAVELLON_FREEBSD_IOWR('p', 2, struct pci_io)
#define PCIOCWRITE PRAVELLON_FREEBSD_IOWR('p', 3, struct pci_io)

static_assert(sizeof(struct pcisel) == 8, "struct pcisel is 8 bytes");
static_assert(sizeof(struct pci_io) == 20, "struct pci_io is 20 bytes");
static_assert(__builtin_offsetof(struct pci_io, pi_reg) == 8, "pi_reg at 8");
static_assert(__builtin_offsetof(struct pci_io, pi_width) == 12, "pi_width at 12");
static_assert(__builtin_offsetof(struct pci_io, pi_data) == 16, "pi_data at 16");
static_assert(PCIOCREAD == 0xC0147002UL, "PCIOCREAD");
static_assert(PCIOCWRITE == 0xC0147003UL, "PCIOCWRITE");
