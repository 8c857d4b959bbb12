#pragma once
// FreeBSD's ioctl request encoding, which <sys/pciio.h> includes. Linux
// defines _IOWR with another encoding, so ours has a name of its own.

// inout | ((length & 0x1FFF) << 16) | (group << 8) | number, as FreeBSD has it.
#define PRAVELLON_FREEBSD_IOWR(group, number, type) \
    (0x40000000UL | 0x80000000UL | ((sizeof(type) & 0x1FFFUL) << 16) | ((unsigned long)(group) << 8) | (number))
