#pragma once
// Every ending of a tuning that the program can catch gives the saved
// settings back before the process ends, and says in the journal whether
// that worked: a signal (INT, TERM, HUP, QUIT), a refused or failed write, a
// device failure that ends the process through exit. Only a hang or a reset
// escapes, and then the firmware puts its own values back.

#include <string>

#include "cli/saved_settings.h"
#include "cpu/processor_profile.h"

// From now until disarmTuneEndings: the four signals only note that the run
// must end (writes hold them no longer, or the run could not be stopped), and
// a device failure gives saved back before it ends the process. profile and
// saved must outlive the arming.
void armTuneEndings(const ProcessorProfile& profile, const SavedSettings& saved, const std::string& journal);

// The signals handled as before the arming, the device hook gone.
void disarmTuneEndings();

// Gives the saved settings back (--restore's way): empty when done, else why
// not.
std::string giveBackSaved();

// An ending: "ending: WHY; giving the saved settings back" in the journal,
// the settings given back, then "ended: the saved settings given back" or
// "ended: giving the saved settings back failed: REASON"; disarmed
// afterwards. A journal that cannot be written does not stop the give-back.
// True when the settings were given back.
bool endTuning(const std::string& why);

// "SIGINT", for the journal and the user.
std::string signalName(int signal);

// After endTuning for signal: the program's own handling of it restored, and
// the signal raised under the program's hold (hw/signal_hold.h), so that the
// process ends by it once the program lets it through, as a change cut by it
// does.
void endBySignal(int signal);
