#pragma once
// Emulated processors for the report tests, their registers worked out by hand.
// The P-state registers carry the enable bit and current values in their upper
// half, which the report must never look at, and a few carry bits in fields
// their family does not have (northbridge P-state and VID on families 0x12 and
// 0x14, the northbridge VID on 0x15, VID bit 7 on a 7-bit northbridge P-state).
// Machines without boost have no boost registers at all, so reading them fails.

#include <string>

// A whole report: the sections' fixed lines around what each section holds.
inline std::string wholeReport(const std::string& general, const std::string& boost, const std::string& pstates)
{
    return "\nPravellon v1.1\n\n.:. General\n---\n" + general + "\n.:. Turbo\n---\n" + boost +
           "\n.:. P-states\n---\n" + pstates;
}

// Family 0x10 model 0xA, six cores, 200 MHz reference. Limits: top 36 (F3x1F0
// [25:20]), max 32, VIDs 64 (0.75 V) and 4 (1.5 V). Boost source 3, one boost
// state, unlocked. P-states (multiplier in 100 MHz, VID, NB P-state, NB VID):
// 36/6/0/30, 32/12/0/30, 25/24/0/30, 19/34/0/30, 16÷2/46/1/38.
inline const char* const kThubanMachine = R"(cpuid 0x80000000 0x8000001B 0x68747541 0x444D4163 0x69746E65
cpuid 0x80000001 0x00100FA0 0x10000000 0x000037FF 0xEFD3FBFF
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000003F9
cpuid 0x80000008 0x00003030 0x00000000 0x00000005 0x00000000
msr 0xC0010015 0x0000000001000010
msr 0xC0010071 0x0041002000000C14
msr 0xC0010064 0x800001493C000C14
msr 0xC0010065 0x800001493C001810
msr 0xC0010066 0x800001493C003009
msr 0xC0010067 0x800001493C004403
msr 0xC0010068 0x800001494C405C40
pci 18.3 0xDC 0x00006400
pci 18.3 0x1F0 0x02400000
pci 18.4 0x15C 0x00000107
)";

// Family 0x10 model 0x4, four cores, no boost. Limits: max 30, both VID
// fields 0. P-states: 30/10/0/36, 23/20/0/36, 18/28/0/36, 16÷2/40/1/44.
inline const char* const kDenebMachine = R"(cpuid 0x80000000 0x8000001B 0x68747541 0x444D4163 0x69746E65
cpuid 0x80000001 0x00100F42 0x10000000 0x000037FF 0xEFD3FBFF
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000001F9
cpuid 0x80000008 0x00003030 0x00000000 0x00000003 0x00000000
msr 0xC0010071 0x003C00000000140E
msr 0xC0010064 0x800001494800140E
msr 0xC0010065 0x8000014948002807
msr 0xC0010066 0x8000014948003802
msr 0xC0010067 0x8000014958405040
pci 18.3 0xDC 0x00000300
)";

// Family 0x12 model 0x1, four cores. Limits: f 7 (max 23), VIDs 60 (0.8 V) and
// 8 (1.45 V). Boost source 1 but switched off by HWCR bit 25; one boost state;
// lock bit clear (this family counts as locked anyway). P-states (frequency
// ID, divisor ID, VID): 7/0/12 = 23, 12/2/24 = 14, 17/3/33 = 11, 0/2/44 = 8.
inline const char* const kLlanoMachine = R"(cpuid 0x80000000 0x8000001B 0x68747541 0x444D4163 0x69746E65
cpuid 0x80000001 0x00300F10 0x20000000 0x000037FF 0xEFD3FBFF
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000003F9
cpuid 0x80000008 0x00003030 0x00000000 0x00000003 0x00000000
msr 0xC0010015 0x0000000003000010
msr 0xC0010071 0x000EF040000130C2
msr 0xC0010064 0x8000014900001870
msr 0xC0010065 0x80000149544030C2
msr 0xC0010066 0x8000014900004313
msr 0xC0010067 0x8000014900005802
pci 18.3 0xDC 0x00000300
pci 18.4 0x15C 0x00000005
)";

// Family 0x14 model 0x1, two cores, no boost, f 0 so no top multiplier: every
// P-state decodes to 0. VIDs 76 (0.6 V) and 12 (1.4 V). P-states (integer
// digit, quarter digit, VID): 1/0/16, 1/2/25, 3/0/36.
inline const char* const kZacateMachine = R"(cpuid 0x80000000 0x8000001B 0x68747541 0x444D4163 0x69746E65
cpuid 0x80000001 0x00500F10 0x00000000 0x000035FF 0x2FD3FBFF
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000001F9
cpuid 0x80000008 0x00003024 0x00000000 0x00000001 0x00000000
msr 0xC0010071 0x0001306000000000
msr 0xC0010064 0x8000014900002010
msr 0xC0010065 0x8000014900403212
msr 0xC0010066 0x800001495A004830
pci 18.3 0xDC 0x00000200
)";

// Family 0x15 model 0x1, eight cores, 200 MHz reference, 7-bit VIDs. Limits:
// top 42 (F3xD4 [5:0]), max 36, VIDs 56 (0.85 V) and 8 (1.45 V). Boost source
// 1, two boost states, locked. P-states (multiplier in 100 MHz, VID, NB
// P-state): 42/11/0, 39/14/0, 36/16/0, 33/20/0, 27/28/0, 21/37/1, 28÷2/51/1.
// Two northbridge P-states (ratio, VID): 11/31, 5.5/42.
inline const char* const kZambeziMachine = R"(cpuid 0x80000000 0x8000001E 0x68747541 0x444D4163 0x69746E65
cpuid 0x80000001 0x00600F12 0x10000000 0x01C9BFFF 0x2FD3FBFF
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000007D9
cpuid 0x80000008 0x00003030 0x00000000 0x00004007 0x00000000
msr 0xC0010015 0x0000000001000010
msr 0xC0010071 0x0048E04000000000
msr 0xC0010064 0x800001491400161A
msr 0xC0010065 0x8000014900001C17
msr 0xC0010066 0x8000014900002014
msr 0xC0010067 0x8000014900002811
msr 0xC0010068 0x800001490000380B
msr 0xC0010069 0x8000014900404A05
msr 0xC001006A 0x800001490040664C
pci 18.3 0xDC 0x00000600
pci 18.3 0xD4 0x0000006A
pci 18.4 0x15C 0x80000009
pci 18.5 0x170 0x00000001
pci 18.5 0x160 0x00207C0F
pci 18.5 0x164 0x0000A88F
)";

// Family 0x15 model 0x13, four cores, 100 MHz reference, 8-bit VIDs at
// 6.25 mV. Limits: top 44, max 41, VIDs 120 (0.8 V) and 8 (1.5 V). Boost
// source 1, two boost states, unlocked. P-states (frequency ID, divisor ID,
// VID, NB P-state): 28/0/12/0, 27/0/16/0, 25/0/24/0, 19/0/40/0, 14/0/54/0,
// 7/0/72/1, 20/1/128/1. Four northbridge P-states (ratio, VID): 18/48, 16/60,
// 14/72, 8.5/130 (VID bit 7 in register bit 21).
inline const char* const kRichlandMachine = R"(cpuid 0x80000000 0x8000001E 0x68747541 0x444D4163 0x69746E65
cpuid 0x80000001 0x00610F31 0x20000000 0x01EBBFFF 0x2FD3FBFF
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000007D9
cpuid 0x80000008 0x00003030 0x00000000 0x00004003 0x00000000
msr 0xC0010015 0x0000000001000010
msr 0xC0010071 0x0053E04000000000
msr 0xC0010064 0x800001490000181C
msr 0xC0010065 0x800001490000201B
msr 0xC0010066 0x8000014900003019
msr 0xC0010067 0x8000014900005013
msr 0xC0010068 0x8000014900006C0E
msr 0xC0010069 0x8000014900409007
msr 0xC001006A 0x8000014900410054
pci 18.3 0xDC 0x00000600
pci 18.3 0xD4 0x0000002C
pci 18.4 0x15C 0x00000009
pci 18.5 0x170 0x00000003
pci 18.5 0x160 0x0000C01D
pci 18.5 0x164 0x0000F019
pci 18.5 0x168 0x00012015
pci 18.5 0x16C 0x0020089B
)";
