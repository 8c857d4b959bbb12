#include "report/report.h"

#include <cstdint>
#include <ios>
#include <iostream>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "hw/hex_text.h"
#include "report/format.h"
#include "report/report_walk.h"
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

// The text sink: each item's lines, each flushed as it is printed, so that a
// failing read leaves every line before it on the terminal.
struct TextLines {
    std::ostream& out;
    const ProcessorProfile& profile;

    void operator()(const GeneralItem& item) const
    {
        out << std::endl;
        out << "Pravellon v" << kPravellonVersion << std::endl;
        out << std::endl;
        out << ".:. General" << std::endl;
        out << "---" << std::endl;
        out << "  " << familyModelText(item.family, item.model) << " CPU, " << item.coreCount << " cores" << std::endl;
        // The line above counts the cores of one processor; the machine may
        // have more processors, or nodes, all of which the program reaches.
        if (item.nodeCount > 1 || item.cpuCount != item.coreCount)
            out << "  " << item.nodeCount << (item.nodeCount == 1 ? " node, " : " nodes, ") << item.cpuCount
                << (item.cpuCount == 1 ? " CPU" : " CPUs") << " in all" << std::endl;
        out << "  Default reference clock: " << item.referenceClockMhz << " MHz" << std::endl;
        out << "  Available multipliers: " << item.minMultiplier << " .. " << item.topMultiplier << std::endl;
        out << "  Available voltage IDs: " << item.minVoltage << " .. " << item.maxVoltage << " ("
            << item.voltageStep << " steps)" << std::endl;
    }

    void operator()(const BoostItem& item) const
    {
        out << std::endl;
        out << ".:. Turbo" << std::endl;
        out << "---" << std::endl;
        if (!item.supported) {
            out << "  not supported" << std::endl;
            return;
        }
        out << "  " << (item.enabled ? "enabled" : "disabled") << std::endl;
        out << "  " << (item.locked ? "locked" : "unlocked") << std::endl;
        if (item.maxMultiplier)
            out << "  Max multiplier: " << *item.maxMultiplier << std::endl;
    }

    void operator()(const PstateCountItem& item) const
    {
        out << std::endl;
        out << ".:. P-states" << std::endl;
        out << "---" << std::endl;
        out << "  " << item.enabled << " of " << item.total << " enabled (P0 .. P" << item.enabled - 1 << ")"
            << std::endl;
        if (item.boosted > 0) {
            out << "  Turbo P-states:";
            for (std::int32_t i = 0; i < item.boosted; ++i)
                out << " P" << i;
            out << std::endl;
        }
        out << "  ---" << std::endl;
    }

    void operator()(const CorePstateItem& item) const
    {
        out << "  P" << item.pstate.index << ": " << clockText(profile, item)
            << std::endl;
        if (item.pstate.nbPstate >= 0)
            out << "      " << northbridgeText(profile, item.pstate) << std::endl;
    }

    void operator()(const DifferingCoreItem& item) const
    {
        out << "  Core " << item.core << " differs from core 0 in " << namesText(item.in) << std::endl;
    }

    void operator()(const OfflineCoreItem& item) const
    {
        out << "  Core " << item.core << " is offline" << std::endl;
    }

    void operator()(const DifferingNodeItem& item) const
    {
        out << "  Node " << item.node << " differs from node 0 in " << namesText(item.in) << std::endl;
    }

    void operator()(const ApmItem& /*item*/) const {}
    void operator()(const NbPstateCountItem& /*item*/) const
    {
        out << "  ---" << std::endl;
    }

    void operator()(const NbPstateItem& item) const
    {
        out << "  NB_P" << item.pstate.index << ": " << clockText(profile, item)
            << std::endl;
    }
};

} // namespace

void printReport(const ProcessorProfile& profile)
{
    std::ostream& out = std::cout;
    const StreamStateGuard guard(out);
    // Decimal integers, and doubles as %g with six significant digits, whatever
    // the stream held before.
    out.flags(std::ios_base::dec);
    out.precision(6);

    const TextLines lines{out, profile};
    walkReport(profile, [&lines](const ReportItem& item) { std::visit(lines, item); });
}
