#include "tune/tune_ending.h"

#include <csignal>

#include "hw/load.h"

namespace {

// Written by a signal handler, read by the thread that tunes: the only type
// the language lets a handler store to.
volatile std::sig_atomic_t endSignal = 0;

} // namespace

void requestTuneEnd(int signal) noexcept
{
    endSignal = signal;
    haltLoad();
}

int tuneEndRequested() noexcept
{
    return endSignal;
}

void forgetTuneEnd() noexcept
{
    endSignal = 0;
}
