#pragma once
// Test support: put a processor behind the emulated /dev/cpuctl0 and /dev/pci.
//
//   ASSERT_TRUE(attachMachineText("msr 0xc0010071 0x0\n"));
//   ASSERT_TRUE(attachPreset("family15"));
//
// A text that does not parse fails the test with the reader's message, and no
// machine is attached. The trace and the operation count start afresh.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "sim/emulated_devices.h"
#include "sim/machine.h"
#include "sim/presets.h"

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

// A file in the temporary directory that no other test process uses, removed
// when it goes out of scope.
struct TestFile {
    explicit TestFile(const std::string& name)
        : path(::testing::TempDir() + "pravellon_" + std::to_string(getpid()) + "_" + name)
    {
    }
    ~TestFile() { std::remove(path.c_str()); }
    TestFile(const TestFile&) = delete;
    TestFile& operator=(const TestFile&) = delete;

    const std::string path;
};
