#pragma once
// Every core and every node of the machine, which the program reaches one by
// one: each core (a CPU of the operating system) has its own copy of the MSRs
// it reads and writes, each node its own northbridge, and the processors want
// every core and every node programmed alike. Every loop over cores or nodes
// goes through here, so that which there are is decided in one place.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "cpu/processor_profile.h"
#include "cpu/registers.h"
#include "hw/bitfield.h"
#include "hw/device.h"
#include "hw/register_write.h"

// The CPUs of the profile, ascending; for a profile that has not listed them,
// cores 0 .. coreCount - 1, and core 0 at least: core 0 is the one the probe
// has read.
inline std::vector<SystemCpu> profileCpus(const ProcessorProfile& profile)
{
    if (!profile.cpus.empty())
        return profile.cpus;
    std::vector<SystemCpu> cpus;
    for (std::int32_t core = 0; core < std::max<std::int32_t>(profile.coreCount, 1); ++core)
        cpus.push_back(SystemCpu{core, true});
    return cpus;
}

// The cores that are offline, ascending: neither read nor written.
inline std::vector<std::int32_t> offlineCores(const ProcessorProfile& profile)
{
    std::vector<std::int32_t> offline;
    for (const SystemCpu& cpu : profileCpus(profile))
        if (!cpu.online)
            offline.push_back(cpu.number);
    return offline;
}

// The cores that are online, ascending: those every write reaches.
inline std::vector<std::int32_t> onlineCores(const ProcessorProfile& profile)
{
    std::vector<std::int32_t> online;
    for (const SystemCpu& cpu : profileCpus(profile))
        if (cpu.online)
            online.push_back(cpu.number);
    return online;
}

// visit(core) for every online core in turn, ascending, core 0 first. An
// exception from visit ends the walk there.
template <typename Visit>
void forEachCore(const ProcessorProfile& profile, Visit visit)
{
    for (const SystemCpu& cpu : profileCpus(profile))
        if (cpu.online)
            visit(cpu.number);
}

// The same for every online core but core 0, whose registers describe the
// processor and have been read already: the others are checked against it.
template <typename Visit>
void forEachOtherCore(const ProcessorProfile& profile, Visit visit)
{
    forEachCore(profile, [&visit](std::int32_t core) {
        if (core != 0)
            visit(core);
    });
}

// visit(cpu) for every CPU but CPU 0, ascending, offline ones included (whose
// online is false): what the report goes over to compare them with CPU 0.
template <typename Visit>
void forEachOtherCpu(const ProcessorProfile& profile, Visit visit)
{
    for (const SystemCpu& cpu : profileCpus(profile))
        if (cpu.number != 0)
            visit(cpu);
}

// The PCI device of node's northbridge.
inline std::uint8_t northbridgeOf(std::int32_t node)
{
    return static_cast<std::uint8_t>(kNorthbridgeDevice + node);
}

// The node of nodeCount whose northbridge is PCI device device; -1 for any
// other device.
inline std::int32_t nodeOfNorthbridge(std::uint8_t device, std::int32_t nodeCount)
{
    const std::int32_t node = device - kNorthbridgeDevice;
    return node >= 0 && node < nodeCount ? node : -1;
}

// The northbridge P-states whose registers there are: as many as the count
// the probe read, of the four the hardware has room for.
inline std::int32_t nbPstateRegisterCount(const ProcessorProfile& profile)
{
    return std::min(profile.nbPstateCount, kMaxNbPstates);
}

// visit(node) for every node in turn, node 0 first.
template <typename Visit>
void forEachNode(const ProcessorProfile& profile, Visit visit)
{
    for (std::int32_t node = 0; node < std::max<std::int32_t>(profile.nodeCount, 1); ++node)
        visit(node);
}

// The same for every node but node 0, whose northbridge the probe has read.
template <typename Visit>
void forEachOtherNode(const ProcessorProfile& profile, Visit visit)
{
    for (std::int32_t node = 1; node < profile.nodeCount; ++node)
        visit(node);
}

// One read-modify-write of msr on each core in turn, core 0 first, each write
// read back before the next core: every core keeps its own bits outside the
// fields modify replaces (it returns the new value and those fields). When
// modify throws on a core, or a core does not take its write, that core's
// register as read and every later core stay as they were.
template <typename Modify>
void modifyMsrOnEveryCore(const ProcessorProfile& profile, std::uint32_t msr, Modify modify)
{
    forEachCore(profile, [&](std::int32_t core) { modifyMsr(core, msr, modify); });
}

// The same for a northbridge register, node by node, node 0 first, each
// node's write read back before the next node.
template <typename Modify>
void modifyPciOnEveryNode(const ProcessorProfile& profile, std::uint8_t function, std::uint32_t reg, Modify modify)
{
    forEachNode(profile, [&](std::int32_t node) { modifyPciConfig(northbridgeOf(node), function, reg, modify); });
}
