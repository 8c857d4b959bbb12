#pragma once
// The current settings as the tokens that would set them again, for --tokens:
// written down before a change, they give the firmware's values back.

#include "cpu/processor_profile.h"

// One line on standard output, the tokens separated by single blanks: every
// enabled core P-state, the northbridge voltages or P-states, NB_low where
// the assignment is such a threshold, Turbo where boost is supported, APM on
// family 0x15. A value no token can set is left out. Makes the report's reads
// in the report's order, APM's bit among them where the family has APM.
void printSettingsAsTokens(const ProcessorProfile& profile);
