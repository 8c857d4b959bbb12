#include "tune/tune_search.h"

#include <chrono>
#include <thread>
#include <vector>

#include "control/active_pstate.h"
#include "cpu/every_core.h"
#include "cpu/vid.h"
#include "hw/device.h"
#include "hw/load.h"
#include "pstate/core_pstate.h"
#include "tune/journal_file.h"
#include "tune/tune_journal.h"
#include "tune/tune_steps.h"

namespace {

constexpr std::chrono::milliseconds kSampleInterval{100};

std::string pstateName(std::int32_t pstate)
{
    return "P" + std::to_string(pstate);
}

// Why the cores do not all run in pstate now, as the processor reports it;
// empty when they do. limited is set when the processor's own limit is why.
std::string departure(const ProcessorProfile& profile, std::int32_t pstate, bool& limited)
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
        } else if (currentPstate(core) != pstate) {
            why = "core " + std::to_string(core) + " left " + pstateName(pstate);
        }
    });
    return why;
}

std::vector<std::int32_t> onlineCores(const ProcessorProfile& profile)
{
    std::vector<std::int32_t> cores;
    forEachCore(profile, [&cores](std::int32_t core) { cores.push_back(core); });
    return cores;
}

} // namespace

StepOutcome runStep(const ProcessorProfile& profile, std::int32_t pstate, std::int32_t vid, std::int32_t seconds)
{
    StepOutcome outcome;
    CorePstate request;
    request.index = pstate;
    request.vid = vid;
    (void)writeCorePstate(profile, request);
    std::vector<bool> modified(static_cast<std::size_t>(kMaxCorePstates), false);
    modified[static_cast<std::size_t>(pstate)] = true;
    (void)switchPstates(profile, pstate, modified);
    bool limited = false;
    outcome.failure = departure(profile, pstate, limited);
    if (!outcome.failure.empty()) {
        outcome.limited = limited;
        outcome.notTaken = !limited;
        return outcome;
    }

    const std::vector<std::int32_t> cores = onlineCores(profile);
    startLoad(cores);
    try {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        do {
            outcome.failure = departure(profile, pstate, limited);
            if (!outcome.failure.empty())
                break;
            if (seconds > 0)
                std::this_thread::sleep_for(kSampleInterval);
        } while (std::chrono::steady_clock::now() < end);
    } catch (...) {
        (void)stopLoad();
        throw;
    }
    const std::vector<std::int32_t> wrong = stopLoad();
    outcome.limited = limited;
    if (outcome.failure.empty() && !wrong.empty())
        outcome.failure = "core " + std::to_string(wrong.front()) + " computed a wrong answer";
    return outcome;
}

PstateSearch searchPstate(const ProcessorProfile& profile, std::int32_t pstate, std::int32_t originalVid,
                          const TuneOptions& options, const std::string& journal, std::int32_t slowerResultVid)
{
    PstateSearch search;
    search.originalVid = originalVid;
    search.lowestStableVid = originalVid;
    const std::int32_t floor = floorVid(profile, originalVid, options.maxDrop);
    for (std::int32_t vid = originalVid + 1; search.endsRun.empty(); ++vid) {
        if (vid > floor || !isWritableVoltage(profile, vidToVoltage(profile, vid))) {
            search.reachedFloor = true;
            appendJournalLine(journal, floorLine(pstate, options.maxDrop));
            break;
        }
        const double volts = vidToVoltage(profile, vid);
        appendJournalLine(journal, testingLine(pstate, volts));
        StepOutcome outcome = runStep(profile, pstate, vid, options.seconds);
        if (outcome.limited) // the processor's own limit proves nothing: once more
            outcome = runStep(profile, pstate, vid, options.seconds);
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
    (void)runStep(profile, pstate, search.resultVid, 0);
    appendJournalLine(journal, resultLine(pstate, vidToVoltage(profile, search.resultVid)));
    return search;
}
