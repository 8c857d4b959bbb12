#pragma once
// What a tuning run is asked to do: the values of --tune's options, read
// whole or refused, before anything is touched.

#include <cstdint>
#include <optional>
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

// The one reading of --seconds S, the self-test's and the tuning's: a decimal
// number, "s" after it if the user likes, from 0 up to kMaxTuneSeconds; the
// self-test takes any part of a second above 0, a tuning whole seconds.
std::optional<double> readLoadSeconds(const std::string& text);

// Sets the option of options named name ("--pstates", "--seconds",
// "--margin", "--max-drop", "--tctl-limit") from its value as typed. Empty
// when it was taken; else why not, as "bad --seconds 'x' (...)". --seconds 0
// only where zeroSeconds (the emulator, whose steps take no time).
std::string setTuneOption(TuneOptions& options, const std::string& name, const std::string& value, bool zeroSeconds);

// The options as the journal's header keeps them, every search option with
// its value, so that a resume goes on with exactly these:
// "--pstates 1-4 --seconds 60 --margin 0.025 --max-drop 0.2 --tctl-limit 80",
// and " --apply" when asked.
std::string tuneOptionsText(const TuneOptions& options);

// That text read back into options; empty when taken, else why not.
std::string readTuneOptionsText(TuneOptions& options, const std::string& text, bool zeroSeconds);
