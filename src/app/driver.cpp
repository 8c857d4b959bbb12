#include "app/driver.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/now_run.h"
#include "app/options.h"
#include "app/self_test.h"
#include "app/tune_run.h"
#include "cli/apply_changes.h"
#include "cli/change_set.h"
#include "cli/dry_run.h"
#include "cli/json_changes.h"
#include "cli/limit_warnings.h"
#include "cli/number_text.h"
#include "cli/parse_arguments.h"
#include "cli/restore_settings.h"
#include "cli/saved_settings.h"
#include "cli/settings_tokens.h"
#include "cpu/probe.h"
#include "hw/ending_signals.h"
#include "hw/exception_with_message.h"
#include "hw/hex_text.h"
#include "hw/load.h"
#include "hw/recorded_writes.h"
#include "hw/signal_hold.h"
#include "hw/text_file.h"
#include "report/json_report.h"
#include "report/report.h"
#include "report/warnings.h"
#include "tune/tune_options.h"

namespace {

int invalidParameter(const char* argument)
{
    std::cerr << "ERROR: invalid parameter " << argument << std::endl;
    return kStatusInvalidArgument;
}

// The option that stands alone given anywhere, by its name as typed or as
// --name=value; nullptr for none.
const Option* standingAlone(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const TypedOption typed = findOption(kPravellon, argv[i]);
        if (typed.option != nullptr && typed.option->standsAlone && (!typed.hasValue || typed.option->value != nullptr))
            return typed.option;
    }
    return nullptr;
}

// Saves the settings into file, or prints them for "-". The temporary file of
// a save cut by a signal is removed.
int saveSettings(const ProcessorProfile& profile, const std::string& file)
{
    const std::string text = savedSettingsText(profile);
    if (file == "-") {
        std::cout << text << std::flush;
        return kStatusOk;
    }
    std::string error;
    if (!handleEndingSignals() || !replaceFileContent(file, text, error)) {
        std::cerr << "ERROR: " << (error.empty() ? "cannot save " + printable(file) : error) << std::endl;
        return kStatusUsage;
    }
    return kStatusOk;
}

// An option that stands alone: anything beside it is named as invalid, before
// any other option is looked at; its value, if it takes one, is given once.
int runAlone(const ProcessorProfile& profile, const Option& option, int argc, const char* const* argv)
{
    const char* value = nullptr;
    for (int i = 1; i < argc; ++i) {
        const TypedOption typed = findOption(kPravellon, argv[i]);
        if (typed.option != &option || (value != nullptr && option.value != nullptr))
            return invalidParameter(argv[i]);
        if (option.value == nullptr && typed.hasValue)
            return invalidParameter(argv[i]);
        if (option.value != nullptr) {
            if (typed.hasValue)
                value = argv[i] + std::strlen(option.name) + 1;
            else if (++i < argc)
                value = argv[i];
            else
                return invalidParameter(argv[i - 1]);
        }
    }
    if (option.id == OptionId::tokens)
        printSettingsAsTokens(profile);
    else if (option.id == OptionId::save)
        return saveSettings(profile, value);
    return kStatusOk;
}

// An option's value, and the option as typed, to name it when the value is
// refused: "--every 0.05", "--count=0".
struct OptionValue {
    std::string value;
    std::string typed;
};

// The options before the tokens, in any order, each as often as wished (the
// last value of one given again counts).
struct LeadingOptions {
    const char* dryRun = nullptr; // the first dry-run option, as typed
    bool json = false;
    const char* restore = nullptr; // the file of --restore
    bool now = false;
    std::optional<OptionValue> every;
    std::optional<OptionValue> count;
    bool tune = false;
    bool selfTest = false;
    const char* seconds = nullptr; // the value of --seconds, as typed
    // The tuning's options with a value, each as given: "--margin", "0.03".
    std::vector<std::pair<std::string, std::string>> tuneValues;
    int firstToken = 1;
    std::vector<const Option*> given;
    std::vector<const char*> givenAs; // each of given as typed
    const char* invalid = nullptr; // an option given without its value, or beside one it may not be
    const char* conflicting = nullptr; // the first option given without what it needs, or beside what it excludes
};

// The options a tuning takes beside --tune.
bool isTuneOption(OptionId id)
{
    switch (id) {
    case OptionId::pstates:
    case OptionId::seconds:
    case OptionId::margin:
    case OptionId::maxDrop:
    case OptionId::tctlLimit:
    case OptionId::resume:
    case OptionId::apply:
        return true;
    default:
        return false;
    }
}

// The first argument that is no option of pravellon, taken as it stands
// ("--name=value" of an option without a value too), ends the options.
LeadingOptions leadingOptions(int argc, const char* const* argv)
{
    LeadingOptions options;
    for (; options.firstToken < argc; ++options.firstToken) {
        const char* const argument = argv[options.firstToken];
        const TypedOption typed = findOption(kPravellon, argument);
        const Option* const option = typed.option;
        if (option == nullptr || (typed.hasValue && option->value == nullptr))
            break;
        if (option->value != nullptr && !typed.hasValue && ++options.firstToken == argc) {
            options.invalid = argument;
            return options;
        }
        options.given.push_back(option);
        options.givenAs.push_back(argument);
        // The value is the next argument, unless given after '='.
        const char* const value = option->value == nullptr ? nullptr
            : typed.hasValue                               ? argument + std::strlen(option->name) + 1
                                                           : argv[options.firstToken];
        if (option->id == OptionId::dryRun && options.dryRun == nullptr) {
            options.dryRun = argument;
        } else if (option->id == OptionId::json) {
            options.json = true;
        } else if (option->id == OptionId::restore) {
            options.restore = value;
        } else if (option->id == OptionId::now) {
            options.now = true;
        } else if (option->id == OptionId::every || option->id == OptionId::count) {
            const std::string typedText = typed.hasValue ? std::string(argument) : std::string(argument) + " " + value;
            (option->id == OptionId::every ? options.every : options.count) = OptionValue{value, typedText};
        } else if (option->id == OptionId::tune) {
            options.tune = true;
        } else if (option->id == OptionId::selfTest) {
            options.selfTest = true;
        }
        if (option->id == OptionId::seconds)
            options.seconds = value;
        if (isTuneOption(option->id) && value != nullptr)
            options.tuneValues.emplace_back(option->name, value);
    }
    const auto conflicting = std::find(options.given.begin(), options.given.end(), firstInConflict(options.given));
    if (conflicting != options.given.end())
        options.conflicting = options.givenAs[static_cast<std::size_t>(conflicting - options.given.begin())];
    return options;
}

// SECONDS of --every: a decimal number, no unit, from 0.1 up. A billion
// seconds (31 years) is as good as never, and larger numbers would overflow
// the clock that paces the samples.
std::optional<double> readSamplingSeconds(const std::string& text)
{
    constexpr char kNoUnit = '\0';
    constexpr double kShortest = 0.1;
    constexpr double kLongest = 1e9;
    const std::optional<double> seconds = readDecimalText(text, kNoUnit);
    if (!seconds || *seconds < kShortest || *seconds > kLongest)
        return std::nullopt;
    return seconds;
}

// What --now, --every and --count ask for; tokens beside them and values that
// are no numbers of theirs are named as invalid.
int sampleNow(const ProcessorProfile& profile, int argc, const char* const* argv, const LeadingOptions& options)
{
    if (options.firstToken < argc)
        return invalidParameter(argv[options.firstToken]);
    NowOptions now;
    now.json = options.json;
    if (options.every) {
        const std::optional<double> seconds = readSamplingSeconds(options.every->value);
        if (!seconds)
            return invalidParameter(options.every->typed.c_str());
        now.everySeconds = *seconds;
    }
    if (options.count) {
        const std::optional<std::int32_t> count = readIndexText(options.count->value);
        if (!count || *count < 1)
            return invalidParameter(options.count->typed.c_str());
        now.count = static_cast<std::uint64_t>(*count);
    }
    return runNow(profile, now);
}

// The tokens from the first on; a dry run plays them through with every write
// only planned, and says what would change. With JSON, what changed or would
// change is told as one object, after the last write: a run that fails on the
// way prints nothing on standard output.
int parseAndApply(const ProcessorProfile& profile, int argc, const char* const* argv, const LeadingOptions& options)
{
    ChangeSet changes;
    // parseArguments skips its argv[0], the program's name: here the argument
    // before the first token.
    const int first = options.firstToken;
    if (!parseArguments(profile, changes, argc - first + 1, argv + first - 1))
        return kStatusInvalidArgument;
    Warnings warnings;
    warnOrRefuseBeforeAnyAccess(profile, changes, warnings);
    // Typed by the user, unlike settings given back as they were saved.
    warnPastLimits(profile, changes, warnings);
    const bool dryRun = options.dryRun != nullptr;
    if (dryRun || options.json)
        recordWrites(dryRun ? Writes::planned : Writes::made);
    const std::vector<std::int32_t> switched = applyChanges(profile, changes, warnings);
    if (options.json)
        printJsonChanges(profile, dryRun, changes.targetPstate, switched, warnings);
    else if (dryRun)
        printPlannedChanges(profile, changes.targetPstate, switched);
    return kStatusOk;
}

// The settings saved in the file given back: the whole file read and
// checked first, so that a file that is wrong anywhere changes nothing.
int restoreAndSay(const ProcessorProfile& profile, const LeadingOptions& options)
{
    std::string text;
    std::string error;
    SavedSettings saved;
    try {
        if (!readWholeFile(options.restore, text, error))
            throw ExceptionWithMessage(error);
        saved = parseSavedSettings(profile, options.restore, text);
    } catch (const ExceptionWithMessage& e) {
        std::cerr << "ERROR: " << e.what() << std::endl;
        return kStatusInvalidArgument;
    }
    Warnings warnings;
    const bool dryRun = options.dryRun != nullptr;
    if (dryRun || options.json)
        recordWrites(dryRun ? Writes::planned : Writes::made);
    // Values past the processor's limits are given back without a warning:
    // the machine had them.
    const RestoredSwitch switched = restoreSettings(profile, saved, warnings);
    if (options.json)
        printJsonChanges(profile, dryRun, switched.target, switched.switched, warnings);
    else if (dryRun)
        printPlannedChanges(profile, switched.target, switched.switched);
    return kStatusOk;
}

// --tune with its options; tokens, and options of other runs, beside it are
// invalid. A resume goes on with the options of the run it resumes: a
// search option beside --resume would be silently different from the
// journal's, so it is refused.
int tuneAsAsked(const ProcessorProfile& profile, int argc, const char* const* argv, const LeadingOptions& options)
{
    if (options.firstToken < argc)
        return invalidParameter(argv[options.firstToken]);
    TuneRequest request;
    request.json = options.json;
    for (std::size_t i = 0; i < options.given.size(); ++i) {
        const OptionId id = options.given[i]->id;
        if (id == OptionId::resume)
            request.options.resume = true;
        else if (id == OptionId::apply)
            request.options.apply = true;
        else if (id != OptionId::tune && id != OptionId::json && !isTuneOption(id))
            return invalidParameter(options.givenAs[i]);
    }
    const bool zeroSeconds = loadTakesNoTime();
    for (const auto& [name, value] : options.tuneValues) {
        if (request.options.resume)
            return invalidParameter(name.c_str());
        const std::string refusal = setTuneOption(request.options, name, value, zeroSeconds);
        if (!refusal.empty()) {
            std::cerr << "ERROR: " << refusal << std::endl;
            return kStatusInvalidArgument;
        }
    }
    request.zeroSeconds = zeroSeconds;
    return runTune(profile, request);
}

int runWithArguments(const ProcessorProfile& profile, int argc, const char* const* argv)
{
    if (const Option* alone = standingAlone(argc, argv))
        return runAlone(profile, *alone, argc, argv);
    const LeadingOptions options = leadingOptions(argc, argv);
    if (options.invalid != nullptr)
        return invalidParameter(options.invalid);
    if (options.conflicting != nullptr)
        return invalidParameter(options.conflicting);
    if (options.tune)
        return tuneAsAsked(profile, argc, argv, options);
    // Given back whole, with nothing beside it to change or sample.
    if (options.restore != nullptr) {
        if (options.firstToken < argc)
            return invalidParameter(argv[options.firstToken]);
        return options.now ? invalidParameter("--now") : restoreAndSay(profile, options);
    }
    if (options.now)
        return sampleNow(profile, argc, argv, options);
    if (options.firstToken == argc) {
        if (options.dryRun != nullptr)
            return invalidParameter(options.dryRun);
        printJsonReport(profile);
        return kStatusOk;
    }
    // The change set lives inside parseAndApply, so it is gone before the
    // handler below writes anything.
    return parseAndApply(profile, argc, argv, options);
}

// --tune --self-test and what goes with it, before any processor is looked
// for: the self-test needs none. Anything after the options is invalid.
int runTuneOptions(int argc, const LeadingOptions& options, const char* const* argv)
{
    if (options.invalid != nullptr)
        return invalidParameter(options.invalid);
    if (options.conflicting != nullptr)
        return invalidParameter(options.conflicting);
    if (options.firstToken < argc)
        return invalidParameter(argv[options.firstToken]);
    for (int i = 1; i < argc; ++i) {
        const TypedOption typed = findOption(kPravellon, argv[i]);
        if (typed.option == nullptr)
            continue; // the value of --seconds
        const OptionId id = typed.option->id;
        if (id != OptionId::tune && id != OptionId::selfTest && id != OptionId::seconds)
            return invalidParameter(argv[i]);
    }
    return runSelfTest(options.seconds);
}

int probeAndRun(int argc, const char* const* argv)
{
    if (standingAlone(argc, argv) == nullptr) {
        const LeadingOptions options = leadingOptions(argc, argv);
        if (options.selfTest)
            return runTuneOptions(argc, options, argv);
    }
    ProcessorProfile profile;
    try {
        if (!probeProcessor(profile)) {
            // What --json and --tokens print is read by programs (jq, a
            // later run given the tokens back), which must find no text there.
            const Option* const alone = standingAlone(argc, argv);
            const bool forPrograms =
                (alone != nullptr && (alone->id == OptionId::tokens || alone->id == OptionId::save))
                || leadingOptions(argc, argv).json;
            (forPrograms ? std::cerr : std::cout) << kUnsupportedCpuMessage << std::endl;
            return kStatusUnsupported;
        }
        if (argc < 2) {
            printReport(profile);
            return kStatusOk;
        }
        return runWithArguments(profile, argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "ERROR: " << e.what() << std::endl;
        return kStatusRefused;
    }
}

} // namespace

bool mayWriteRegisters(int argc, const char* const* argv)
{
    if (standingAlone(argc, argv) != nullptr)
        return false;
    const LeadingOptions options = leadingOptions(argc, argv);
    return (options.firstToken < argc || options.restore != nullptr || options.tune) && options.dryRun == nullptr
        && !options.now;
}

int runPravellon(int argc, const char* const* argv)
{
    // The first register write holds the signals that would cut a change in
    // half; they are let through once the last line is out, and a signal that
    // came meanwhile ends the process here.
    const int status = probeAndRun(argc, argv);
    stopRecordingWrites();
    releaseSignals();
    return status;
}
