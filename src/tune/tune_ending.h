#pragma once
// An end of the tuning asked for by a signal (INT, TERM, HUP, QUIT): the
// handler only notes it and halts the load; the thread that tunes sees it
// between its samples, ends the step without calling it stable or failed, and
// gives the saved settings back before the process ends.

// Notes signal as the reason to end and halts the load's workers after their
// current iteration. Safe in a signal handler.
void requestTuneEnd(int signal) noexcept;

// The signal whose end was requested; 0 while none was.
int tuneEndRequested() noexcept;

// Forgets a requested end, for a new run in the same process.
void forgetTuneEnd() noexcept;
