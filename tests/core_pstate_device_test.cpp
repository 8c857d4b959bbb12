// The core P-state reader and writer on the emulated processor, through the
// real FreeBSD device code: which registers they touch, how often, in what order.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/exception_with_message.h"
#include "profiles.h"
#include "pstate/core_pstate.h"
#include "sim/emulated_devices.h"
#include "sim/machine.h"

namespace {

using Lines = std::vector<std::string>;

// A processor with nothing but the given P-state registers.
void attachPstates(const std::string& msrLines)
{
    Machine machine;
    std::string error;
    ASSERT_TRUE(parseMachine(msrLines, machine, error)) << error;
    emulation::attachMachine(machine);
}

CorePstate request(std::int32_t index, double multiplier, std::int32_t vid, std::int32_t nbPstate, std::int32_t nbVid)
{
    CorePstate r;
    r.index = index;
    r.multiplier = multiplier;
    r.vid = vid;
    r.nbPstate = nbPstate;
    r.nbVid = nbVid;
    return r;
}

// Leaves no machine behind for the tests that run after these.
class CorePstateOnDevice : public ::testing::Test {
protected:
    void TearDown() override { emulation::detachMachine(); }
};

TEST_F(CorePstateOnDevice, WriteIsOneReadThenOneWrite)
{
    struct Case {
        const char* name;
        ProcessorProfile profile;
        CorePstate request;
        const char* msr;
        const char* before;
        const char* after;
    };
    const Case cases[] = {
        {"f10 all", profileOf(0x10), request(0, 20, 24, 0, -1), "0xc0010064", "0x8000019a4840404e",
         "0x8000019a48003004"},
        {"f10 nbVid", profileOf(0x10), request(0, -1, -1, -1, 40), "0xc0010064", "0x8000019a4840404e",
         "0x8000019a5040404e"},
        {"f10 nothing requested", profileOf(0x10), request(0, -1, -1, -1, -1), "0xc0010064", "0x8000019a4840404e",
         "0x8000019a4840404e"},
        {"f12 P1", profileOf(0x12), request(1, 15, -1, -1, -1), "0xc0010065", "0x80000000000050a5",
         "0x80000000000050e2"},
        {"f14 P4", profileOf(0x14, 0, 32), request(4, 16, -1, 1, 7), "0xc0010068", "0x8000000000006032",
         "0x8000000000006010"},
        {"f15 model 13 P7", profileOf(0x15, 0x13), request(7, -1, 200, 0, -1), "0xc001006b", "0x800000000041600c",
         "0x800000000001900c"},
        {"f15 model 02 P2", profileOf(0x15, 0x02), request(2, -1, 100, 0, 5), "0xc0010066", "0x800000000041600c",
         "0x800000000001c80c"},
    };
    for (const Case& c : cases) {
        const std::string msr = c.msr;
        attachPstates("msr " + msr + " " + c.before + "\n");
        writeCorePstate(c.profile, c.request);
        const Lines expected = {"open /dev/cpuctl0", "rdmsr " + msr + " -> " + c.before, "close /dev/cpuctl0",
                                "open /dev/cpuctl0", "wrmsr " + msr + " <- " + c.after, "close /dev/cpuctl0"};
        EXPECT_EQ(emulation::traceLines(), expected) << c.name;
    }
}

TEST_F(CorePstateOnDevice, WriteRefusalReadsAndDoesNotWrite)
{
    attachPstates("msr 0xc0010064 0x8000000000006032\n");
    try {
        // The VID is set too, and must not be written either.
        writeCorePstate(profileOf(0x14, 0, 0.0), request(0, 16, 10, -1, -1));
        ADD_FAILURE() << "no refusal";
    } catch (const ExceptionWithMessage& e) {
        EXPECT_STREQ(e.what(), "cannot encode multiplier (family 0x14) - unknown max multiplier");
    }
    const Lines expected = {"open /dev/cpuctl0", "rdmsr 0xc0010064 -> 0x8000000000006032", "close /dev/cpuctl0"};
    EXPECT_EQ(emulation::traceLines(), expected);
    EXPECT_EQ(emulation::attachedMachine().msrs.at(0xC0010064), 0x8000000000006032u);
}

TEST_F(CorePstateOnDevice, ReadIsOneRead)
{
    attachPstates("msr 0xc0010064 0x0\nmsr 0xc0010067 0x8000019a4840404e\n");
    const CorePstate p = readCorePstate(profileOf(0x10), 3);
    EXPECT_EQ(p.index, 3);
    EXPECT_EQ(p.multiplier, 15.0);
    EXPECT_EQ(p.vid, 32);
    EXPECT_EQ(p.nbPstate, 1);
    EXPECT_EQ(p.nbVid, 36);
    const Lines expected = {"open /dev/cpuctl0", "rdmsr 0xc0010067 -> 0x8000019a4840404e", "close /dev/cpuctl0"};
    EXPECT_EQ(emulation::traceLines(), expected);
}

} // namespace
