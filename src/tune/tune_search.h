#pragma once
// The search for one P-state's lowest stable voltage: from its original
// voltage down one VID step at a time, each step announced in the journal
// before it is taken, until a step fails or the floor is reached.

#include <cstdint>
#include <string>

#include "cpu/processor_profile.h"
#include "hw/bitfield.h"
#include "tune/tune_options.h"

// P-state current limit: the fastest P-state the processor lets the cores
// run in now (its own limit, for heat or power), counted as the request is.
constexpr std::uint32_t kMsrPstateLimit = 0xC0010061;
constexpr bits::Field kCurrentPstateLimit{2, 0};

// What a step found: nothing when the P-state held at the voltage.
struct StepOutcome {
    std::string failure;  // "core 5 computed a wrong answer", ...; empty when stable
    bool limited = false; // the processor limited the P-state: the step proves nothing
    bool notTaken = false; // the voltage or P-state did not take: the run cannot go on
};

// One step: vid written into pstate on every core (read back, as every
// write), every core switched to pstate or away and back so that it takes
// effect, every core checked to run in it, then the load on every CPU for
// seconds while each core's current P-state and limit are sampled about ten
// times a second.
StepOutcome runStep(const ProcessorProfile& profile, std::int32_t pstate, std::int32_t vid, std::int32_t seconds);

// How one P-state's search ended.
struct PstateSearch {
    std::int32_t originalVid = 0;
    std::int32_t lowestStableVid = 0; // the original when no lower step passed
    std::int32_t resultVid = 0;
    bool reachedFloor = false;
    std::string endsRun; // why the whole run must end (a step not taken, limited twice); empty otherwise
};

// Searches pstate, whose register holds originalVid, appending each step's
// lines to the journal at journal, and leaves the P-state at its result
// (slowerResultVid as resultVid takes it) before it returns, unless the run
// must end; then the caller gives the saved settings back.
PstateSearch searchPstate(const ProcessorProfile& profile, std::int32_t pstate, std::int32_t originalVid,
                          const TuneOptions& options, const std::string& journal, std::int32_t slowerResultVid);
