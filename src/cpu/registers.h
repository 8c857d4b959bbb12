#pragma once
// Registers that several layers read: the probe and the switches that change them.

#include <cstdint>

// CPUID leaves read by the probe.
constexpr std::uint32_t kCpuidVendor = 0x80000000;
constexpr std::uint32_t kCpuidFamilyModel = 0x80000001;
constexpr std::uint32_t kCpuidPowerManagement = 0x80000007;
constexpr std::uint32_t kCpuidCoreCount = 0x80000008;

// "cAMD": the last four characters of the vendor string, in ECX of leaf 0x80000000.
constexpr std::uint32_t kAmdVendorEcx = 0x444d4163;

// Hardware configuration; bit 25 disables core performance boost.
constexpr std::uint32_t kMsrHardwareConfig = 0xC0010015;
constexpr unsigned kBoostDisableBit = 25;

// Multiplier and voltage limits, and the current P-state.
constexpr std::uint32_t kMsrCofvidStatus = 0xC0010071;

// Northbridge function 4 register 0x15C: boost source [1:0], boost state count,
// APM enable (bit 7) and lock (bit 31).
constexpr std::uint8_t kFunctionLinkControl = 4;
constexpr std::uint32_t kPciBoostControl = 0x15C;
constexpr unsigned kBoostSourceHi = 1;
constexpr unsigned kBoostSourceLo = 0;
constexpr unsigned kApmEnableBit = 7;

// The boost source that switches boost on: family 0x10 takes both sources, the
// later families have a single one. The probe counts boost as enabled exactly
// when the field holds this value.
constexpr std::uint32_t boostSourceOn(std::int32_t family)
{
    return family == 0x10 ? 3 : 1;
}

// Northbridge function 3: the P-state count, and the top multiplier with boost.
constexpr std::uint8_t kFunctionMisc = 3;
constexpr std::uint32_t kPciClockPowerControl = 0xDC;   // P-state count in [10:8]
constexpr std::uint32_t kPciFamily15BoostLimit = 0xD4;  // family 0x15 top multiplier in [5:0]
constexpr std::uint32_t kPciFamily10BoostLimit = 0x1F0; // family 0x10 top multiplier in [25:20]

// Northbridge function 5 register 0x170: the northbridge P-state count in [1:0].
constexpr std::uint8_t kFunctionExtendedMisc = 5;
constexpr std::uint32_t kPciNbPstateControl = 0x170;
