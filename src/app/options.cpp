#include "app/options.h"

#include <algorithm>
#include <cstddef>
#include <sstream>

#include "cli/token_forms.h"

namespace {

constexpr unsigned kBoth = kPravellon | kSim;


// The names of an option as --help lists them: "--machine FILE", "--dry-run, -n".
std::string namesText(const Option& option)
{
    std::string text = option.name;
    if (option.value != nullptr)
        text += std::string(" ") + option.value;
    if (option.shortName != nullptr)
        text += std::string(", ") + option.shortName;
    return text;
}

// "  NAMES  HELP", HELP's further lines indented to its column; NAMES as wide
// as the column leaves room, or alone on its line when wider.
std::string helpLines(const std::string& names, const std::string& help, std::size_t column)
{
    std::string text = "  " + names;
    text += names.size() + 2 < column ? std::string(column - names.size() - 2, ' ') : "\n" + std::string(column, ' ');
    for (const char c : help) {
        text += c;
        if (c == '\n')
            text += std::string(column, ' ');
    }
    return text + "\n";
}

// The lines of program's --help for each option it describes; with
// passedOnHelp, the options it passes on share one line saying so.
std::string optionLines(unsigned program, std::size_t column, const char* passedOnHelp = nullptr)
{
    std::string text;
    std::string passedOn;
    for (const Option& option : options()) {
        if (passedOnHelp != nullptr && option.passedOn && (option.programs & program) != 0)
            passedOn += (passedOn.empty() ? "" : ", ") + namesText(option);
        else if ((option.describedIn & program) != 0)
            text += helpLines(namesText(option), option.help, column);
    }
    if (!passedOn.empty())
        text += helpLines(passedOn, passedOnHelp, column);
    return text;
}

} // namespace

const std::vector<Option>& options()
{
    static const std::vector<Option> rows = {
        {OptionId::dryRun, "--dry-run", "-n", nullptr, kBoth, 0, true, false, nullptr, nullptr, kPravellon,
         "write nothing; print what the tokens would change"},
        {OptionId::tokens, "--tokens", nullptr, nullptr, kBoth, 0, true, true, nullptr, nullptr, kPravellon,
         "print the tokens that would set the current settings again"},
        {OptionId::save, "--save", nullptr, "FILE", kBoth, 0, true, true, nullptr, nullptr, kPravellon,
         "save every core's and node's settings into FILE (- for\nstandard output), to be given back with --restore"},
        {OptionId::restore, "--restore", nullptr, "FILE", kBoth, 0, true, false, nullptr, nullptr, kPravellon,
         "give back the settings saved in FILE, where they differ;\nrefused when FILE was saved on another processor"},
        {OptionId::json, "--json", nullptr, nullptr, kBoth, 0, true, false, nullptr, nullptr, kPravellon,
         "the report, or what the tokens change or would change, as\none JSON object"},
        {OptionId::now, "--now", nullptr, nullptr, kBoth, 0, true, false, nullptr, "--dry-run", kPravellon,
         "print what the processor is doing: the P-state each core\nruns in, each node's Tctl"},
        {OptionId::every, "--every", nullptr, "SECONDS", kBoth, 0, true, false, "--now", nullptr, kPravellon,
         "with --now, a sample every SECONDS (0.1 or more), one line\neach, until ended"},
        {OptionId::count, "--count", nullptr, "N", kBoth, 0, true, false, "--every", nullptr, kPravellon,
         "with --every, N samples and no more"},
        {OptionId::tune, "--tune", nullptr, nullptr, kBoth, 0, true, false, nullptr, nullptr, kPravellon,
         "find each P-state's lowest stable voltage, one step at a\ntime under load, journalled in the state directory; the\nsaved settings are given back at the end"},
        // The self-test would load the host's cores, not the emulated ones.
        {OptionId::selfTest, "--self-test", nullptr, nullptr, kPravellon, 0, false, false, "--tune", nullptr, kPravellon,
         "with --tune: run the tuning's load on every core at the\ncurrent settings, change nothing, and say whether every\nanswer agreed"},
        {OptionId::pstates, "--pstates", nullptr, "LIST", kBoth, 0, true, false, "--tune", nullptr, kPravellon,
         "with --tune: the P-states to tune, as 1-3,5 (default:\nevery enabled P-state that is not boosted)"},
        {OptionId::seconds, "--seconds", nullptr, "S", kBoth, 0, true, false, "--tune", nullptr, kPravellon,
         "with --tune: seconds of load per step (60; whole seconds),\nor of the self-test (10)"},
        {OptionId::margin, "--margin", nullptr, "V", kBoth, 0, true, false, "--tune", nullptr, kPravellon,
         "with --tune: volts added to the lowest stable voltage\n(0.025, rounded up to whole VID steps)"},
        {OptionId::maxDrop, "--max-drop", nullptr, "V", kBoth, 0, true, false, "--tune", nullptr, kPravellon,
         "with --tune: volts below the original never tested (0.2)"},
        {OptionId::tctlLimit, "--tctl-limit", nullptr, "C", kBoth, 0, true, false, "--tune", nullptr, kPravellon,
         "with --tune: Tctl that fails a step (80; 0 leaves Tctl\nunwatched)"},
        {OptionId::resume, "--resume", nullptr, nullptr, kBoth, 0, true, false, "--tune", nullptr, kPravellon,
         "with --tune: go on with the tuning the journal tells of,\nthe step it ended in counted as failed"},
        {OptionId::apply, "--apply", nullptr, nullptr, kBoth, 0, true, false, "--tune", nullptr, kPravellon,
         "with --tune: write the results at the end, instead of\ngiving the saved settings back"},
        {OptionId::machine, "--machine", nullptr, "FILE", kSim, 0, false, false, nullptr, "--preset", kSim,
         "the processor is the machine file FILE; the registers the\nrun wrote are saved into it when the run ends"},
        {OptionId::preset, "--preset", nullptr, "NAME", kSim, 0, false, false, nullptr, "--machine", kSim,
         "a built-in processor; nothing is saved (default: DEFAULT)"},
        {OptionId::trace, "--trace", nullptr, "FILE", kSim, 0, false, false, nullptr, nullptr, kSim,
         "append one line per emulated device operation to FILE"},
        {OptionId::changes, "--changes", nullptr, nullptr, kSim, 0, false, false, nullptr, nullptr, kSim,
         "when the run ends, list on standard error every register it\nchanged, old and new, decoded"},
        {OptionId::printMachine, "--print-machine", nullptr, nullptr, kSim, 0, false, false, nullptr, nullptr, kSim,
         "print the processor as a machine file, to start one's own"},
        {OptionId::listPresets, "--list-presets", nullptr, nullptr, kSim, 0, false, false, nullptr, nullptr, kSim,
         "list the built-in processors"},
        {OptionId::help, "--help", "-h", nullptr, kSim, kBoth, false, false, nullptr, nullptr, kSim, "this text"},
        {OptionId::version, "--version", nullptr, nullptr, 0, kBoth, false, false, nullptr, nullptr, kSim, "the version"},
    };
    return rows;
}

TypedOption findOption(unsigned program, const std::string& argument, bool sole)
{
    TypedOption typed;
    for (const Option& option : options()) {
        const unsigned taking = sole ? option.programs | option.soleIn : option.programs;
        if ((taking & program) == 0)
            continue;
        const bool shortTaken = option.shortName != nullptr && (sole || (option.soleIn & program) == 0);
        if (argument == option.name || (shortTaken && argument == option.shortName)) {
            typed.option = &option;
            return typed;
        }
        const std::size_t equals = argument.find('=');
        if (equals != std::string::npos && argument.compare(0, equals, option.name) == 0
            && option.name[equals] == '\0') {
            typed.option = &option;
            typed.hasValue = true;
            typed.value = argument.substr(equals + 1);
            return typed;
        }
    }
    return typed;
}

namespace {

bool isGiven(const std::vector<const Option*>& given, const char* name)
{
    return std::any_of(given.begin(), given.end(),
                       [name](const Option* option) { return std::string(option->name) == name; });
}

bool lacksRequirement(const std::vector<const Option*>& given, const Option& option)
{
    return option.requires != nullptr && !isGiven(given, option.requires);
}

} // namespace

const Option* firstInConflict(const std::vector<const Option*>& given)
{
    for (const Option* option : given) {
        if (lacksRequirement(given, *option) || (option->excludes != nullptr && isGiven(given, option->excludes)))
            return option;
    }
    return nullptr;
}

std::string conflictAmong(const std::vector<const Option*>& given)
{
    const Option* option = firstInConflict(given);
    if (option == nullptr)
        return std::string();
    if (lacksRequirement(given, *option))
        return std::string("option ") + option->name + " needs " + option->requires;
    return std::string("option ") + option->name + " cannot stand beside " + option->excludes;
}

std::string pravellonUsage()
{
    return "usage: pravellon [--json] [--dry-run | -n] [TOKEN ...]\n"
           "       pravellon [--json] [--dry-run | -n] --restore FILE\n"
           "       pravellon --tokens | --save FILE\n"
           "       pravellon [--json] --now [--every SECONDS [--count N]]\n"
           "       pravellon [--json] --tune [--pstates LIST] [--seconds S] [--margin V]\n"
           "                 [--max-drop V] [--tctl-limit C] [--apply]\n"
           "       pravellon [--json] --tune --resume [--apply]\n"
           "       pravellon --tune --self-test [--seconds S]\n"
           "       pravellon --help | --version\n"
           "\n"
           "Without tokens, prints a report of the processor. The tokens change it; all\n"
           "of them are read first, and one invalid token means nothing is written:\n"
        + tokenFormsUsage() + "\n" + optionLines(kPravellon, 17)
        + "\n"
          "Run as root. Try a command first with --dry-run, or on a copy of this\n"
          "machine with pravellon-capture and pravellon-sim --changes.\n"
          "The manual page: man 8 pravellon\n";
}

std::string simUsage(const std::string& defaultPreset)
{
    std::string lines = optionLines(kSim, 19, "pravellon's own options, passed on to it before the TOKENs");
    const std::string placeholder = "DEFAULT";
    lines.replace(lines.find(placeholder), placeholder.size(), defaultPreset);
    return "usage: pravellon-sim [--machine FILE | --preset NAME] [--trace FILE] [--changes] [--dry-run | -n]\n"
           "                     [--json] [--] [TOKEN...]\n"
           "       pravellon-sim [--machine FILE | --preset NAME] [--trace FILE] [--changes] [--dry-run | -n]\n"
           "                     [--json] --restore FILE\n"
           "       pravellon-sim [--machine FILE | --preset NAME] [--trace FILE] --tokens | --save FILE\n"
           "       pravellon-sim [--machine FILE | --preset NAME] [--trace FILE] [--json] --now\n"
           "                     [--every SECONDS [--count N]]\n"
           "       pravellon-sim [--machine FILE | --preset NAME] [--trace FILE] [--json] --tune\n"
           "                     [--pstates LIST] [--seconds S] [--margin V] [--max-drop V]\n"
           "                     [--tctl-limit C] [--resume] [--apply]\n"
           "       pravellon-sim [--machine FILE | --preset NAME] --print-machine\n"
           "       pravellon-sim --list-presets | --help | --version\n"
           "\n"
           "Runs pravellon with the TOKENs on an emulated processor.\n"
           "\n"
        + lines
        + "  --               ends the options, as does the first argument without --;\n"
          "                   every argument after it goes to pravellon as it stands\n"
          "The manual page: man 1 pravellon-sim\n";
}
