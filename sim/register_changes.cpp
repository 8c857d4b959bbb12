#include "sim/register_changes.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "cpu/every_core.h"
#include "cpu/probe.h"
#include "cpu/processor_profile.h"
#include "cpu/registers.h"
#include "hw/device.h"
#include "report/change_lines.h"
#include "sim/processor_moves.h"

bool decodingProfile(const Machine& machine, ProcessorProfile& profile)
{
    const auto vendor = machine.cpuidLeaves.find(kCpuidVendor);
    const auto signature = machine.cpuidLeaves.find(kCpuidFamilyModel);
    if (vendor == machine.cpuidLeaves.end() || vendor->second.ecx != kAmdVendorEcx
        || signature == machine.cpuidLeaves.end() || !identifyProcessor(profile, signature->second.eax))
        return false;
    const auto limits = machine.msrs.find(kMsrCofvidStatus);
    if (limits != machine.msrs.end())
        decodeLimits(profile, limits->second);
    return true;
}

namespace {

// An MSR's values on every core that changed, in core order. An MSR missing
// from before counts as 0 on every core, and as changed.
std::vector<ValuesOn> changedCores(const Machine& before, const Machine& after, std::uint32_t msr)
{
    const bool existed = before.msrs.count(msr) != 0;
    std::vector<ValuesOn> changed;
    // Cores are named as the program names them: FreeBSD numbers the machine
    // file's CPUs without gaps.
    const std::vector<std::int32_t> cpus = machineCpus(after);
    for (std::size_t i = 0; i < cpus.size(); ++i) {
        const std::int32_t core = cpus[i];
        ValuesOn values;
        values.number = static_cast<std::int32_t>(i);
        (void)msrOnCore(after, core, msr, values.after);
        if (existed && msrOnCore(before, core, msr, values.before) && values.before == values.after)
            continue;
        changed.push_back(values);
    }
    return changed;
}

// A PCI register's values on nodes 0 .. nodes - 1 that changed (address is
// node 0's), in node order; a register missing reads 0. With one node, the
// register at address alone.
std::vector<ValuesOn> changedNodes(const Machine& before, const Machine& after, const PciAddress& address,
                                   std::int32_t nodes)
{
    const auto valueIn = [](const Machine& machine, const PciAddress& reg) -> std::uint64_t {
        const auto it = machine.pciRegisters.find(reg);
        return it == machine.pciRegisters.end() ? 0 : it->second;
    };
    std::vector<ValuesOn> changed;
    for (std::int32_t node = 0; node < nodes; ++node) {
        PciAddress reg = address;
        if (node > 0)
            reg.device = northbridgeOf(node);
        const ValuesOn values{node, valueIn(before, reg), valueIn(after, reg)};
        if (values.before != values.after)
            changed.push_back(values);
    }
    return changed;
}

} // namespace

std::vector<std::string> describeRegisterChanges(const Machine& before, const Machine& after)
{
    ProcessorProfile decoded;
    const ProcessorProfile* profile = decodingProfile(before, decoded) ? &decoded : nullptr;

    std::vector<std::string> lines;
    const bool severalCores = machineCpuCount(after) > 1;
    for (const auto& entry : after.msrs) {
        if (movedByProcessor(entry.first))
            continue;
        for (const RegisterChange& change : msrChanges(profile, entry.first, changedCores(before, after, entry.first)))
            lines.push_back(changeLine("changed", change, severalCores, false));
    }
    const std::int32_t nodes = machineNodeCount(after);
    std::set<PciAddress> described;
    for (const auto& entry : after.pciRegisters) {
        // On a machine of several nodes, a northbridge register is described
        // once for every node, spelled as node 0's.
        PciAddress address = entry.first;
        const bool ofANode = nodes > 1 && nodeOfNorthbridge(address.device, nodes) >= 0;
        if (ofANode)
            address.device = northbridgeOf(0);
        if (!described.insert(address).second)
            continue;
        for (const RegisterChange& change :
             pciChanges(profile, address.device, address.function, address.reg,
                        changedNodes(before, after, address, ofANode ? nodes : 1)))
            lines.push_back(changeLine("changed", change, false, ofANode));
    }
    return lines;
}
