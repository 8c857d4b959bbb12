#include "tools/capture.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <ostream>
#include <sstream>
#include <string>

#include "app/driver.h"
#include "cpu/every_core.h"
#include "cpu/probe.h"
#include "cpu/registers_read.h"
#include "hw/device.h"
#include "hw/hex_text.h"
#include "machine/machine.h"
#include "hw/text_file.h"
#include "machine/writer.h"

namespace {

// The machine file's name for a register the program reads.
MachineRegister machineRegister(const ReadRegister& r)
{
    switch (r.kind) {
    case ReadRegister::Kind::cpuid:
        return MachineRegister{MachineRegister::Kind::cpuid, r.number, PciAddress()};
    case ReadRegister::Kind::msr:
        break;
    case ReadRegister::Kind::pci:
        return MachineRegister{MachineRegister::Kind::pci, 0, PciAddress{northbridgeOf(r.node), r.function, r.number}};
    }
    return MachineRegister{MachineRegister::Kind::msr, r.number, PciAddress()};
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

bool captureMachine(std::ostream& out)
{
    ProcessorProfile profile;
    if (!probeProcessor(profile))
        return false;

    std::ostringstream title;
    title << "# This machine's registers, as pravellon reads them: " << familyModelText(profile.family, profile.model)
          << ", " << profile.pstateCount << " P-states.";
    Machine machine;
    machine.lines = {title.str(), "# Try a command on it first, e.g.",
                     "#   pravellon-sim --machine FILE --changes P0=20@1.25"};
    // A file written afresh: the registers in the order in which pravellon
    // reads them, their numbers in columns.
    AddedLines added;
    for (const ReadRegister& r : registersReadBy(profile))
        added.order.push_back(machineRegister(r));
    added.fullWidth = true;
    for (const MachineRegister& r : added.order)
        readInto(machine, r);
    // The other CPUs' MSRs, CPU by CPU; only where a CPU differs from CPU 0
    // does it get lines of its own, after the others. An offline CPU cannot
    // be read: the copy gives it CPU 0's values, and says so.
    // As Linux numbers them, gaps included.
    for (const SystemCpu& cpu : profileCpus(profile))
        machine.cpus.push_back(cpu.number);
    for (const std::int32_t cpu : offlineCores(profile))
        machine.lines.push_back("# CPU " + std::to_string(cpu) + " was offline: it has CPU 0's registers here.");
    forEachOtherCore(profile, [&](std::int32_t core) {
        for (const MachineRegister& r : added.order) {
            if (r.kind != MachineRegister::Kind::msr)
                continue;
            const std::uint64_t value = readMsr(core, r.number);
            if (value != machine.msrs[r.number])
                machine.coreMsrs[CoreMsr{r.number, core}] = value;
        }
    });
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
    // Standard output that cannot take it is told of when the program ends.
    std::cout << text.str() << std::flush;
    return kStatusOk;
}
