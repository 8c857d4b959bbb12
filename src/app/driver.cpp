#include "app/driver.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/options.h"
#include "cli/apply_changes.h"
#include "cli/change_set.h"
#include "cli/dry_run.h"
#include "cli/json_changes.h"
#include "cli/limit_warnings.h"
#include "cli/parse_arguments.h"
#include "cli/settings_tokens.h"
#include "cpu/probe.h"
#include "hw/recorded_writes.h"
#include "hw/signal_hold.h"
#include "report/json_report.h"
#include "report/report.h"
#include "report/warnings.h"

namespace {

int invalidParameter(const char* argument)
{
    std::cerr << "ERROR: invalid parameter " << argument << std::endl;
    return kStatusInvalidArgument;
}

// The option that stands alone given anywhere, by its name as typed; nullptr
// for none.
const Option* standingAlone(int argc, const char* const* argv)
{
    for (const Option& option : options())
        if (option.standsAlone && (option.programs & kPravellon) != 0
            && std::any_of(argv + 1, argv + argc,
                           [&option](const char* argument) { return std::strcmp(argument, option.name) == 0; }))
            return &option;
    return nullptr;
}

// An option that stands alone: anything beside it is named as invalid, before
// any other option is looked at.
int runAlone(const ProcessorProfile& profile, const Option& option, int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], option.name) != 0)
            return invalidParameter(argv[i]);
    }
    if (option.id == OptionId::tokens)
        printSettingsAsTokens(profile);
    return kStatusOk;
}

// The options before the tokens, in any order, each as often as wished.
struct LeadingOptions {
    const char* dryRun = nullptr; // the first dry-run option, as typed
    bool json = false;
    int firstToken = 1;
    std::vector<const Option*> given;
    const char* invalid = nullptr; // an option given without its value, or beside one it may not be
    std::string conflict;
};

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
        if (option->id == OptionId::dryRun && options.dryRun == nullptr)
            options.dryRun = argument;
        else if (option->id == OptionId::json)
            options.json = true;
    }
    options.conflict = conflictAmong(options.given);
    return options;
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

int runWithArguments(const ProcessorProfile& profile, int argc, const char* const* argv)
{
    if (const Option* alone = standingAlone(argc, argv))
        return runAlone(profile, *alone, argc, argv);
    const LeadingOptions options = leadingOptions(argc, argv);
    if (options.invalid != nullptr)
        return invalidParameter(options.invalid);
    if (!options.conflict.empty()) {
        std::cerr << "ERROR: " << options.conflict << std::endl;
        return kStatusInvalidArgument;
    }
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

int probeAndRun(int argc, const char* const* argv)
{
    ProcessorProfile profile;
    try {
        if (!probeProcessor(profile)) {
            // What --json and --tokens print is read by programs (jq, a
            // later run given the tokens back), which must find no text there.
            const Option* const alone = standingAlone(argc, argv);
            const bool forPrograms =
                (alone != nullptr && alone->id == OptionId::tokens) || leadingOptions(argc, argv).json;
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
    return options.firstToken < argc && options.dryRun == nullptr;
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
