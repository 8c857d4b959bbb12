// A few runs of the built pravellon-sim on a machine file, as a user checks a
// command before running it on the real processor: its output and exit
// status, the trace file, and the machine file as the run saved it.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "command_line_machines.h"
#include "run_program.h"

namespace {

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(PravellonSimRun, MachineFileAndTrace)
{
    struct Case {
        const char* name;
        const char* machineText;
        std::int32_t current;
        bool boost;
        std::vector<std::string> tokens;
        int status;
        const char* err;
        std::vector<std::string> writes;
    };
    const Case cases[] = {
        {"worked_example", kFamily10, 0, false, {"P0=20@1.25"}, 0, "",
         {"wrmsr 0xc0010064 <- 0x8000019a48403018", "wrmsr 0xc0010062 <- 0x4", "sleep 1", "wrmsr 0xc0010062 <- 0x0"}},
        {"second_token_invalid", kFamily10, 0, true, {"P0=20@1.25", "NB_P2=18"}, 3,
         "ERROR: invalid parameter NB_P2=18\n", {}},
        {"refusal", kFamily14, 0, true, {"P0=@1.2", "P1=20"}, 10,
         "ERROR: cannot encode multiplier (family 0x14) - unknown max multiplier\n",
         {"wrmsr 0xc0010064 <- 0x8000000000003832"}},
    };
    for (const Case& c : cases) {
        Machine machine = machineOf(c.machineText, c.current);
        if (!c.boost)
            withoutBoost(machine);
        const TestFile machineFile("run.machine");
        const TestFile traceFile("run.trace");
        writeFile(machineFile.path, formatMachine(machine));
        std::string arguments = "--machine '" + machineFile.path + "' --trace '" + traceFile.path + "' --";
        for (const std::string& token : c.tokens)
            arguments += " '" + token + "'";
        const ProgramRun run = runSim(arguments);
        const std::string machineAfter = readFile(machineFile.path);

        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(run.out, "") << c.name;
        EXPECT_EQ(run.err, c.err) << c.name;
        EXPECT_EQ(joined(writesOf(linesOf(readFile(traceFile.path)))), joined(c.writes)) << c.name;

        // The saved machine file holds exactly the registers written, as last
        // written; a run that writes nothing leaves the file as it was.
        Machine expected = machine;
        for (const std::string& write : c.writes) {
            unsigned long long number = 0;
            unsigned long long value = 0;
            if (std::sscanf(write.c_str(), "wrmsr %llx <- %llx", &number, &value) == 2)
                expected.msrs[static_cast<std::uint32_t>(number)] = value;
        }
        if (c.writes.empty()) {
            EXPECT_EQ(machineAfter, formatMachine(machine)) << c.name;
        }
        Machine saved;
        std::string error;
        ASSERT_TRUE(parseMachine(machineAfter, saved, error)) << c.name << ": " << error;
        EXPECT_EQ(saved.msrs, expected.msrs) << c.name;
        EXPECT_EQ(saved.pciRegisters, expected.pciRegisters) << c.name;
    }
}

} // namespace
