#pragma once
// SIGINT, SIGTERM, SIGHUP and SIGQUIT are held while a change is written: a
// change cut in half (a P-state redefined but never entered, the cores left
// in the P-state a switch passes through, boost off on the way to a new
// P-state) is worse than one that ends a moment later. A signal that comes
// meanwhile stays pending and, once the signals are released, ends the
// process by its default action, so the exit status still says so.

#include <csignal>

// The four signals, and the same as one set.
inline constexpr int kChangeEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
inline sigset_t changeEndingSignals()
{
    sigset_t signals;
    (void)sigemptyset(&signals);
    for (const int signal : kChangeEndingSignals)
        (void)sigaddset(&signals, signal);
    return signals;
}

// Blocks the four signals, unless this process holds them already. The first
// hold also has them released when the process exits, so that a run that err(3)
// ends in the middle of a change dies of the signal all the same.
void holdSignals();

// Restores the signal mask the first hold found; a pending signal takes
// effect now. Nothing to do when the signals are not held, or when they are
// kept until exit.
void releaseSignals();

// From now on a hold lasts until the process exits, and is released after the
// exit handlers registered after this call: pravellon-sim lists the changes
// after the program's last line, and that listing must not be cut either.
void keepSignalsHeldUntilExit();

// While caught is true, writes hold nothing and a hold in force is released:
// the caller's own handlers take the four signals and only note them, and the
// caller ends the run where it chooses, once it has put back what it changed.
// A tuning runs for hours and must stay stoppable all that time.
void setSignalsCaughtElsewhere(bool caught);
