#include "tune/tune_progress.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>

#include "cpu/vid.h"
#include "report/format.h"

namespace {

struct Progress {
    const ProcessorProfile* profile = nullptr;
    std::int32_t floorVid = 0;
    std::int32_t stepsAfter = 0;
    std::int32_t seconds = 0;
    long shownSecond = -1;    // the whole second last shown, to write once a second
    std::int32_t shownVid = -1; // and its step's VID: each step shows itself, however short
    std::size_t width = 0;    // of the line on the terminal now; 0 for none
};

Progress& progress()
{
    static Progress state;
    return state;
}

bool onTerminal()
{
    static const bool terminal = isatty(STDERR_FILENO) == 1;
    return terminal;
}

std::string twoDigits(long value)
{
    char text[8];
    (void)std::snprintf(text, sizeof text, "%02ld", value);
    return text;
}

} // namespace

std::string durationText(double seconds)
{
    const long whole = std::lround(std::ceil(seconds));
    if (whole < 60)
        return std::to_string(whole) + "s";
    if (whole < 3600)
        return std::to_string(whole / 60) + "m " + twoDigits(whole % 60) + "s";
    return std::to_string(whole / 3600) + "h " + twoDigits(whole / 60 % 60) + "m";
}

void beginPstateProgress(const ProcessorProfile& profile, std::int32_t floorVid, std::int32_t stepsAfter,
                         std::int32_t seconds)
{
    Progress& state = progress();
    state.profile = &profile;
    state.floorVid = floorVid;
    state.stepsAfter = stepsAfter;
    state.seconds = seconds;
    state.shownSecond = -1;
}

void showStepProgress(std::int32_t pstate, std::int32_t vid, double secondsLeft)
{
    Progress& state = progress();
    const long second = std::lround(std::ceil(secondsLeft));
    if (!onTerminal() || state.profile == nullptr || (second == state.shownSecond && vid == state.shownVid))
        return;
    state.shownSecond = second;
    state.shownVid = vid;
    // The steps below this one down to the floor, and those of the P-states
    // still to come, each to its end: the most the run can take.
    const double runLeft = secondsLeft + static_cast<double>(state.floorVid - vid + state.stepsAfter) * state.seconds;
    std::string line = "P" + std::to_string(pstate) + " at " + voltageText(*state.profile, vid) + ": "
        + durationText(secondsLeft) + " left in this step, at most " + durationText(runLeft) + " in the run";
    const std::size_t width = line.size();
    if (width < state.width)
        line += std::string(state.width - width, ' ');
    state.width = width;
    std::cerr << '\r' << line << std::flush;
}

void endProgress()
{
    Progress& state = progress();
    if (state.width == 0)
        return;
    std::cerr << '\r' << std::string(state.width, ' ') << '\r' << std::flush;
    state.width = 0;
}
