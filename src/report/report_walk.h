#pragma once
// The report as a walk over what it reads. Each item is handed to the sink as
// soon as it is complete, so a sink that prints at once leaves on the terminal
// everything read before a failing read, and the reads happen in the order of
// the items whatever the sink does with them.

#include <cstdint>
#include <functional>

#include "cpu/processor_profile.h"
#include "report/report_items.h"

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
