#include "app/driver.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <iostream>
#include <vector>

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

constexpr const char* kTokensOption = "--tokens";
constexpr const char* kJsonOption = "--json";

bool isDryRunOption(const char* argument)
{
    return std::strcmp(argument, "--dry-run") == 0 || std::strcmp(argument, "-n") == 0;
}

int invalidParameter(const char* argument)
{
    std::cerr << "ERROR: invalid parameter " << argument << std::endl;
    return kStatusInvalidArgument;
}

// --tokens stands alone: anything beside it is named as invalid, before any
// other option is looked at.
int printTokensAlone(const ProcessorProfile& profile, int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], kTokensOption) != 0)
            return invalidParameter(argv[i]);
    }
    printSettingsAsTokens(profile);
    return kStatusOk;
}

// The options before the tokens, in any order, each as often as wished.
struct LeadingOptions {
    const char* dryRun = nullptr; // the first dry-run option, as typed
    bool json = false;
    int firstToken = 1;
};

LeadingOptions leadingOptions(int argc, const char* const* argv)
{
    LeadingOptions options;
    for (; options.firstToken < argc; ++options.firstToken) {
        const char* const argument = argv[options.firstToken];
        if (isDryRunOption(argument)) {
            if (options.dryRun == nullptr)
                options.dryRun = argument;
        } else if (std::strcmp(argument, kJsonOption) == 0) {
            options.json = true;
        } else {
            break;
        }
    }
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

bool tokensAsked(int argc, const char* const* argv)
{
    return std::any_of(argv + 1, argv + argc,
                       [](const char* argument) { return std::strcmp(argument, kTokensOption) == 0; });
}

int runWithArguments(const ProcessorProfile& profile, int argc, const char* const* argv)
{
    if (tokensAsked(argc, argv))
        return printTokensAlone(profile, argc, argv);
    const LeadingOptions options = leadingOptions(argc, argv);
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
            const bool forPrograms = tokensAsked(argc, argv) || leadingOptions(argc, argv).json;
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
    if (tokensAsked(argc, argv))
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
