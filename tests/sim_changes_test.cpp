// pravellon-sim --changes as a user runs it: the program's own output stays as
// it is, and the changes follow on standard error however the run ends, an
// exit inside err(3) included.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "run_program.h"

namespace {

TEST(SimChanges, FollowsTheProgramsOwnOutput)
{
    const std::string p0Lowered = "changed P0 (MSR 0xc0010064) on cores 0-5: 0x800001403c000c14 -> 0x800001403c000c12: "
                                  "18x at 1.475V, NorthBridge in NB_P0 at 1.175V -> "
                                  "17x at 1.475V, NorthBridge in NB_P0 at 1.175V\n";
    const TestFile machine("sim_changes.machine");
    std::ofstream(machine.path) << findPreset("family10")->machineText << "fail wrmsr 0xc0010065\n";
    const TestFile core3("sim_changes_core3.machine");
    std::ofstream(core3.path) << findPreset("family10")->machineText << "fail wrmsr 0xc0010065 core 3\n";
    const TestFile node1("sim_changes_node1.machine");
    std::ofstream(node1.path) << findPreset("family15-g34")->machineText << "fail pciread 19.5 0x164\n";
    const TestFile node1Apm("sim_changes_node1_apm.machine");
    std::ofstream(node1Apm.path) << findPreset("family15-g34")->machineText << "fail pciread 19.4 0x15c\n";
    struct Case {
        const char* name;
        std::string arguments;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {"the current P-state rewritten, left and entered again: the request ends as it was",
         "--preset family10 --changes P1=15@1.3", 0,
         "changed P1 (MSR 0xc0010065) on cores 0-5: 0x8000013a3c001810 -> 0x8000013a3c00280e: "
         "16x at 1.4V, NorthBridge in NB_P0 at 1.175V -> 15x at 1.3V, NorthBridge in NB_P0 at 1.175V\n"},
        {"a write failing inside err(3): what was written before it, after the message",
         "--machine " + machine.path + " --changes P0=17 P1=15", 254,
         "pravellon-sim: ioctl(CPUCTL_WRMSR) on /dev/cpuctl0: Input/output error\n"
             + p0Lowered},
        {"a write failing on core 3: the cores before it changed, on a line of their own",
         "--machine " + core3.path + " --changes P0=17 P1=15", 254,
         "pravellon-sim: ioctl(CPUCTL_WRMSR) on /dev/cpuctl3: Input/output error\n" + p0Lowered
             + "changed P1 (MSR 0xc0010065) on cores 0-2: 0x8000013a3c001810 -> 0x8000013a3c00180e: "
               "16x at 1.4V, NorthBridge in NB_P0 at 1.175V -> 15x at 1.4V, NorthBridge in NB_P0 at 1.175V\n"},
        // Every CPU of both sockets, though numbered alternately across them,
        // and each node's northbridge as that node needs it (node 1's NB_P1
        // is already as asked, in its own code for 11).
        {"two sockets", "--preset family10-2socket --changes Turbo=0", 0,
         "changed MSR 0xc0010015 on cores 0-11: 0x1000010 -> 0x3000010: core performance boost on -> off\n"
         "changed PCI 18.4 0x15c on node 0: 0x7 -> 0x4: boost source 3 -> 0\n"},
        {"two nodes in one package", "--preset family15-g34 --changes NB_P1=11@1 APM=0", 0,
         "changed PCI 18.4 0x15c on nodes 0-1: 0x89 -> 0x9: boost source 1 -> 1, APM on -> off\n"
         "changed NB_P1 (PCI 18.5 0x164) on node 0: 0xa0a5 -> 0xb0a5: 11x at 1.05V -> 11x at 1V\n"},
        {"a node that cannot be read: nothing written", "--machine " + node1.path + " --changes APM=0 NB_P1=12", 254,
         "pravellon-sim: ioctl(PCIOCREAD) on /dev/pci: Input/output error\nno register changed\n"},
        {"APM alone, node 1 cannot be read: nothing written", "--machine " + node1Apm.path + " --changes APM=0", 254,
         "pravellon-sim: ioctl(PCIOCREAD) on /dev/pci: Input/output error\nno register changed\n"},
        {"an invalid token: nothing written", "--preset family10 --changes P0=17 Bogus", 3,
         "ERROR: invalid parameter Bogus\nno register changed\n"},
        {"an unsupported processor", "--preset intel --changes P0=17", 2, "no register changed\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramRun result = runSim(c.arguments);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err, c.err);
    }
}

TEST(SimChanges, LeavesTheReportAsItIs)
{
    const ProgramRun plain = runSim("--preset family15");
    const ProgramRun listed = runSim("--preset family15 --changes");
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(plain.out, "");
    EXPECT_EQ(listed.out, plain.out);
    EXPECT_EQ(listed.err, "no register changed\n");
}

} // namespace
