#include "cli/dry_run.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "cpu/every_core.h"
#include "cpu/writable_registers.h"
#include "hw/device.h"
#include "hw/recorded_writes.h"

namespace {

// The planned MSR writes that change a value, one change per MSR and pair of
// old and new values. The P-state request is said as the switch instead: the
// value it is given says nothing of the P-state, and a move away and back
// changes nothing.
void addMsrChanges(const ProcessorProfile& profile, std::vector<RegisterChange>& changes)
{
    const std::vector<RecordedMsrWrite> writes = recordedMsrWrites();
    for (auto first = writes.begin(); first != writes.end();) {
        auto end = first;
        std::vector<ValuesOn> changed;
        for (; end != writes.end() && end->msr == first->msr; ++end) {
            if (end->before != end->after)
                changed.push_back(ValuesOn{end->core, end->before, end->after});
        }
        if (!isPstateRequest(first->msr)) {
            for (RegisterChange& change : msrChanges(&profile, first->msr, changed))
                changes.push_back(std::move(change));
        }
        first = end;
    }
}

// The planned PCI writes that change a value; a northbridge register of every
// node is one register, spelled as node 0's, whose changes name the nodes.
void addPciChanges(const ProcessorProfile& profile, std::vector<RegisterChange>& changes)
{
    const std::vector<RecordedPciWrite> writes = recordedPciWrites();
    const auto nodeOf = [&profile](std::uint8_t device) { return nodeOfNorthbridge(device, profile.nodeCount); };
    std::set<std::tuple<std::uint8_t, std::uint8_t, std::uint32_t>> described;
    for (const RecordedPciWrite& write : writes) {
        const std::int32_t node = nodeOf(write.device);
        const std::uint8_t device = node >= 0 ? northbridgeOf(0) : write.device;
        if (!described.insert({device, write.function, write.reg}).second)
            continue;
        std::vector<ValuesOn> changed;
        for (const RecordedPciWrite& other : writes) {
            const bool same = other.function == write.function && other.reg == write.reg
                && (node >= 0 ? nodeOf(other.device) >= 0 : other.device == write.device);
            if (same && other.before != other.after)
                changed.push_back(ValuesOn{std::max(nodeOf(other.device), 0), other.before, other.after});
        }
        for (RegisterChange& change : pciChanges(&profile, device, write.function, write.reg, changed))
            changes.push_back(std::move(change));
    }
}

} // namespace

std::vector<RegisterChange> recordedChanges(const ProcessorProfile& profile)
{
    std::vector<RegisterChange> changes;
    addMsrChanges(profile, changes);
    addPciChanges(profile, changes);
    return changes;
}

void printPlannedChanges(const ProcessorProfile& profile, std::int32_t target,
                         const std::vector<std::int32_t>& switchedCores)
{
    // Every PCI register the program writes is a northbridge register, of
    // every node.
    const bool severalCores = profileCpus(profile).size() > 1;
    std::vector<std::string> lines;
    for (const RegisterChange& change : recordedChanges(profile))
        lines.push_back(changeLine("would change", change, severalCores, profile.nodeCount > 1));
    if (!switchedCores.empty())
        lines.push_back("would switch " + numberListText("core", switchedCores) + " to P" + std::to_string(target));
    if (lines.empty())
        lines.emplace_back("nothing would change");
    for (const std::string& line : lines)
        std::cout << line << std::endl;
}
