// STUB until the step's work lands: replaced at merge.
#include "tune/tune_checks.h"

std::string unsteadyPstates(const ProcessorProfile& /*profile*/)
{
    return std::string();
}

std::string tctlRefusal(const ProcessorProfile& /*profile*/, double /*limit*/)
{
    return std::string();
}
