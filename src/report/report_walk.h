#pragma once
// The report as a walk over what it reads. Each item is handed to the sink as
// soon as it is complete, so a sink that prints at once leaves on the terminal
// everything read before a failing read, and the reads happen in the order of
// the items whatever the sink does with them.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cpu/processor_profile.h"
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

using ReportSink = std::function<void(const ReportItem&)>;

// Reads what the report shows, in its order: core 0's P-state registers, each
// other online core's (and its boost bit), each compared northbridge register
// on every node, then the northbridge P-state registers. With withApm, APM as
// well: from node 0's boost control register as the node comparison reads it,
// or with one node read on its own at that point.
void walkReport(const ProcessorProfile& profile, const ReportSink& sink, bool withApm = false);

// The items of registers already read, as the walk makes them.
CorePstateItem corePstateItem(const ProcessorProfile& profile, std::int32_t index, std::uint64_t value);
NbPstateItem nbPstateItem(const ProcessorProfile& profile, std::int32_t index, std::uint32_t value);
