#include "cpu/registers_read.h"

#include <algorithm>

#include "cpu/every_core.h"
#include "cpu/family_traits.h"
#include "cpu/registers.h"
#include "cpu/temperature.h"
#include "cpu/writable_registers.h"

namespace {

ReadRegister cpuidLeaf(std::uint32_t leaf)
{
    return ReadRegister{ReadRegister::Kind::cpuid, leaf, 0};
}

ReadRegister msr(std::uint32_t number)
{
    return ReadRegister{ReadRegister::Kind::msr, number, 0};
}

ReadRegister pci(std::uint8_t function, std::uint32_t reg, std::int32_t node = 0)
{
    return ReadRegister{ReadRegister::Kind::pci, reg, function, node};
}

} // namespace

std::vector<ReadRegister> registersReadBy(const ProcessorProfile& profile)
{
    const FamilyTraits& traits = familyTraits(profile);

    // The probe, in its own order.
    std::vector<ReadRegister> list = {
        cpuidLeaf(kCpuidVendor),
        cpuidLeaf(kCpuidFamilyModel),
        cpuidLeaf(kCpuidCoreCount),
        pci(kFunctionMisc, kPciClockPowerControl),
    };
    if (traits.hasNbPstateRegisters)
        list.push_back(pci(kFunctionExtendedMisc, kPciNbPstateControl));
    list.push_back(msr(kMsrCofvidStatus));
    list.push_back(cpuidLeaf(kCpuidPowerManagement));
    if (profile.boostSupported) {
        list.push_back(msr(kMsrHardwareConfig));
        list.push_back(pci(kFunctionLinkControl, kPciBoostControl));
        if (traits.boostLimitRegister != 0)
            list.push_back(pci(kFunctionMisc, traits.boostLimitRegister));
    } else if (traits.hasApm) {
        // APM lives in the boost control register too, and is switched
        // whether or not the processor has boost.
        list.push_back(pci(kFunctionLinkControl, kPciBoostControl));
    }
    if (traits.hasNodes)
        list.push_back(pci(kFunctionHtConfig, kPciNodeId));

    // Every register a token writes that the probe has not read: the report's
    // P-states, which the writers read again before writing, and the P-state
    // request, read before every switch.
    const auto listed = [&list](const ReadRegister& reg) {
        return std::any_of(list.begin(), list.end(), [&reg](const ReadRegister& other) {
            return other.kind == reg.kind && other.number == reg.number && other.function == reg.function
                && other.node == reg.node;
        });
    };
    for (const WritableRegister& row : writableRegisters()) {
        for (std::int32_t n = 0; n < row.count(profile); ++n) {
            const ReadRegister reg = row.scope == WritableRegister::Scope::everyCore
                ? msr(row.number(n))
                : pci(row.function, row.number(n));
            if (!listed(reg))
                list.push_back(reg);
        }
    }

    // The other nodes' registers, which the report compares with node 0's.
    forEachOtherNode(profile, [&](std::int32_t node) {
        for (const WritableRegister& row : writableRegisters())
            if (row.scope == WritableRegister::Scope::everyNode)
                for (std::int32_t n = 0; n < row.count(profile); ++n)
                    list.push_back(pci(row.function, row.number(n), node));
    });

    // What --now reads beside the P-states: each node's Tctl.
    if (reportsTctl(profile))
        forEachNode(profile,
                    [&](std::int32_t node) { list.push_back(pci(kFunctionMisc, kPciReportedTemperature, node)); });
    // What --tune watches on every core beside the current P-state: the
    // processor's own limit, so that a captured machine can be tuned too.
    list.push_back(msr(kMsrPstateLimit));
    return list;
}
