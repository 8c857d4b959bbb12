#include "app/tune_endings.h"

#include <csignal>
#include <cstddef>
#include <exception>
#include <iterator>

#include "cli/restore_settings.h"
#include "hw/device_exit_hook.h"
#include "hw/load.h"
#include "hw/signal_hold.h"
#include "tune/journal_file.h"
#include "tune/tune_ending.h"

namespace {

// What an ending needs, reachable from the device exit hook.
struct Armed {
    const ProcessorProfile* profile = nullptr;
    const SavedSettings* saved = nullptr;
    std::string journal;
    bool armed = false;
    bool givingBack = false;
    struct sigaction before[std::size(kChangeEndingSignals)]{};
};

Armed& armed()
{
    static Armed state;
    return state;
}

extern "C" void onTuneSignal(int signal)
{
    requestTuneEnd(signal);
}

// At an ending the give-back matters more than the story.
void journalQuietly(const std::string& line) noexcept
{
    try {
        appendJournalLine(armed().journal, line);
    } catch (const std::exception&) {
    }
}

void beforeDeviceExit(const std::string& failure) noexcept
{
    // The load's threads stop first: the process is about to end.
    haltLoad();
    Armed& state = armed();
    if (state.givingBack) {
        // The give-back itself failed on a device: the process ends now.
        journalQuietly("ended: giving the saved settings back failed: " + failure);
        return;
    }
    if (state.armed)
        (void)endTuning(failure);
}

} // namespace

void armTuneEndings(const ProcessorProfile& profile, const SavedSettings& saved, const std::string& journal)
{
    Armed& state = armed();
    state.profile = &profile;
    state.saved = &saved;
    state.journal = journal;
    struct sigaction action {};
    action.sa_handler = onTuneSignal;
    action.sa_mask = changeEndingSignals();
    // The handler only notes the signal: a device read or a journal write it
    // lands in goes on, rather than failing with EINTR and ending the run as a
    // device failure.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kChangeEndingSignals); ++i)
        (void)sigaction(kChangeEndingSignals[i], &action, &state.before[i]);
    setSignalsCaughtElsewhere(true);
    deviceExitHook() = beforeDeviceExit;
    state.armed = true;
}

void disarmTuneEndings()
{
    Armed& state = armed();
    if (!state.armed)
        return;
    state.armed = false;
    deviceExitHook() = nullptr;
    setSignalsCaughtElsewhere(false);
    for (std::size_t i = 0; i < std::size(kChangeEndingSignals); ++i)
        (void)sigaction(kChangeEndingSignals[i], &state.before[i], nullptr);
}

std::string giveBackSaved()
{
    Armed& state = armed();
    state.givingBack = true;
    std::string failure;
    try {
        Warnings warnings;
        (void)restoreSettings(*state.profile, *state.saved, warnings);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    state.givingBack = false;
    return failure;
}

bool endTuning(const std::string& why)
{
    journalQuietly("ending: " + why + "; giving the saved settings back");
    const std::string failure = giveBackSaved();
    journalQuietly(failure.empty() ? "ended: the saved settings given back"
                                   : "ended: giving the saved settings back failed: " + failure);
    disarmTuneEndings();
    return failure.empty();
}

std::string signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    case SIGQUIT:
        return "SIGQUIT";
    default:
        return "signal " + std::to_string(signal);
    }
}

void endBySignal(int signal)
{
    disarmTuneEndings();
    holdSignals();
    (void)std::raise(signal);
}
