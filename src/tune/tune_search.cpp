#include "tune/tune_search.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "control/active_pstate.h"
#include "cpu/every_core.h"
#include "cpu/registers.h"
#include "cpu/vid.h"
#include "hw/device.h"
#include "hw/load.h"
#include "pstate/core_pstate.h"
#include "report/format.h"
#include "tune/journal_file.h"
#include "tune/tune_checks.h"
#include "tune/tune_ending.h"
#include "tune/tune_journal.h"
#include "tune/tune_progress.h"
#include "tune/tune_steps.h"

namespace {

// The P-states, limits and Tctl are looked at every tenth of a second; the
// load and a requested end every hundredth, so that either ends a step at once.
constexpr std::chrono::milliseconds kSampleInterval{100};
constexpr std::chrono::milliseconds kHaltInterval{10};

std::string pstateName(std::int32_t pstate)
{
    return "P" + std::to_string(pstate);
}

// The VID a core runs at, from its COFVID status, near the VID expected: the
// status holds seven bits of it, so on the 8-bit models the one of the VIDs
// with those low bits that lies nearest expected.
std::int32_t runningVid(const ProcessorProfile& profile, std::uint64_t status, std::int32_t expected)
{
    const auto shown = static_cast<std::int32_t>(bits::get(status, kCurrentVid));
    if (!profile.eightBitVids)
        return shown;
    constexpr std::int32_t kShownVids = 1 << (kCurrentVid.hi - kCurrentVid.lo + 1);
    std::int32_t difference = (shown - expected) % kShownVids;
    if (difference >= kShownVids / 2)
        difference -= kShownVids;
    else if (difference < -kShownVids / 2)
        difference += kShownVids;
    return expected + difference;
}

// Why the cores do not all run in pstate now, as the processor reports it,
// and at vid unless it is negative; empty when they do. limited is set when
// the processor's own limit is why.
std::string departure(const ProcessorProfile& profile, std::int32_t pstate, std::int32_t vid, bool& limited)
{
    std::string why;
    forEachCore(profile, [&](std::int32_t core) {
        if (!why.empty())
            return;
        const auto limit = static_cast<std::int32_t>(bits::get(readMsr(core, kMsrPstateLimit), kCurrentPstateLimit))
            + profile.boostStateCount;
        if (limit > pstate) {
            limited = true;
            why = "limited to " + pstateName(limit) + " by the processor";
            return;
        }
        const std::uint64_t status = readMsr(core, kMsrCofvidStatus);
        if (static_cast<std::int32_t>(bits::get(status, kCurrentPstate)) != pstate) {
            why = "core " + std::to_string(core) + " left " + pstateName(pstate);
            return;
        }
        const std::int32_t running = vid < 0 ? vid : runningVid(profile, status, vid);
        if (running != vid)
            why = "core " + std::to_string(core) + " runs at " + voltageText(profile, running) + ", not "
                + voltageText(profile, vid);
    });
    return why;
}

// Why Tctl ends the step: a node above the limit, or one that cannot be
// read; empty when it is not watched or every node is within it.
std::string tctlFailure(const ProcessorProfile& profile, double limit)
{
    if (limit <= 0.0)
        return std::string();
    const std::optional<NodeTctl> beyond = tctlBeyond(profile, limit);
    if (!beyond)
        return std::string();
    return beyond->celsius ? "Tctl " + tctlOneDecimal(*beyond->celsius) : std::string("Tctl not available");
}

} // namespace

void takeVoltage(const ProcessorProfile& profile, std::int32_t pstate, std::int32_t vid, std::int32_t target)
{
    CorePstate request;
    request.index = pstate;
    request.vid = vid;
    (void)writeCorePstate(profile, request);
    std::vector<bool> modified(static_cast<std::size_t>(kMaxCorePstates), false);
    modified[static_cast<std::size_t>(pstate)] = true;
    (void)switchPstates(profile, target, modified);
}

namespace {

// Samples the cores and nodes while the load runs, until seconds have passed
// or something ends the step: a departure, Tctl, a halted load or a
// requested end. Why the step failed; empty when nothing did.
std::string sampleStep(const ProcessorProfile& profile, std::int32_t pstate, std::int32_t vid,
                       const TuneOptions& options, bool& limited)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(options.seconds);
    for (;;) {
        if (tuneEndRequested() != 0 || loadHalted())
            return std::string();
        showStepProgress(pstate, vid,
                         std::chrono::duration<double>(end - std::chrono::steady_clock::now()).count());
        std::string why = departure(profile, pstate, -1, limited);
        if (why.empty())
            why = tctlFailure(profile, options.tctlLimit);
        if (!why.empty())
            return why;
        const auto next = std::min(end, std::chrono::steady_clock::now() + kSampleInterval);
        while (std::chrono::steady_clock::now() < next && tuneEndRequested() == 0 && !loadHalted())
            std::this_thread::sleep_for(kHaltInterval);
        if (std::chrono::steady_clock::now() >= end)
            return std::string();
    }
}

} // namespace

StepOutcome runStep(const ProcessorProfile& profile, std::int32_t pstate, std::int32_t vid,
                    const TuneOptions& options)
{
    StepOutcome outcome;
    takeVoltage(profile, pstate, vid, pstate);
    bool limited = false;
    outcome.failure = departure(profile, pstate, vid, limited);
    if (!outcome.failure.empty()) {
        outcome.limited = limited;
        outcome.notTaken = !limited;
        return outcome;
    }

    startLoad(onlineCores(profile));
    try {
        outcome.failure = sampleStep(profile, pstate, vid, options, limited);
    } catch (...) {
        (void)stopLoad();
        throw;
    }
    const std::vector<std::int32_t> wrong = stopLoad();
    if (tuneEndRequested() != 0) {
        // Cut short on request: it proves nothing either way.
        StepOutcome interrupted;
        interrupted.interrupted = true;
        return interrupted;
    }
    outcome.limited = limited;
    if (outcome.failure.empty() && !wrong.empty())
        outcome.failure = "core " + std::to_string(wrong.front()) + " computed a wrong answer";
    return outcome;
}

PstateSearch searchPstate(const ProcessorProfile& profile, std::int32_t pstate, std::int32_t originalVid,
                          std::int32_t lowestStableVid, const TuneOptions& options, const std::string& journal,
                          std::int32_t slowerResultVid)
{
    PstateSearch search;
    search.originalVid = originalVid;
    search.lowestStableVid = lowestStableVid;
    const std::int32_t floor = floorVid(profile, originalVid, options.maxDrop);
    for (std::int32_t vid = lowestStableVid + 1; search.endsRun.empty(); ++vid) {
        if (tuneEndRequested() != 0) {
            search.endsRun = kInterrupted;
            break;
        }
        if (vid > floor || !isWritableVoltage(profile, vidToVoltage(profile, vid))) {
            search.reachedFloor = true;
            appendJournalLine(journal, floorLine(pstate, options.maxDrop));
            break;
        }
        const double volts = vidToVoltage(profile, vid);
        appendJournalLine(journal, testingLine(pstate, volts));
        StepOutcome outcome = runStep(profile, pstate, vid, options);
        if (outcome.limited) // the processor's own limit proves nothing: once more
            outcome = runStep(profile, pstate, vid, options);
        if (outcome.interrupted) {
            appendJournalLine(journal, interruptedLine(pstate, volts));
            search.endsRun = kInterrupted;
            break;
        }
        if (outcome.failure.empty()) {
            appendJournalLine(journal, stableLine(pstate, volts));
            search.lowestStableVid = vid;
            continue;
        }
        appendJournalLine(journal, failedLine(pstate, volts, outcome.failure));
        if (outcome.limited || outcome.notTaken)
            search.endsRun = outcome.failure;
        break;
    }
    if (!search.endsRun.empty()) {
        // The caller gives back every saved setting; the original voltage goes
        // back first all the same, so that no error on that way leaves this
        // P-state lowered.
        CorePstate original;
        original.index = pstate;
        original.vid = originalVid;
        (void)writeCorePstate(profile, original);
        return search;
    }
    search.resultVid = resultVid(originalVid, search.lowestStableVid, marginSteps(profile, options.margin),
                                 slowerResultVid);
    takeVoltage(profile, pstate, search.resultVid, pstate);
    appendJournalLine(journal, resultLine(pstate, vidToVoltage(profile, search.resultVid)));
    return search;
}
