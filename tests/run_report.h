#pragma once
// Runs the program to see its report: in this process without arguments on an
// emulated processor, or as the built pravellon-sim.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "app/driver.h"
#include "emulated_machine.h"
#include "sim/emulated_devices.h"

struct ReportRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Standard output and error captured separately.
inline ReportRun runReport(const std::string& machineText)
{
    const ::testing::AssertionResult attached = attachMachineText(machineText);
    if (!attached) {
        ADD_FAILURE() << attached.message();
        return {};
    }
    std::ostringstream out;
    std::ostringstream err;
    std::streambuf* const savedOut = std::cout.rdbuf(out.rdbuf());
    std::streambuf* const savedErr = std::cerr.rdbuf(err.rdbuf());
    const char* const argv[] = {"pravellon", nullptr};
    ReportRun run;
    run.status = runPravellon(1, argv);
    std::cout.rdbuf(savedOut);
    std::cerr.rdbuf(savedErr);
    emulation::detachMachine();
    run.out = out.str();
    run.err = err.str();
    return run;
}

struct CombinedRun {
    int status = -1;
    std::string output; // standard output and error, as they interleaved
};

// Runs the built pravellon-sim with the arguments, its standard output and
// error going to one file, so the order in which lines reached it shows.
inline CombinedRun runSimCombined(const std::string& arguments, const std::string& name)
{
    const std::string outputPath = ::testing::TempDir() + "report_test_" + name + ".out";
    const std::string command = std::string("'") + PRAVELLON_SIM_PATH + "' " + arguments + " >'" + outputPath + "' 2>&1";
    CombinedRun run;
    const int status = std::system(command.c_str());
    if (status != -1 && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    std::ifstream in(outputPath);
    run.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::remove(outputPath.c_str());
    return run;
}
