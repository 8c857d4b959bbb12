#include "report/report_walk.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "cpu/registers.h"
#include "cpu/vid.h"
#include "hw/device.h"
#include "report/format.h"

namespace {

GeneralItem generalItem(const ProcessorProfile& profile)
{
    GeneralItem item;
    item.family = profile.family;
    item.model = profile.model;
    item.coreCount = profile.coreCount;
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

// Core 0's P-states are the processor's. The other cores should hold the same;
// one that does not (set by another tool, or a run that failed half-way) runs
// at P-states nobody sees otherwise, so it gets an item naming them.
void walkDifferingCores(const ProcessorProfile& profile, const PstateRegisters& core0, const ReportSink& sink)
{
    forEachOtherCore(profile, [&](std::int32_t core) {
        DifferingCoreItem item;
        item.core = core;
        for (std::size_t i = 0; i < core0.size(); ++i) {
            const auto n = static_cast<std::int32_t>(i);
            if (readMsr(core, corePstateMsr(n)) != core0[i])
                item.pstates.push_back(n);
        }
        if (!item.pstates.empty())
            sink(item);
    });
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
    if (familyTraits(profile).hasNbPstateRegisters)
        walkNbPstates(profile, sink);
}
