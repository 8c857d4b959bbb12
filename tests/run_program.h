#pragma once
// Runs the whole program: in this process, on an emulated processor or on
// whatever devices are there, or as the built pravellon-sim.

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
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

// The built pravellon-sim as a copy that another user can run wherever the
// build tree lies (a home of mode 0700, a mktemp -d folder).
inline const std::string& simForAnyUser()
{
    // Under its own name, which err(3) prints.
    static const TestFile directory("sim");
    static const TestFile copy("sim/pravellon-sim");
    static const bool copied = (mkdir(directory.path.c_str(), 0755) == 0 || errno == EEXIST)
        && chmod(directory.path.c_str(), 0755) == 0
        && std::filesystem::copy_file(PRAVELLON_SIM_PATH, copy.path, std::filesystem::copy_options::overwrite_existing)
        && chmod(copy.path.c_str(), 0755) == 0;
    EXPECT_TRUE(copied);
    return copy.path;
}

// Starts the built pravellon-sim through the shell without waiting for it,
// standard output discarded unless the arguments redirect it, standard error
// into errPath unless the arguments redirect it, the shell command before first; as the user uid unless it is
// negative.
inline pid_t startSim(const std::string& arguments, const std::string& errPath, int uid = -1, const std::string& before = "")
{
    const std::string command = before + "exec '" + (uid >= 0 ? simForAnyUser() : PRAVELLON_SIM_PATH) + "' >/dev/null 2>'"
        + errPath + "' " + arguments;
    const pid_t pid = fork();
    if (pid == 0) {
        // Not the signals that earlier tests left blocked in this process.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (uid >= 0 && (setgroups(0, nullptr) != 0 || setgid(static_cast<gid_t>(uid)) != 0
                         || setuid(static_cast<uid_t>(uid)) != 0))
            _exit(126);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Its exit status, or 128 + the signal that ended it. A run that hangs (on a
// FIFO, say) is killed after a minute and fails the test instead of hanging it.
inline int finishSim(pid_t pid)
{
    int raw = 0;
    for (int waited = 0; pid > 0 && waitpid(pid, &raw, WNOHANG) == 0; ++waited) {
        if (waited == 6000) {
            ADD_FAILURE() << "pravellon-sim still running after a minute";
            kill(pid, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}
