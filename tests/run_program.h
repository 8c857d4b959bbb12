#pragma once
// Runs the whole program: in this process, on an emulated processor or on
// whatever devices are there, or as the built pravellon-sim.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/driver.h"
#include "emulated_machine.h"
#include "test_file.h"

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the program in this process with the tokens as its arguments, on the
// devices as they are, standard output and error captured separately.
inline ProgramRun runPravellonHere(const std::vector<std::string>& tokens = {})
{
    std::vector<const char*> argv{"pravellon"};
    for (const std::string& token : tokens)
        argv.push_back(token.c_str());
    argv.push_back(nullptr);

    std::ostringstream out;
    std::ostringstream err;
    std::streambuf* const savedOut = std::cout.rdbuf(out.rdbuf());
    std::streambuf* const savedErr = std::cerr.rdbuf(err.rdbuf());
    ProgramRun run;
    run.status = runPravellon(static_cast<int>(argv.size() - 1), argv.data());
    std::cout.rdbuf(savedOut);
    std::cerr.rdbuf(savedErr);
    run.out = out.str();
    run.err = err.str();
    return run;
}

// The same on an emulated processor. The machine stays attached afterwards,
// so its trace and registers can be looked at.
inline ProgramRun runProgram(const Machine& machine, const std::vector<std::string>& tokens = {})
{
    emulation::attachMachine(machine);
    return runPravellonHere(tokens);
}

inline ProgramRun runProgram(const std::string& machineText, const std::vector<std::string>& tokens = {})
{
    Machine machine;
    std::string error;
    if (!parseMachine(machineText, machine, error)) {
        ADD_FAILURE() << "machine text does not parse: " << error;
        return {};
    }
    return runProgram(machine, tokens);
}

// Runs a built program through the shell (arguments are shell words).
// Combined, standard error goes into out too, so the order in which lines
// reached the two shows; err is then empty.
inline ProgramRun runBuilt(const std::string& program, const std::string& arguments, bool combined = false)
{
    const TestFile out("run.out");
    const TestFile err("run.err");
    const std::string command = "'" + program + "' " + arguments + " >'" + out.path + "' " +
                                (combined ? "2>&1" : "2>'" + err.path + "'");
    const int raw = std::system(command.c_str());
    ProgramRun run;
    if (raw != -1 && WIFEXITED(raw))
        run.status = WEXITSTATUS(raw);
    run.out = readFile(out.path);
    run.err = readFile(err.path);
    return run;
}

inline ProgramRun runSim(const std::string& arguments, bool combined = false)
{
    return runBuilt(PRAVELLON_SIM_PATH, arguments, combined);
}
