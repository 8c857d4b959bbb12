#include "app/tune_run.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/driver.h"
#include "app/tune_endings.h"
#include "cli/number_text.h"
#include "cli/saved_settings.h"
#include "control/active_pstate.h"
#include "control/boost.h"
#include "cpu/core_pstate_fields.h"
#include "cpu/every_core.h"
#include "cpu/vid.h"
#include "cpu/writable_registers.h"
#include "hw/bitfield.h"
#include "hw/ending_signals.h"
#include "hw/exception_with_message.h"
#include "hw/load.h"
#include "hw/text_file.h"
#include "pstate/core_pstate.h"
#include "report/format.h"
#include "report/tune_results.h"
#include "report/warnings.h"
#include "tune/boot_guard.h"
#include "tune/journal_file.h"
#include "tune/tune_checks.h"
#include "tune/tune_ending.h"
#include "tune/tune_journal.h"
#include "tune/tune_progress.h"
#include "tune/tune_search.h"
#include "tune/tune_steps.h"

namespace {

// The saved settings, beside the journal that names them.
constexpr const char* kSavedFileName = "/tune-saved";

// What a run starts from: its options, its P-states slowest first, the
// settings it gives back, and for a resume what the journal already tells.
struct Plan {
    TuneOptions options;
    std::vector<std::int32_t> pstates; // slowest first
    std::string journal;
    std::string savedPath;
    std::string savedText; // a fresh run's, to be saved
    SavedSettings saved;
    JournalState before; // a resume's journal as read
    Warnings warnings;
};

// A refusal: everything planTuning throws comes before anything is changed.
[[noreturn]] void refuse(const std::string& message)
{
    throw ExceptionWithMessage(message);
}

std::string pstateName(std::int32_t pstate)
{
    return "P" + std::to_string(pstate);
}

// Core core's register of P-state pstate as saved; nothing when the file has
// none (a core offline when saved).
std::optional<std::uint64_t> savedPstate(const SavedSettings& saved, std::int32_t pstate, std::int32_t core)
{
    const WritableRegister& row = corePstateRegisters();
    for (const SavedRegister& reg : saved.registers)
        if (reg.row == &row && reg.n == pstate && reg.where == core)
            return reg.value;
    return std::nullopt;
}

// The saved decoding of pstate on core 0, which describes the processor;
// every other core must hold the same voltage, since a step writes every
// core alike and a core left with a voltage of its own would be changed.
CorePstate originalPstate(const ProcessorProfile& profile, const SavedSettings& saved, std::int32_t pstate)
{
    const std::optional<std::uint64_t> core0 = savedPstate(saved, pstate, 0);
    if (!core0 || !bits::test(*core0, core_pstate_fields::kPstateEnable))
        refuse(pstateName(pstate) + " is not an enabled P-state of this processor");
    const CorePstate original = decodeCorePstate(profile, pstate, *core0);
    forEachOtherCore(profile, [&](std::int32_t core) {
        const std::optional<std::uint64_t> value = savedPstate(saved, pstate, core);
        if (value && decodeCorePstate(profile, pstate, *value).vid != original.vid)
            refuse("core " + std::to_string(core) + "'s " + pstateName(pstate) + " has a voltage other than core 0's ("
                   + voltageText(profile, decodeCorePstate(profile, pstate, *value).vid) + ", "
                   + voltageText(profile, original.vid) + "): a tuning sets every core alike");
    });
    return original;
}

// The drop the search may go to for a P-state: the options' drop, and no
// lower than the processor's lowest voltage, which it would not take.
TuneOptions optionsFor(const ProcessorProfile& profile, const TuneOptions& options, std::int32_t originalVid)
{
    TuneOptions own = options;
    if (profile.minVoltage > 0.0)
        own.maxDrop = std::max(0.0, std::min(own.maxDrop, vidToVoltage(profile, originalVid) - profile.minVoltage));
    return own;
}

bool canBeLowered(const ProcessorProfile& profile, const TuneOptions& options, std::int32_t originalVid)
{
    const TuneOptions own = optionsFor(profile, options, originalVid);
    return own.maxDrop > 0.0 && floorVid(profile, originalVid, own.maxDrop) > originalVid;
}

// The P-states asked for, or every enabled one that is not boosted; boosted
// ones cannot be held by a switch and are left out, and said so.
void choosePstates(const ProcessorProfile& profile, Plan& plan)
{
    std::vector<std::int32_t> asked = plan.options.pstates;
    if (asked.empty())
        for (std::int32_t p = profile.boostStateCount; p < profile.pstateCount; ++p)
            asked.push_back(p);
    for (const std::int32_t p : asked) {
        if (p >= profile.pstateCount)
            refuse(pstateName(p) + " is not an enabled P-state of this processor (it has P0-P"
                   + std::to_string(profile.pstateCount - 1) + ")");
        if (p < profile.boostStateCount)
            warn(plan.warnings, pstateName(p) + " is boosted, which a switch cannot hold: left out");
        else
            plan.pstates.push_back(p);
    }
    if (plan.pstates.empty())
        refuse("no P-state to tune");
    plan.options.pstates = plan.pstates;
    std::reverse(plan.pstates.begin(), plan.pstates.end());
}

// The header's "saved: " and "options: " lines.
std::string headerValue(const JournalState& journal, const std::string& name)
{
    for (const std::string& line : journal.header)
        if (line.compare(0, name.size(), name) == 0)
            return line.substr(name.size());
    return std::string();
}

void readSaved(const ProcessorProfile& profile, Plan& plan)
{
    std::string error;
    std::string text;
    if (!readWholeFile(plan.savedPath, text, error))
        refuse(error);
    plan.saved = parseSavedSettings(profile, plan.savedPath, text);
}

// A resume: the journal's options and saved settings.
void planResume(const ProcessorProfile& profile, const TuneRequest& request, Plan& plan)
{
    std::string text;
    std::string error;
    if (!readJournalFile(plan.journal, text, error))
        refuse("nothing to resume");
    plan.before = readJournal(text);
    if (!plan.before.valid || (plan.before.finished && !plan.before.interrupted))
        refuse("nothing to resume");
    plan.savedPath = headerValue(plan.before, "saved: ");
    const std::string options = headerValue(plan.before, "options: ");
    if (plan.savedPath.empty() || options.empty())
        refuse(plan.journal + " names no saved settings or no options: nothing to resume");
    plan.options = TuneOptions{};
    const std::string refusal = readTuneOptionsText(plan.options, options, request.zeroSeconds);
    if (!refusal.empty())
        refuse(plan.journal + ": " + refusal);
    plan.options.resume = true;
    plan.options.apply = plan.options.apply || request.options.apply;
    readSaved(profile, plan);
}

// A fresh run: the journal of an unfinished one is its story, which a new
// run would overwrite.
void planFresh(const ProcessorProfile& profile, const TuneRequest& request, Plan& plan)
{
    std::string text;
    std::string error;
    if (readJournalFile(plan.journal, text, error)) {
        const JournalState journal = readJournal(text);
        if (journal.valid && !journal.finished)
            refuse("the tuning in " + plan.journal + " has not finished: go on with it with --tune --resume, or"
                   " remove it to start afresh");
    }
    plan.options = request.options;
    plan.savedPath = stateDirectory() + kSavedFileName;
    plan.savedText = savedSettingsText(profile);
    plan.saved = parseSavedSettings(profile, plan.savedPath, plan.savedText);
}

// Everything that refuses the run, decided before anything is changed or
// saved.
Plan planTuning(const ProcessorProfile& profile, const TuneRequest& request)
{
    Plan plan;
    plan.journal = journalPath();
    const std::string running = lockTuning();
    if (!running.empty())
        refuse(running);
    const std::string guard = bootGuardRefusal(stateDirectory());
    if (!guard.empty())
        refuse(guard);
    if (request.options.resume)
        planResume(profile, request, plan);
    else
        planFresh(profile, request, plan);
    choosePstates(profile, plan);
    bool lowerable = false;
    for (const std::int32_t p : plan.pstates)
        lowerable = canBeLowered(profile, plan.options, originalPstate(profile, plan.saved, p).vid) || lowerable;
    if (!lowerable)
        refuse("no voltage to lower: every P-state to tune is at the lowest voltage this processor takes");
    const std::string hot = tctlRefusal(profile, plan.options.tctlLimit);
    if (!hot.empty())
        refuse(hot);
    const std::string unsteady = unsteadyPstates(profile);
    if (!unsteady.empty())
        refuse(unsteady);
    return plan;
}

// The processor line of the saved settings, as --save names the processor.
std::string processorLine(const std::string& savedText)
{
    const std::size_t first = savedText.find('\n');
    const std::size_t second = savedText.find('\n', first + 1);
    std::string line = savedText.substr(first + 1, second - first - 1);
    const std::string word = "processor ";
    if (line.compare(0, word.size(), word) == 0)
        line.erase(0, word.size());
    return "processor: " + line;
}

// A fresh run's settings saved, before anything is changed.
void saveSettings(const Plan& plan)
{
    // A signal while saving leaves no temporary file beside the saved one.
    std::string error;
    if (!handleEndingSignals() || !replaceFileContent(plan.savedPath, plan.savedText, error))
        throw ExceptionWithMessage(error.empty() ? "cannot save " + plan.savedPath : error);
}

// Starts the journal; a resume records the step the machine stopped in as
// failed.
void beginJournal(const Plan& plan)
{
    if (!plan.options.resume) {
        startJournal(plan.journal, {processorLine(plan.savedText), "saved: " + plan.savedPath,
                                    "options: " + tuneOptionsText(plan.options)});
        return;
    }
    appendJournalLine(plan.journal, "resumed");
    // A step cut on request proved nothing and is tested again.
    if (plan.before.unfinishedPstate >= 0 && !plan.before.unfinishedInterrupted) {
        const std::optional<double> volts = readDecimalText(plan.before.unfinishedVolts, 'v');
        appendJournalLine(plan.journal, pstateName(plan.before.unfinishedPstate) + " "
                                            + (volts ? numberText(*volts) : plan.before.unfinishedVolts)
                                            + " failed: the machine hung or was reset");
    }
}

// What a resume takes over for a P-state the journal tells of. The lowest
// VID that passed, kept within the original and the floor, so that a torn or
// edited line never takes the P-state lower than a search could. The result,
// worked out again from it rather than read, when its search is over: a step
// failed, the floor was reached, its result was written, or the machine hung
// in its step. Nothing for a P-state not begun, nor for one whose search an
// interruption cut: that search goes on below lowestStableVid.
std::optional<std::int32_t> resumedResult(const ProcessorProfile& profile, const Plan& plan, std::int32_t pstate,
                                          std::int32_t originalVid, const TuneOptions& own,
                                          std::int32_t slowerResultVid, std::int32_t& lowestStableVid)
{
    lowestStableVid = originalVid;
    const auto found = plan.before.pstates.find(pstate);
    if (!plan.options.resume || found == plan.before.pstates.end())
        return std::nullopt;
    const PstateProgress& progress = found->second;
    if (progress.lowestStable > 0.0)
        lowestStableVid = std::clamp(voltageToVid(profile, progress.lowestStable), originalVid,
                                     floorVid(profile, originalVid, own.maxDrop));
    const bool hung = plan.before.unfinishedPstate == pstate && !plan.before.unfinishedInterrupted;
    if (!progress.ended && !progress.stopped && !hung)
        return std::nullopt;
    const std::int32_t result =
        resultVid(originalVid, lowestStableVid, marginSteps(profile, plan.options.margin), slowerResultVid);
    if (!progress.ended)
        appendJournalLine(plan.journal, resultLine(pstate, vidToVoltage(profile, result)));
    return result;
}

// How the search ended, when it ended the run.
struct Ended {
    std::string why; // empty: every P-state was searched
};

// The steps a P-state's search may take at most: one a VID down to its floor.
std::int32_t stepsAtMost(const ProcessorProfile& profile, const Plan& plan, std::int32_t pstate)
{
    const std::int32_t original = originalPstate(profile, plan.saved, pstate).vid;
    return floorVid(profile, original, optionsFor(profile, plan.options, original).maxDrop) - original;
}

Ended searchEvery(const ProcessorProfile& profile, const Plan& plan, std::vector<TunedPstate>& tuned)
{
    std::int32_t stepsAfter = 0;
    for (const std::int32_t p : plan.pstates)
        stepsAfter += stepsAtMost(profile, plan, p);
    std::int32_t slower = -1;
    for (const std::int32_t p : plan.pstates) {
        stepsAfter -= stepsAtMost(profile, plan, p);
        if (tuneEndRequested() != 0)
            return Ended{kInterrupted};
        const CorePstate original = originalPstate(profile, plan.saved, p);
        TunedPstate row;
        row.pstate = p;
        row.multiplier = shownCoreMultiplier(profile, original.multiplier);
        row.originalVid = original.vid;
        const TuneOptions own = optionsFor(profile, plan.options, original.vid);
        if (const std::optional<std::int32_t> result =
                resumedResult(profile, plan, p, original.vid, own, slower, row.lowestStableVid)) {
            row.resultVid = *result;
            takeVoltage(profile, p, row.resultVid, -1);
        } else {
            beginPstateProgress(profile, floorVid(profile, original.vid, own.maxDrop), stepsAfter, own.seconds);
            const PstateSearch search =
                searchPstate(profile, p, original.vid, row.lowestStableVid, own, plan.journal, slower);
            if (!search.endsRun.empty())
                return Ended{search.endsRun == kInterrupted ? search.endsRun
                                                              : pstateName(p) + ": " + search.endsRun};
            row.lowestStableVid = search.lowestStableVid;
            row.resultVid = search.resultVid;
        }
        tuned.push_back(row);
        slower = row.resultVid;
    }
    return Ended{tuneEndRequested() != 0 ? kInterrupted : ""};
}

// The end of a run that searched every P-state: the results written, or the
// saved settings given back; the journal says which, and whether it worked.
// Throws when neither could be done, once the settings are given back as far
// as they can be.
void finishRun(const ProcessorProfile& profile, const Plan& plan, const std::vector<TunedPstate>& tuned)
{
    appendJournalLine(plan.journal, "giving the saved settings back");
    const std::string failure = giveBackSaved();
    if (!failure.empty()) {
        appendJournalLine(plan.journal, "giving the saved settings back failed: " + failure);
        throw ExceptionWithMessage("giving the saved settings back failed: " + failure);
    }
    appendJournalLine(plan.journal, "the saved settings given back");
    if (plan.options.apply && tuneEndRequested() == 0) {
        // Over the saved settings, so that boost and every other setting is
        // as it was and only the voltages tuned differ.
        for (const TunedPstate& p : tuned)
            takeVoltage(profile, p.pstate, p.resultVid, -1);
        appendJournalLine(plan.journal, "results written: " + resultTokens(profile, tuned));
    }
    appendJournalLine(plan.journal, "finished");
}

// The run from its first write to its end; status as runTune's.
int tune(const ProcessorProfile& profile, const Plan& plan, bool json)
{
    std::vector<TunedPstate> tuned;
    Ended ended;
    try {
        // A resume starts from the saved settings: a run killed without a
        // reset may have left a voltage lowered.
        if (plan.options.resume) {
            const std::string failure = giveBackSaved();
            if (!failure.empty())
                throw ExceptionWithMessage("giving the saved settings back failed: " + failure);
        }
        // A load that cannot run on every core, or cores that disagree at
        // these settings already, refuse the tuning: nothing is changed yet.
        try {
            prepareLoad(onlineCores(profile));
        } catch (const ExceptionWithMessage& e) {
            (void)endTuning(std::string("the load refuses: ") + e.what());
            std::cerr << "ERROR: " << e.what() << std::endl;
            return kStatusInvalidArgument;
        }
        // Boost would take the cores out of the P-state a step holds.
        if (profile.boostSupported)
            setBoostOnEveryCore(profile, false);
        ended = searchEvery(profile, plan, tuned);
        // Told as the report lists P-states, fastest first.
        std::reverse(tuned.begin(), tuned.end());
        if (ended.why.empty()) {
            finishRun(profile, plan, tuned);
            disarmTuneEndings();
        }
    } catch (const std::exception& e) {
        endProgress();
        // The journal may be what failed: the user learns here whether the
        // settings went back.
        const bool givenBack = endTuning(e.what());
        throw ExceptionWithMessage(std::string(e.what())
                                   + (givenBack ? "; the saved settings were given back"
                                                : "; giving the saved settings back failed"));
    }
    endProgress();
    if (const int signal = tuneEndRequested()) {
        // Whatever the signal cut, the results written among it, the saved
        // settings go back.
        const bool givenBack = endTuning(signalName(signal));
        std::cerr << "ERROR: tuning ended by " << signalName(signal) << "; "
                  << (givenBack ? "the saved settings were given back" : "giving the saved settings back failed")
                  << std::endl;
        endBySignal(signal);
        return kStatusRefused;
    }
    if (!ended.why.empty()) {
        const bool givenBack = endTuning(ended.why);
        std::cerr << "ERROR: tuning ended: " << ended.why << "; "
                  << (givenBack ? "the saved settings were given back" : "giving the saved settings back failed")
                  << std::endl;
        return kStatusTuningEnded;
    }
    if (json)
        std::cout << resultsJson(profile, tuned, plan.options.apply, plan.warnings) << std::flush;
    else
        std::cout << resultsText(profile, tuned, plan.options.apply) << std::flush;
    return kStatusOk;
}

} // namespace

int runTune(const ProcessorProfile& profile, const TuneRequest& request)
{
    Plan plan;
    try {
        plan = planTuning(profile, request);
    } catch (const ExceptionWithMessage& refusal) {
        std::cerr << "ERROR: " << refusal.what() << std::endl;
        return kStatusInvalidArgument;
    }
    // Nothing is changed yet when either fails: the settings are what they
    // were.
    try {
        if (!plan.options.resume)
            saveSettings(plan);
    } catch (const ExceptionWithMessage& e) {
        std::cerr << "ERROR: " << e.what() << std::endl;
        return kStatusTuningEnded;
    }
    // A signal that comes while the journal begins waits for the run's own
    // handlers, so that a journal begun always tells how its run ended.
    const sigset_t unheld = holdEndingSignals();
    try {
        beginJournal(plan);
    } catch (const ExceptionWithMessage& e) {
        std::cerr << "ERROR: " << e.what() << std::endl;
        releaseEndingSignals(unheld);
        return kStatusTuningEnded;
    }
    armTuneEndings(profile, plan.saved, plan.journal);
    releaseEndingSignals(unheld);
    return tune(profile, plan, request.json);
}
