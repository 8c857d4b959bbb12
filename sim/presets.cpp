// The built-in processors of pravellon-sim, as machine files. Each states the
// P-state table it means; the registers are computed so that the probe and
// the decoders read exactly that table back. Enabled P-state registers have
// bit 63 set, as on hardware, and registers the program does not own carry
// plausible neighbouring bits so that a stray mask shows.

#include "sim/presets.h"

namespace {

std::vector<Preset> makePresets()
{
    std::vector<Preset> all;
    all.push_back(Preset{"family10", "family 0x10 model 0x0a, 6 cores, boost (the default)", R"machine(# Family 0x10 model 0x0a, six cores, with core performance boost: modelled on
# a six-core desktop processor of 2010, 3.2 GHz and boosted to 3.6 GHz.
# 200 MHz reference clock, 7-bit VIDs of 12.5 mV.
#
# Core P-states (multipliers of the 200 MHz reference clock, as reported):
#   P0  3600 MHz  18x    1.475 V   boosted, NB_P0 at 1.175 V
#   P1  3200 MHz  16x    1.4 V     NB_P0 at 1.175 V
#   P2  2400 MHz  12x    1.25 V    NB_P0 at 1.175 V
#   P3  1600 MHz  8x     1.1 V     NB_P0 at 1.175 V
#   P4   800 MHz  4x     1 V       NB_P1 at 1.075 V
# Multipliers 0.5 .. 18, 16 without boost; voltages 0.8 .. 1.475 V.
# Boost enabled and unlocked, P0 boosted. Running in P1.

# CPUID: vendor, family and model, power management (edx bit 9: boost), core count
cpuid 0x80000000 0x8000001b 0x68747541 0x444d4163 0x69746e65
cpuid 0x80000001 0x00100fa0 0x10000000 0x000037ff 0xefd3fbff
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000003f9
cpuid 0x80000008 0x00003030 0x00000000 0x00003005 0x00000000

# MSRs
msr 0xc0010015 0x0000000001000010  # hardware configuration; bit 25 disables boost
msr 0xc0010062 0x0000000000000000  # P-state request [2:0]
msr 0xc0010064 0x800001403c000c14  # P0
msr 0xc0010065 0x8000013a3c001810  # P1
msr 0xc0010066 0x800001343c003008  # P2
msr 0xc0010067 0x8000012e3c004850  # P3
msr 0xc0010068 0x800001284c405840  # P4
msr 0xc0010071 0x0040f0303c011810  # current P-state [18:16], limits: multiplier [54:49], VIDs [48:42] [41:35]

# PCI configuration of the northbridge, device 0x18
pci 18.3 0xa4 0x29800fef  # Tctl [31:21]: 41.5 C
pci 18.3 0xdc 0x00000c80  # P-state count - 1 [10:8]
pci 18.3 0x1f0 0x02400000  # boosted multiplier [25:20]
pci 18.4 0x15c 0x00000007  # boost: lock [31], boosted P-states [2], source [1:0]
)machine"});
    all.push_back(Preset{"family10-mixed", "family 0x10 model 0x0a, 6 cores, boost, core 3 with a P1 of its own", R"machine(# Family 0x10 model 0x0a, six cores, with core performance boost: modelled on
# a six-core desktop processor of 2010, 3.2 GHz and boosted to 3.6 GHz.
# 200 MHz reference clock, 7-bit VIDs of 12.5 mV.
#
# Core P-states (multipliers of the 200 MHz reference clock, as reported):
#   P0  3600 MHz  18x    1.475 V   boosted, NB_P0 at 1.175 V
#   P1  3200 MHz  16x    1.4 V     NB_P0 at 1.175 V
#   P2  2400 MHz  12x    1.25 V    NB_P0 at 1.175 V
#   P3  1600 MHz  8x     1.1 V     NB_P0 at 1.175 V
#   P4   800 MHz  4x     1 V       NB_P1 at 1.075 V
# Multipliers 0.5 .. 18, 16 without boost; voltages 0.8 .. 1.475 V.
# Boost enabled and unlocked, P0 boosted. Running in P1.
#
# Core 3 disagrees: its P1 asks for 1.35 V instead of 1.4 V, as another tool
# or a run cut short may leave a processor. The report names it, and applying
# any P-state writes every core, this one included.

# CPUID: vendor, family and model, power management (edx bit 9: boost), core count
cpuid 0x80000000 0x8000001b 0x68747541 0x444d4163 0x69746e65
cpuid 0x80000001 0x00100fa0 0x10000000 0x000037ff 0xefd3fbff
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000003f9
cpuid 0x80000008 0x00003030 0x00000000 0x00003005 0x00000000

# MSRs
msr 0xc0010015 0x0000000001000010  # hardware configuration; bit 25 disables boost
msr 0xc0010062 0x0000000000000000  # P-state request [2:0]
msr 0xc0010064 0x800001403c000c14  # P0
msr 0xc0010065 0x8000013a3c001810  # P1
msr 0xc0010065 0x8000013a3c002010 core 3  # core 3's own P1: 16x at 1.35 V
msr 0xc0010066 0x800001343c003008  # P2
msr 0xc0010067 0x8000012e3c004850  # P3
msr 0xc0010068 0x800001284c405840  # P4
msr 0xc0010071 0x0040f0303c011810  # current P-state [18:16], limits: multiplier [54:49], VIDs [48:42] [41:35]

# PCI configuration of the northbridge, device 0x18
pci 18.3 0xa4 0x2b000fef  # Tctl [31:21]: 43 C
pci 18.3 0xdc 0x00000c80  # P-state count - 1 [10:8]
pci 18.3 0x1f0 0x02400000  # boosted multiplier [25:20]
pci 18.4 0x15c 0x00000007  # boost: lock [31], boosted P-states [2], source [1:0]
)machine"});
    all.push_back(Preset{"family10-2socket",
                         "two family 0x10 model 0x08 processors, 6 cores each, 12 CPUs, node 1's boost source off",
                         R"machine(# Two family 0x10 model 0x08 processors of six cores, one node each: modelled on
# a two-socket server of 2009. The operating system numbers its 12 CPUs
# alternately across the sockets: CPU 0 on socket 0, CPU 1 on socket 1, and so
# on, so "cores 0 .. 5" would be half of each socket. 200 MHz reference clock,
# 7-bit VIDs of 12.5 mV.
#
# No two-socket family 0x10 part had core performance boost; this one has it
# all the same (CPUID leaf 0x80000007 edx bit 9), which the emulator allows, so
# that node 1's boost source, left off, shows in the report as a node that
# differs from node 0.
#
# Core P-states (multipliers of the 200 MHz reference clock, as reported):
#   P0  3600 MHz  18x    1.475 V   boosted, NB_P0 at 1.175 V
#   P1  3200 MHz  16x    1.4 V     NB_P0 at 1.175 V
#   P2  2400 MHz  12x    1.25 V    NB_P0 at 1.175 V
#   P3  1600 MHz  8x     1.1 V     NB_P0 at 1.175 V
#   P4   800 MHz  4x     1 V       NB_P1 at 1.075 V
# Multipliers 0.5 .. 18, 16 without boost; voltages 0.8 .. 1.475 V.
# Boost enabled and unlocked on node 0, P0 boosted. Running in P1, CPU 7 in P3.

# CPUID: vendor, family and model, power management (edx bit 9: boost), cores
# of one processor
cpuid 0x80000000 0x8000001b 0x68747541 0x444d4163 0x69746e65
cpuid 0x80000001 0x00100f80 0x10000000 0x000037ff 0xefd3fbff
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000003f9
cpuid 0x80000008 0x00003030 0x00000000 0x00003005 0x00000000

# The operating system's CPUs: both processors' cores
cpus 12

# MSRs, alike on every CPU
msr 0xc0010015 0x0000000001000010  # hardware configuration; bit 25 disables boost
msr 0xc0010062 0x0000000000000000  # P-state request [2:0]
msr 0xc0010064 0x800001403c000c14  # P0
msr 0xc0010065 0x8000013a3c001810  # P1
msr 0xc0010066 0x800001343c003008  # P2
msr 0xc0010067 0x8000012e3c004850  # P3
msr 0xc0010068 0x800001284c405840  # P4
msr 0xc0010071 0x0040f0303c011810  # current P-state [18:16], limits: multiplier [54:49], VIDs [48:42] [41:35]
msr 0xc0010071 0x0040f0303c031810 core 7  # CPU 7 runs in P3

# PCI configuration of node 0's northbridge, device 0x18
pci 18.0 0x60 0x00000010  # node count - 1 [6:4], this node [2:0]
pci 18.3 0xa4 0x2f400fef  # Tctl [31:21]: 47.25 C
pci 18.3 0xdc 0x00000c80  # P-state count - 1 [10:8]
pci 18.3 0x1f0 0x02400000  # boosted multiplier [25:20]
pci 18.4 0x15c 0x00000007  # boost: lock [31], boosted P-states [2], source [1:0]

# Node 1's northbridge, device 0x19: the boost source is off
pci 19.0 0x60 0x00000011  # node count - 1 [6:4], this node [2:0]
pci 19.3 0xa4 0x2cc00fef  # Tctl [31:21]: 44.75 C
pci 19.3 0xdc 0x00000c80  # P-state count - 1 [10:8]
pci 19.3 0x1f0 0x02400000  # boosted multiplier [25:20]
pci 19.4 0x15c 0x00000004  # boost: lock [31], boosted P-states [2], source [1:0]
)machine"});
    all.push_back(Preset{"family10-noboost", "family 0x10 model 0x04, 4 cores, no boost", R"machine(# Family 0x10 model 0x04, four cores, without core performance boost:
# modelled on a quad-core 3.0 GHz desktop processor of 2009.
# 200 MHz reference clock, 7-bit VIDs of 12.5 mV.
#
# Core P-states (multipliers of the 200 MHz reference clock, as reported):
#   P0  3000 MHz  15x    1.35 V    NB_P0 at 1.175 V
#   P1  2300 MHz  11.5x  1.25 V    NB_P0 at 1.175 V
#   P2  1800 MHz  9x     1.15 V    NB_P0 at 1.175 V
#   P3   800 MHz  4x     1.05 V    NB_P1 at 1.075 V
# Multipliers 0.5 .. 15; voltages 0.8 .. 1.4 V. No boost. Running in P0.

# CPUID: vendor, family and model, power management (edx bit 9: boost), core count
cpuid 0x80000000 0x8000001b 0x68747541 0x444d4163 0x69746e65
cpuid 0x80000001 0x00100f42 0x10000000 0x000037ff 0xefd3fbff
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000001f9
cpuid 0x80000008 0x00003030 0x00000000 0x00002003 0x00000000

# MSRs
msr 0xc0010015 0x0000000001000010  # hardware configuration; bit 25 disables boost
msr 0xc0010062 0x0000000000000000  # P-state request [2:0]
msr 0xc0010064 0x800001403c00200e  # P0
msr 0xc0010065 0x8000013a3c003007  # P1
msr 0xc0010066 0x800001343c004002  # P2
msr 0xc0010067 0x8000012e4c405040  # P3
msr 0xc0010068 0x0000000000000000  # P4, disabled
msr 0xc0010071 0x003cf0603c00200e  # current P-state [18:16], limits: multiplier [54:49], VIDs [48:42] [41:35]

# PCI configuration of the northbridge, device 0x18
pci 18.3 0xa4 0x26000fef  # Tctl [31:21]: 38 C
pci 18.3 0xdc 0x00000b80  # P-state count - 1 [10:8]
pci 18.3 0x1f0 0x00000000  # boosted multiplier [25:20]: none
pci 18.4 0x15c 0x00000000  # boost: none
)machine"});
    all.push_back(Preset{"family12", "family 0x12 model 0x01, 4 cores, boost", R"machine(# Family 0x12 model 0x01, four cores, with core performance boost: modelled
# on a quad-core desktop APU of 2011, 2.5 GHz and boosted to 2.8 GHz.
# 100 MHz reference clock, 7-bit VIDs of 12.5 mV.
#
# Core P-states:
#   P0  2800 MHz  28x    1.4125 V  boosted
#   P1  2500 MHz  25x    1.3375 V
#   P2  2000 MHz  20x    1.2 V
#   P3  1200 MHz  12x    1.025 V
#   P4   800 MHz  8x     0.9 V
# Multipliers 1 .. 28; voltages 0.775 .. 1.425 V.
# Boost enabled (always reported locked on this family), P0 boosted.
# Running in P1.

# CPUID: vendor, family and model, power management (edx bit 9: boost), core count
cpuid 0x80000000 0x8000001b 0x68747541 0x444d4163 0x69746e65
cpuid 0x80000001 0x00300f10 0x20000000 0x000033ff 0xefd3fbff
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000003d9
cpuid 0x80000008 0x00003030 0x00000000 0x00002003 0x00000000

# MSRs
msr 0xc0010015 0x0000000001000010  # hardware configuration; bit 25 disables boost
msr 0xc0010062 0x0000000000000000  # P-state request [2:0]
msr 0xc0010064 0x80000140000016c0  # P0
msr 0xc0010065 0x8000013a00002290  # P1
msr 0xc0010066 0x8000013400003840  # P2
msr 0xc0010067 0x8000012e00005421  # P3
msr 0xc0010068 0x8000012800006883  # P4
msr 0xc0010069 0x0000000000000000  # P5, disabled
msr 0xc001006a 0x0000000000000000  # P6, disabled
msr 0xc001006b 0x0000000000000000  # P7, disabled
msr 0xc0010071 0x0018f85000012290  # current P-state [18:16], limits: multiplier [54:49], VIDs [48:42] [41:35]

# PCI configuration of the northbridge, device 0x18
pci 18.3 0xa4 0x34200fef  # Tctl [31:21]: 52.125 C
pci 18.3 0xdc 0x00000c80  # P-state count - 1 [10:8]
pci 18.4 0x15c 0x00000005  # boost: boosted P-states [4:2], source [1:0]
)machine"});
    all.push_back(Preset{"family14", "family 0x14 model 0x01, 2 cores, no boost", R"machine(# Family 0x14 model 0x01, two cores, without core performance boost:
# modelled on a dual-core 1.6 GHz low-power APU of 2011. 100 MHz reference
# clock, 7-bit VIDs of 12.5 mV. The core clock is the 3.2 GHz main clock
# (multiplier 32) divided by the P-state's divisor (2, 2.5 and 4).
#
# Core P-states:
#   P0  1600 MHz  16x    1.25 V
#   P1  1280 MHz  12.8x  1.15 V
#   P2   800 MHz  8x     1 V
# Multipliers 1.20755 .. 32; voltages 0.85 .. 1.35 V. No boost. Running in P0.

# CPUID: vendor, family and model, power management (edx bit 9: boost), core count
cpuid 0x80000000 0x8000001b 0x68747541 0x444d4163 0x69746e65
cpuid 0x80000001 0x00500f10 0x00000000 0x000035ff 0x2fd3fbff
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000001d9
cpuid 0x80000008 0x00003030 0x00000000 0x00001001 0x00000000

# MSRs
msr 0xc0010015 0x0000000001000010  # hardware configuration; bit 25 disables boost
msr 0xc0010062 0x0000000000000000  # P-state request [2:0]
msr 0xc0010064 0x8000014000003010  # P0
msr 0xc0010065 0x8000013a00004012  # P1
msr 0xc0010066 0x8000013400005830  # P2
msr 0xc0010067 0x0000000000000000  # P3, disabled
msr 0xc0010068 0x0000000000000000  # P4, disabled
msr 0xc0010069 0x0000000000000000  # P5, disabled
msr 0xc001006a 0x0000000000000000  # P6, disabled
msr 0xc001006b 0x0000000000000000  # P7, disabled
msr 0xc0010071 0x0020e08000003010  # current P-state [18:16], limits: multiplier [54:49], VIDs [48:42] [41:35]

# PCI configuration of the northbridge, device 0x18
pci 18.3 0xa4 0x2e800fef  # Tctl [31:21]: 46.5 C
pci 18.3 0xdc 0x00000a80  # P-state count - 1 [10:8]
pci 18.4 0x15c 0x00000000  # boost: none
)machine"});
    all.push_back(Preset{"family15", "family 0x15 model 0x01, 8 cores, boost, 7-bit VIDs, 200 MHz clock", R"machine(# Family 0x15 model 0x01, eight cores, with core performance boost: modelled
# on an eight-core desktop processor of 2011, 3.6 GHz and boosted to 3.9 and
# 4.2 GHz. 200 MHz reference clock, 7-bit VIDs of 12.5 mV.
#
# Core P-states (multipliers of the 200 MHz reference clock, as reported):
#   P0  4200 MHz  21x    1.4125 V  boosted, NB_P0
#   P1  3900 MHz  19.5x  1.3875 V  boosted, NB_P0
#   P2  3600 MHz  18x    1.35 V    NB_P0
#   P3  3300 MHz  16.5x  1.2875 V  NB_P0
#   P4  2700 MHz  13.5x  1.175 V   NB_P0
#   P5  2100 MHz  10.5x  1.0625 V  NB_P1
#   P6  1400 MHz  7x     0.875 V   NB_P1
# Northbridge P-states (ratios as reported):
#   NB_P0  22x  1.175 V
#   NB_P1  11x  1.05 V
# Multipliers 0.5 .. 21, 18 without boost; voltages 0.75 .. 1.45 V.
# Boost enabled and unlocked, P0 and P1 boosted. APM enabled. Running in P2.

# CPUID: vendor, family and model, power management (edx bit 9: boost), core count
cpuid 0x80000000 0x8000001e 0x68747541 0x444d4163 0x69746e65
cpuid 0x80000001 0x00600f12 0x10000000 0x01ebbfff 0x2fd3fbff
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000007d9
cpuid 0x80000008 0x00003030 0x00000000 0x00004007 0x00000000

# MSRs
msr 0xc0010015 0x0000000001000010  # hardware configuration; bit 25 disables boost
msr 0xc0010062 0x0000000000000000  # P-state request [2:0]
msr 0xc0010064 0x800001400000161a  # P0
msr 0xc0010065 0x8000013a00001a17  # P1
msr 0xc0010066 0x8000013400002014  # P2
msr 0xc0010067 0x8000012e00002a11  # P3
msr 0xc0010068 0x8000012800003c0b  # P4
msr 0xc0010069 0x8000012200404e05  # P5
msr 0xc001006a 0x8000011c00406c4c  # P6
msr 0xc001006b 0x0000000000000000  # P7, disabled
msr 0xc0010071 0x0049004000022014  # current P-state [18:16], limits: multiplier [54:49], VIDs [48:42] [41:35]

# PCI configuration of the northbridge, device 0x18
pci 18.3 0xa4 0x23c00fef  # Tctl [31:21]: 35.75 C
pci 18.3 0xd4 0x0000012a  # boosted multiplier [5:0]
pci 18.3 0xdc 0x00000e80  # P-state count - 1 [10:8]
pci 18.4 0x15c 0x00000089  # boost: lock [31], APM [7], boosted P-states [4:2], source [1:0]
pci 18.5 0x160 0x00007825  # NB_P0
pci 18.5 0x164 0x0000a0a5  # NB_P1
pci 18.5 0x168 0x00000000  # NB_P2, disabled
pci 18.5 0x16c 0x00000000  # NB_P3, disabled
pci 18.5 0x170 0x00000045  # northbridge P-state count - 1 [1:0]
)machine"});
    all.push_back(Preset{"family15-g34", "family 0x15 model 0x01, one package of 2 nodes, 16 CPUs, node 1's NB_P1 lower",
                         R"machine(# Family 0x15 model 0x01, one package of two nodes of eight cores each: modelled
# on a sixteen-core server processor of 2011 (socket G34). Each node has its own
# northbridge, node 0 at PCI device 0x18 and node 1 at 0x19, and the operating
# system has 16 CPUs. 200 MHz reference clock, 7-bit VIDs of 12.5 mV.
#
# Core P-states (multipliers of the 200 MHz reference clock, as reported):
#   P0  4200 MHz  21x    1.4125 V  boosted, NB_P0
#   P1  3900 MHz  19.5x  1.3875 V  boosted, NB_P0
#   P2  3600 MHz  18x    1.35 V    NB_P0
#   P3  3300 MHz  16.5x  1.2875 V  NB_P0
#   P4  2700 MHz  13.5x  1.175 V   NB_P0
#   P5  2100 MHz  10.5x  1.0625 V  NB_P1
#   P6  1400 MHz  7x     0.875 V   NB_P1
# Northbridge P-states (ratios as reported), node 0:
#   NB_P0  22x  1.175 V
#   NB_P1  11x  1.05 V
# Node 1 differs: its NB_P1 is 11x at 1 V.
# Multipliers 0.5 .. 21, 18 without boost; voltages 0.75 .. 1.45 V.
# Boost enabled and unlocked, P0 and P1 boosted. APM enabled. Running in P2.

# CPUID: vendor, family and model, power management (edx bit 9: boost), cores
# of the package
cpuid 0x80000000 0x8000001e 0x68747541 0x444d4163 0x69746e65
cpuid 0x80000001 0x00600f12 0x10000000 0x01ebbfff 0x2fd3fbff
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000007d9
cpuid 0x80000008 0x00003030 0x00000000 0x0000500f 0x00000000

# MSRs, alike on every CPU
msr 0xc0010015 0x0000000001000010  # hardware configuration; bit 25 disables boost
msr 0xc0010062 0x0000000000000000  # P-state request [2:0]
msr 0xc0010064 0x800001400000161a  # P0
msr 0xc0010065 0x8000013a00001a17  # P1
msr 0xc0010066 0x8000013400002014  # P2
msr 0xc0010067 0x8000012e00002a11  # P3
msr 0xc0010068 0x8000012800003c0b  # P4
msr 0xc0010069 0x8000012200404e05  # P5
msr 0xc001006a 0x8000011c00406c4c  # P6
msr 0xc001006b 0x0000000000000000  # P7, disabled
msr 0xc0010071 0x0049004000022014  # current P-state [18:16], limits: multiplier [54:49], VIDs [48:42] [41:35]

# PCI configuration of node 0's northbridge, device 0x18
pci 18.0 0x60 0x00000010  # node count - 1 [6:4], this node [2:0]
pci 18.3 0xa4 0x2d800fef  # Tctl [31:21]: 45.5 C
pci 18.3 0xd4 0x0000012a  # boosted multiplier [5:0]
pci 18.3 0xdc 0x00000e80  # P-state count - 1 [10:8]
pci 18.4 0x15c 0x00000089  # boost: lock [31], APM [7], boosted P-states [4:2], source [1:0]
pci 18.5 0x160 0x00007825  # NB_P0
pci 18.5 0x164 0x0000a0a5  # NB_P1
pci 18.5 0x168 0x00000000  # NB_P2, disabled
pci 18.5 0x16c 0x00000000  # NB_P3, disabled
pci 18.5 0x170 0x00000045  # northbridge P-state count - 1 [1:0]

# Node 1's northbridge, device 0x19: NB_P1 at 1 V
pci 19.0 0x60 0x00000011  # node count - 1 [6:4], this node [2:0]
pci 19.3 0xa4 0x2b400fef  # Tctl [31:21]: 43.25 C
pci 19.3 0xd4 0x0000012a  # boosted multiplier [5:0]
pci 19.3 0xdc 0x00000e80  # P-state count - 1 [10:8]
pci 19.4 0x15c 0x00000089  # boost: lock [31], APM [7], boosted P-states [4:2], source [1:0]
pci 19.5 0x160 0x00007825  # NB_P0
pci 19.5 0x164 0x0000b0a5  # NB_P1
pci 19.5 0x168 0x00000000  # NB_P2, disabled
pci 19.5 0x16c 0x00000000  # NB_P3, disabled
pci 19.5 0x170 0x00000045  # northbridge P-state count - 1 [1:0]
)machine"});
    all.push_back(Preset{"family15-8bit", "family 0x15 model 0x10, 4 cores, boost, 8-bit VIDs", R"machine(# Family 0x15 model 0x10, four cores, with core performance boost: modelled
# on a quad-core desktop APU of 2012, 3.8 GHz and boosted to 4.0 and 4.2 GHz.
# 100 MHz reference clock, 8-bit VIDs of 6.25 mV.
#
# Core P-states:
#   P0  4200 MHz  42x    1.475 V   boosted, NB_P0
#   P1  4000 MHz  40x    1.45 V    boosted, NB_P0
#   P2  3800 MHz  38x    1.4125 V  NB_P0
#   P3  3400 MHz  34x    1.35 V    NB_P0
#   P4  3000 MHz  30x    1.2875 V  NB_P0
#   P5  2500 MHz  25x    1.2 V     NB_P1
#   P6  1900 MHz  19x    1.1 V     NB_P1
#   P7  1400 MHz  14x    0.9625 V  NB_P1
# Northbridge P-states (ratios as reported):
#   NB_P0  18x  1.25 V
#   NB_P1  16x  1.1875 V
#   NB_P2  14x  1.125 V
#   NB_P3  11x  1 V
# Multipliers 1 .. 42, 38 without boost; voltages 0.9 .. 1.5 V.
# Boost enabled and unlocked, P0 and P1 boosted. APM enabled. Running in P2,
# core 1 boosted into P0.

# CPUID: vendor, family and model, power management (edx bit 9: boost), core count
cpuid 0x80000000 0x8000001e 0x68747541 0x444d4163 0x69746e65
cpuid 0x80000001 0x00610f01 0x20000000 0x01ebbfff 0x2fd3fbff
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000007d9
cpuid 0x80000008 0x00003030 0x00000000 0x00004003 0x00000000

# MSRs
msr 0xc0010015 0x0000000001000010  # hardware configuration; bit 25 disables boost
msr 0xc0010062 0x0000000000000000  # P-state request [2:0]
msr 0xc0010064 0x800001400000181a  # P0
msr 0xc0010065 0x8000013a00002018  # P1
msr 0xc0010066 0x8000013400002c16  # P2
msr 0xc0010067 0x8000012e00004012  # P3
msr 0xc0010068 0x800001280000540e  # P4
msr 0xc0010069 0x8000012200407009  # P5
msr 0xc001006a 0x8000011c00409003  # P6
msr 0xc001006b 0x800001160040bc4c  # P7
msr 0xc0010071 0x004da04000022c16  # current P-state [18:16], limits: multiplier [54:49], VIDs [48:42] [41:35]
msr 0xc0010071 0x004da04000002c16 core 1  # core 1 runs in the boosted P0

# PCI configuration of the northbridge, device 0x18
pci 18.3 0xa4 0x57230fef  # Tctl [31:21]: 38.125 C, counted from -49 C [17:16]
pci 18.3 0xd4 0x0000012a  # boosted multiplier [5:0]
pci 18.3 0xdc 0x00000f80  # P-state count - 1 [10:8]
pci 18.4 0x15c 0x00000089  # boost: lock [31], APM [7], boosted P-states [4:2], source [1:0]
pci 18.5 0x160 0x0000c01d  # NB_P0
pci 18.5 0x164 0x0000e819  # NB_P1
pci 18.5 0x168 0x00011015  # NB_P2
pci 18.5 0x16c 0x000160a5  # NB_P3
pci 18.5 0x170 0x00000047  # northbridge P-state count - 1 [1:0]
)machine"});
    all.push_back(Preset{"family11", "family 0x11, an AMD family the program refuses", R"machine(# Family 0x11 model 0x03, two cores: modelled on a dual-core mobile processor of
# 2008. An AMD processor of a family the program does not support: the probe
# refuses it after reading its family.

cpuid 0x80000000 0x8000001a 0x68747541 0x444d4163 0x69746e65
cpuid 0x80000001 0x00200f31 0x00000000 0x0000131f 0xebd3fbff
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x000001f9
cpuid 0x80000008 0x00003028 0x00000000 0x00001001 0x00000000

msr 0xc0010015 0x0000000001000010  # hardware configuration
msr 0xc0010064 0x800001404c00200c  # P0
msr 0xc0010071 0x0018f0000c01200c  # limits and current P-state
)machine"});
    all.push_back(Preset{"intel", "a processor of another vendor, which the probe refuses", R"machine(# A processor of another vendor: leaf 0x80000000 holds no vendor string (ECX
# is 0 instead of "cAMD"), so the probe refuses it on its first read. Leaf 0
# carries the vendor string of the real part this is modelled on.

cpuid 0x00000000 0x0000000d 0x756e6547 0x6c65746e 0x49656e69
cpuid 0x80000000 0x80000008 0x00000000 0x00000000 0x00000000
cpuid 0x80000001 0x00000000 0x00000000 0x00000001 0x28100800
cpuid 0x80000007 0x00000000 0x00000000 0x00000000 0x00000100
cpuid 0x80000008 0x00003027 0x00000000 0x00000000 0x00000000
)machine"});
    return all;
}

} // namespace

const std::vector<Preset>& presets()
{
    static const std::vector<Preset> all = makePresets();
    return all;
}

const Preset& defaultPreset()
{
    return presets().front();
}

const Preset* findPreset(const std::string& name)
{
    for (const Preset& preset : presets())
        if (preset.name == name)
            return &preset;
    return nullptr;
}
