#include "hw/signal_hold.h"

#include <csignal>
#include <cstdlib>

namespace {

// Plain data, so that the exit handler finds it whatever has been destroyed.
struct Hold {
    bool held = false;
    bool untilExit = false;
    bool releasedAtExit = false;
    bool caughtElsewhere = false;
    sigset_t before{}; // the mask the first hold found
};

Hold hold;

void release()
{
    if (!hold.held)
        return;
    hold.held = false;
    (void)sigprocmask(SIG_SETMASK, &hold.before, nullptr);
}

void releaseAtExit()
{
    release();
}

void arrangeReleaseAtExit()
{
    // Without the handler a run ended by err(3) would lose the signal; it still
    // completes its change, which matters more.
    if (!hold.releasedAtExit)
        hold.releasedAtExit = std::atexit(releaseAtExit) == 0;
}

} // namespace

void holdSignals()
{
    if (hold.held || hold.caughtElsewhere)
        return;
    arrangeReleaseAtExit();
    const sigset_t signals = changeEndingSignals();
    (void)sigprocmask(SIG_BLOCK, &signals, &hold.before);
    hold.held = true;
}

void releaseSignals()
{
    if (!hold.untilExit)
        release();
}

void keepSignalsHeldUntilExit()
{
    hold.untilExit = true;
    arrangeReleaseAtExit();
}

void setSignalsCaughtElsewhere(bool caught)
{
    hold.caughtElsewhere = caught;
    if (caught)
        release();
}
