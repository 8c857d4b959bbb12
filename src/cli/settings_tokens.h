#pragma once
// The current settings as the tokens that would set them again, for --tokens:
// written down before a change, they give the firmware's values back.

#include "cpu/processor_profile.h"

// One line on standard output, the tokens separated by single blanks: every
// enabled core P-state, the northbridge voltages or P-states, NB_low where
// the assignment is such a threshold, Turbo where boost is supported, APM on
// family 0x15. A value no token can set is left out. Then, on standard error,
// a warning for each core or node whose settings differ from the first one's,
// and one where boost's two halves disagree: the tokens cannot give those
// back. Makes the report's reads in the report's order, APM's bit among them
// where the family has APM.
void printSettingsAsTokens(const ProcessorProfile& profile);
