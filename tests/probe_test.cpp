// The probe: what it concludes from each kind of processor, and that it reads
// exactly the registers it needs, in order, each inside its own open and close.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cpu/family_traits.h"
#include "cpu/probe.h"
#include "cpu/vid.h"
#include "emulated_machine.h"
#include "profiles.h"

namespace {

const char* const kAmd = "cpuid 0x80000000 0x8000001b 0x68747541 0x444d4163 0x69746e65\n";

// Family 0x10 model 4, four cores, five P-states, one boosted; f = 32, vLow = 64, vHigh = 16.
const std::string kFamily10 = std::string(kAmd) +
    "cpuid 0x80000001 0x00100F42 0 0 0\n"
    "cpuid 0x80000007 0 0 0 0x200\n"
    "cpuid 0x80000008 0 0 3 0\n"
    "pci 18.3 0xdc 0x400\n"
    "msr 0xc0010071 0x0041008000000000\n"
    "msr 0xc0010015 0x1000010\n"
    "pci 18.4 0x15c 0x80000007\n"
    "pci 18.3 0x1f0 0x02400000\n";

// Family 0x12 model 1 with boost; f = 0, both voltage limits 0; lock bit clear.
const std::string kFamily12 = std::string(kAmd) +
    "cpuid 0x80000001 0x00300F10 0 0 0\n"
    "cpuid 0x80000007 0 0 0 0x200\n"
    "cpuid 0x80000008 0 0 1 0\n"
    "pci 18.3 0xdc 0x700\n"
    "msr 0xc0010071 0x0\n"
    "msr 0xc0010015 0x0\n"
    "pci 18.4 0x15c 0x00000009\n";

// Family 0x14 model 2 with boost disabled in the MSR; f = 37.
const std::string kFamily14 = std::string(kAmd) +
    "cpuid 0x80000001 0x00500F20 0 0 0\n"
    "cpuid 0x80000007 0 0 0 0x200\n"
    "cpuid 0x80000008 0 0 1 0\n"
    "pci 18.3 0xdc 0x200\n"
    "msr 0xc0010071 0x004A000000000000\n"
    "msr 0xc0010015 0x2000000\n"
    "pci 18.4 0x15c 0x80000005\n";

// Family 0x15 model 0x02, eight cores, four northbridge P-states, two boosted P-states,
// top multiplier read from 18.3 0xd4 as 0.
const std::string kFamily15 = std::string(kAmd) +
    "cpuid 0x80000001 0x00600F20 0 0 0\n"
    "cpuid 0x80000007 0 0 0 0x200\n"
    "cpuid 0x80000008 0 0 7 0\n"
    "pci 18.3 0xdc 0x600\n"
    "pci 18.5 0x170 0x3\n"
    "msr 0xc0010071 0x0038200800000000\n"
    "msr 0xc0010015 0x0\n"
    "pci 18.4 0x15c 0x00000009\n"
    "pci 18.3 0xd4 0xC0\n";

// Family 0x15 model 0x13 without boost; vHigh = 8 at the 6.25 mV step.
const std::string kFamily15NoBoost = std::string(kAmd) +
    "cpuid 0x80000001 0x00610F30 0 0 0\n"
    "cpuid 0x80000008 0 0 3 0\n"
    "pci 18.3 0xdc 0x100\n"
    "pci 18.5 0x170 0x1\n"
    "msr 0xc0010071 0x0000004000000000\n";

// The trace without the values: what was accessed, in order.
std::vector<std::string> accesses()
{
    std::vector<std::string> result;
    for (const std::string& line : emulation::traceLines())
        result.push_back(line.substr(0, line.find(" ->")));
    return result;
}

// Wraps each access in the open and close of its device, as every accessor does.
std::vector<std::string> eachInItsOwnOpen(const std::vector<std::string>& operations)
{
    std::vector<std::string> result;
    for (const std::string& op : operations) {
        const std::string device = op.rfind("pci", 0) == 0 ? "/dev/pci" : "/dev/cpuctl0";
        result.push_back("open " + device);
        result.push_back(op);
        result.push_back("close " + device);
    }
    return result;
}

TEST(Probe, ReadsEachFamily)
{
    struct Case {
        const char* name;
        const std::string& machine;
        ProcessorProfile expected;
        std::vector<std::string> operations;
    };
    auto profile = [](int family, int model, int cores, int pstates, int nbPstates, double minMult,
                      double maxMult, double topMult, double minV, double maxV, double step, double ref,
                      bool boost, bool enabled, bool locked, int boostStates) {
        ProcessorProfile p;
        p.family = family;
        p.model = model;
        p.coreCount = cores;
        p.pstateCount = pstates;
        p.nbPstateCount = nbPstates;
        p.minMultiplier = minMult;
        p.maxMultiplier = maxMult;
        p.topMultiplier = topMult;
        p.minVoltage = minV;
        p.maxVoltage = maxV;
        p.eightBitVids = step == 0.00625;
        p.refClockFactor = ref;
        p.boostSupported = boost;
        p.boostEnabled = enabled;
        p.boostLocked = locked;
        p.boostStateCount = boostStates;
        return p;
    };
    const Case cases[] = {
        {"family 0x10", kFamily10,
         profile(0x10, 0x04, 4, 5, 2, 1.0, 32.0, 36.0, 0.75, 1.35, 0.0125, 2.0, true, true, true, 1),
         {"cpuid 0x80000000", "cpuid 0x80000001", "cpuid 0x80000008", "pciread 18.3 0xdc",
          "rdmsr 0xc0010071", "cpuid 0x80000007", "rdmsr 0xc0010015", "pciread 18.4 0x15c",
          "pciread 18.3 0x1f0", "pciread 18.0 0x60"}},
        {"family 0x12", kFamily12,
         profile(0x12, 0x01, 2, 8, 2, 1.0, 47.0, 47.0, 0.0, 1.55, 0.0125, 1.0, true, true, true, 2),
         {"cpuid 0x80000000", "cpuid 0x80000001", "cpuid 0x80000008", "pciread 18.3 0xdc",
          "rdmsr 0xc0010071", "cpuid 0x80000007", "rdmsr 0xc0010015", "pciread 18.4 0x15c"}},
        {"family 0x14", kFamily14,
         profile(0x14, 0x02, 2, 3, 2, 2.0, 53.0, 53.0, 0.0, 1.55, 0.0125, 1.0, true, false, true, 1),
         {"cpuid 0x80000000", "cpuid 0x80000001", "cpuid 0x80000008", "pciread 18.3 0xdc",
          "rdmsr 0xc0010071", "cpuid 0x80000007", "rdmsr 0xc0010015", "pciread 18.4 0x15c"}},
        {"family 0x15 model 0x02", kFamily15,
         profile(0x15, 0x02, 8, 7, 4, 1.0, 28.0, 63.0, 1.45, 1.5375, 0.0125, 2.0, true, true, false, 2),
         {"cpuid 0x80000000", "cpuid 0x80000001", "cpuid 0x80000008", "pciread 18.3 0xdc",
          "pciread 18.5 0x170", "rdmsr 0xc0010071", "cpuid 0x80000007", "rdmsr 0xc0010015",
          "pciread 18.4 0x15c", "pciread 18.3 0xd4", "pciread 18.0 0x60"}},
        {"family 0x15 model 0x13 without boost", kFamily15NoBoost,
         profile(0x15, 0x13, 4, 2, 2, 1.0, 63.0, 63.0, 0.0, 1.5, 0.00625, 1.0, false, false, false, 0),
         {"cpuid 0x80000000", "cpuid 0x80000001", "cpuid 0x80000008", "pciread 18.3 0xdc",
          "pciread 18.5 0x170", "rdmsr 0xc0010071", "cpuid 0x80000007", "pciread 18.0 0x60"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(attachMachineText(c.machine));
        ProcessorProfile p;
        ASSERT_TRUE(probeProcessor(p));
        const ProcessorProfile& e = c.expected;
        EXPECT_EQ(p.family, e.family);
        EXPECT_EQ(p.model, e.model);
        EXPECT_EQ(p.coreCount, e.coreCount);
        EXPECT_EQ(p.pstateCount, e.pstateCount);
        EXPECT_EQ(p.nbPstateCount, e.nbPstateCount);
        EXPECT_DOUBLE_EQ(p.minMultiplier, e.minMultiplier);
        EXPECT_DOUBLE_EQ(p.maxMultiplier, e.maxMultiplier);
        EXPECT_DOUBLE_EQ(p.topMultiplier, e.topMultiplier);
        EXPECT_DOUBLE_EQ(p.minVoltage, e.minVoltage);
        EXPECT_DOUBLE_EQ(p.maxVoltage, e.maxVoltage);
        EXPECT_DOUBLE_EQ(vidStep(p), vidStep(e));
        EXPECT_DOUBLE_EQ(p.refClockFactor, e.refClockFactor);
        EXPECT_EQ(p.boostSupported, e.boostSupported);
        EXPECT_EQ(p.boostEnabled, e.boostEnabled);
        EXPECT_EQ(p.boostLocked, e.boostLocked);
        EXPECT_EQ(p.boostStateCount, e.boostStateCount);
        EXPECT_EQ(accesses(), eachInItsOwnOpen(c.operations));
    }
}

TEST(Probe, RefusesForeignVendorsAndFamilies)
{
    struct Case {
        const char* name;
        const char* vendorEcx;
        const char* signature; // EAX of leaf 0x80000001
        std::vector<std::string> operations;
    };
    const std::vector<std::string> vendorAndFamily = {"cpuid 0x80000000", "cpuid 0x80000001"};
    const Case cases[] = {
        {"another vendor stops after one access", "0x6c65746e", "0x00100F42", {"cpuid 0x80000000"}},
        {"family 0x0f", "0x444d4163", "0x00000F40", vendorAndFamily},
        {"family 0x11", "0x444d4163", "0x00200F31", vendorAndFamily},
        {"family 0x13", "0x444d4163", "0x00400F01", vendorAndFamily},
        {"family 0x16", "0x444d4163", "0x00700F01", vendorAndFamily},
        {"family 0x17", "0x444d4163", "0x00800F11", vendorAndFamily},
        {"extended family 0xff", "0x444d4163", "0x0FF00F00", vendorAndFamily},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        emulation::attachMachine(machineFrom(std::string("cpuid 0x80000000 0x8000001b 0 ") + c.vendorEcx +
                                             " 0\ncpuid 0x80000001 " + c.signature + " 0 0 0\n"));
        ProcessorProfile p;
        EXPECT_FALSE(probeProcessor(p));
        EXPECT_EQ(accesses(), eachInItsOwnOpen(c.operations));
    }
}

// The model decides the VID width (and with it the step) and the reference
// clock; only family 0x15 has 8-bit VIDs.
TEST(Probe, Family15ModelsSetStepAndClock)
{
    struct Case {
        int model;
        double vidStep;
        double refClockFactor;
    };
    const Case cases[] = {
        {0x01, 0.0125, 2.0},  {0x02, 0.0125, 2.0},  {0x0F, 0.0125, 2.0},  {0x10, 0.00625, 1.0},
        {0x13, 0.00625, 1.0}, {0x1F, 0.00625, 1.0}, {0x20, 0.0125, 1.0},  {0x22, 0.0125, 1.0},
        {0x2F, 0.0125, 1.0},  {0x30, 0.00625, 1.0}, {0x38, 0.00625, 1.0}, {0x3F, 0.00625, 1.0},
        {0x40, 0.0125, 1.0},  {0x5F, 0.0125, 1.0},  {0x60, 0.00625, 1.0}, {0x65, 0.00625, 1.0},
        {0x70, 0.00625, 1.0}, {0x7F, 0.00625, 1.0}, {0x80, 0.0125, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        // Model = extended model in EAX [19:16], base model in [7:4].
        const unsigned eax = 0x00600F00u | ((c.model >> 4) << 16) | ((c.model & 0xF) << 4);
        ASSERT_TRUE(attachMachineText(std::string(kAmd) + "cpuid 0x80000001 " + std::to_string(eax) +
                                      " 0 0 0\nmsr 0xc0010071 0\n"));
        ProcessorProfile p;
        ASSERT_TRUE(probeProcessor(p));
        EXPECT_EQ(p.model, c.model);
        EXPECT_DOUBLE_EQ(vidStep(p), c.vidStep);
        EXPECT_DOUBLE_EQ(p.refClockFactor, c.refClockFactor);
        EXPECT_EQ(p.eightBitVids, c.vidStep == 0.00625);
    }
    for (const int family : {0x10, 0x12, 0x14}) {
        for (const int model : {0x10, 0x30, 0x60}) {
            ProcessorProfile p;
            ASSERT_TRUE(identifyProcessor(p, signatureOf(family, model)));
            EXPECT_FALSE(p.eightBitVids) << std::hex << family << " " << model;
        }
    }
}

} // namespace
