// pravellon-capture's reading: on every kind of processor it copies exactly
// the registers that pravellon reads there, with their values, writes none,
// and the copy behaves as the processor it was taken from.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tools/capture.h"
#include "cpu/probe.h"
#include "cpu/writable_registers.h"
#include "sim/processor_moves.h"
#include "tune/tune_checks.h"
#include "sim/register_changes.h"
#include "run_program.h"

namespace {

// Family 0x15 model 0x13 without boost: APM is still switched through
// 18.4 0x15c, so that register must be copied although the probe does not
// read it. P0 36x at 1.3 V, P1 18x at 1 V; NB_P0 9x at 1.1 V, NB_P1 7x at 0.95 V.
const char* const kFamily15WithoutBoost =
    "cpuid 0x80000000 0x8000001b 0x68747541 0x444d4163 0x69746e65\n"
    "cpuid 0x80000001 0x00610f30 0 0 0\n"
    "cpuid 0x80000008 0 0 3 0\n"
    "pci 18.3 0xdc 0x100\n"
    "pci 18.5 0x170 0x1\n"
    "pci 18.5 0x160 0x0001200a\n"
    "pci 18.5 0x164 0x00018006\n"
    "pci 18.4 0x15c 0x80000000\n"
    "msr 0xc0010061 0x10\n"
    "msr 0xc0010062 0x0\n"
    "msr 0xc0010064 0x8000000000005014\n"
    "msr 0xc0010065 0x800000000040b002\n"
    "msr 0xc0010071 0x0\n";

std::string pciName(const PciAddress& a)
{
    char text[32];
    std::snprintf(text, sizeof text, "pci %x.%x 0x%x", unsigned{a.device}, unsigned{a.function}, a.reg);
    return text;
}

// The registers a trace shows accessed, read or written, as "cpuid LEAF",
// "msr NUMBER" or "pci DEV.FUNC REGISTER".
std::set<std::string> registersInTrace()
{
    std::set<std::string> result;
    for (const std::string& line : emulation::traceLines()) {
        std::istringstream words(line);
        std::string op, first, second;
        words >> op >> first >> second;
        if (op == "cpuid")
            result.insert("cpuid " + first);
        else if (op == "rdmsr" || op == "wrmsr")
            result.insert("msr " + first);
        else if (op == "pciread" || op == "pciwrite")
            result.insert("pci " + first + " " + second);
    }
    return result;
}

std::set<std::string> registersIn(const Machine& machine)
{
    std::set<std::string> result;
    for (const auto& leaf : machine.cpuidLeaves)
        result.insert("cpuid " + hexText(leaf.first));
    for (const auto& msr : machine.msrs)
        result.insert("msr " + hexText(msr.first));
    for (const auto& pci : machine.pciRegisters)
        result.insert(pciName(pci.first));
    return result;
}

bool traceHasWrites()
{
    for (const std::string& line : emulation::traceLines())
        if (line.rfind("wrmsr", 0) == 0 || line.rfind("pciwrite", 0) == 0)
            return true;
    return false;
}

// The bits of after's registers that differ from before's outside the fields
// this program owns in them, as "msr 0xc0010064 core 3: 0x10000": every
// other bit is the firmware's and is written back as read. The registers the
// processor moves itself are left out.
std::vector<std::string> unownedBitsChanged(const ProcessorProfile& profile, const Machine& before,
                                            const Machine& after)
{
    const auto owned = [&profile](const WritableRegister* row) {
        std::uint64_t bits = 0;
        for (const ChangeStep step : kChangeSteps)
            bits |= row == nullptr ? 0 : ownedBits(profile, *row, step);
        return bits;
    };
    std::vector<std::string> changed;
    std::set<std::uint32_t> msrs;
    for (const auto& [msr, value] : after.msrs)
        msrs.insert(msr);
    for (const std::uint32_t msr : msrs) {
        std::int32_t n = 0;
        const std::uint64_t mine = owned(writableRegisterOf(WritableRegister::Scope::everyCore, 0, msr, n));
        for (const std::int32_t core : machineCpus(after)) {
            std::uint64_t was = 0;
            std::uint64_t is = 0;
            if (!movedByProcessor(msr) && msrOnCore(before, core, msr, was) && msrOnCore(after, core, msr, is)
                && ((was ^ is) & ~mine) != 0)
                changed.push_back("msr " + hexText(msr) + " core " + std::to_string(core) + ": "
                                  + hexText((was ^ is) & ~mine));
        }
    }
    for (const auto& [address, is] : after.pciRegisters) {
        const auto it = before.pciRegisters.find(address);
        const std::uint32_t was = it == before.pciRegisters.end() ? 0 : it->second;
        std::int32_t n = 0;
        const std::uint64_t mine =
            owned(writableRegisterOf(WritableRegister::Scope::everyNode, address.function, address.reg, n));
        if (((was ^ is) & ~mine) != 0)
            changed.push_back(pciName(address) + ": " + hexText((was ^ is) & ~mine));
    }
    return changed;
}

// A command that makes pravellon read and write everything it ever touches on
// this processor: every core and northbridge P-state, both boost switches,
// APM, the northbridge split and a P-state switch.
std::vector<std::string> everyToken(const ProcessorProfile& profile)
{
    std::vector<std::string> tokens;
    for (int i = 0; i < profile.pstateCount; ++i)
        tokens.push_back("P" + std::to_string(i) + "=4@1.0");
    for (int i = 0; i < profile.nbPstateCount; ++i)
        tokens.push_back("NB_P" + std::to_string(i) + "=8@1.0");
    tokens.insert(tokens.end(), {"NB_low=1", "Turbo=0", "APM=1", "P" + std::to_string(profile.pstateCount - 1)});
    return tokens;
}

struct Source {
    std::string name;
    std::string machineText;
};

std::vector<Source> supportedProcessors()
{
    std::vector<Source> sources;
    for (const Preset& preset : presets())
        if (preset.name != "intel" && preset.name != "family11")
            sources.push_back(Source{preset.name, preset.machineText});
    sources.push_back(Source{"family 0x15 without boost", kFamily15WithoutBoost});
    sources.push_back(Source{"family 0x10, the last core with a P1 of its own",
                             findPreset("family10")->machineText + "msr 0xc0010065 0x8000013a3c002010 core 5\n"});
    return sources;
}

TEST(Capture, CopiesExactlyWhatTheProgramReads)
{
    for (const Source& source : supportedProcessors()) {
        SCOPED_TRACE(source.name);
        const Machine original = machineFrom(source.machineText);

        emulation::attachMachine(original);
        std::ostringstream text;
        ASSERT_TRUE(captureMachine(text));
        EXPECT_FALSE(traceHasWrites());
        Machine copy;
        std::string error;
        ASSERT_TRUE(parseMachine(text.str(), copy, error)) << error << "\n" << text.str();

        // Every value as the processor holds it (a CPUID leaf or PCI register
        // it lacks reads as 0).
        for (const auto& [leaf, words] : copy.cpuidLeaves) {
            const auto it = original.cpuidLeaves.find(leaf);
            const CpuidRegisters want = it == original.cpuidLeaves.end() ? CpuidRegisters{} : it->second;
            EXPECT_TRUE(words.eax == want.eax && words.ebx == want.ebx && words.ecx == want.ecx &&
                        words.edx == want.edx) << "cpuid " << hexText(leaf);
        }
        for (const auto& [msr, value] : copy.msrs)
            EXPECT_EQ(value, original.msrs.at(msr)) << "msr " << hexText(msr);
        for (const auto& [address, value] : copy.pciRegisters) {
            const auto it = original.pciRegisters.find(address);
            EXPECT_EQ(value, it == original.pciRegisters.end() ? 0u : it->second) << pciName(address);
        }

        // Exactly what the report, --now and a command touching everything
        // access.
        emulation::attachMachine(original);
        ProcessorProfile profile;
        ASSERT_TRUE(probeProcessor(profile));
        const std::vector<std::string> tokens = everyToken(profile);
        (void)runProgram(original, {"--now"});
        std::set<std::string> used = registersInTrace();
        const ProgramRun report = runProgram(original);
        const std::set<std::string> usedByReport = registersInTrace();
        used.insert(usedByReport.begin(), usedByReport.end());
        const ProgramRun command = runProgram(original, tokens);
        ASSERT_EQ(command.status, 0) << command.err;
        const std::vector<std::string> changes = describeRegisterChanges(original, emulation::attachedMachine());
        EXPECT_EQ(unownedBitsChanged(profile, original, emulation::attachedMachine()), std::vector<std::string>{});
        const std::set<std::string> usedByCommand = registersInTrace();
        used.insert(usedByCommand.begin(), usedByCommand.end());
        // and what a tuning watches before its first step.
        emulation::attachMachine(original);
        (void)unsteadyPstates(profile);
        const std::set<std::string> usedByTuning = registersInTrace();
        used.insert(usedByTuning.begin(), usedByTuning.end());
        EXPECT_EQ(registersIn(copy), used);

        // The copy reports and changes as the processor does.
        const ProgramRun copyReport = runProgram(copy);
        EXPECT_EQ(copyReport.status, report.status);
        EXPECT_EQ(copyReport.out, report.out);
        EXPECT_EQ(copyReport.err, report.err);
        const ProgramRun copyCommand = runProgram(copy, tokens);
        EXPECT_EQ(copyCommand.status, 0) << copyCommand.err;
        EXPECT_EQ(describeRegisterChanges(copy, emulation::attachedMachine()), changes);
    }
}

TEST(Capture, RefusesWhatTheProbeRefuses)
{
    for (const char* name : {"intel", "family11"}) {
        SCOPED_TRACE(name);
        emulation::attachMachine(machineFrom(findPreset(name)->machineText));
        std::ostringstream text;
        EXPECT_FALSE(captureMachine(text));
        EXPECT_EQ(text.str(), "");
        for (const std::string& reg : registersInTrace())
            EXPECT_EQ(reg.rfind("cpuid ", 0), 0u) << reg << " read after the refusal";
    }
}

// The command as a user runs it: standard output or -o FILE gets a whole
// capture or nothing, so that `pravellon-capture > FILE` never leaves a
// message in the file; every message goes to standard error.
TEST(Capture, OnlyAWholeCaptureIsWritten)
{
    const TestFile file("captured_machine");
    const TestFile link("captured_link"); // leads to file, which is not there yet
    ASSERT_EQ(symlink(file.path.c_str(), link.path.c_str()), 0);
    emulation::attachMachine(machineFrom(findPreset("family15")->machineText));
    std::ostringstream expected;
    ASSERT_TRUE(captureMachine(expected));
    const struct {
        const char* preset;
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
        bool written; // into the file, else none there
    } cases[] = {
        {"family15", {}, 0, expected.str(), "", false},
        {"family15", {"-o", file.path}, 0, "", "", true},
        {"family15", {"-o", link.path}, 0, "", "", true}, // through the link, as the shell's > writes
        {"intel", {}, 2, "", "ERROR: unsupported CPU\n", false},
        {"family11", {"-o", file.path}, 2, "", "ERROR: unsupported CPU\n", false},
        {"family15", {"-o"}, 1, "", "usage: pravellon-capture [-o FILE]\n", false},
        {"family15", {file.path}, 1, "", "usage: pravellon-capture [-o FILE]\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.preset) + " " + joined(c.args));
        std::remove(file.path.c_str());
        emulation::attachMachine(machineFrom(findPreset(c.preset)->machineText));
        std::vector<const char*> argv{"pravellon-capture"};
        for (const std::string& arg : c.args)
            argv.push_back(arg.c_str());
        std::ostringstream out;
        std::ostringstream err;
        std::streambuf* const savedOut = std::cout.rdbuf(out.rdbuf());
        std::streambuf* const savedErr = std::cerr.rdbuf(err.rdbuf());
        const int status = runCapture(static_cast<int>(argv.size()), argv.data());
        std::cout.rdbuf(savedOut);
        std::cerr.rdbuf(savedErr);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), c.err);
        struct stat left {};
        EXPECT_EQ(stat(file.path.c_str(), &left) == 0, c.written);
        if (c.written) {
            EXPECT_EQ(readFile(file.path), expected.str());
        }
    }
}

} // namespace
