#include "capture.h"

#include <cerrno>
#include <cstring>
#include <ios>
#include <iostream>
#include <ostream>
#include <sstream>
#include <string>

#include "app/driver.h"
#include "control/active_pstate.h"
#include "cpu/family_traits.h"
#include "cpu/probe.h"
#include "cpu/registers.h"
#include "hw/device.h"
#include "machine/text_file.h"
#include "machine/writer.h"
#include "pstate/core_pstate.h"
#include "pstate/nb_pstate.h"

namespace {

// A wrong argument, or a machine file that could not be written.
constexpr int kStatusUsage = 1;

MachineRegister cpuidLeaf(std::uint32_t leaf)
{
    return MachineRegister{MachineRegister::Kind::cpuid, leaf, PciAddress()};
}

MachineRegister msr(std::uint32_t number)
{
    return MachineRegister{MachineRegister::Kind::msr, number, PciAddress()};
}

MachineRegister pci(std::uint8_t function, std::uint32_t reg)
{
    return MachineRegister{MachineRegister::Kind::pci, 0, PciAddress{kNorthbridgeDevice, function, reg}};
}

void readInto(Machine& machine, const MachineRegister& r)
{
    switch (r.kind) {
    case MachineRegister::Kind::cpuid:
        machine.cpuidLeaves[r.number] = cpuid(r.number);
        break;
    case MachineRegister::Kind::msr:
        machine.msrs[r.number] = readMsr(0, r.number);
        break;
    case MachineRegister::Kind::pci:
        machine.pciRegisters[r.pci] = readPciConfig(r.pci.device, r.pci.function, r.pci.reg);
        break;
    }
}

} // namespace

std::vector<MachineRegister> registersReadBy(const ProcessorProfile& profile)
{
    const FamilyTraits& traits = familyTraits(profile);

    // The probe, in its own order.
    std::vector<MachineRegister> list = {
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

    // The report's P-states, which the writers read again before writing.
    for (std::int32_t n = 0; n < profile.pstateCount; ++n)
        list.push_back(msr(kMsrPstateBase + static_cast<std::uint32_t>(n)));
    if (traits.hasNbPstateRegisters) {
        for (std::int32_t n = 0; n < profile.nbPstateCount && n < kMaxNbPstates; ++n)
            list.push_back(pci(kFunctionExtendedMisc, nbPstateAddress(n)));
    }

    // Read before every switch of P-state.
    list.push_back(msr(kMsrPstateControl));
    return list;
}

bool captureMachine(std::ostream& out)
{
    ProcessorProfile profile;
    if (!probeProcessor(profile))
        return false;

    std::ostringstream title;
    title << "# This machine's registers, as pravellon reads them: AMD family 0x" << std::hex << profile.family
          << ", model 0x" << profile.model << std::dec << ", " << profile.pstateCount << " P-states.";
    Machine machine;
    machine.lines = {title.str(), "# Try a command on it first, e.g.",
                     "#   pravellon-sim --machine FILE --changes P0=20@1.25"};
    // A file written afresh: the registers in the order in which pravellon
    // reads them, their numbers in columns.
    AddedLines added;
    added.order = registersReadBy(profile);
    added.fullWidth = true;
    for (const MachineRegister& r : added.order)
        readInto(machine, r);
    // The other cores' MSRs, core by core; only where a core differs from
    // core 0 does it get lines of its own, after the others.
    for (std::int32_t core = 1; core < profile.coreCount; ++core) {
        for (const MachineRegister& r : added.order) {
            if (r.kind != MachineRegister::Kind::msr)
                continue;
            const std::uint64_t value = readMsr(core, r.number);
            if (value != machine.msrs[r.number])
                machine.coreMsrs[CoreMsr{r.number, core}] = value;
        }
    }
    out << formatMachine(machine, added) << std::flush;
    return true;
}

int runCapture(int argc, const char* const* argv)
{
    std::string outputFile;
    if (argc == 3 && std::strcmp(argv[1], "-o") == 0 && argv[2][0] != '\0') {
        outputFile = argv[2];
    } else if (argc != 1) {
        std::cerr << "usage: pravellon-capture [-o FILE]" << std::endl;
        return kStatusUsage;
    }
    // The whole file is gathered first: when a device fails half-way, err(3)
    // ends the process and no truncated machine file is written anywhere.
    std::ostringstream text;
    if (!captureMachine(text)) {
        // Standard output may be the file the user meant to capture into.
        std::cerr << kUnsupportedCpuMessage << std::endl;
        return kStatusUnsupported;
    }
    if (!outputFile.empty()) {
        std::string error;
        if (!replaceFileContent(outputFile, text.str(), error)) {
            std::cerr << "pravellon-capture: " << error << std::endl;
            return kStatusUsage;
        }
        return kStatusOk;
    }
    errno = 0;
    std::cout << text.str() << std::flush;
    if (!std::cout) {
        const int error = errno != 0 ? errno : EIO;
        std::cerr << "pravellon-capture: cannot write standard output: " << std::strerror(error) << std::endl;
        return kStatusUsage;
    }
    return kStatusOk;
}
