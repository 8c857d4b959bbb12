#pragma once
// Test support: put a processor behind the emulated /dev/cpuctl0 and /dev/pci,
// and look at what was done to it.
//
//   ASSERT_TRUE(attachMachineText("msr 0xc0010071 0x0\n"));
//   ASSERT_TRUE(attachPreset("family15"));
//
// A text that does not parse fails the test with the reader's message, and no
// machine is attached. The trace and the operation count start afresh.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hw/hex_text.h"
#include "machine/parser.h"
#include "sim/emulated_devices.h"
#include "sim/presets.h"
#include "test_file.h"

// The machine a machine-file text describes; a text that does not parse fails
// the test and gives an empty machine.
inline Machine machineFrom(const std::string& text)
{
    Machine machine;
    std::string error;
    if (!parseMachine(text, machine, error))
        ADD_FAILURE() << "machine text does not parse: " << error << "\n" << text;
    return machine;
}

inline ::testing::AssertionResult attachMachineText(const std::string& text, const std::string& savePath = std::string())
{
    Machine machine;
    std::string error;
    if (!parseMachine(text, machine, error)) {
        emulation::detachMachine();
        return ::testing::AssertionFailure() << "machine text does not parse: " << error;
    }
    emulation::attachMachine(machine, savePath);
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult attachPreset(const std::string& name)
{
    const Preset* preset = findPreset(name);
    if (preset == nullptr)
        return ::testing::AssertionFailure() << "no preset " << name;
    return attachMachineText(preset->machineText);
}

// The trace of one read-modify-write: each access opens and closes its device.
inline std::vector<std::string> readThenWrite(const std::string& device, const std::string& read,
                                              const std::string& write)
{
    return {"open " + device, read, "close " + device, "open " + device, write, "close " + device};
}

// The same, the write then read back as every write but the P-state request
// is, the register holding what was written.
inline std::vector<std::string> readWriteReadBack(const std::string& device, const std::string& read,
                                                  const std::string& write)
{
    std::string readBack = write;
    readBack.replace(0, readBack.find(' '), write.compare(0, 6, "wrmsr ") == 0 ? "rdmsr" : "pciread");
    readBack.replace(readBack.find(" <- "), 4, " -> ");
    std::vector<std::string> lines = readThenWrite(device, read, write);
    lines.insert(lines.end(), {"open " + device, readBack, "close " + device});
    return lines;
}

// Trace lines from first on without the opens and closes around each access.
inline std::vector<std::string> accessesOf(const std::vector<std::string>& trace, std::size_t first = 0)
{
    std::vector<std::string> accesses;
    for (std::size_t i = first; i < trace.size(); ++i)
        if (trace[i].compare(0, 5, "open ") != 0 && trace[i].compare(0, 6, "close ") != 0)
            accesses.push_back(trace[i]);
    return accesses;
}

// The trace lines that change something: register writes and pauses.
inline std::vector<std::string> writesOf(const std::vector<std::string>& accesses)
{
    std::vector<std::string> writes;
    for (const std::string& line : accesses)
        if (line.compare(0, 6, "wrmsr ") == 0 || line.compare(0, 9, "pciwrite ") == 0 || line.compare(0, 6, "sleep ") == 0)
            writes.push_back(line);
    return writes;
}

// Lines repeated once for each of several cores, which are accessed in turn:
// {6, {"rdmsr ...", "wrmsr ..."}} is the two lines six times over.
struct OnCores {
    std::size_t cores = 1;
    std::vector<std::string> lines;
};

inline std::vector<std::string> expanded(const std::vector<OnCores>& groups)
{
    std::vector<std::string> lines;
    for (const OnCores& group : groups)
        for (std::size_t core = 0; core < group.cores; ++core)
            lines.insert(lines.end(), group.lines.begin(), group.lines.end());
    return lines;
}

// Lines as one text, so that a mismatch shows them all.
inline std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}
