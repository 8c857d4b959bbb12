#pragma once
// pravellon --now: what the processor is doing, once or sample after sample.

#include <cstdint>

#include "cpu/processor_profile.h"

struct NowOptions {
    bool json = false;
    double everySeconds = 0.0; // 0: one sample, as a section of the report
    std::uint64_t count = 0;   // samples of a repeated run; 0: until ended
};

// Reads and prints, writing no register. Repeated, one line a sample; INT,
// TERM, HUP and QUIT end the run after the line being printed (they are held
// while a sample is read and printed, and end the process by their default
// action once let through), and a reader that closed standard output ends it
// with status 0. Returns the exit status.
int runNow(const ProcessorProfile& profile, const NowOptions& options);
