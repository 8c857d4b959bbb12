#pragma once

// Exit statuses of the programs, and pravellon's answer to a processor it does not
// support; pravellon-capture refuses a processor the same way.
constexpr int kStatusOk = 0;
constexpr int kStatusUnsupported = 2;
constexpr int kStatusInvalidArgument = 3;
constexpr int kStatusRefused = 10;
// The load computed a wrong answer, or could not run on every core.
constexpr int kStatusLoadFailed = 1;
// A tuning's step ended the run (its voltage did not take, the processor
// limited it twice), or its settings could not be saved.
constexpr int kStatusTuningEnded = 1;
// pravellon-sim and pravellon-capture: a wrong option, or a file they cannot
// read or write.
constexpr int kStatusUsage = 1;
constexpr const char* kUnsupportedCpuMessage = "ERROR: unsupported CPU";

// The whole program: probe, then report or parse and apply. Returns the exit
// status, once the signals held while registers were written are released
// (hw/signal_hold.h). Shared by pravellon and pravellon-sim so both run the
// same flow.
int runPravellon(int argc, const char* const* argv);

// Whether runPravellon with these arguments may write a register: tokens that
// are neither a dry run nor --tokens. Decided from the arguments alone, before
// anything runs.
bool mayWriteRegisters(int argc, const char* const* argv);
