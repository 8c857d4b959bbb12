#include "report/report_walk.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "cpu/registers.h"
#include "cpu/vid.h"
#include "hw/bitfield.h"
#include "hw/device.h"
#include "pstate/core_pstate_fields.h"
#include "report/format.h"

namespace {

GeneralItem generalItem(const ProcessorProfile& profile)
{
    GeneralItem item;
    item.family = profile.family;
    item.model = profile.model;
    item.coreCount = profile.coreCount;
    item.nodeCount = profile.nodeCount;
    item.cpuCount = static_cast<std::int32_t>(profileCpus(profile).size());
    item.referenceClockMhz = profile.refClockFactor * 100.0;
    item.minMultiplier = shownCoreMultiplier(profile, profile.minMultiplier);
    item.topMultiplier = shownCoreMultiplier(profile, profile.topMultiplier);
    item.minVoltage = profile.minVoltage;
    item.maxVoltage = profile.maxVoltage;
    item.voltageStep = vidStep(profile);
    return item;
}

BoostItem boostItem(const ProcessorProfile& profile)
{
    BoostItem item;
    item.supported = profile.boostSupported;
    if (!item.supported)
        return item;
    item.enabled = profile.boostEnabled;
    item.locked = profile.boostLocked;
    // Only worth telling when boost actually raises the ceiling.
    if (profile.maxMultiplier != profile.topMultiplier)
        item.maxMultiplier = shownCoreMultiplier(profile, profile.maxMultiplier);
    return item;
}

PstateCountItem pstateCountItem(const ProcessorProfile& profile)
{
    PstateCountItem item;
    item.enabled = profile.pstateCount;
    item.total = familyTraits(profile).pstateRegisterCount;
    if (profile.boostSupported && profile.boostStateCount > 0)
        item.boosted = profile.boostStateCount;
    return item;
}

// Core 0's P-state registers as read for the report, P0 first.
using PstateRegisters = std::vector<std::uint64_t>;

PstateRegisters walkCorePstates(const ProcessorProfile& profile, const ReportSink& sink)
{
    PstateRegisters registers;
    for (std::int32_t i = 0; i < profile.pstateCount; ++i) {
        registers.push_back(readMsr(0, corePstateMsr(i)));
        sink(corePstateItem(profile, i, registers.back()));
    }
    return registers;
}

// Whether two values of P-state register index would show differently: its
// enable bit, or anything of its line. Bits nothing shows and no token sets
// make no difference a user could see or mend.
bool pstatesDiffer(const ProcessorProfile& profile, std::int32_t index, std::uint64_t a, std::uint64_t b)
{
    const CorePstate x = decodeCorePstate(profile, index, a);
    const CorePstate y = decodeCorePstate(profile, index, b);
    return bits::test(a, core_pstate_fields::kPstateEnable) != bits::test(b, core_pstate_fields::kPstateEnable)
        || x.multiplier != y.multiplier || x.vid != y.vid || x.nbPstate != y.nbPstate || x.nbVid != y.nbVid;
}

// Core 0's settings are the processor's. The other cores should hold the same
// P-states and boost setting; one that does not (set by another tool, or a run
// that failed half-way) runs at settings nobody sees otherwise, so it gets an
// item naming them. An offline core cannot be read, and is named as such.
void walkDifferingCores(const ProcessorProfile& profile, const PstateRegisters& core0, const ReportSink& sink)
{
    forEachOtherCpu(profile, [&](const SystemCpu& cpu) {
        if (!cpu.online) {
            sink(OfflineCoreItem{cpu.number});
            return;
        }
        DifferingCoreItem item;
        item.core = cpu.number;
        for (std::size_t i = 0; i < core0.size(); ++i) {
            const auto n = static_cast<std::int32_t>(i);
            if (pstatesDiffer(profile, n, readMsr(cpu.number, corePstateMsr(n)), core0[i]))
                item.in.push_back("P" + std::to_string(n));
        }
        // Core 0's bit is the probe's.
        if (profile.boostSupported
            && bits::test(readMsr(cpu.number, kMsrHardwareConfig), kBoostDisable) != profile.boostDisabled)
            item.in.emplace_back("boost");
        if (!item.in.empty())
            sink(item);
    });
}

// The other nodes should hold node 0's northbridge settings, a northbridge
// P-state's enable bit among them. Every register compared is read on node 0
// and then on each other node, all before the first item; each node that
// differs gets an item naming what.
void walkDifferingNodes(const ProcessorProfile& profile, const ReportSink& sink)
{
    if (profile.nodeCount <= 1)
        return;
    const FamilyTraits& traits = familyTraits(profile);
    const auto nodes = static_cast<std::size_t>(profile.nodeCount);
    const auto readOnEveryNode = [&](std::uint8_t function, std::uint32_t reg) {
        std::vector<std::uint32_t> values;
        forEachNode(profile,
                    [&](std::int32_t node) { values.push_back(readPciConfig(northbridgeOf(node), function, reg)); });
        return values;
    };
    std::vector<DifferingNodeItem> items(nodes);
    if (profile.boostSupported || traits.hasApm) {
        const std::vector<std::uint32_t> control = readOnEveryNode(kFunctionLinkControl, kPciBoostControl);
        for (std::size_t node = 1; node < nodes; ++node) {
            if (profile.boostSupported && bits::get(control[node], kBoostSource) != bits::get(control[0], kBoostSource))
                items[node].in.emplace_back("boost source");
            if (traits.hasApm && bits::test(control[node], kApmEnable) != bits::test(control[0], kApmEnable))
                items[node].in.emplace_back("APM");
        }
    }
    if (traits.hasNbPstateRegisters) {
        for (std::int32_t n = 0; n < profile.nbPstateCount && n < kMaxNbPstates; ++n) {
            const std::vector<std::uint32_t> values = readOnEveryNode(kFunctionExtendedMisc, nbPstateAddress(n));
            const NbPstate node0 = decodeNbPstate(profile, n, values[0]);
            for (std::size_t node = 1; node < nodes; ++node) {
                const NbPstate other = decodeNbPstate(profile, n, values[node]);
                if (nbPstateEnabled(values[node]) != nbPstateEnabled(values[0]) || other.multiplier != node0.multiplier
                    || other.vid != node0.vid)
                    items[node].in.push_back("NB_P" + std::to_string(n));
            }
        }
    }
    for (std::size_t node = 1; node < nodes; ++node) {
        items[node].node = static_cast<std::int32_t>(node);
        if (!items[node].in.empty())
            sink(items[node]);
    }
}

void walkNbPstates(const ProcessorProfile& profile, const ReportSink& sink)
{
    sink(NbPstateCountItem{profile.nbPstateCount});
    for (std::int32_t i = 0; i < profile.nbPstateCount; ++i)
        sink(NbPstateItem{readNbPstate(profile, i)});
}

} // namespace

CorePstateItem corePstateItem(const ProcessorProfile& profile, std::int32_t index, std::uint64_t value)
{
    return CorePstateItem{decodeCorePstate(profile, index, value)};
}

NbPstateItem nbPstateItem(const ProcessorProfile& profile, std::int32_t index, std::uint32_t value)
{
    return NbPstateItem{decodeNbPstate(profile, index, value)};
}

void walkReport(const ProcessorProfile& profile, const ReportSink& sink)
{
    sink(generalItem(profile));
    sink(boostItem(profile));
    sink(pstateCountItem(profile));
    const PstateRegisters core0 = walkCorePstates(profile, sink);
    walkDifferingCores(profile, core0, sink);
    walkDifferingNodes(profile, sink);
    if (familyTraits(profile).hasNbPstateRegisters)
        walkNbPstates(profile, sink);
}
