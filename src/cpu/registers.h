#pragma once
// Registers that several layers read: the probe and the switches that change
// them, with their fields named here once; and the numbers of the P-state
// registers, whose fields have headers of their own beside this one
// (cpu/core_pstate_fields.h, cpu/nb_pstate_fields.h), so that the list of every
// register the program reads (cpu/registers_read.h) and the table of those it
// writes (cpu/writable_registers.h) need nothing above cpu/.

#include <cstdint>

#include "hw/bitfield.h"

// CPUID leaves read by the probe.
constexpr std::uint32_t kCpuidVendor = 0x80000000;
constexpr std::uint32_t kCpuidFamilyModel = 0x80000001;
constexpr std::uint32_t kCpuidPowerManagement = 0x80000007;
constexpr std::uint32_t kCpuidCoreCount = 0x80000008;

// "cAMD": the last four characters of the vendor string, in ECX of leaf 0x80000000.
constexpr std::uint32_t kAmdVendorEcx = 0x444d4163;

// EAX of leaf 0x80000001: the family is base plus extended family, the model
// the extended model above the base model.
constexpr bits::Field kBaseFamily{11, 8};
constexpr bits::Field kExtendedFamily{27, 20};
constexpr bits::Field kExtendedModel{19, 16};
constexpr bits::Field kBaseModel{7, 4};

// EDX of leaf 0x80000007: boost.
constexpr bits::Field kBoostSupported = bits::bit(9);

// ECX of leaf 0x80000008: the number of cores minus one.
constexpr bits::Field kCoreCountMinusOne{7, 0};

// Hardware configuration: a bit that disables boost on its core.
constexpr std::uint32_t kMsrHardwareConfig = 0xC0010015;
constexpr bits::Field kBoostDisable = bits::bit(25);

// Core P-state n, 0 .. kMaxCorePstates - 1: the hardware has room for eight,
// P0 to P7.
constexpr std::uint32_t kMsrPstateBase = 0xC0010064;
constexpr std::int32_t kMaxCorePstates = 8;

constexpr std::uint32_t corePstateMsr(std::int32_t n)
{
    return kMsrPstateBase + static_cast<std::uint32_t>(n);
}

// P-state control: the request that switches a core to another P-state,
// counting from the first non-boosted P-state.
constexpr std::uint32_t kMsrPstateControl = 0xC0010062;
constexpr bits::Field kPstateRequest{2, 0};

// COFVID status: multiplier and voltage limits, and the current P-state.
constexpr std::uint32_t kMsrCofvidStatus = 0xC0010071;
constexpr bits::Field kMaxClockLimit{54, 49};
constexpr bits::Field kMinVoltageVid{48, 42};
constexpr bits::Field kMaxVoltageVid{41, 35};
constexpr bits::Field kCurrentPstate{18, 16};
// The VID the core runs at now: a P-state's new voltage shows here once the
// core has entered the P-state again. Seven bits on every model: on the 8-bit
// models it holds the VID's low seven bits (bit 16 is the current P-state's).
constexpr bits::Field kCurrentVid{15, 9};

// P-state current limit: the fastest P-state the processor lets the cores run
// in now (its own limit, for heat or power), counted as the request is, from
// the first non-boosted P-state.
constexpr std::uint32_t kMsrPstateLimit = 0xC0010061;
constexpr bits::Field kCurrentPstateLimit{2, 0};

// Northbridge function 4 register 0x15C: boost source, boost state count,
// APM enable and lock.
constexpr std::uint8_t kFunctionLinkControl = 4;
constexpr std::uint32_t kPciBoostControl = 0x15C;
constexpr bits::Field kBoostSource{1, 0};
constexpr bits::Field kBoostStateCount{4, 2};
constexpr bits::Field kFamily10BoostStateCount = bits::bit(2);
constexpr bits::Field kApmEnable = bits::bit(7);
constexpr bits::Field kBoostLock = bits::bit(31);

// Northbridge function 3: the P-state count, and the top multiplier with boost.
constexpr std::uint8_t kFunctionMisc = 3;
constexpr std::uint32_t kPciClockPowerControl = 0xDC;
constexpr bits::Field kPstateCountMinusOne{10, 8};
constexpr std::uint32_t kPciFamily15BoostLimit = 0xD4;
constexpr bits::Field kFamily15BoostLimitMultiplier{5, 0};
constexpr std::uint32_t kPciFamily10BoostLimit = 0x1F0;
constexpr bits::Field kFamily10BoostLimitMultiplier{25, 20};

// Northbridge function 5 register 0x170: the northbridge P-state count.
constexpr std::uint8_t kFunctionExtendedMisc = 5;
constexpr std::uint32_t kPciNbPstateControl = 0x170;
constexpr bits::Field kNbPstateCountMinusOne{1, 0};

// Northbridge P-state n, 0 .. kMaxNbPstates - 1, beside their count: the
// hardware has room for four, 0x160 to 0x16C; the register after them is the
// northbridge P-state control register.
constexpr std::uint32_t kPciNbPstateBase = 0x160;
constexpr std::int32_t kMaxNbPstates = 4;

constexpr std::uint32_t nbPstateAddress(std::int32_t n)
{
    return kPciNbPstateBase + 4 * static_cast<std::uint32_t>(n);
}

// Northbridge function 0 register 0x60, node ID: the number of nodes of the
// whole machine, minus one.
constexpr std::uint8_t kFunctionHtConfig = 0;
constexpr std::uint32_t kPciNodeId = 0x60;
constexpr bits::Field kNodeCountMinusOne{6, 4};
