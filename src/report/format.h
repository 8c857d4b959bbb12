#pragma once
// The pieces of the report's lines that pravellon-sim's --changes prints too,
// as pure functions of values already decoded, so both spell them alike.

#include <cstdint>
#include <string>
#include <vector>

#include "cpu/processor_profile.h"
#include "pstate/core_pstate.h"
#include "report/report_items.h"

// A number as the report prints it: %g with six significant digits ("200",
// "7.5", "4.33333").
std::string numberText(double value);

// Core multipliers are kept in units of 100 MHz; the user reads them as
// multiples of the actual reference clock.
double shownCoreMultiplier(const ProcessorProfile& profile, double multiplier);

// A multiplier as the user types it, "20x" or "11.5x": six significant digits,
// and whatever the value, an absent -1 included.
std::string multiplierText(double multiplier);

// Names in a line, "P0, P3, boost".
std::string namesText(const std::vector<std::string>& names);

// The voltage of a VID, "1.25V".
std::string voltageText(const ProcessorProfile& profile, std::int32_t vid);

// Where a core P-state puts the northbridge, "NorthBridge in NB_P0 at 1.1V",
// without the voltage when the P-state holds no northbridge VID. Only for a
// P-state that names a northbridge P-state.
std::string northbridgeText(const ProcessorProfile& profile, const CorePstate& pstate);

// The clock and voltage of a P-state, "20x at 1.25V"; a clock whose divisor
// ID names no divisor reads "reserved divisor at 1.35V".
std::string clockText(const ProcessorProfile& profile, const CorePstateItem& item);
std::string clockText(const ProcessorProfile& profile, const NbPstateItem& item);

// A core P-state on one line, as a listing of changes shows it: "20x at 1.25V,
// NorthBridge in NB_P0 at 1.1V".
std::string corePstateLineText(const ProcessorProfile& profile, const CorePstateItem& item);
