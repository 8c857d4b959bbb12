#include "report/report_walk.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cpu/core_pstate_fields.h"
#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "cpu/registers.h"
#include "cpu/vid.h"
#include "hw/bitfield.h"
#include "hw/device.h"
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

// A northbridge register's value on every node, node 0 first: with one node,
// node 0's alone.
std::vector<std::uint32_t> readOnEveryNode(const ProcessorProfile& profile, std::uint8_t function, std::uint32_t reg)
{
    std::vector<std::uint32_t> values;
    forEachNode(profile, [&](std::int32_t node) { values.push_back(readPciConfig(northbridgeOf(node), function, reg)); });
    return values;
}

// Each other node whose value of a register is not node 0's is named with what.
template <typename Differs>
void compareOtherNodes(const ProcessorProfile& profile, const std::vector<std::uint32_t>& values,
                       std::vector<DifferingNodeItem>& items, const std::string& what, Differs differs)
{
    forEachOtherNode(profile, [&](std::int32_t node) {
        const auto index = static_cast<std::size_t>(node);
        if (differs(values[index], values[0]))
            items[index].in.push_back(what);
    });
}


// The other nodes should hold node 0's northbridge settings, a northbridge
// P-state's enable bit among them. Every register compared is read on node 0
// and then on each other node, all before the first item; each node that
// differs gets an item naming what.
void walkDifferingNodes(const ProcessorProfile& profile, const ReportSink& sink, bool withApm)
{
    const FamilyTraits& traits = familyTraits(profile);
    withApm = withApm && traits.hasApm;
    if (profile.nodeCount <= 1) {
        if (withApm)
            sink(ApmItem{bits::test(readOnEveryNode(profile, kFunctionLinkControl, kPciBoostControl)[0], kApmEnable)});
        return;
    }
    std::vector<DifferingNodeItem> items(static_cast<std::size_t>(profile.nodeCount));
    std::optional<ApmItem> apm;
    if (profile.boostSupported || traits.hasApm) {
        const std::vector<std::uint32_t> control = readOnEveryNode(profile, kFunctionLinkControl, kPciBoostControl);
        if (profile.boostSupported)
            compareOtherNodes(profile, control, items, "boost source", [](std::uint32_t a, std::uint32_t b) {
                return bits::get(a, kBoostSource) != bits::get(b, kBoostSource);
            });
        if (traits.hasApm)
            compareOtherNodes(profile, control, items, "APM", [](std::uint32_t a, std::uint32_t b) {
                return bits::test(a, kApmEnable) != bits::test(b, kApmEnable);
            });
        if (withApm)
            apm = ApmItem{bits::test(control[0], kApmEnable)};
    }
    if (traits.hasNbPstateRegisters) {
        for (std::int32_t n = 0; n < nbPstateRegisterCount(profile); ++n) {
            const std::vector<std::uint32_t> values = readOnEveryNode(profile, kFunctionExtendedMisc, nbPstateAddress(n));
            compareOtherNodes(profile, values, items, "NB_P" + std::to_string(n),
                              [&profile, n](std::uint32_t a, std::uint32_t b) {
                                  const NbPstate x = decodeNbPstate(profile, n, a);
                                  const NbPstate y = decodeNbPstate(profile, n, b);
                                  return nbPstateEnabled(a) != nbPstateEnabled(b) || x.multiplier != y.multiplier
                                      || x.vid != y.vid;
                              });
        }
    }
    forEachOtherNode(profile, [&](std::int32_t node) {
        DifferingNodeItem& item = items[static_cast<std::size_t>(node)];
        item.node = node;
        if (!item.in.empty())
            sink(item);
    });
    if (apm)
        sink(*apm);
}

void walkNbPstates(const ProcessorProfile& profile, const ReportSink& sink)
{
    sink(NbPstateCountItem{profile.nbPstateCount});
    for (std::int32_t i = 0; i < nbPstateRegisterCount(profile); ++i)
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

void walkReport(const ProcessorProfile& profile, const ReportSink& sink, bool withApm)
{
    sink(generalItem(profile));
    sink(boostItem(profile));
    sink(pstateCountItem(profile));
    const PstateRegisters core0 = walkCorePstates(profile, sink);
    walkDifferingCores(profile, core0, sink);
    walkDifferingNodes(profile, sink, withApm);
    if (familyTraits(profile).hasNbPstateRegisters)
        walkNbPstates(profile, sink);
}
