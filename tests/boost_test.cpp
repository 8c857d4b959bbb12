// The boost and APM switches on the emulated processor.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "hw/exception_with_message.h"
#include "control/boost.h"
#include "cpu/registers.h"
#include "emulated_machine.h"
#include "profiles.h"

namespace {

ProcessorProfile withBoost(std::int32_t family, bool boostSupported = true)
{
    ProcessorProfile profile = profileOf(family, 0x02);
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

// Each switch is one read and one write of its register, which keeps every
// bit but its own field: the family's boost source in 18.4 0x15C [1:0] or
// [2:0], APM in its bit 7, boost disable in HWCR bit 25.
TEST(BoostAndApm, EachSwitchWritesOnlyItsField)
{
    using Switch = std::function<void()>;
    const auto source = [](std::int32_t family, bool enabled) -> Switch {
        return [=] { setBoostSource(withBoost(family), enabled); };
    };
    const auto boost = [](bool enabled) -> Switch { return [=] { setBoostOnEveryCore(withBoost(0x12), enabled); }; };
    const auto apm = [](bool enabled) -> Switch { return [=] { setApmEnabled(withBoost(0x15, false), enabled); }; };
    struct Case {
        const char* name;
        Switch call;
        bool hwcr; // otherwise the boost control register
        std::uint64_t before;
        std::uint64_t after;
    };
    const Case cases[] = {
        {"source f10 on", source(0x10, true), false, 0x00000000, 0x00000003},
        {"source f10 off", source(0x10, false), false, 0xFFFFFFFF, 0xFFFFFFFC},
        {"source f12 on", source(0x12, true), false, 0x80000012, 0x80000011},
        {"source f14 on", source(0x14, true), false, 0x00000000, 0x00000001},
        {"source f15 on", source(0x15, true), false, 0x00000000, 0x00000001},
        {"source f15 on over 2", source(0x15, true), false, 0xFFFFFFFE, 0xFFFFFFFD}, // replaced whole
        {"source f15 off", source(0x15, false), false, 0x80000093, 0x80000090},
        {"source f10 on over 6", source(0x10, true), false, 0x80000006, 0x80000007},
        {"CPB off", boost(false), true, 0x0000000000000000ull, 0x0000000002000000ull},
        {"CPB off over ones", boost(false), true, 0xFFFFFFFFFDFFFFFFull, 0xFFFFFFFFFFFFFFFFull},
        {"CPB on over ones", boost(true), true, 0xFFFFFFFFFFFFFFFFull, 0xFFFFFFFFFDFFFFFFull},
        {"CPB on", boost(true), true, 0x8000000102000010ull, 0x8000000100000010ull},
        {"CPB on already", boost(true), true, 0x0000000000000000ull, 0x0000000000000000ull},
        {"APM on", apm(true), false, 0x80000001, 0x80000081},
        {"APM on over zero", apm(true), false, 0x00000000, 0x00000080},
        {"APM off over ones", apm(false), false, 0xFFFFFFFF, 0xFFFFFF7F},
        {"APM off", apm(false), false, 0x80000083, 0x80000003},
    };
    for (const Case& c : cases) {
        attachSwitchRegisters(c.hwcr ? c.before : 0, c.hwcr ? 0 : static_cast<std::uint32_t>(c.before));
        c.call();
        EXPECT_EQ(c.hwcr ? hwcr() : boostControl(), c.after) << c.name;
        const std::vector<std::string> expected =
            c.hwcr ? readWriteReadBack("/dev/cpuctl0", "rdmsr 0xc0010015 -> " + hexText(c.before),
                                       "wrmsr 0xc0010015 <- " + hexText(c.after))
                   : readWriteReadBack("/dev/pci", "pciread 18.4 0x15c -> " + hexText(c.before),
                                       "pciwrite 18.4 0x15c <- " + hexText(c.after));
        EXPECT_EQ(emulation::traceLines(), expected) << c.name;
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
    EXPECT_EQ(emulation::traceLines().size(), 5u * 9u);
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
    const Switch boost = [](const ProcessorProfile& p) { setBoostOnEveryCore(p, true); };
    const Switch source = [](const ProcessorProfile& p) { setBoostSource(p, false); };
    const Switch apm = [](const ProcessorProfile& p) { setApmEnabled(p, true); };
    const Case cases[] = {
        {"CPB, family 0x15 without boost", boost, 0x15, false, "CPB not supported"},
        {"CPB, family 0x10 without boost", boost, 0x10, false, "CPB not supported"},
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
