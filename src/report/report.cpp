#include "report/report.h"

#include <cstddef>
#include <cstdint>
#include <ios>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "cpu/registers.h"
#include "cpu/vid.h"
#include "hw/device.h"
#include "hw/bitfield.h"
#include "pstate/core_pstate.h"
#include "pstate/core_pstate_fields.h"
#include "pstate/nb_pstate.h"
#include "report/format.h"
#include "version.h"

namespace {

// The stream state the report relies on, put back as it was when the report
// ends, however it ends, so the caller's stream is left untouched.
struct StreamStateGuard {
    std::ostream& out;
    std::ios_base::fmtflags flags;
    std::streamsize precision;

    explicit StreamStateGuard(std::ostream& stream)
        : out(stream), flags(stream.flags()), precision(stream.precision())
    {
    }
    ~StreamStateGuard()
    {
        out.flags(flags);
        out.precision(precision);
    }
    StreamStateGuard(const StreamStateGuard&) = delete;
    StreamStateGuard& operator=(const StreamStateGuard&) = delete;
};

void printGeneral(std::ostream& out, const ProcessorProfile& profile)
{
    out << std::endl;
    out << "Pravellon v" << kPravellonVersion << std::endl;
    out << std::endl;
    out << ".:. General" << std::endl;
    out << "---" << std::endl;
    out << "  AMD family 0x" << std::hex << profile.family << ", model 0x" << profile.model << std::dec
        << " CPU, " << profile.coreCount << " cores" << std::endl;
    // The line above counts the cores of one processor; the machine may have
    // more processors, or nodes, all of which the program reaches.
    const std::size_t cpus = profileCpus(profile).size();
    if (profile.nodeCount > 1 || cpus != static_cast<std::size_t>(profile.coreCount))
        out << "  " << profile.nodeCount << (profile.nodeCount == 1 ? " node, " : " nodes, ") << cpus
            << (cpus == 1 ? " CPU" : " CPUs") << " in all" << std::endl;
    out << "  Default reference clock: " << profile.refClockFactor * 100.0 << " MHz" << std::endl;
    out << "  Available multipliers: " << shownCoreMultiplier(profile, profile.minMultiplier) << " .. "
        << shownCoreMultiplier(profile, profile.topMultiplier) << std::endl;
    out << "  Available voltage IDs: " << profile.minVoltage << " .. " << profile.maxVoltage << " ("
        << vidStep(profile) << " steps)" << std::endl;
}

void printBoost(std::ostream& out, const ProcessorProfile& profile)
{
    out << std::endl;
    out << ".:. Turbo" << std::endl;
    out << "---" << std::endl;
    if (!profile.boostSupported) {
        out << "  not supported" << std::endl;
        return;
    }
    out << "  " << (profile.boostEnabled ? "enabled" : "disabled") << std::endl;
    out << "  " << (profile.boostLocked ? "locked" : "unlocked") << std::endl;
    // Only worth a line when boost actually raises the ceiling.
    if (profile.maxMultiplier != profile.topMultiplier)
        out << "  Max multiplier: " << shownCoreMultiplier(profile, profile.maxMultiplier) << std::endl;
}

// Core 0's P-state registers as read for the report, P0 first.
using PstateRegisters = std::vector<std::uint64_t>;

PstateRegisters printCorePstates(std::ostream& out, const ProcessorProfile& profile)
{
    out << std::endl;
    out << ".:. P-states" << std::endl;
    out << "---" << std::endl;
    out << "  " << profile.pstateCount << " of " << familyTraits(profile).pstateRegisterCount << " enabled (P0 .. P"
        << profile.pstateCount - 1 << ")" << std::endl;
    if (profile.boostSupported && profile.boostStateCount > 0) {
        out << "  Turbo P-states:";
        for (std::int32_t i = 0; i < profile.boostStateCount; ++i)
            out << " P" << i;
        out << std::endl;
    }
    out << "  ---" << std::endl;

    // Each register is read just before its line, so a failing read leaves the
    // lines of the P-states before it on the terminal.
    PstateRegisters registers;
    for (std::int32_t i = 0; i < profile.pstateCount; ++i) {
        registers.push_back(readMsr(0, corePstateMsr(i)));
        const CorePstate pstate = decodeCorePstate(profile, i, registers.back());
        out << "  P" << i << ": " << multiplierText(shownCoreMultiplier(profile, pstate.multiplier)) << " at "
            << voltageText(profile, pstate.vid) << std::endl;
        if (pstate.nbPstate >= 0)
            out << "      " << northbridgeText(profile, pstate) << std::endl;
    }
    return registers;
}

// Whether two values of P-state register index would print differently: its
// enable bit, or anything of its line. Bits no line shows and no token sets
// make no difference a user could see or mend.
bool pstatesDiffer(const ProcessorProfile& profile, std::int32_t index, std::uint64_t a, std::uint64_t b)
{
    const CorePstate x = decodeCorePstate(profile, index, a);
    const CorePstate y = decodeCorePstate(profile, index, b);
    return bits::test(a, core_pstate_fields::kPstateEnable) != bits::test(b, core_pstate_fields::kPstateEnable)
        || x.multiplier != y.multiplier || x.vid != y.vid || x.nbPstate != y.nbPstate || x.nbVid != y.nbVid;
}

// ", " between the items of a list that starts with " ".
void appendItem(std::string& list, const std::string& item)
{
    list += (list.empty() ? " " : ", ") + item;
}

// The lines above are core 0's. The other cores should hold the same P-states
// and boost setting; one that does not (set by another tool, or a run that
// failed half-way) runs at settings nobody sees otherwise, so it gets a line
// naming them. An offline core cannot be read, and is named as such.
void printDisagreeingCores(std::ostream& out, const ProcessorProfile& profile, const PstateRegisters& core0)
{
    forEachOtherCpu(profile, [&](const SystemCpu& cpu) {
        if (!cpu.online) {
            out << "  Core " << cpu.number << " is offline" << std::endl;
            return;
        }
        std::string differing;
        for (std::size_t i = 0; i < core0.size(); ++i) {
            const auto index = static_cast<std::int32_t>(i);
            if (pstatesDiffer(profile, index, readMsr(cpu.number, corePstateMsr(index)), core0[i]))
                appendItem(differing, "P" + std::to_string(i));
        }
        // Core 0's bit is the probe's.
        if (profile.boostSupported
            && bits::test(readMsr(cpu.number, kMsrHardwareConfig), kBoostDisable) != profile.boostDisabled)
            appendItem(differing, "boost");
        if (!differing.empty())
            out << "  Core " << cpu.number << " differs from core 0 in" << differing << std::endl;
    });
}

// The other nodes should hold node 0's northbridge settings. Every register
// compared is read on node 0 and then on each other node, all before the
// first line; each node that differs gets a line naming what.
void printDisagreeingNodes(std::ostream& out, const ProcessorProfile& profile)
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
    std::vector<std::string> differing(nodes);
    if (profile.boostSupported || traits.hasApm) {
        const std::vector<std::uint32_t> control = readOnEveryNode(kFunctionLinkControl, kPciBoostControl);
        for (std::size_t node = 1; node < nodes; ++node) {
            if (profile.boostSupported && bits::get(control[node], kBoostSource) != bits::get(control[0], kBoostSource))
                appendItem(differing[node], "boost source");
            if (traits.hasApm && bits::test(control[node], kApmEnable) != bits::test(control[0], kApmEnable))
                appendItem(differing[node], "APM");
        }
    }
    if (traits.hasNbPstateRegisters) {
        for (std::int32_t n = 0; n < profile.nbPstateCount && n < kMaxNbPstates; ++n) {
            const std::vector<std::uint32_t> values = readOnEveryNode(kFunctionExtendedMisc, nbPstateAddress(n));
            const NbPstate node0 = decodeNbPstate(profile, n, values[0]);
            for (std::size_t node = 1; node < nodes; ++node) {
                const NbPstate other = decodeNbPstate(profile, n, values[node]);
                if (other.multiplier != node0.multiplier || other.vid != node0.vid)
                    appendItem(differing[node], "NB_P" + std::to_string(n));
            }
        }
    }
    for (std::size_t node = 1; node < nodes; ++node)
        if (!differing[node].empty())
            out << "  Node " << node << " differs from node 0 in" << differing[node] << std::endl;
}

void printNbPstates(std::ostream& out, const ProcessorProfile& profile)
{
    out << "  ---" << std::endl;
    for (std::int32_t i = 0; i < profile.nbPstateCount; ++i) {
        const NbPstate pstate = readNbPstate(profile, i);
        // The northbridge ratio is the register's own and is never scaled.
        out << "  NB_P" << i << ": " << multiplierText(pstate.multiplier) << " at " << voltageText(profile, pstate.vid)
            << std::endl;
    }
}

} // namespace

void printReport(const ProcessorProfile& profile)
{
    std::ostream& out = std::cout;
    const StreamStateGuard guard(out);
    // Decimal integers, and doubles as %g with six significant digits, whatever
    // the stream held before.
    out.flags(std::ios_base::dec);
    out.precision(6);

    printGeneral(out, profile);
    printBoost(out, profile);
    const PstateRegisters core0 = printCorePstates(out, profile);
    printDisagreeingCores(out, profile, core0);
    printDisagreeingNodes(out, profile);
    if (familyTraits(profile).hasNbPstateRegisters)
        printNbPstates(out, profile);
}
