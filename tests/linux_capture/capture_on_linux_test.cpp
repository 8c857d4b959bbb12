// pravellon-capture and pravellon on Linux, through the unmodified Linux device
// code with its device paths redirected to files that stand in for a
// processor's devices: the capture only reads, and pravellon-sim reports its
// machine file exactly as pravellon reports the devices it was taken from.

#include <fcntl.h>

#include <cerrno>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../run_program.h"
#include "hw/cpu_list.h"
#include "tools/capture.h"
#include "device_fixture.h"
#include "spread_registers.h"

namespace {

// Function F of node N's northbridge, device 0x18 + N, and its stand-in's name.
std::string configPath(unsigned device, unsigned function)
{
    static const char kDigits[] = "0123456789abcdef";
    return std::string("/sys/bus/pci/devices/0000:00:") + kDigits[device >> 4] + kDigits[device & 0xF] + "."
        + std::to_string(function) + "/config";
}

std::string configName(const std::string& machine, unsigned device, unsigned function)
{
    return machine + ".config" + std::to_string(device) + "." + std::to_string(function);
}

class CaptureOnLinux : public LinuxDevice {
protected:
    void TearDown() override
    {
        spread_registers::reset();
        LinuxDevice::TearDown();
    }

    // Files named after the machine that hold its registers where the kernel
    // would hand them over: each core's MSRs and CPUID leaves at their number,
    // PCI registers at theirs in a 4096-byte configuration space.
    void standInFor(const std::string& name, const Machine& machine)
    {
        // The CPU lists, as the kernel writes them: "0-11\n", "0-4,6-11\n".
        std::vector<std::int32_t> online;
        for (const std::int32_t cpu : machineCpus(machine))
            if (machine.offline.count(cpu) == 0)
                online.push_back(cpu);
        std::ofstream(standIn(kPresentCpus, name + ".present")) << cpuListText(machineCpus(machine)) << "\n";
        std::ofstream(standIn(kOnlineCpus, name + ".online")) << cpuListText(online) << "\n";
        for (const std::int32_t core : machineCpus(machine)) {
            if (machine.offline.count(core) != 0) {
                redirected::failOpen("/dev/cpu/" + std::to_string(core) + "/msr", ENXIO);
                continue;
            }
            const std::string msrFile =
                standIn("/dev/cpu/" + std::to_string(core) + "/msr", name + ".msr" + std::to_string(core));
            writeBytesAt(msrFile, 0, Bytes(8, 0));
            spread_registers::spread(msrFile, 8);
            for (const auto& entry : machine.msrs) {
                std::uint64_t value = 0;
                (void)msrOnCore(machine, core, entry.first, value);
                writeBytesAt(msrFile, entry.first, littleEndian(value, 8));
            }
        }
        const std::string cpuidFile = standIn(kCpuidDevice, name + ".cpuid");
        writeBytesAt(cpuidFile, 0, Bytes(16, 0));
        spread_registers::spread(cpuidFile, 16);
        for (const auto& [leaf, words] : machine.cpuidLeaves) {
            Bytes bytes;
            for (const std::uint32_t word : {words.eax, words.ebx, words.ecx, words.edx}) {
                const Bytes part = littleEndian(word, 4);
                bytes.insert(bytes.end(), part.begin(), part.end());
            }
            writeBytesAt(cpuidFile, leaf, bytes);
        }
        for (unsigned device = 0x18; device < 0x18 + static_cast<unsigned>(machineNodeCount(machine)); ++device) {
            for (unsigned function = 0; function < 8; ++function) {
                const std::string file = standIn(configPath(device, function), configName(name, device, function));
                writeBytesAt(file, 0, Bytes(4, 0));
                resizeFile(file, 4096);
            }
        }
        for (const auto& [address, value] : machine.pciRegisters)
            writeBytesAt(scratch.path(configName(name, address.device, address.function)), address.reg,
                         littleEndian(value, 4));
    }
};

TEST_F(CaptureOnLinux, SimulatorReportsTheCopyAsPravellonReportsTheDevices)
{
    for (const Preset& preset : presets()) {
        if (preset.name == "intel" || preset.name == "family11")
            continue;
        SCOPED_TRACE(preset.name);
        redirected::reset();
        standInFor(preset.name, machineFrom(preset.machineText));

        std::ostringstream text;
        ASSERT_TRUE(captureMachine(text));
        for (const redirected::OpenCall& call : redirected::openCalls())
            EXPECT_EQ(call.flags & O_ACCMODE, O_RDONLY) << call.path << " opened for writing";

        const std::string machineFile = scratch.path(preset.name + ".machine");
        std::ofstream(machineFile) << text.str();

        const ProgramRun devices = runPravellonHere();
        const ProgramRun copy = runSim("--machine '" + machineFile + "'");
        EXPECT_EQ(devices.status, 0);
        EXPECT_EQ(copy.status, devices.status);
        EXPECT_NE(devices.out, "");
        EXPECT_EQ(copy.out, devices.out);
        EXPECT_EQ(copy.err, devices.err);
        // Each node's Tctl, copied too.
        EXPECT_EQ(runSim("--machine '" + machineFile + "' --now").out, runPravellonHere({"--now"}).out);

        // The machine's own settings, given back, would change nothing where
        // its cores and nodes agree.
        if (preset.name == "family10-mixed" || preset.name == "family10-2socket" || preset.name == "family15-g34")
            continue;
        const ProgramRun tokens = runPravellonHere({"--tokens"});
        EXPECT_EQ(tokens.err, "");
        std::vector<std::string> words{"-n"};
        std::istringstream line(tokens.out);
        for (std::string word; line >> word;)
            words.push_back(word);
        EXPECT_EQ(runPravellonHere(words).out, "nothing would change\n");
    }
}

// A CPU that Linux has taken offline has no MSR device: the report names it,
// a change warns of it and leaves it, and the copy says it could not read it.
TEST_F(CaptureOnLinux, OfflineCpuIsNamedAndLeftAlone)
{
    Machine machine = machineFrom(findPreset("family10")->machineText);
    machine.offline.insert(3);
    standInFor("offline", machine);

    const ProgramRun report = runPravellonHere();
    EXPECT_EQ(report.status, 0);
    EXPECT_NE(report.out.find("      NorthBridge in NB_P1 at 1.075V\n  Core 3 is offline\n"), std::string::npos)
        << report.out;
    EXPECT_EQ(runPravellonHere({"--now"}).out, "Pravellon v1.1\n\n.:. Now\n---\n"
                                                "  Cores 0-2,4-5: P1, 16x at 1.4V (3200 MHz)\n  Core 3 is offline\n"
                                                "  Node 0: Tctl 41.5C\n");
    EXPECT_NE(runPravellonHere({"--now", "--json"}).out.find(R"({"core": 3, "offline": true}, {"core": 4, "pstate": 1)"),
              std::string::npos);
    const ProgramRun change = runPravellonHere({"Bogus=1"});
    EXPECT_EQ(change.err, "ERROR: invalid parameter Bogus=1\n");
    const ProgramRun turbo = runPravellonHere({"Turbo=1"});
    EXPECT_EQ(turbo.status, 0);
    EXPECT_EQ(turbo.err, "WARNING: core 3 is offline, left unchanged\n");

    std::ostringstream text;
    ASSERT_TRUE(captureMachine(text));
    EXPECT_NE(text.str().find("# CPU 3 was offline: it has CPU 0's registers here.\n"), std::string::npos);
    EXPECT_NE(text.str().find("\ncpus 6\n"), std::string::npos) << text.str();
}

// Linux may number its CPUs with gaps: the copy keeps its numbers, and
// pravellon-sim, which runs the FreeBSD device code, numbers them without
// gaps and says so.
TEST_F(CaptureOnLinux, CpusNumberedWithGapsKeepTheirNumbers)
{
    Machine machine = machineFrom(findPreset("family15-g34")->machineText);
    for (std::int32_t cpu = 0; cpu < 24; cpu = cpu == 7 ? 16 : cpu + 1)
        machine.cpus.push_back(cpu);
    standInFor("gaps", machine);
    const ProgramRun devices = runPravellonHere();
    EXPECT_NE(devices.out.find("  2 nodes, 16 CPUs in all\n"), std::string::npos) << devices.out;

    std::ostringstream text;
    ASSERT_TRUE(captureMachine(text));
    EXPECT_NE(text.str().find("\ncpus 0-7,16-23\n"), std::string::npos) << text.str();
    const std::string machineFile = scratch.path("gaps.machine");
    std::ofstream(machineFile) << text.str();
    const std::string renumbered = "pravellon-sim: CPUs 0-7,16-23 of the machine file are CPUs 0-15 here\n";
    const ProgramRun copy = runSim("--machine '" + machineFile + "'");
    EXPECT_EQ(copy.out, devices.out);
    EXPECT_EQ(copy.err, renumbered);
    const ProgramRun change = runSim("--machine '" + machineFile + "' --changes Turbo=0");
    EXPECT_EQ(change.err.compare(0, renumbered.size(), renumbered), 0) << change.err;
    EXPECT_NE(change.err.find("changed MSR 0xc0010015 on cores 0-15: "), std::string::npos) << change.err;
}

TEST_F(CaptureOnLinux, RefusesAnUnsupportedProcessorAsPravellonDoes)
{
    for (const char* name : {"intel", "family11"}) {
        SCOPED_TRACE(name);
        redirected::reset();
        standInFor(name, machineFrom(findPreset(name)->machineText));
        std::ostringstream text;
        EXPECT_FALSE(captureMachine(text));
        EXPECT_EQ(text.str(), "");
        const ProgramRun devices = runPravellonHere();
        EXPECT_EQ(devices.status, 2);
        EXPECT_EQ(devices.out, "ERROR: unsupported CPU\n");
    }
}

} // namespace
