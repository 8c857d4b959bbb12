#include "sim/register_changes.h"

#include <cstdint>
#include <string>
#include <vector>

#include "cpu/probe.h"
#include "cpu/processor_profile.h"
#include "cpu/registers.h"
#include "report/change_lines.h"

namespace {

// The processor as the probe would see it, from the register file alone; false
// when the probe would refuse it, and then nothing is decoded.
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

// An MSR's values on every core that changed, in core order. An MSR missing
// from before counts as 0 on every core, and as changed.
std::vector<CoreValues> changedCores(const Machine& before, const Machine& after, std::uint32_t msr)
{
    const bool existed = before.msrs.count(msr) != 0;
    std::vector<CoreValues> changed;
    for (std::int32_t core = 0; core < machineCoreCount(after); ++core) {
        CoreValues values;
        values.core = core;
        (void)msrOnCore(after, core, msr, values.after);
        if (existed && msrOnCore(before, core, msr, values.before) && values.before == values.after)
            continue;
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
    const bool severalCores = machineCoreCount(after) > 1;
    for (const auto& entry : after.msrs) {
        for (const RegisterChange& change : msrChanges(profile, entry.first, changedCores(before, after, entry.first)))
            lines.push_back(changeLine("changed", change, severalCores));
    }
    for (const auto& [address, value] : after.pciRegisters) {
        const auto old = before.pciRegisters.find(address);
        const std::uint32_t oldValue = old == before.pciRegisters.end() ? 0 : old->second;
        if (oldValue != value)
            lines.push_back(changeLine(
                "changed", pciChange(profile, address.device, address.function, address.reg, oldValue, value), false));
    }
    return lines;
}
