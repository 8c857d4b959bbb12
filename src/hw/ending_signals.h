#pragma once
// SIGINT, SIGTERM, SIGHUP and SIGQUIT, the signals by which a user or the
// system ends a run. Ended by one, pravellon-sim and pravellon-capture still
// leave no temporary file behind and still print what the user asked to see,
// then die by that signal, so that the exit status says what happened. Only
// write(2) and unlink(2) run in the handler: everything it needs is prepared
// beforehand.

#include <csignal>
#include <string>

// Installs the handler for the four signals. False with errno set on failure.
bool handleEndingSignals();

// Blocks the four signals until the matching releaseEndingSignals, for a step
// that the handler must not see half done.
sigset_t holdEndingSignals();
void releaseEndingSignals(const sigset_t& previous);

// The file the handler removes, or nullptr for none. The text must stay as it
// is until it is withdrawn by another call.
void setFileToRemoveOnSignal(const char* path);

// What the handler writes to standard error before the process ends; it
// replaces what was set before. Empty: nothing.
void setTextOnSignal(const std::string& text);
