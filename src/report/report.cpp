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
#include "pstate/core_pstate.h"
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

// The lines above are core 0's. The other cores should hold the same P-states;
// one that does not (set by another tool, or a run that failed half-way) runs
// at P-states nobody sees otherwise, so it gets a line naming them.
void printDisagreeingCores(std::ostream& out, const ProcessorProfile& profile, const PstateRegisters& core0)
{
    forEachOtherCore(profile, [&](std::int32_t core) {
        std::string differing;
        for (std::size_t i = 0; i < core0.size(); ++i) {
            const std::uint64_t value = readMsr(core, corePstateMsr(static_cast<std::int32_t>(i)));
            if (value != core0[i])
                differing += (differing.empty() ? " P" : ", P") + std::to_string(i);
        }
        if (!differing.empty())
            out << "  Core " << core << " differs from core 0 in" << differing << std::endl;
    });
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
    if (familyTraits(profile).hasNbPstateRegisters)
        printNbPstates(out, profile);
}
