#pragma once
// What the report shows, item by item: the values the report's walk reads and
// decodes, which the text and JSON reports and the listing of changes print.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "pstate/core_pstate.h"
#include "pstate/nb_pstate.h"

// The processor as the probe found it; nothing is read for it. Multipliers are
// as the user types them, multiples of the reference clock.
struct GeneralItem {
    std::int32_t family = 0;
    std::int32_t model = 0;
    std::int32_t coreCount = 0; // of one processor
    std::int32_t nodeCount = 1;
    std::int32_t cpuCount = 0; // of the machine, present ones
    double referenceClockMhz = 0.0;
    double minMultiplier = 0.0;
    double topMultiplier = 0.0;
    double minVoltage = 0.0;
    double maxVoltage = 0.0;
    double voltageStep = 0.0;
};

// Core performance boost as the probe found it. The other fields mean nothing
// when it is not supported; maxMultiplier is there only where boost raises the
// ceiling above the top multiplier.
struct BoostItem {
    bool supported = false;
    bool enabled = false;
    bool locked = false;
    std::optional<double> maxMultiplier;
};

// How many core P-states are enabled of the registers the family has, and how
// many of the first ones are boost P-states (none where boost is unsupported).
struct PstateCountItem {
    std::int32_t enabled = 0;
    std::int32_t total = 0;
    std::int32_t boosted = 0;
};

// One enabled core P-state of core 0, decoded from its register.
struct CorePstateItem {
    CorePstate pstate;
};

// A core whose settings are not all core 0's, and which they are: "P0",
// "P3", "boost".
struct DifferingCoreItem {
    std::int32_t core = 0;
    std::vector<std::string> in;
};

// A core the operating system has offline, which cannot be read; in core
// order among the differing cores.
struct OfflineCoreItem {
    std::int32_t core = 0;
};

// A node whose northbridge settings are not all node 0's, and which they are:
// "boost source", "APM", "NB_P1".
struct DifferingNodeItem {
    std::int32_t node = 0;
    std::vector<std::string> in;
};

// Whether APM is on, node 0's setting; only for a walk that asks for it, on a
// family with APM. No line of the report shows it; --tokens sets it again.
struct ApmItem {
    bool enabled = false;
};

// The northbridge P-states follow, this many; only on families with registers
// for them.
struct NbPstateCountItem {
    std::int32_t count = 0;
};

// One northbridge P-state, decoded from its register.
struct NbPstateItem {
    NbPstate pstate;
};

// In the order the walk hands them over: General, Boost, PstateCount, every
// CorePstate, the DifferingCores and OfflineCores in core order, the
// DifferingNodes, the Apm item where asked for, then NbPstateCount and every
// NbPstate.
using ReportItem = std::variant<GeneralItem, BoostItem, PstateCountItem, CorePstateItem, DifferingCoreItem,
                                OfflineCoreItem, DifferingNodeItem, ApmItem, NbPstateCountItem, NbPstateItem>;
