#pragma once
// The progress line of a tuning, on standard error and only when that is a
// terminal: the P-state and voltage being tested, the seconds left in the
// step, and at most how long the run has left, rewritten in place about once a
// second. A log or a pipe gets nothing: the journal tells the story there.

#include <cstdint>
#include <string>

#include "cpu/processor_profile.h"

// What the run knows before a P-state's search: its floor VID, the steps the
// P-states after it may take at most, and the seconds a step lasts.
void beginPstateProgress(const ProcessorProfile& profile, std::int32_t floorVid, std::int32_t stepsAfter,
                         std::int32_t seconds);

// Where a step stands, from the step itself.
void showStepProgress(std::int32_t pstate, std::int32_t vid, double secondsLeft);

// Clears the line before anything else is printed.
void endProgress();

// "45s", "12m 05s", "3h 07m".
std::string durationText(double seconds);
