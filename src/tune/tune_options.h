#pragma once
// What a tuning run is asked to do: the values of --tune's options, read
// whole or refused, before anything is touched.

#include <cstdint>
#include <string>
#include <vector>

struct TuneOptions {
    // The P-states to tune, ascending, numbered as the report numbers them;
    // empty for every enabled P-state that is not a boosted one.
    std::vector<std::int32_t> pstates;
    std::int32_t seconds = 60;  // of load at each step
    double margin = 0.025;      // volts added to the lowest stable voltage, rounded up to whole VID steps
    double maxDrop = 0.2;       // volts below the original that the search never tests
    double tctlLimit = 80.0;    // degrees; 0 for Tctl not watched
    bool resume = false;
    bool apply = false;
};

// The longest step the run accepts: a day of load on one voltage is a
// mistyped number rather than a test.
constexpr std::int32_t kMaxTuneSeconds = 86400;

// Sets the option of options named name ("--pstates", "--seconds",
// "--margin", "--max-drop", "--tctl-limit") from its value as typed. Empty
// when it was taken; else why not, as "bad --seconds 'x' (...)". --seconds 0
// only where zeroSeconds (the emulator, whose steps take no time).
std::string setTuneOption(TuneOptions& options, const std::string& name, const std::string& value, bool zeroSeconds);
