// STUB until the step's work lands: replaced at merge.
#include "tune/tune_ending.h"

#include <csignal>

#include "hw/load.h"

namespace {
volatile std::sig_atomic_t requested = 0;
}

void requestTuneEnd(int signal) noexcept
{
    requested = signal;
}

int tuneEndRequested() noexcept
{
    return requested;
}
