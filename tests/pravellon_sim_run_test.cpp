// A few runs of the built pravellon-sim on a machine file, as a user checks a
// command before running it on the real processor: its output and exit
// status, the trace file, and the machine file as the run saved it.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "command_line_machines.h"
#include "sim/machine.h"

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::trunc) << text;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct SimRun {
    int status = -1;
    std::string out;
    std::string err;
    std::string machineAfter;
    std::vector<std::string> trace;
};

SimRun runSim(const std::string& name, const Machine& machine, const std::vector<std::string>& tokens)
{
    const std::string base = testing::TempDir() + "pravellon_sim_run_" + name;
    const std::string machinePath = base + ".machine";
    const std::string tracePath = base + ".trace";
    writeFile(machinePath, formatMachine(machine));
    writeFile(tracePath, "");

    std::string command = std::string(PRAVELLON_SIM_PATH) + " --machine '" + machinePath + "' --trace '" + tracePath
        + "' --";
    for (const std::string& token : tokens)
        command += " '" + token + "'";
    command += " >'" + base + ".out' 2>'" + base + ".err'";

    SimRun run;
    const int result = std::system(command.c_str());
    if (result != -1 && WIFEXITED(result))
        run.status = WEXITSTATUS(result);
    run.out = readFile(base + ".out");
    run.err = readFile(base + ".err");
    run.machineAfter = readFile(machinePath);
    run.trace = linesOf(readFile(tracePath));
    for (const char* suffix : {".machine", ".trace", ".out", ".err"})
        std::remove((base + suffix).c_str());
    return run;
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
        const SimRun run = runSim(c.name, machine, c.tokens);

        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(run.out, "") << c.name;
        EXPECT_EQ(run.err, c.err) << c.name;
        EXPECT_EQ(joined(writesOf(run.trace)), joined(c.writes)) << c.name;

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
            EXPECT_EQ(run.machineAfter, formatMachine(machine)) << c.name;
        }
        Machine saved;
        std::string error;
        ASSERT_TRUE(parseMachine(run.machineAfter, saved, error)) << c.name << ": " << error;
        EXPECT_EQ(saved.msrs, expected.msrs) << c.name;
        EXPECT_EQ(saved.pciRegisters, expected.pciRegisters) << c.name;
    }
}

} // namespace
