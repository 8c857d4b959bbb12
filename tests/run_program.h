#pragma once
// Runs the whole program: in this process on an emulated processor, or as the
// built pravellon-sim.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/driver.h"
#include "emulated_machine.h"
#include "sim/emulated_devices.h"

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the whole program in this process on an emulated processor, with the
// tokens as its arguments, standard output and error captured separately. The
// machine stays attached afterwards, so its trace and registers can be looked at.
inline ProgramRun runProgram(const Machine& machine, const std::vector<std::string>& tokens = {})
{
    emulation::attachMachine(machine);
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

struct CombinedRun {
    int status = -1;
    std::string output; // standard output and error, as they interleaved
};

// Runs the built pravellon-sim with the arguments, its standard output and
// error going to one file, so the order in which lines reached it shows.
inline CombinedRun runSimCombined(const std::string& arguments)
{
    const TestFile output("report_sim.out");
    const std::string command = std::string("'") + PRAVELLON_SIM_PATH + "' " + arguments + " >'" + output.path + "' 2>&1";
    CombinedRun run;
    const int status = std::system(command.c_str());
    if (status != -1 && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    std::ifstream in(output.path);
    run.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return run;
}
