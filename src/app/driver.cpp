#include "app/driver.h"

#include <cstring>
#include <exception>
#include <iostream>

#include "cli/apply_changes.h"
#include "cli/change_set.h"
#include "cli/parse_arguments.h"
#include "cpu/probe.h"
#include "hw/signal_hold.h"
#include "report/json_report.h"
#include "report/report.h"

namespace {

int parseAndApply(const ProcessorProfile& profile, int argc, const char* const* argv)
{
    ChangeSet changes;
    if (!parseArguments(profile, changes, argc, argv))
        return kStatusInvalidArgument;
    applyChanges(profile, changes);
    return kStatusOk;
}

int probeAndRun(int argc, const char* const* argv)
{
    ProcessorProfile profile;
    try {
        if (!probeProcessor(profile)) {
            std::cout << kUnsupportedCpuMessage << std::endl;
            return kStatusUnsupported;
        }
        if (argc < 2) {
            printReport(profile);
            return kStatusOk;
        }
        if (argc == 2 && std::strcmp(argv[1], "--json") == 0) {
            printJsonReport(profile);
            return kStatusOk;
        }
        // The change set lives inside parseAndApply, so it is gone before the
        // handler below writes anything.
        return parseAndApply(profile, argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "ERROR: " << e.what() << std::endl;
        return kStatusRefused;
    }
}

} // namespace

int runPravellon(int argc, const char* const* argv)
{
    // The first register write holds the signals that would cut a change in
    // half; they are let through once the last line is out, and a signal that
    // came meanwhile ends the process here.
    const int status = probeAndRun(argc, argv);
    releaseSignals();
    return status;
}
