// The boost and APM switches on the emulated processor.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/exception_with_message.h"
#include "control/boost.h"
#include "cpu/registers.h"
#include "emulated_machine.h"

namespace {

ProcessorProfile withBoost(std::int32_t family, bool boostSupported = true)
{
    ProcessorProfile profile;
    profile.family = family;
    profile.model = 0x02;
    profile.boostSupported = boostSupported;
    return profile;
}

void attachSwitchRegisters(std::uint64_t hwcr, std::uint32_t boostControl)
{
    ASSERT_TRUE(attachMachineText("msr " + hexText(kMsrHardwareConfig) + " " + hexText(hwcr) + "\n" +
                                  "pci 18.4 " + hexText(kPciBoostControl) + " " + hexText(boostControl) + "\n"));
}

std::uint32_t boostControl()
{
    return emulation::attachedMachine().pciRegisters.at(PciAddress{0x18, 4, kPciBoostControl});
}

std::uint64_t hwcr() { return emulation::attachedMachine().msrs.at(kMsrHardwareConfig); }

TEST(BoostSource, WritesTheFamilysSourceAndKeepsTheRest)
{
    struct Case {
        std::int32_t family;
        bool enabled;
        std::uint32_t before;
        std::uint32_t after;
    };
    const Case cases[] = {
        {0x10, true, 0x00000000, 0x00000003},
        {0x10, false, 0xFFFFFFFF, 0xFFFFFFFC},
        {0x12, true, 0x80000012, 0x80000011},
        {0x14, true, 0x00000000, 0x00000001},
        {0x15, true, 0x00000000, 0x00000001},
        {0x15, true, 0xFFFFFFFE, 0xFFFFFFFD}, // a previous 2 is replaced whole
        {0x15, false, 0x80000093, 0x80000090},
        {0x10, true, 0x80000006, 0x80000007},
    };
    for (const Case& c : cases) {
        attachSwitchRegisters(0, c.before);
        setBoostSource(withBoost(c.family), c.enabled);
        const std::string name = "family " + hexText(static_cast<std::uint32_t>(c.family)) + " flag " +
                                 std::to_string(c.enabled) + " over " + hexText(c.before);
        EXPECT_EQ(boostControl(), c.after) << name;
        EXPECT_EQ(emulation::traceLines(), readThenWrite("/dev/pci", "pciread 18.4 0x15c -> " + hexText(c.before),
                                                         "pciwrite 18.4 0x15c <- " + hexText(c.after)))
            << name;
    }
}

TEST(CpbEnabled, FlipsOnlyTheBoostDisableBit)
{
    struct Case {
        bool enabled;
        std::uint64_t before;
        std::uint64_t after;
    };
    const Case cases[] = {
        {false, 0x0000000000000000ull, 0x0000000002000000ull},
        {false, 0xFFFFFFFFFDFFFFFFull, 0xFFFFFFFFFFFFFFFFull},
        {true, 0xFFFFFFFFFFFFFFFFull, 0xFFFFFFFFFDFFFFFFull},
        {true, 0x8000000102000010ull, 0x8000000100000010ull},
        {true, 0x0000000000000000ull, 0x0000000000000000ull},
    };
    for (const Case& c : cases) {
        attachSwitchRegisters(c.before, 0);
        setCpbEnabled(withBoost(0x12), c.enabled);
        EXPECT_EQ(hwcr(), c.after) << "flag " << c.enabled << " over " << hexText(c.before);
        EXPECT_EQ(emulation::traceLines(), readThenWrite("/dev/cpuctl0", "rdmsr 0xc0010015 -> " + hexText(c.before),
                                                         "wrmsr 0xc0010015 <- " + hexText(c.after)))
            << "flag " << c.enabled << " over " << hexText(c.before);
    }
}

TEST(ApmEnabled, FlipsOnlyBitSeven)
{
    struct Case {
        bool enabled;
        std::uint32_t before;
        std::uint32_t after;
    };
    const Case cases[] = {
        {true, 0x80000001, 0x80000081},
        {true, 0x00000000, 0x00000080},
        {false, 0xFFFFFFFF, 0xFFFFFF7F},
        {false, 0x80000083, 0x80000003},
    };
    for (const Case& c : cases) {
        attachSwitchRegisters(0, c.before);
        setApmEnabled(withBoost(0x15, false), c.enabled);
        EXPECT_EQ(boostControl(), c.after) << "flag " << c.enabled << " over " << hexText(c.before);
    }
}

TEST(BoostAndApm, SharedRegisterKeepsEachOthersField)
{
    ProcessorProfile profile = withBoost(0x15);
    profile.boostLocked = true; // locked or not, the writes are made
    attachSwitchRegisters(0, 0x8000000C);
    setBoostSource(profile, true);
    setApmEnabled(profile, true);
    EXPECT_EQ(boostControl(), 0x8000008Du);
    setBoostSource(profile, false);
    EXPECT_EQ(boostControl(), 0x8000008Cu);
    setApmEnabled(profile, false);
    setBoostSource(profile, true);
    EXPECT_EQ(boostControl(), 0x8000000Du);
    EXPECT_EQ(emulation::traceLines().size(), 5u * 6u);
}

TEST(BoostAndApm, RefusalsTouchNoRegister)
{
    using Switch = std::function<void(const ProcessorProfile&)>;
    struct Case {
        const char* name;
        Switch call;
        std::int32_t family;
        bool boostSupported;
        const char* message;
    };
    const Switch cpb = [](const ProcessorProfile& p) { setCpbEnabled(p, true); };
    const Switch source = [](const ProcessorProfile& p) { setBoostSource(p, false); };
    const Switch apm = [](const ProcessorProfile& p) { setApmEnabled(p, true); };
    const Case cases[] = {
        {"CPB, family 0x15 without boost", cpb, 0x15, false, "CPB not supported"},
        {"CPB, family 0x10 without boost", cpb, 0x10, false, "CPB not supported"},
        {"boost source, family 0x15 without boost", source, 0x15, false, "CPB not supported"},
        {"boost source, family 0x12 without boost", source, 0x12, false, "CPB not supported"},
        {"APM, family 0x10 with boost", apm, 0x10, true, "APM not supported"},
        {"APM, family 0x12 with boost", apm, 0x12, true, "APM not supported"},
        {"APM, family 0x14", apm, 0x14, false, "APM not supported"},
    };
    for (const Case& c : cases) {
        attachSwitchRegisters(0, 0);
        try {
            c.call(withBoost(c.family, c.boostSupported));
            ADD_FAILURE() << c.name << ": not refused";
        } catch (const ExceptionWithMessage& e) {
            EXPECT_STREQ(e.what(), c.message) << c.name;
        }
        EXPECT_TRUE(emulation::traceLines().empty()) << c.name;
    }
}

} // namespace
