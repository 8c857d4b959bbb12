#pragma once
// A processor as a register file: what the emulated /dev/cpuctlN (one per CPU)
// and /dev/pci answer, and the faults they are told to inject. Read from and
// saved to the text machine file of pravellon-sim (machine/parser.h,
// machine/writer.h).

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "hw/device.h"

// What a PCI configuration access reaches: 4-byte registers, aligned, of a
// 4 KiB configuration space. The emulated device takes no other access, and a
// machine file names no other register.
constexpr std::uint32_t kPciAccessWidth = 4;
constexpr std::uint32_t kPciConfigSpaceSize = 0x1000;

struct PciAddress {
    std::uint8_t device = 0;
    std::uint8_t function = 0;
    std::uint32_t reg = 0;
    bool operator<(const PciAddress& other) const
    {
        return std::tie(device, function, reg) < std::tie(other.device, other.function, other.reg);
    }
    bool operator==(const PciAddress& other) const
    {
        return device == other.device && function == other.function && reg == other.reg;
    }
};

// The operations a machine file can make fail (fail lines), and the writes it
// can make the device ignore (ignore lines), in the order in which the writer
// adds their lines.
enum class FaultKind { open, rdmsr, wrmsr, cpuid, pciRead, pciWrite, ignoreWrmsr, ignorePciWrite };

// One injected fault: every operation of its kind on its key fails, or, for
// the ignore kinds, is accepted and leaves the register as it was, as a
// register locked by the firmware does. The key is the device path of an open,
// the MSR number or CPUID leaf of rdmsr, wrmsr and cpuid, and the register of
// pciread and pciwrite. An MSR fault may hold on one core only. A failing
// operation fails with its device's usual error unless the fault names
// another (a refused write: EPERM); kind, key and core alone tell faults apart.
struct Fault {
    static constexpr std::int32_t kEveryCore = -1;
    FaultKind kind = FaultKind::open;
    std::variant<std::string, std::uint32_t, PciAddress> key;
    std::int32_t core = kEveryCore;
    int error = 0; // errno of a failing operation; 0 for the usual one
    bool operator<(const Fault& other) const
    {
        return std::tie(kind, key, core) < std::tie(other.kind, other.key, other.core);
    }
    bool operator==(const Fault& other) const { return kind == other.kind && key == other.key && core == other.core; }
};

// An MSR of one core other than core 0.
struct CoreMsr {
    std::uint32_t number = 0;
    std::int32_t core = 0;
    bool operator<(const CoreMsr& other) const { return std::tie(number, core) < std::tie(other.number, other.core); }
    bool operator==(const CoreMsr& other) const { return number == other.number && core == other.core; }
};

// What an emulated chip stands at one P-state: the load computes right at
// stableMicrovolts and above, gives a wrong answer below it, and below
// hangsMicrovolts the machine hangs. Microvolts, so that every VID step of
// either width is exact. A machine file line: "stable P2 1.1875 hangs 1.125".
struct Stability {
    std::int64_t stableMicrovolts = 0;
    std::int64_t hangsMicrovolts = 0;
    bool operator==(const Stability& other) const
    {
        return stableMicrovolts == other.stableMicrovolts && hangsMicrovolts == other.hangsMicrovolts;
    }
};

struct Machine {
    std::map<std::uint32_t, CpuidRegisters> cpuidLeaves;
    // Core 0's MSRs, and every other core's unless coreMsrs gives it a value
    // of its own. Only an MSR here exists, on every core.
    std::map<std::uint32_t, std::uint64_t> msrs;
    std::map<CoreMsr, std::uint64_t> coreMsrs;
    std::map<PciAddress, std::uint32_t> pciRegisters;

    std::set<Fault> faults;
    long failOp = 0; // the Nth emulated operation fails; 0 for none

    // The operating system's CPUs by number, ascending from CPU 0: a cpus
    // line, "cpus N" for 0 .. N - 1 or a list as Linux numbers them with gaps,
    // "cpus 0-7,16-23"; empty for 0 .. as many as CPUID counts cores. Every
    // CPU but those with MSRs of their own in coreMsrs holds core 0's.
    std::vector<std::int32_t> cpus;
    // CPUs that are offline (offline lines), for the Linux device code's
    // tests: pravellon-sim runs FreeBSD's, which has none.
    std::set<std::int32_t> offline;

    // How low each P-state's voltage may go on this machine, for the emulated
    // load of tuning (stable lines), by P-state as its register numbers it.
    std::map<std::int32_t, Stability> stability;

    // Registers that something besides the program moves, for the tuning's
    // tests. An MSR of a moves line has the bits of its mask flipped before
    // each read on its core (core Fault::kEveryCore: on every core), as one
    // that another program or the processor keeps changing;
    // "moves msr 0xc0010071 0x10000 core 3".
    std::map<CoreMsr, std::uint64_t> movingMsrs;
    // What a PCI register of a loaded line reads while the tuning's load
    // runs, as Tctl rising under it: "loaded pci 18.3 0xa4 0x5a000000".
    std::map<PciAddress, std::uint32_t> loadedPciRegisters;

    // The text the machine was read from, one entry a line, so that a save
    // changes only the value of the register written and keeps the rest.
    std::vector<std::string> lines;
};

// A register of a machine file, to name the order in which lines are added.
struct MachineRegister {
    enum class Kind { cpuid, msr, pci };
    Kind kind = Kind::msr;
    std::uint32_t number = 0; // CPUID leaf or MSR number
    PciAddress pci;
    std::int32_t core = 0; // of an MSR: above 0 for a core's own value
    bool operator<(const MachineRegister& other) const
    {
        return std::tie(kind, number, pci, core) < std::tie(other.kind, other.number, other.pci, other.core);
    }
};

// The devices the machine answers behind: /dev/cpuctlN for each core N, and
// /dev/pci.
extern const char* const kEmulatedCpuctlPathPrefix; // "/dev/cpuctl"
extern const char* const kEmulatedPciPath;          // "/dev/pci"

// The cpuctl device of a core: "/dev/cpuctlN".
std::string emulatedCpuctlPath(std::int32_t core);

// The core whose cpuctl device path is, spelled as emulatedCpuctlPath spells
// it; -1 for any other path.
std::int32_t emulatedCpuctlCore(const std::string& path);

// The machine's number of cores, from ECX of its CPUID leaf 0x80000008 as the
// probe reads it; 1 without that leaf.
std::int32_t machineCoreCount(const Machine& machine);

// The operating system's number of CPUs: its cpus line, or else the core count.
// The cpuctl devices are /dev/cpuctl0 .. /dev/cpuctlN-1.
std::int32_t machineCpuCount(const Machine& machine);

// The operating system's CPUs by number: its cpus line, or else 0 .. the core
// count - 1.
std::vector<std::int32_t> machineCpus(const Machine& machine);

// Whether the CPUs are numbered 0 .. count - 1, without gaps.
bool cpusWithoutGaps(const std::vector<std::int32_t>& cpus);

// The machine's number of nodes, from PCI 18.0 0x60 as the probe reads it; 1
// without that register. Node N's northbridge is PCI device 0x18 + N.
std::int32_t machineNodeCount(const Machine& machine);

// The value of MSR number on core; false when the machine lacks the MSR.
bool msrOnCore(const Machine& machine, std::int32_t core, std::uint32_t number, std::uint64_t& value);

// Sets MSR number of core to value, every other core keeping its own. The
// machine must have the MSR.
void setMsrOnCore(Machine& machine, std::int32_t core, std::uint32_t number, std::uint64_t value);

// Volts as a stable line writes them: "1.1875", "1.0", at most six decimals.
std::string microvoltsText(std::int64_t microvolts);

// Volts of a stable line, "1.1875", into microvolts: a digit, a point and one
// to six decimals, no more than 9.999999. False for any other text.
bool parseMicrovolts(const std::string& text, std::int64_t& microvolts);
