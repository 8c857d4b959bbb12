// The command line end to end, in-process: a machine attached to the emulated
// devices, the whole program run on it, and then its output, exit status, the
// register accesses it made after the probe and the register file it left.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "command_line_machines.h"
#include "json_as_text.h"
#include "run_program.h"
#include "cpu/probe.h"
#include "hw/signal_hold.h"
#include "machine/machine.h"
#include "sim/emulated_devices.h"

namespace {

struct RunResult {
    int status = 0;
    std::string out;
    std::string err;
    std::vector<std::string> accesses; // after the probe, without open and close
};

// The trace lines the probe leaves on this machine, so that a run's own
// accesses can be told from them.
std::size_t probeTraceLength(const Machine& machine)
{
    emulation::attachMachine(machine);
    ProcessorProfile profile;
    probeProcessor(profile);
    return emulation::traceLines().size();
}

RunResult run(const Machine& machine, const std::vector<std::string>& tokens)
{
    const std::size_t probeLength = probeTraceLength(machine);
    const ProgramRun program = runProgram(machine, tokens);
    RunResult result;
    result.status = program.status;
    result.out = program.out;
    result.err = program.err;

    result.accesses = accessesOf(emulation::traceLines(), probeLength);
    return result;
}

// The trace from first on, each access after the device it went to
// ("cpuctl2: rdmsr ..."), closes dropped; a device opened and closed with
// nothing between shows as "cpuctl2: open".
std::vector<std::string> accessesOnDevices(const std::vector<std::string>& trace, std::size_t first)
{
    std::vector<std::string> lines;
    std::string device;
    for (std::size_t i = first; i < trace.size(); ++i) {
        const std::string& line = trace[i];
        if (line.compare(0, 10, "open /dev/") == 0)
            device = line.substr(10);
        else if (line.compare(0, 6, "close ") == 0 && trace[i - 1].compare(0, 5, "open ") == 0)
            lines.push_back(device + ": open");
        else if (line.compare(0, 6, "sleep ") == 0)
            lines.push_back(line);
        else if (line.compare(0, 6, "close ") != 0)
            lines.push_back(device + ": " + line);
    }
    return lines;
}

// The family 0x10 machine with four cores, running in current.
Machine fourCores(std::int32_t current)
{
    Machine machine = machineOf(kFamily10, current);
    machine.cpuidLeaves[kCpuidCoreCount].ecx = 3;
    return machine;
}

struct MsrValue {
    std::uint32_t number;
    std::uint64_t value;
};

struct PciValue {
    std::uint8_t function;
    std::uint32_t reg;
    std::uint32_t value;
    std::uint8_t device = 0x18;
};

// Registers that keep their value whatever is written to them.
void ignoreP1OnCore3(Machine& machine)
{
    machine.faults.insert(Fault{FaultKind::ignoreWrmsr, 0xc0010065u, 3});
}

void ignoreHwcr(Machine& machine)
{
    machine.faults.insert(Fault{FaultKind::ignoreWrmsr, 0xc0010015u});
}

void ignoreBoostControl(Machine& machine)
{
    machine.faults.insert(Fault{FaultKind::ignorePciWrite, PciAddress{0x18, 4, 0x15c}});
}

void ignoreNbP1(Machine& machine)
{
    machine.faults.insert(Fault{FaultKind::ignorePciWrite, PciAddress{0x18, 5, 0x164}});
}

// Two nodes of eight cores, 16 CPUs; node 1 with its own boost source and
// NB_P1 VID.
void twoNodes(Machine& machine)
{
    machine.cpus = machineCpus(machine);
    for (std::int32_t cpu = 8; cpu < 16; ++cpu)
        machine.cpus.push_back(cpu);
    machine.pciRegisters[PciAddress{0x18, 0, 0x60}] = 0x10;
    machine.pciRegisters[PciAddress{0x19, 4, 0x15c}] = 0x0;
    machine.pciRegisters[PciAddress{0x19, 5, 0x160}] = 0x4c0a;
    machine.pciRegisters[PciAddress{0x19, 5, 0x164}] = 0x5c05;
}

// P3 at 8.5x but on core 2, which runs 8x as 32/4 rather than 16/2.
void core2P3AtOwnPair(Machine& machine)
{
    machine.msrs.at(0xc0010067) = 0x8000012e3c004801;
    setMsrOnCore(machine, 2, 0xc0010067, 0x8000012e3c004850);
}

// Node 1's NB_P1 at 5 as 10 halved, node 0's at 6.
void node1NbP1AtOwnCode(Machine& machine)
{
    twoNodes(machine);
    machine.pciRegisters[PciAddress{0x19, 5, 0x164}] = 0x5c8d;
}

// Core 2's P4 runs the northbridge in NB_P0, core 0's in NB_P1.
void core2P4OnNbP0(Machine& machine)
{
    setMsrOnCore(machine, 2, 0xc0010068, 0x800001284c005840);
}

TEST(ApplyChanges, EndToEnd)
{
    struct Case {
        const char* name;
        const char* machineText;
        std::int32_t current;
        void (*adjust)(Machine&);
        std::vector<std::string> tokens;
        int status;
        const char* err;
        std::vector<OnCores> writes; // the write lines, each on every core or once
        std::vector<MsrValue> msrsAfter; // every other register keeps its value
        std::vector<PciValue> pciAfter;
        std::map<CoreMsr, std::uint64_t> coresAfter = {}; // a core's own registers
    };
    const Case cases[] = {
        {"every CPU and every node, node 0 first", kFamily15, 0, twoNodes, {"Turbo=0", "APM=0", "NB_P1=18"}, 0, "",
         {{1, {"pciwrite 18.5 0x164 <- 0x581d"}}, {1, {"pciwrite 19.5 0x164 <- 0x5c1d"}},
          {2, {"pciwrite 18.4 0x15c <- 0x0", "pciwrite 19.4 0x15c <- 0x0"}}, {16, {"wrmsr 0xc0010015 <- 0x3000010"}}},
         {{0xc0010015, 0x3000010}}, {{5, 0x164, 0x581d}, {5, 0x164, 0x5c1d, 0x19}, {4, 0x15c, 0x0}}},
        // A P-state the firmware disabled on a node or core is written and stays disabled.
        {"NB_P1 disabled on node 1", kFamily15, 0,
         [](Machine& m) { twoNodes(m); m.pciRegisters[PciAddress{0x19, 5, 0x164}] = 0x5c04; }, {"NB_P1=18"}, 0,
         "WARNING: NB_P1 is disabled on node 1: written, left disabled\n",
         {{1, {"pciwrite 18.5 0x164 <- 0x581d"}}, {1, {"pciwrite 19.5 0x164 <- 0x5c1c"}}},
         {}, {{5, 0x164, 0x581d}, {5, 0x164, 0x5c1c, 0x19}}},
        {"P2 disabled on core 3", kFamily10, 1,
         [](Machine& m) { withoutBoost(m); setMsrOnCore(m, 3, 0xc0010066, 0x000001343c003008); }, {"P2=@1.125"}, 0,
         "WARNING: P2 is disabled on core 3: written, left disabled\n",
         {{3, {"wrmsr 0xc0010066 <- 0x800001343c004408"}}, {1, {"wrmsr 0xc0010066 <- 0x1343c004408"}},
          {2, {"wrmsr 0xc0010066 <- 0x800001343c004408"}}},
         {{0xc0010066, 0x800001343c004408}}, {}, {{CoreMsr{0xc0010066, 3}, 0x1343c004408}}},
        // The P-states to carry it are chosen on core 0; each core takes it
        // only where its own P-state runs NB_P1.
        {"family 0x10 NB_P1 VID per core", kFamily10, 1, core2P4OnNbP0, {"NB_P1=@1.05"}, 0, "",
         {{6, {"wrmsr 0xc0010064 <- 0x8000019a5040404e"}}, {2, {"wrmsr 0xc0010068 <- 0x8000012850405840"}},
          {1, {"wrmsr 0xc0010068 <- 0x800001284c005840"}}, {3, {"wrmsr 0xc0010068 <- 0x8000012850405840"}}},
         {{0xc0010064, 0x8000019a5040404e}, {0xc0010068, 0x8000012850405840}}, {}},
        {"family 0x10 NB_P1 VID goes to the P-states on NB_P1", kFamily10, 1, nullptr, {"NB_P1=@1.05"}, 0, "",
         {{6, {"wrmsr 0xc0010064 <- 0x8000019a5040404e"}}, {6, {"wrmsr 0xc0010068 <- 0x8000012850405840"}}},
         {{0xc0010064, 0x8000019a5040404e}, {0xc0010068, 0x8000012850405840}}, {}},
        {"family 0x10 NB_low=2 NB_P0 VID", kFamily10, 1, nullptr, {"NB_low=2", "NB_P0=@1.1"}, 0, "",
         {{6, {"wrmsr 0xc0010064 <- 0x8000019a4800404e"}}, {6, {"wrmsr 0xc0010065 <- 0x8000013a48001810"}},
          {6, {"wrmsr 0xc0010066 <- 0x800001343c403008"}}, {6, {"wrmsr 0xc0010067 <- 0x8000012e3c404850"}},
          {6, {"wrmsr 0xc0010068 <- 0x800001284c405840"}},
          // P1 is current and modified: left through P4 (request 3 past the
          // boosted P0) and entered again (request 0).
          {6, {"wrmsr 0xc0010062 <- 0x3"}}, {1, {"sleep 1"}}, {6, {"wrmsr 0xc0010062 <- 0x0"}}},
         {{0xc0010064, 0x8000019a4800404e}, {0xc0010065, 0x8000013a48001810}, {0xc0010066, 0x800001343c403008},
          {0xc0010067, 0x8000012e3c404850}},
         {}},
        // A core or node that already runs the clock asked for keeps its own
        // code for it; the others get the encoder's.
        {"core 2 keeps its own pair for 8x", kFamily10, 1, core2P3AtOwnPair, {"P3=8"}, 0, "",
         {{2, {"wrmsr 0xc0010067 <- 0x8000012e3c004800"}}, {1, {"wrmsr 0xc0010067 <- 0x8000012e3c004850"}},
          {3, {"wrmsr 0xc0010067 <- 0x8000012e3c004800"}}},
         {{0xc0010067, 0x8000012e3c004800}}, {}},
        {"node 1 keeps its own code for 5", kFamily15, 0, node1NbP1AtOwnCode, {"NB_P1=5"}, 0, "",
         {{1, {"pciwrite 18.5 0x164 <- 0x5803"}}, {1, {"pciwrite 19.5 0x164 <- 0x5c8d"}}}, {}, {{5, 0x164, 0x5803}}},
        {"family 0x10 NB multiplier alone does nothing", kFamily10, 1, nullptr, {"NB_P1=18"}, 0,
         "WARNING: NB_P1=18: NB multiplier not supported, left unchanged\n", {}, {}, {}},
        {"Turbo=0: boost source before the P-states, CPB after", kFamily10, 1, nullptr, {"P2=@1.2", "Turbo=0"}, 0,
         "WARNING: P2=@1.2: 1.2V is above P0's 1.15V, a faster P-state\n",
         {{1, {"pciwrite 18.4 0x15c <- 0x4"}}, {6, {"wrmsr 0xc0010066 <- 0x800001343c003808"}}, {6, {"wrmsr 0xc0010015 <- 0x3000010"}}},
         {{0xc0010066, 0x800001343c003808}, {0xc0010015, 0x3000010}}, {{4, 0x15c, 0x4}}},
        {"Turbo and APM on family 0x10 without boost", kFamily10, 1, withoutBoost, {"Turbo=1", "APM=1"}, 0,
         "WARNING: Turbo=1: CPB not supported, left unchanged\nWARNING: APM=1: APM not supported, left unchanged\n",
         {}, {}, {}},
        {"current P0 modified", kFamily10, 0, withoutBoost, {"P0=17"}, 0, "WARNING: P0=17: 17x is above the highest multiplier this processor reports (16x)\n",
         {{6, {"wrmsr 0xc0010064 <- 0x8000019a48404012"}}, {6, {"wrmsr 0xc0010062 <- 0x4"}}, {1, {"sleep 1"}}, {6, {"wrmsr 0xc0010062 <- 0x0"}}},
         // Entered again, P0 runs at its new voltage.
         {{0xc0010064, 0x8000019a48404012}, {0xc0010071, 0x0040f0303c004010}}, {}},
        {"current P4 modified", kFamily10, 4, withoutBoost, {"P4=@0.95"}, 0, "",
         {{6, {"wrmsr 0xc0010068 <- 0x800001284c406040"}}, {6, {"wrmsr 0xc0010062 <- 0x0"}}, {1, {"sleep 1"}}, {6, {"wrmsr 0xc0010062 <- 0x4"}}},
         {{0xc0010068, 0x800001284c406040}, {0xc0010062, 0x4}, {0xc0010071, 0x0040f0303c046010}}, {}},
        {"only P-state, modified and current", kFamily10, 0, [](Machine& m) { withoutBoost(m); onePstate(m); },
         {"P0=17"}, 0, "WARNING: P0=17: 17x is above the highest multiplier this processor reports (16x)\n",
         {{6, {"wrmsr 0xc0010064 <- 0x8000019a48404012"}}, {6, {"wrmsr 0xc0010062 <- 0x0"}}, {1, {"sleep 1"}}, {6, {"wrmsr 0xc0010062 <- 0x0"}}},
         {{0xc0010064, 0x8000019a48404012}, {0xc0010071, 0x0040f0303c004010}}, {}},
        {"target other than the modified current", kFamily10, 0, withoutBoost, {"P0=17", "P2"}, 0, "WARNING: P0=17: 17x is above the highest multiplier this processor reports (16x)\n",
         {{6, {"wrmsr 0xc0010064 <- 0x8000019a48404012"}}, {6, {"wrmsr 0xc0010062 <- 0x2"}}},
         // The processor runs in P2 then, at P2's voltage, as COFVID status says.
         {{0xc0010064, 0x8000019a48404012}, {0xc0010062, 0x2}, {0xc0010071, 0x0040f0303c023010}}, {}},
        {"target equal to the unmodified current", kFamily10, 2, withoutBoost, {"P2"}, 0, "", {}, {}, {}},
        {"target equal to the modified current", kFamily10, 2, withoutBoost, {"P2=@1.2", "P2"}, 0, "WARNING: P2=@1.2: 1.2V is above P0's 1.15V, a faster P-state\n",
         {{6, {"wrmsr 0xc0010066 <- 0x800001343c003808"}}, {6, {"wrmsr 0xc0010062 <- 0x4"}}, {1, {"sleep 1"}}, {6, {"wrmsr 0xc0010062 <- 0x2"}}},
         {{0xc0010066, 0x800001343c003808}, {0xc0010062, 0x2}, {0xc0010071, 0x0040f0303c023810}}, {}},
        {"current P-state past the enabled ones", kFamily10, 5, withoutBoost, {"P0=17"}, 0, "WARNING: P0=17: 17x is above the highest multiplier this processor reports (16x)\n",
         {{6, {"wrmsr 0xc0010064 <- 0x8000019a48404012"}}}, {{0xc0010064, 0x8000019a48404012}}, {}},
        {"current P-state past the enabled ones, target", kFamily10, 7, withoutBoost, {"P3"}, 0, "",
         {{6, {"wrmsr 0xc0010062 <- 0x3"}}}, {{0xc0010062, 0x3}, {0xc0010071, 0x0040f0303c034810}}, {}},
        // Known from the profile, so refused before the first write.
        {"family 0x14 refusal before any write", kFamily14, 0, nullptr,
         {"Turbo=1", "P0=@1.2", "P1=20", "P2=@1.0"}, 10,
         "ERROR: cannot encode multiplier (family 0x14) - unknown max multiplier\n", {}, {}, {}},
        {"family 0x14 says it has no NB P-states and no APM", kFamily14, 0, nullptr,
         {"NB_P0=@1.0", "APM=1", "NB_P1=@", "NB_low=2", "P1=@1.0"}, 0,
         "WARNING: NB_P0=@1.0: NB P-states not supported, left unchanged\n"
         "WARNING: APM=1: APM not supported, left unchanged\n"
         "WARNING: NB_low=2: NB P-states not supported, left unchanged\n"
         "WARNING: P1=@1.0: 1V is above P0's 0.95V, a faster P-state\n",
         {{2, {"wrmsr 0xc0010065 <- 0x80000000000058e1"}}}, {{0xc0010065, 0x80000000000058e1}}, {}},
        {"family 0x15 in step order", kFamily15, 0, nullptr, {"P1=@1.2", "Turbo=0", "APM=1", "NB_P1=18"}, 0,
         "WARNING: P1=@1.2: 1.2V is above P0's 0.95V, a faster P-state\n",
         {{1, {"pciwrite 18.5 0x164 <- 0x581d"}}, {1, {"pciwrite 18.4 0x15c <- 0x0"}}, {1, {"pciwrite 18.4 0x15c <- 0x80"}},
          {8, {"wrmsr 0xc0010065 <- 0x8000000000413810"}}, {8, {"wrmsr 0xc0010015 <- 0x3000010"}}},
         {{0xc0010065, 0x8000000000413810}, {0xc0010015, 0x3000010}}, {{5, 0x164, 0x581d}, {4, 0x15c, 0x80}}},
        {"only an invalid token", kFamily10, 0, nullptr, {"Bogus"}, 3, "ERROR: invalid parameter Bogus\n", {}, {},
         {}},
        // A register that does not take a write (an ignore line of the machine
        // file) ends the run at that write: the writes before it stay, nothing
        // after it is written, the switch included.
        {"core P-state not taken on one core", kFamily15, 0, ignoreP1OnCore3, {"P0=@1.2", "P1=@1.2", "P2=@1.0", "P2"},
         10, "ERROR: MSR 0xc0010065 on core 3 did not take 0x8000000000413810 (reads 0x8000000000416810)\n",
         {{8, {"wrmsr 0xc0010064 <- 0x800000000041380c"}}, {4, {"wrmsr 0xc0010065 <- 0x8000000000413810"}}},
         {{0xc0010064, 0x800000000041380c}, {0xc0010065, 0x8000000000413810}}, {}},
        {"boost disable bit not taken", kFamily15, 0, ignoreHwcr, {"Turbo=0", "P1=@1.2", "P2"}, 10,
         "WARNING: P1=@1.2: 1.2V is above P0's 0.95V, a faster P-state\n"
         "ERROR: MSR 0xc0010015 on core 0 did not take 0x3000010 (reads 0x1000010)\n",
         {{1, {"pciwrite 18.4 0x15c <- 0x0"}}, {8, {"wrmsr 0xc0010065 <- 0x8000000000413810"}},
          {1, {"wrmsr 0xc0010015 <- 0x3000010"}}},
         {{0xc0010065, 0x8000000000413810}}, {{4, 0x15c, 0x0}}},
        {"boost source not taken", kFamily15, 0, ignoreBoostControl, {"Turbo=0", "P1=@1.2"}, 10,
         "WARNING: P1=@1.2: 1.2V is above P0's 0.95V, a faster P-state\n" "ERROR: PCI 18.4 0x15c did not take 0x0 (reads 0x1)\n", {{1, {"pciwrite 18.4 0x15c <- 0x0"}}}, {}, {}},
        {"APM not taken", kFamily15, 0, ignoreBoostControl, {"NB_P1=18", "APM=1", "P1=@1.2"}, 10,
         "WARNING: P1=@1.2: 1.2V is above P0's 0.95V, a faster P-state\n" "ERROR: PCI 18.4 0x15c did not take 0x81 (reads 0x1)\n",
         {{1, {"pciwrite 18.5 0x164 <- 0x581d"}}, {1, {"pciwrite 18.4 0x15c <- 0x81"}}}, {}, {{5, 0x164, 0x581d}}},
        {"northbridge VID bit 7 not taken (8-bit VIDs)", findPreset("family15-8bit")->machineText.c_str(), 0,
         ignoreNbP1, {"NB_P1=@0.3875"}, 10, "ERROR: PCI 18.5 0x164 did not take 0x20e819 (reads 0xe819)\n",
         {{1, {"pciwrite 18.5 0x164 <- 0x20e819"}}}, {}, {}},
        {"northbridge P-state not taken", kFamily15, 0, ignoreNbP1, {"NB_P1=18", "Turbo=0"}, 10,
         "ERROR: PCI 18.5 0x164 did not take 0x581d (reads 0x5805)\n", {{1, {"pciwrite 18.5 0x164 <- 0x581d"}}}, {},
         {}},
        // Only the fields written are compared, and a write that changes
        // nothing is read back like any other.
        {"a dropped write that changes nothing", kFamily15, 0, ignoreHwcr, {"Turbo=1"}, 0, "",
         {{1, {"pciwrite 18.4 0x15c <- 0x1"}}, {8, {"wrmsr 0xc0010015 <- 0x1000010"}}}, {}, {}},
        {"second token invalid", kFamily10, 0, nullptr, {"P0=17", "Turbo=2", "P1=10"}, 3,
         "ERROR: invalid parameter Turbo=2\n", {}, {}, {}},
    };

    for (const Case& c : cases) {
        Machine machine = machineOf(c.machineText, c.current);
        if (c.adjust != nullptr)
            c.adjust(machine);
        const RunResult result = run(machine, c.tokens);

        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.out, "") << c.name;
        EXPECT_EQ(result.err, c.err) << c.name;
        EXPECT_EQ(joined(writesOf(result.accesses)), joined(expanded(c.writes))) << c.name;

        Machine expected = machine;
        for (const MsrValue& msr : c.msrsAfter)
            expected.msrs[msr.number] = msr.value;
        for (const PciValue& pci : c.pciAfter)
            expected.pciRegisters[PciAddress{pci.device, pci.function, pci.reg}] = pci.value;
        EXPECT_EQ(emulation::attachedMachine().msrs, expected.msrs) << c.name;
        // Every core alike, but for the cores a refused write never reached.
        std::map<CoreMsr, std::uint64_t> cores = machine.coreMsrs;
        if (c.adjust == ignoreP1OnCore3)
            for (std::int32_t core = 3; core < 8; ++core)
                cores[CoreMsr{0xc0010065, core}] = 0x8000000000416810;
        for (const auto& [msr, value] : c.coresAfter)
            cores[msr] = value;
        EXPECT_EQ(emulation::attachedMachine().coreMsrs, cores) << c.name;
        EXPECT_EQ(emulation::attachedMachine().pciRegisters, expected.pciRegisters) << c.name;
    }
}

TEST(ApplyChanges, InvalidTokenOrEarlyRefusalAccessesNothingAfterTheProbe)
{
    struct Case {
        const char* machineText;
        std::vector<std::string> tokens;
        int status;
        const char* err;
    };
    const Case cases[] = {
        {kFamily10, {""}, 3, "ERROR: invalid parameter \n"},
        {kFamily10, {"P0=17", "P9"}, 3, "ERROR: invalid parameter P9\n"},
        // Nothing is said of valid tokens when a later one is invalid.
        {kFamily14, {"APM=1", "P0=@abc"}, 3, "ERROR: invalid parameter P0=@abc\n"},
        {kFamily14, {"NB_low=1", "P0=@1.2", "P2=0"}, 10,
         "WARNING: NB_low=1: NB P-states not supported, left unchanged\n"
         "ERROR: cannot encode multiplier (family 0x14) - unknown max multiplier\n"},
    };
    for (const Case& c : cases) {
        const RunResult result = run(machineOf(c.machineText, 0), c.tokens);
        EXPECT_EQ(result.status, c.status) << c.tokens.back();
        EXPECT_EQ(result.err, c.err) << c.tokens.back();
        EXPECT_EQ(joined(result.accesses), "") << c.tokens.back();
    }
}

TEST(ApplyChanges, NorthbridgeVidReadsTheAssignmentsNotRequested)
{
    // What is read before the first core P-state is written.
    struct Case {
        std::vector<std::string> tokens;
        std::vector<std::string> readsFirst;
    };
    const Case cases[] = {
        {{"NB_P1=@1.05"},
         {"rdmsr 0xc0010064 -> 0x8000019a4840404e", "rdmsr 0xc0010065 -> 0x8000013a3c001810",
          "rdmsr 0xc0010066 -> 0x800001343c003008", "rdmsr 0xc0010067 -> 0x8000012e3c004850",
          "rdmsr 0xc0010068 -> 0x800001284c405840",
          // Writing P0 begins.
          "rdmsr 0xc0010064 -> 0x8000019a4840404e"}},
        // NB_low assigns every P-state, so no assignment is read.
        {{"NB_P1=@1.05", "NB_low=2"}, {"rdmsr 0xc0010064 -> 0x8000019a4840404e"}},
        // No northbridge VID requested: nothing is read for step 1.
        {{"NB_P0=18", "P1=10"}, {"rdmsr 0xc0010065 -> 0x8000013a3c001810"}},
    };
    for (const Case& c : cases) {
        const RunResult result = run(machineOf(kFamily10, 1), c.tokens);
        std::vector<std::string> reads;
        for (const std::string& line : result.accesses) {
            if (line.compare(0, 6, "wrmsr ") == 0)
                break;
            reads.push_back(line);
        }
        EXPECT_EQ(joined(reads), joined(c.readsFirst)) << c.tokens.front();
    }
}

// The example of one request from end to end: P0=20@1.25 on family 0x10
// without boost, running in P0.
TEST(ApplyChanges, OneRequestEndToEnd)
{
    Machine machine = machineOf(kFamily10, 0);
    withoutBoost(machine);
    const RunResult result = run(machine, {"P0=20@1.25"});

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    // The test machine reports 16x and runs P1 at 1.4V.
    EXPECT_EQ(result.err, "WARNING: P0=20@1.25: 20x is above the highest multiplier this processor reports (16x)\n"
                          "WARNING: P0=20@1.25: 1.25V is below P1's 1.4V, a slower P-state\n");
    // Core 0's other P-states read for the warning; then each of the six
    // cores in turn: P0 rewritten and read back, the current P-state read,
    // sent away, and after one pause entered again.
    EXPECT_EQ(joined(result.accesses), joined(expanded({
                                           {1, {"rdmsr 0xc0010065 -> 0x8000013a3c001810",
                                                "rdmsr 0xc0010066 -> 0x800001343c003008",
                                                "rdmsr 0xc0010067 -> 0x8000012e3c004850",
                                                "rdmsr 0xc0010068 -> 0x800001284c405840"}},
                                           {6, {"rdmsr 0xc0010064 -> 0x8000019a4840404e",
                                                "wrmsr 0xc0010064 <- 0x8000019a48403018",
                                                "rdmsr 0xc0010064 -> 0x8000019a48403018"}},
                                           {6, {"rdmsr 0xc0010071 -> 0x40f0303c001810"}},
                                           {6, {"rdmsr 0xc0010062 -> 0x0", "wrmsr 0xc0010062 <- 0x4"}},
                                           {1, {"sleep 1"}},
                                           {6, {"rdmsr 0xc0010062 -> 0x4", "wrmsr 0xc0010062 <- 0x0"}},
                                       })));
    EXPECT_EQ(emulation::attachedMachine().msrs[0xc0010064], 0x8000019a48403018u);
}

// Every core by its own read-modify-write, core 0 first, each keeping the bits
// it had outside the fields the request owns.
TEST(ApplyChanges, EveryCoreKeepsItsOwnBits)
{
    Machine machine = fourCores(2);
    setMsrOnCore(machine, 1, 0xc0010064, 0x8000019b4840404e); // bit 32
    setMsrOnCore(machine, 2, 0xc0010064, 0xc000019a4840414e); // bit 62, and its own divisor
    setMsrOnCore(machine, 3, 0xc0010064, 0x8000019a4841404e); // bit 16
    setMsrOnCore(machine, 1, 0xc0010015, 0x1000011);
    setMsrOnCore(machine, 2, 0xc0010015, 0x3000010); // boost already off
    setMsrOnCore(machine, 3, 0xc0010015, 0x0000010);
    const std::size_t probeLength = probeTraceLength(machine);
    const ProgramRun run = runProgram(machine, {"P0=17", "Turbo=0"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");

    EXPECT_EQ(joined(accessesOnDevices(emulation::traceLines(), probeLength)),
              joined({"cpuctl1: open",
                      "cpuctl2: open",
                      "cpuctl3: open",
                      "pci: pciread 18.4 0x15c -> 0x7",
                      "pci: pciwrite 18.4 0x15c <- 0x4",
                      "pci: pciread 18.4 0x15c -> 0x4",
                      "cpuctl0: rdmsr 0xc0010064 -> 0x8000019a4840404e",
                      "cpuctl0: wrmsr 0xc0010064 <- 0x8000019a48404012",
                      "cpuctl0: rdmsr 0xc0010064 -> 0x8000019a48404012",
                      "cpuctl1: rdmsr 0xc0010064 -> 0x8000019b4840404e",
                      "cpuctl1: wrmsr 0xc0010064 <- 0x8000019b48404012",
                      "cpuctl1: rdmsr 0xc0010064 -> 0x8000019b48404012",
                      "cpuctl2: rdmsr 0xc0010064 -> 0xc000019a4840414e",
                      "cpuctl2: wrmsr 0xc0010064 <- 0xc000019a48404012",
                      "cpuctl2: rdmsr 0xc0010064 -> 0xc000019a48404012",
                      "cpuctl3: rdmsr 0xc0010064 -> 0x8000019a4841404e",
                      "cpuctl3: wrmsr 0xc0010064 <- 0x8000019a48414012",
                      "cpuctl3: rdmsr 0xc0010064 -> 0x8000019a48414012",
                      "cpuctl0: rdmsr 0xc0010015 -> 0x1000010",
                      "cpuctl0: wrmsr 0xc0010015 <- 0x3000010",
                      "cpuctl0: rdmsr 0xc0010015 -> 0x3000010",
                      "cpuctl1: rdmsr 0xc0010015 -> 0x1000011",
                      "cpuctl1: wrmsr 0xc0010015 <- 0x3000011",
                      "cpuctl1: rdmsr 0xc0010015 -> 0x3000011",
                      "cpuctl2: rdmsr 0xc0010015 -> 0x3000010",
                      "cpuctl2: wrmsr 0xc0010015 <- 0x3000010",
                      "cpuctl2: rdmsr 0xc0010015 -> 0x3000010",
                      "cpuctl3: rdmsr 0xc0010015 -> 0x10",
                      "cpuctl3: wrmsr 0xc0010015 <- 0x2000010",
                      "cpuctl3: rdmsr 0xc0010015 -> 0x2000010",
                      "cpuctl0: rdmsr 0xc0010071 -> 0x40f0303c021810",
                      "cpuctl1: rdmsr 0xc0010071 -> 0x40f0303c021810",
                      "cpuctl2: rdmsr 0xc0010071 -> 0x40f0303c021810",
                      "cpuctl3: rdmsr 0xc0010071 -> 0x40f0303c021810"}));

    const struct {
        std::int32_t core;
        std::uint32_t msr;
        std::uint64_t value;
    } after[] = {
        {0, 0xc0010064, 0x8000019a48404012}, {1, 0xc0010064, 0x8000019b48404012},
        {2, 0xc0010064, 0xc000019a48404012}, {3, 0xc0010064, 0x8000019a48414012},
        {0, 0xc0010015, 0x3000010},          {1, 0xc0010015, 0x3000011},
        {2, 0xc0010015, 0x3000010},          {3, 0xc0010015, 0x2000010},
        {3, 0xc0010065, 0x8000013a3c001810}, {3, 0xc0010062, 0x0},
    };
    for (const auto& a : after) {
        std::uint64_t value = 0;
        EXPECT_TRUE(msrOnCore(emulation::attachedMachine(), a.core, a.msr, value));
        EXPECT_EQ(hexText(value), hexText(a.value)) << "core " << a.core << " MSR " << hexText(a.msr);
    }
}

// The switch on cores in different P-states: every core's current P-state is
// read first, then each core is switched on its own, and the cores sent away
// wait one pause together before they return.
TEST(ApplyChanges, EachCoreSwitchesFromItsOwnPstate)
{
    const std::vector<std::string> reads = {
        "cpuctl0: rdmsr 0xc0010071 -> 0x40f0303c011810", "cpuctl1: rdmsr 0xc0010071 -> 0x40f0303c021810",
        "cpuctl2: rdmsr 0xc0010071 -> 0x40f0303c011810", "cpuctl3: rdmsr 0xc0010071 -> 0x40f0303c041810"};
    struct Case {
        std::vector<std::string> tokens;
        std::vector<std::string> switches; // after the reads
    };
    const Case cases[] = {
        // Request 1 is P2, one past the boosted P0.
        {{"P2"},
         {"cpuctl0: wrmsr 0xc0010062 <- 0x1", "cpuctl2: wrmsr 0xc0010062 <- 0x1",
          "cpuctl3: wrmsr 0xc0010062 <- 0x1"}},
        {{"P1=@1.3"},
         {"cpuctl0: wrmsr 0xc0010062 <- 0x3", "cpuctl2: wrmsr 0xc0010062 <- 0x3", "sleep 1",
          "cpuctl0: wrmsr 0xc0010062 <- 0x0", "cpuctl2: wrmsr 0xc0010062 <- 0x0"}},
        {{"P2=@1.2", "P2"},
         {"cpuctl0: wrmsr 0xc0010062 <- 0x1", "cpuctl1: wrmsr 0xc0010062 <- 0x3",
          "cpuctl2: wrmsr 0xc0010062 <- 0x1", "cpuctl3: wrmsr 0xc0010062 <- 0x1", "sleep 1",
          "cpuctl1: wrmsr 0xc0010062 <- 0x1"}},
        // The last P-state is left for P0.
        {{"P4=@0.95"},
         {"cpuctl3: wrmsr 0xc0010062 <- 0x0", "sleep 1", "cpuctl3: wrmsr 0xc0010062 <- 0x3"}},
        {{"P3=@1.0"}, {}},
    };
    for (const Case& c : cases) {
        Machine machine = fourCores(1);
        setMsrOnCore(machine, 1, 0xc0010071, 0x40f0303c021810);
        setMsrOnCore(machine, 3, 0xc0010071, 0x40f0303c041810);
        const std::size_t probeLength = probeTraceLength(machine);
        const ProgramRun run = runProgram(machine, c.tokens);
        EXPECT_EQ(run.status, 0) << c.tokens.front();
        std::vector<std::string> lines;
        for (const std::string& line : accessesOnDevices(emulation::traceLines(), probeLength))
            if (line.find("0xc0010071") != std::string::npos || line.find("wrmsr 0xc0010062") != std::string::npos
                || line == "sleep 1")
                lines.push_back(line);
        std::vector<std::string> expected = reads;
        expected.insert(expected.end(), c.switches.begin(), c.switches.end());
        EXPECT_EQ(joined(lines), joined(expected)) << c.tokens.front();
    }
}

void printLastLine()
{
    std::cerr << "the last line" << std::endl;
}

void raiseSigint() noexcept
{
    (void)raise(SIGINT);
}

// The program in a child process started as a shell starts it, its output
// into outPath, on a machine whose pause raises SIGINT, as a Ctrl-C during
// the second between leaving the current P-state and entering it again would;
// with the PCI-only change, the first write raises it. As pravellon-sim, with
// a line of its own at exit.
[[noreturn]] void applyInterrupted(bool asSim, bool pciOnly, const std::string& outPath, const std::string& tracePath)
{
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(out, STDERR_FILENO) < 0)
        std::_Exit(100);
    releaseSignals(); // what earlier tests in this process left held
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    std::signal(SIGINT, SIG_DFL);

    Machine machine = machineOf(pciOnly ? kFamily15 : kFamily10, 0);
    withoutBoost(machine);
    std::string error;
    if (!emulation::openTraceFile(tracePath, error))
        std::_Exit(102);
    emulation::attachMachine(machine);
    if (pciOnly)
        emulation::setAfterWrite(raiseSigint);
    else
        emulation::raiseDuringSleep(SIGINT);
    if (asSim) {
        keepSignalsHeldUntilExit();
        if (std::atexit(printLastLine) != 0)
            std::_Exit(101);
    }
    const char* const argv[] = {"pravellon", pciOnly ? "NB_P1=18" : "P0=20@1.25", pciOnly ? "APM=1" : nullptr,
                                nullptr};
    std::exit(runPravellon(pciOnly ? 3 : 2, argv));
}

// A signal during the change waits for the change and the last line, then ends
// the process by its default action.
TEST(ApplyChanges, SignalDuringTheChangeEndsTheProcessAfterTheLastLine)
{
    struct Case {
        const char* name;
        bool asSim;
        std::string output;
        bool pciOnly = false;
        std::vector<OnCores> writes = {{6, {"wrmsr 0xc0010064 <- 0x8000019a48403018"}},
                                       {6, {"wrmsr 0xc0010062 <- 0x4"}},
                                       {1, {"sleep 1"}},
                                       {6, {"wrmsr 0xc0010062 <- 0x0"}}};
    };
    const std::string warnings =
        "WARNING: P0=20@1.25: 20x is above the highest multiplier this processor reports (16x)\n"
        "WARNING: P0=20@1.25: 1.25V is below P1's 1.4V, a slower P-state\n";
    const Case cases[] = {
        {"pravellon", false, warnings},
        {"pravellon-sim", true, warnings + "the last line\n"},
        {"pravellon, PCI writes only", false, "", true,
         {{1, {"pciwrite 18.5 0x164 <- 0x581d"}}, {1, {"pciwrite 18.4 0x15c <- 0x81"}}}},
    };
    for (const Case& c : cases) {
        const TestFile out("interrupted.out");
        const TestFile trace("interrupted.trace");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            applyInterrupted(c.asSim, c.pciOnly, out.path, trace.path);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << c.name << ": status " << status;
        EXPECT_EQ(readFile(out.path), c.output) << c.name;
        std::vector<std::string> lines;
        std::istringstream text(readFile(trace.path));
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        EXPECT_EQ(joined(writesOf(lines)), joined(expanded(c.writes))) << c.name;
    }
}

} // namespace

// A dry run makes the run's reads but writes nothing, does not pause, and
// says what the run would change, in the words of pravellon-sim --changes.
TEST(ApplyChanges, DryRunWritesNothingAndSaysWhatWouldChange)
{
    struct Case {
        const char* machineText;
        std::int32_t current;
        std::vector<std::string> arguments;
        int status;
        const char* out;
        const char* err;
    };
    const Case cases[] = {
        {kFamily10, 0, {"-n", "Turbo=1"}, 0, "nothing would change\n", ""},
        {kFamily15, 0, {"--dry-run", "P1=@1.2", "-n"}, 3, "", "ERROR: invalid parameter -n\n"},
        {kFamily15, 0, {"-n", "--dry-run", "P1=@1.2"}, 0,
         "would change P1 (MSR 0xc0010065) on cores 0-7: 0x8000000000416810 -> 0x8000000000413810: "
         "16x at 0.9V, NorthBridge in NB_P1 -> 16x at 1.2V, NorthBridge in NB_P1\n",
         "WARNING: P1=@1.2: 1.2V is above P0's 0.95V, a faster P-state\n"},
        // Past what the processor reports, planned all the same.
        {findPreset("family15")->machineText.c_str(), 0, {"-n", "P0=@1.55", "P2=30", "P2=@1.2"}, 0,
         "would change P0 (MSR 0xc0010064) on cores 0-7: 0x800001400000161a -> 0x800001400000001a: "
         "21x at 1.4125V, NorthBridge in NB_P0 -> 21x at 1.55V, NorthBridge in NB_P0\n"
         "would change P2 (MSR 0xc0010066) on cores 0-7: 0x8000013400002014 -> 0x800001340000382c: "
         "18x at 1.35V, NorthBridge in NB_P0 -> 30x at 1.2V, NorthBridge in NB_P0\n",
         "WARNING: P0=@1.55: 1.55V is above the highest voltage this processor reports (1.45V)\n"
         "WARNING: P2=30: 30x is above the highest multiplier this processor reports (21x)\n"
         "WARNING: P2=@1.2: 1.2V is below P3's 1.2875V, a slower P-state\n"},
        // Raised above a faster P-state that keeps its voltage.
        {findPreset("family15")->machineText.c_str(), 0, {"-n", "P4=@1.3"}, 0,
         "would change P4 (MSR 0xc0010068) on cores 0-7: 0x8000012800003c0b -> 0x800001280000280b: "
         "13.5x at 1.175V, NorthBridge in NB_P0 -> 13.5x at 1.3V, NorthBridge in NB_P0\n",
         "WARNING: P4=@1.3: 1.3V is above P3's 1.2875V, a faster P-state\n"},
        // The boost source is read again for APM: from the plan.
        {kFamily15, 0, {"-n", "Turbo=0", "APM=1"}, 0,
         "would change MSR 0xc0010015 on cores 0-7: 0x1000010 -> 0x3000010: core performance boost on -> off\n"
         "would change PCI 18.4 0x15c: 0x1 -> 0x80: boost source 1 -> 0, APM off -> on\n",
         ""},
        {kFamily10, 0, {"-n", "P2"}, 0, "would switch cores 0-5 to P2\n", ""},
        // The current P-state rewritten: the move away and back says nothing.
        {kFamily10, 2, {"-n", "P2=@1.2"}, 0,
         "would change P2 (MSR 0xc0010066) on cores 0-5: 0x800001343c003008 -> 0x800001343c003808: "
         "12x at 1.25V, NorthBridge in NB_P0 at 1.175V -> 12x at 1.2V, NorthBridge in NB_P0 at 1.175V\n",
         "WARNING: P2=@1.2: 1.2V is above P0's 1.15V, a faster P-state\n"},
        {kFamily14, 0, {"-n", "APM=1", "P0=20"}, 10, "",
         "WARNING: APM=1: APM not supported, left unchanged\n"
         "ERROR: cannot encode multiplier (family 0x14) - unknown max multiplier\n"},
        // A northbridge register changes on every node, one entry per old and new value.
        {findPreset("family15-g34")->machineText.c_str(), 0, {"-n", "APM=0", "NB_P1=@1.1"}, 0,
         "would change PCI 18.4 0x15c on nodes 0-1: 0x89 -> 0x9: boost source 1 -> 1, APM on -> off\n"
         "would change NB_P1 (PCI 18.5 0x164) on node 0: 0xa0a5 -> 0x90a5: 11x at 1.05V -> 11x at 1.1V\n"
         "would change NB_P1 (PCI 18.5 0x164) on node 1: 0xb0a5 -> 0x90a5: 11x at 1V -> 11x at 1.1V\n",
         ""},
        // More CPUs than one processor's cores: the cores --changes names.
        {findPreset("family10-2socket")->machineText.c_str(), 0, {"-n", "Turbo=0"}, 0,
         "would change MSR 0xc0010015 on cores 0-11: 0x1000010 -> 0x3000010: core performance boost on -> off\n"
         "would change PCI 18.4 0x15c on node 0: 0x7 -> 0x4: boost source 3 -> 0\n",
         ""},
        {kFamily10, 0, {"-n"}, 3, "", "ERROR: invalid parameter -n\n"},
        {kFamily10, 0, {"-n", "--tokens"}, 3, "", "ERROR: invalid parameter -n\n"},
        {kFamily10, 0, {"--tokens", "--tokens", "P0"}, 3, "", "ERROR: invalid parameter P0\n"},
    };
    for (const Case& c : cases) {
        const Machine machine = machineOf(c.machineText, c.current);
        const RunResult result = run(machine, c.arguments);
        const std::string name = joined(c.arguments);
        EXPECT_EQ(result.status, c.status) << name;
        EXPECT_EQ(result.out, c.out) << name;
        EXPECT_EQ(result.err, c.err) << name;
        EXPECT_EQ(joined(writesOf(result.accesses)), "") << name;
        EXPECT_EQ(emulation::attachedMachine().msrs, machine.msrs) << name;
        EXPECT_EQ(emulation::attachedMachine().pciRegisters, machine.pciRegisters) << name;
        if (c.status == kStatusInvalidArgument)
            continue; // beside --tokens, --json would be the word named

        // --json tells the same as one object, or prints nothing; a real run
        // tells what a dry run just before it would have told.
        std::vector<std::string> json{"--json"};
        json.insert(json.end(), c.arguments.begin(), c.arguments.end());
        const RunResult planned = run(machine, json);
        EXPECT_EQ(planned.status, c.status) << name;
        EXPECT_EQ(planned.err, c.err) << name;
        const std::string counts =
            std::to_string(machineCpuCount(machine)) + " " + std::to_string(machineNodeCount(machine));
        // The object lists the warnings, read back as the lines standard
        // error has.
        EXPECT_EQ(c.status == 0 ? jsonAsText(planned.out, "changes " + counts) : planned.out,
                  c.status == 0 ? std::string(c.err) + c.out : c.out)
            << name;
        const auto dryRunOption = [](const std::string& word) { return word == "-n" || word == "--dry-run"; };
        json.erase(std::remove_if(json.begin(), json.end(), dryRunOption), json.end());
        std::string made = planned.out;
        const std::string dryRun = "\"dry_run\": true";
        if (made.find(dryRun) != std::string::npos)
            made.replace(made.find(dryRun), dryRun.size(), "\"dry_run\": false");
        EXPECT_EQ(run(machine, json).out, made) << name;
    }
}
