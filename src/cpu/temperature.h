#pragma once
// Tctl, the control temperature of each node: a value the processor derives
// for its fans and its thermal limits, in degrees Celsius but not a sensor's
// reading, so it says how warm the processor runs only relative to itself.

#include <cstdint>
#include <optional>

#include "cpu/processor_profile.h"
#include "hw/bitfield.h"

// Northbridge function 3 register 0xA4, reported temperature control: Tctl in
// eighths of a degree, and the range it counts from.
constexpr std::uint32_t kPciReportedTemperature = 0xA4;
constexpr bits::Field kCurrentTemperature{31, 21};
constexpr bits::Field kTemperatureRangeSelect{17, 16};

// Whether the processor reports Tctl in that register: some models keep it
// where the program does not read.
bool reportsTctl(const ProcessorProfile& profile);

// Tctl in degrees Celsius from the register's value; nothing where the
// processor does not report it there, or where the register holds no
// reading: all bits clear (a hypervisor's unemulated register, a machine file
// without it) or all set (no device answered).
std::optional<double> decodeTctl(const ProcessorProfile& profile, std::uint32_t value);

// One read of node's register, decoded; no read where the processor does not
// report Tctl there.
std::optional<double> readTctl(const ProcessorProfile& profile, std::int32_t node);
