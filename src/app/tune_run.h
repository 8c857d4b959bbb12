#pragma once
// pravellon --tune: each P-state's lowest stable voltage searched for, slowest
// P-state first, with the settings saved before the first write and given
// back at the end and at every ending the program can catch.

#include "cpu/processor_profile.h"
#include "tune/tune_options.h"

struct TuneRequest {
    TuneOptions options; // as given; a resume takes the journal's
    bool json = false;
    bool zeroSeconds = false; // steps of no seconds are allowed (the emulator)
};

// Runs the tuning and returns the exit status: 0 when every P-state was
// searched; 3 when it is refused before anything changed; 1 when a step
// ended the run (its voltage did not take, the processor limited it twice).
// A refused or failed write throws, as a token change's does, once the saved
// settings are given back; a signal ends the process by that signal after the
// same.
int runTune(const ProcessorProfile& profile, const TuneRequest& request);
