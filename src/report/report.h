#pragma once

#include "cpu/processor_profile.h"

// The status report printed when the program runs without arguments.
void printReport(const ProcessorProfile& profile);
