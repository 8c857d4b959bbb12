#include "app/now_run.h"

#include <csignal>
#include <chrono>
#include <ctime>
#include <iostream>
#include <thread>

#include <unistd.h>

#include "app/driver.h"
#include "app/output_check.h"
#include "hw/signal_hold.h"
#include "report/now_output.h"
#include "report/now_sample.h"

namespace {

// Lines between two headers on a terminal, as vmstat repeats its own.
constexpr std::uint64_t kLinesPerHeader = 20;

// Prints one sample's line with the ending signals held, so that a signal
// never cuts a line in half: it waits until the line is out and then ends the
// process, unless the program already holds them for the whole run.
void printSampleLine(const ProcessorProfile& profile, const NowOptions& options, std::uint64_t number,
                     bool header)
{
    const sigset_t signals = changeEndingSignals();
    sigset_t before;
    (void)sigprocmask(SIG_BLOCK, &signals, &before);
    const std::time_t time = std::time(nullptr);
    const NowSample sample = readNow(profile);
    if (options.json) {
        std::cout << nowJsonLine(profile, sample, time) << std::flush;
    } else {
        if (header && number % kLinesPerHeader == 0)
            std::cout << nowColumnsHeader(sample) << std::endl;
        std::cout << nowColumnsLine(sample, time) << std::endl;
    }
    (void)sigprocmask(SIG_SETMASK, &before, nullptr);
}

int sampleRepeatedly(const ProcessorProfile& profile, const NowOptions& options)
{
    using Clock = std::chrono::steady_clock;
    const auto interval =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.everySeconds));
    // The header is for a person reading; a program reading the lines gets
    // only lines of samples.
    const bool header = !options.json && isatty(STDOUT_FILENO) == 1;
    Clock::time_point next = Clock::now();
    for (std::uint64_t number = 0; options.count == 0 || number < options.count; ++number) {
        if (number > 0) {
            // Samples keep their pace whatever a sample takes; after a
            // sample that took longer than the interval the next comes at
            // once, and the pace starts again from there.
            next += interval;
            const Clock::time_point now = Clock::now();
            if (next < now)
                next = now;
            std::this_thread::sleep_until(next);
        }
        printSampleLine(profile, options, number, header);
        if (const int error = standardOutputError()) {
            // `pravellon --now --every 1 | head` is normal use: the reader
            // has seen enough. Any other failure is told at exit.
            if (error == EPIPE)
                acceptClosedStandardOutput();
            break;
        }
    }
    return kStatusOk;
}

} // namespace

int runNow(const ProcessorProfile& profile, const NowOptions& options)
{
    if (options.everySeconds > 0.0)
        return sampleRepeatedly(profile, options);
    const std::time_t time = std::time(nullptr);
    const NowSample sample = readNow(profile);
    if (options.json)
        std::cout << nowJsonLine(profile, sample, time) << std::flush;
    else
        printNow(profile, sample);
    return kStatusOk;
}
