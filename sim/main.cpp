// pravellon-sim: the program on an emulated processor. Options choose the
// processor and a trace; everything after them goes to the program exactly as
// pravellon would receive it.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/driver.h"
#include "app/options.h"
#include "app/output_check.h"
#include "app/standard_options.h"
#include "hw/cpu_list.h"
#include "hw/signal_hold.h"
#include "hw/ending_signals.h"
#include "machine/parser.h"
#include "hw/text_file.h"
#include "machine/tokenizer.h"
#include "machine/writer.h"
#include "sim/emulated_devices.h"
#include "sim/presets.h"
#include "sim/register_changes.h"

namespace {

struct Options {
    std::string machineFile;
    std::string presetName;
    std::string traceFile;
    // The files of the options passed on that name one (--save, --restore),
    // as given.
    std::vector<std::pair<const char*, std::string>> programFiles;
    bool listPresets = false;
    bool printMachine = false;
    bool tune = false; // --tune passed on
    bool changes = false;
    bool help = false;
    int firstToken = 0; // index in argv of the first token for the program
    // The program's own options, found among the emulator's; they go to the
    // program before the tokens.
    std::vector<const char*> programOptions;
};

// The text of --help and -h.
std::string usage()
{
    return simUsage(defaultPreset().name);
}

int usageError(const std::string& message)
{
    std::cerr << "pravellon-sim: " << message << std::endl;
    return kStatusUsage;
}

// An option of pravellon's, passed on to it with its value as typed: argv[i],
// and the next argument where the value is not after '='. Returns 0, or the
// exit status after reporting an error.
int passOn(const TypedOption& typed, int argc, char** argv, int& i, Options& options)
{
    options.programOptions.push_back(argv[i]);
    options.tune = options.tune || typed.option->id == OptionId::tune;
    if (typed.option->value != nullptr && (typed.hasValue || i + 1 < argc))
        options.programFiles.emplace_back(typed.option->name, typed.hasValue ? typed.value : argv[i + 1]);
    if (typed.option->value == nullptr || typed.hasValue) {
        if (typed.hasValue && typed.value.empty())
            return usageError(std::string("option ") + typed.option->name + " needs a value");
        return 0;
    }
    if (i + 1 >= argc || argv[i + 1][0] == '\0')
        return usageError(std::string("option ") + typed.option->name + " needs a value");
    options.programOptions.push_back(argv[++i]);
    return 0;
}

// What one of the emulator's own options does; returns 0, or the exit status
// after reporting an error.
int takeOption(const Option& option, const std::string& argument, const std::string& value, Options& options)
{
    switch (option.id) {
    case OptionId::machine:
    case OptionId::preset:
        if (!options.machineFile.empty() || !options.presetName.empty())
            return usageError("option " + printable(argument) + ": only one of --machine and --preset, once");
        (option.id == OptionId::machine ? options.machineFile : options.presetName) = value;
        return 0;
    case OptionId::trace:
        if (!options.traceFile.empty())
            return usageError("option --trace given twice");
        options.traceFile = value;
        return 0;
    case OptionId::listPresets:
        options.listPresets = true;
        return 0;
    case OptionId::printMachine:
        options.printMachine = true;
        return 0;
    case OptionId::changes:
        options.changes = true;
        return 0;
    case OptionId::help:
        options.help = true;
        return 0;
    default:
        return usageError("unknown option " + printable(argument) + " (see --help)");
    }
}

// Parses the options; returns 0, or the exit status after reporting an error.
int parseOptions(int argc, char** argv, Options& options)
{
    std::vector<const Option*> given;
    int i = 1;
    for (; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--") {
            ++i;
            break;
        }
        const TypedOption passed = findOption(kSim, argument);
        if (passed.option != nullptr && passed.option->passedOn && (!passed.hasValue || passed.option->value != nullptr)) {
            // What the program's own options need beside them is the
            // program's to refuse, in its words and with its status.
            if (const int status = passOn(passed, argc, argv, i, options))
                return status;
            continue;
        }
        if (argument.compare(0, 2, "--") != 0)
            break;

        std::string value;
        bool hasValue = false;
        const std::size_t equals = argument.find('=');
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument = argument.substr(0, equals);
            hasValue = true;
        }
        const Option* const option = findOption(kSim, argument).option;
        const bool takesValue = option != nullptr && option->value != nullptr;
        if (takesValue && !hasValue) {
            if (i + 1 >= argc)
                return usageError("option " + printable(argument) + " needs a value");
            value = argv[++i];
        } else if (!takesValue && hasValue) {
            return usageError("option " + printable(argument) + " takes no value");
        }
        if (takesValue && value.empty())
            return usageError("option " + printable(argument) + " needs a value");
        if (option == nullptr)
            return usageError("unknown option " + printable(argument) + " (see --help)");
        given.push_back(option);

        if (const int status = takeOption(*option, argument, value, options))
            return status;
    }
    options.firstToken = i;
    const std::string conflict = conflictAmong(given);
    return conflict.empty() ? 0 : usageError(conflict);
}

// The number (from 1) of the machine's first offline line.
std::size_t offlineLine(const Machine& machine)
{
    for (std::size_t i = 0; i < machine.lines.size(); ++i) {
        std::istringstream words(machine.lines[i]);
        std::string first;
        if (words >> first && first == "offline")
            return i + 1;
    }
    return 0;
}

// The chosen processor; returns 0, or the exit status after reporting an
// error. A machine file stays locked until the process ends, and status is
// then the file's.
int loadMachine(const Options& options, Machine& machine, struct stat& status)
{
    if (!options.machineFile.empty()) {
        const std::string& path = options.machineFile;
        std::string text;
        std::string error;
        const auto waiting = [&path] {
            std::cerr << "pravellon-sim: waiting for " << printable(path) << " (another run holds it)" << std::endl;
        };
        if (!lockAndReadFile(path, text, status, error, waiting))
            return usageError(error);
        std::size_t line = 0;
        if (!parseMachine(text, machine, error, line))
            return usageError(printable(path) + ":" + std::to_string(line) + ": " + error);
        if (!machine.offline.empty())
            return usageError(printable(path) + ":" + std::to_string(offlineLine(machine))
                              + ": 'offline' is for the tests of the Linux device code; pravellon-sim runs the"
                                " FreeBSD device code, and FreeBSD has no offline CPUs");
        return 0;
    }
    const Preset* preset = options.presetName.empty() ? &defaultPreset() : findPreset(options.presetName);
    if (preset == nullptr)
        return usageError("option --preset: no preset " + printable(options.presetName) + " (see --list-presets)");
    std::string error;
    if (!parseMachine(preset->machineText, machine, error))
        return usageError("preset " + preset->name + ": " + error); // a fault of this program
    return 0;
}

void listPresets()
{
    std::size_t width = 0;
    for (const Preset& preset : presets())
        width = std::max(width, preset.name.size());
    for (const Preset& preset : presets())
        std::cout << preset.name << std::string(width - preset.name.size() + 2, ' ') << preset.description
                  << std::endl;
}

// The trace file is opened before the program runs: a trace that silently
// stays empty would mislead. Appended to the machine file, it would make that
// unreadable.
bool isMachineFile(const std::string& path, const std::string& machineFile, const struct stat& machineStatus)
{
    struct stat status {};
    return !machineFile.empty() && stat(path.c_str(), &status) == 0 && status.st_dev == machineStatus.st_dev
        && status.st_ino == machineStatus.st_ino;
}

int openTraceFile(const std::string& path, const std::string& machineFile, const struct stat& machineStatus)
{
    if (isMachineFile(path, machineFile, machineStatus))
        return usageError("option --trace: " + printable(path) + " is the machine file");
    std::string error;
    if (!emulation::openTraceFile(path, error))
        return usageError(error);
    return 0;
}

// The processor as it was before the run, for --changes. Never freed: it is
// read by the exit handler, after main has returned.
const Machine* changesBaseline = nullptr;

std::string changesListing()
{
    std::string text;
    for (const std::string& line : describeRegisterChanges(*changesBaseline, emulation::attachedMachine()))
        text += line + "\n";
    return text.empty() ? "no register changed\n" : text;
}

// Why the listing could not be written, or 0.
int changesError = 0;

void printRegisterChanges()
{
    // Printed once: a signal from now on only ends the process.
    const sigset_t previous = holdEndingSignals();
    setTextOnSignal(std::string());
    // The listing is what the user asked for: lost, it fails the run as lost
    // standard output does.
    std::cerr.clear();
    errno = 0;
    std::cerr << changesListing() << std::flush;
    if (!std::cerr)
        changesError = errno != 0 ? errno : EIO;
    releaseEndingSignals(previous);
}

// What the run owes at exit and could not write: the trace, then the listing.
std::string outputFailure()
{
    std::string failure = emulation::traceFailure();
    if (failure.empty() && changesError != 0)
        failure = std::string("cannot write the --changes listing: ") + std::strerror(changesError);
    return failure;
}

// The machine file, saved once when the run ends, however it ends: by a
// return from main, by exit(3) inside err(3), or by a signal held during the
// change, which is let through only after this. A save that fails leaves the
// file as it was and makes the status 1.
void saveMachineAtExit()
{
    std::string error;
    if (!emulation::saveAttachedMachine(error)) {
        std::cerr << "pravellon-sim: " << error << std::endl;
        failAtExit();
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Whatever follows, output that could not be written ends the run with
    // status 1, the trace's included.
    if (!checkOutputAtExit("pravellon-sim", outputFailure))
        return usageError(std::string("cannot handle signals: ") + std::strerror(errno));
    // -h and --version as the only argument, as pravellon and
    // pravellon-capture answer them.
    if (answerHelpOrVersion(argc, argv, "pravellon-sim", usage().c_str()))
        return 0;
    Options options;
    if (const int status = parseOptions(argc, argv, options))
        return status;
    if (options.help) {
        std::cout << usage() << std::flush;
        return 0;
    }
    const bool programArguments = options.firstToken < argc || !options.programOptions.empty();
    if ((options.listPresets || options.printMachine) && programArguments)
        return usageError(std::string(options.listPresets ? "--list-presets" : "--print-machine")
                          + " takes no tokens");
    if (options.listPresets) {
        listPresets();
        return 0;
    }

    // From here on a signal never leaves a temporary file behind.
    if (!handleEndingSignals())
        return usageError(std::string("cannot handle signals: ") + std::strerror(errno));
    Machine machine;
    struct stat machineStatus {};
    if (const int status = loadMachine(options, machine, machineStatus))
        return status;
    if (options.printMachine) {
        for (const std::string& line : machineLines(machine))
            std::cout << line << std::endl;
        return 0;
    }
    // The FreeBSD device code sees the CPUs numbered without gaps; the
    // program's lines name them so.
    if (!cpusWithoutGaps(machine.cpus))
        std::cerr << "pravellon-sim: CPUs " << cpuListText(machine.cpus) << " of the machine file are CPUs 0-"
                  << machine.cpus.size() - 1 << " here" << std::endl;
    // argv[0] stays, so that err(3) names this program as it was invoked.
    std::vector<const char*> programArgv;
    programArgv.push_back(argv[0]);
    programArgv.insert(programArgv.end(), options.programOptions.begin(), options.programOptions.end());
    for (int i = options.firstToken; i < argc; ++i)
        programArgv.push_back(argv[i]);
    const int programArgc = static_cast<int>(programArgv.size());
    programArgv.push_back(nullptr);

    // Which refusals apply is decided here, from the options, before anything
    // runs: a run that may write, and so save the machine file when it ends,
    // is not started on a file it could not save (a hard link that a rename
    // would break, a file without write permission), rather than found out
    // after its writes. A report, a dry run or --tokens saves nothing.
    if (!options.machineFile.empty() && mayWriteRegisters(programArgc, programArgv.data())) {
        std::string error;
        if (!mayReplaceFile(options.machineFile, error))
            return usageError(error);
    }
    // Settings saved over the machine file would destroy it; given back
    // from it, they would be refused as no settings at all.
    // A tuning of an emulated machine keeps its journal where the test or the
    // user says, never in the boot script's own state directory, where the
    // real machine's would be overwritten.
    const char* const stateDirectory = std::getenv("PRAVELLON_STATE_DIR");
    if (options.tune && (stateDirectory == nullptr || *stateDirectory == '\0'))
        return usageError("option --tune: set PRAVELLON_STATE_DIR to the folder for the tuning's journal");
    for (const auto& [name, path] : options.programFiles)
        if (isMachineFile(path, options.machineFile, machineStatus))
            return usageError(std::string("option ") + name + ": " + printable(path) + " is the machine file");
    if (!options.traceFile.empty())
        if (const int status = openTraceFile(options.traceFile, options.machineFile, machineStatus))
            return status;
    emulation::attachMachine(machine, options.machineFile);
    // The signals the program holds from its first write stay held until
    // this program's own last step: a save or a listing cut short would
    // misreport the run. Called first, so that the release comes after the
    // exit handlers below.
    keepSignalsHeldUntilExit();
    // Exit handlers, since the run may also end inside err(3), which calls
    // exit; they run after the program's last line, the save first, then the
    // listing. Every write holds the signals until then, so a signal that
    // comes before them finds the registers as they were: its listing is
    // prepared once, now.
    if (options.changes) {
        changesBaseline = new Machine(machine);
        setTextOnSignal(changesListing());
        if (std::atexit(printRegisterChanges) != 0)
            return usageError("option --changes: cannot register the listing at exit");
    }
    if (!options.machineFile.empty() && std::atexit(saveMachineAtExit) != 0)
        return usageError("option --machine: cannot register the save at exit");

    return runPravellon(programArgc, programArgv.data());
}
