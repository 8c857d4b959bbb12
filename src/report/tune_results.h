#pragma once
// What a tuning found, as the user reads it at the end: a table of the
// P-states with their voltages and what the results save, the tokens that set
// the results, or the same as one JSON object.

#include <cstdint>
#include <string>
#include <vector>

#include "cpu/processor_profile.h"
#include "report/warnings.h"

struct TunedPstate {
    std::int32_t pstate = 0;
    double multiplier = -1.0; // as the report shows it
    std::int32_t originalVid = 0;
    std::int32_t lowestStableVid = 0; // the original when no lower step passed
    std::int32_t resultVid = 0;
};

// The dynamic power saved at the result, which goes with the square of the
// voltage: 1 - (result / original)^2, as a fraction.
double powerSaving(const ProcessorProfile& profile, const TunedPstate& tuned);

// "P1=@1.375 P2=@1.225", in the order of tuned (P-state numbers ascending,
// as the report lists them): the tokens that set the
// results, as a voltage token writes them.
std::string resultTokens(const ProcessorProfile& profile, const std::vector<TunedPstate>& tuned);

// The table, one line a P-state in the order of tuned, then the tokens, then
// whether the results were written.
std::string resultsText(const ProcessorProfile& profile, const std::vector<TunedPstate>& tuned, bool applied);

// The same as one JSON object, with the run's warnings.
std::string resultsJson(const ProcessorProfile& profile, const std::vector<TunedPstate>& tuned, bool applied,
                        const Warnings& warnings);
