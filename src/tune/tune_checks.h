#pragma once
// What must hold before the first step of a tuning: nothing but the tuning
// moves the cores' P-states, and Tctl can be watched and is not too high
// already. Each check returns why the tuning cannot start, or nothing.

#include <cstdint>
#include <optional>
#include <string>

#include "cpu/processor_profile.h"

// Why the cores' P-states are not the tuning's alone: a core's current
// P-state or the processor's P-state limit moved within a second (about ten
// looks) without the program asking. Empty when none moved.
std::string unsteadyPstates(const ProcessorProfile& profile);

// Why Tctl forbids tuning with limit (degrees; 0 when it is not watched): a
// node whose Tctl cannot be read, or is above limit already. Empty otherwise.
std::string tctlRefusal(const ProcessorProfile& profile, double limit);

// The first node, node 0 first, whose Tctl cannot be read (no celsius) or is
// above limit; nothing when every node's is readable and within it.
struct NodeTctl {
    std::int32_t node = 0;
    std::optional<double> celsius;
};
std::optional<NodeTctl> tctlBeyond(const ProcessorProfile& profile, double limit);

// Tctl as the tuning writes it, with one decimal: "83.5C".
std::string tctlOneDecimal(double celsius);
