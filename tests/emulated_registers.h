#pragma once
// Puts a few registers behind the emulated devices for one test case.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/emulated_devices.h"
#include "sim/machine.h"

// A value as the machine file and the trace write it: lowercase, 0x prefix.
inline std::string hexText(std::uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

// Attaches a machine read from machine-file text, and starts an empty trace.
inline void attachRegisters(const std::string& text)
{
    Machine machine;
    std::string error;
    ASSERT_TRUE(parseMachine(text, machine, error)) << error << "\n" << text;
    emulation::attachMachine(machine);
}

// The trace of one read-modify-write: each access opens and closes its device.
inline std::vector<std::string> readThenWrite(const std::string& device, const std::string& read,
                                              const std::string& write)
{
    return {"open " + device, read, "close " + device, "open " + device, write, "close " + device};
}
