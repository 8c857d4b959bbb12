#include "hw/ending_signals.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <iterator>

#include "hw/signal_hold.h"

namespace {


std::atomic<const char*> fileToRemove{nullptr};

// The text is written into the slot the handler does not read and then
// published by its index, so that a signal arriving while it is being
// prepared finds the previous text whole. Slot -1: none.
struct Slot {
    std::string text;
    const char* data = nullptr;
    std::size_t size = 0;
};
Slot slots[2];
std::atomic<int> publishedSlot{-1};

void writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return; // nowhere left to say it
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

extern "C" void onEndingSignal(int signal)
{
    const int savedErrno = errno;
    if (const char* path = fileToRemove.load())
        (void)unlink(path);
    const int slot = publishedSlot.load();
    if (slot >= 0)
        writeAll(STDERR_FILENO, slots[slot].data, slots[slot].size);
    errno = savedErrno;
    // The disposition is back to the default (SA_RESETHAND); the signal is
    // blocked until the handler returns and then ends the process.
    (void)raise(signal);
}

} // namespace

bool handleEndingSignals()
{
    struct sigaction action {};
    action.sa_handler = onEndingSignal;
    action.sa_mask = changeEndingSignals(); // one handler at a time
    action.sa_flags = SA_RESETHAND;
    return std::all_of(std::begin(kChangeEndingSignals), std::end(kChangeEndingSignals),
                       [&action](int signal) { return sigaction(signal, &action, nullptr) == 0; });
}

sigset_t holdEndingSignals()
{
    const sigset_t set = changeEndingSignals();
    sigset_t previous;
    sigemptyset(&previous);
    (void)sigprocmask(SIG_BLOCK, &set, &previous); // fails only on a bad argument
    return previous;
}

void releaseEndingSignals(const sigset_t& previous)
{
    (void)sigprocmask(SIG_SETMASK, &previous, nullptr);
}

void setFileToRemoveOnSignal(const char* path)
{
    fileToRemove.store(path);
}

void setTextOnSignal(const std::string& text)
{
    if (text.empty()) {
        publishedSlot.store(-1);
        return;
    }
    const int slot = publishedSlot.load() == 0 ? 1 : 0;
    slots[slot].text = text;
    slots[slot].data = slots[slot].text.data();
    slots[slot].size = slots[slot].text.size();
    publishedSlot.store(slot);
}
