#pragma once
// Every option of pravellon and pravellon-sim, one row each: the parsers,
// --help and pravellon-sim's passing-on all read this table, so that a new
// option is one row here plus what it does.

#include <string>
#include <vector>

// The programs, as a set of bits.
enum Programs : unsigned {
    kPravellon = 1U << 0U,
    kSim = 1U << 1U,
};

enum class OptionId {
    dryRun,
    json,
    tokens,
    tune,
    selfTest,
    pstates,
    seconds,
    margin,
    maxDrop,
    tctlLimit,
    resume,
    apply,
    save,
    restore,
    now,
    every,
    count,
    machine,
    preset,
    trace,
    changes,
    printMachine,
    listPresets,
    help,
    version
};

struct Option {
    OptionId id;
    const char* name;      // "--trace"
    const char* shortName; // "-n", or nullptr
    // What it takes, as --help names it ("FILE"), or nullptr for nothing;
    // given as --name VALUE or --name=VALUE.
    const char* value;
    unsigned programs;       // which take it among their options
    unsigned soleIn;         // which answer it only as the only argument
    bool passedOn;           // pravellon-sim passes it on to pravellon, with its value
    bool standsAlone;        // anything beside it is invalid
    const char* requires;    // another option it needs beside it, or nullptr
    const char* excludes;    // another option it cannot stand beside, or nullptr
    unsigned describedIn;    // the programs whose --help gives it a line
    const char* help;        // that line; further lines after '\n'
};

const std::vector<Option>& options();

// An argument read as an option of a program: its row (nullptr for none),
// and the value after '=' in "--name=value".
struct TypedOption {
    const Option* option = nullptr;
    bool hasValue = false;
    std::string value;
};

// program's row for argument, by its name or short name, or by its name before
// '='. Among other arguments (sole false), only the rows the program takes
// among its options, and the short name of none it also answers alone: -h is
// help only as the only argument.
TypedOption findOption(unsigned program, const std::string& argument, bool sole = false);

// The first given option whose requirement is missing, or that stands beside
// an option it excludes; nullptr when none is.
const Option* firstInConflict(const std::vector<const Option*>& given);

// The same, with a message naming both; empty when none is.
std::string conflictAmong(const std::vector<const Option*>& given);

// --help of pravellon, and of pravellon-sim with its default preset named.
std::string pravellonUsage();
std::string simUsage(const std::string& defaultPreset);
