#pragma once
// The search for one P-state's lowest stable voltage: from its original
// voltage down one VID step at a time, each step announced in the journal
// before it is taken, until a step fails or the floor is reached.

#include <cstdint>
#include <string>

#include "cpu/processor_profile.h"
#include "tune/tune_options.h"

// What a step found: nothing when the P-state held at the voltage.
struct StepOutcome {
    std::string failure;  // "core 5 computed a wrong answer", ...; empty when stable
    bool limited = false; // the processor limited the P-state: the step proves nothing
    bool notTaken = false; // the voltage or P-state did not take: the run cannot go on
    bool interrupted = false; // an end was requested (tune_ending.h): neither stable nor failed
};

// vid written into pstate on every core (read back, as every write), then
// every core switched to target, or with a negative target every core that
// runs in pstate switched away and back, so that the new voltage takes effect.
void takeVoltage(const ProcessorProfile& profile, std::int32_t pstate, std::int32_t vid, std::int32_t target);

// One step: vid written into pstate on every core (read back, as every
// write), every core switched to pstate or away and back so that it takes
// effect, every core checked to run in it at vid, then the load on every CPU
// for options.seconds while each core's current P-state and limit, and each
// node's Tctl when options.tctlLimit is above 0, are sampled about ten times a
// second. A wrong answer (the load halted) or a requested end ends it at once.
StepOutcome runStep(const ProcessorProfile& profile, std::int32_t pstate, std::int32_t vid,
                    const TuneOptions& options);

// How one P-state's search ended.
struct PstateSearch {
    std::int32_t originalVid = 0;
    std::int32_t lowestStableVid = 0; // the original when no lower step passed
    std::int32_t resultVid = 0;
    bool reachedFloor = false;
    std::string endsRun; // why the whole run must end (a step not taken, limited twice,
                         // kInterrupted); empty otherwise
};

// endsRun of a search cut by a requested end.
constexpr const char* kInterrupted = "interrupted";

// Searches pstate, whose register holds originalVid, from the VID below
// lowestStableVid (originalVid for a new search; for one a resume goes on
// with, the lowest that passed before), appending each step's
// lines to the journal at journal, and leaves the P-state at its result
// (slowerResultVid as resultVid takes it) before it returns, unless the run
// must end; then the P-state's original VID is written back, and the caller
// gives the saved settings back. A step cut by a requested end is journaled
// "P2 1.2125 interrupted"; an end requested between steps starts no other.
PstateSearch searchPstate(const ProcessorProfile& profile, std::int32_t pstate, std::int32_t originalVid,
                          std::int32_t lowestStableVid, const TuneOptions& options, const std::string& journal,
                          std::int32_t slowerResultVid);
