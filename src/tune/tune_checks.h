#pragma once
// STUB until the step's work lands: replaced by the real header at merge.
#include <string>

#include "cpu/processor_profile.h"

std::string unsteadyPstates(const ProcessorProfile& profile);
std::string tctlRefusal(const ProcessorProfile& profile, double limit);
