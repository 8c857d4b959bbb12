// An unsupported processor ends the run before the arguments are looked at;
// --help and --version are answered before the processor is.

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/standard_options.h"
#include "run_program.h"
#include "version.h"

namespace {

const char* const kRefused = "cpuid 0x80000000 0x8000001b 0x756e6547 0x6c65746e 0x49656e69\n";

TEST(Driver, UnsupportedProcessorIgnoresTheArguments)
{
    // What programs read (--json, --tokens) gets no text: the line goes to
    // standard error there.
    const struct {
        std::vector<std::string> args;
        bool onError;
    } cases[] = {{{}, false}, {{"P0=20@1.2"}, false}, {{"bogus"}, false}, {{""}, false},
                 {{"--json"}, true}, {{"-n", "--json", "P0=20"}, true}, {{"P0=20", "--tokens"}, true},
                 {{"P0=20", "--json"}, false}};
    for (const auto& c : cases) {
        const ProgramRun o = runProgram(kRefused, c.args);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(c.onError ? o.err : o.out, "ERROR: unsupported CPU\n") << c.args.size();
        EXPECT_EQ(c.onError ? o.out : o.err, "") << c.args.size();
        EXPECT_EQ(emulation::traceLines().size(), 3u) << "only the vendor was read";
    }
}

// The built programs on this machine, whatever its processor: none of these
// runs reaches a device.
TEST(Driver, HelpAndVersionAsTheOnlyArgumentComeFirst)
{
    const std::string version = kPravellonVersion;
    const struct {
        const char* program;
        const char* argument;
        std::string outStart; // all of it when it is one line
        const char* manual;
    } cases[] = {
        {PRAVELLON_PATH, "--help", "usage: pravellon [--json] [--dry-run | -n] [TOKEN ...]\n", "man 8 pravellon\n"},
        {PRAVELLON_PATH, "-h", "usage: pravellon [--json] [--dry-run | -n] [TOKEN ...]\n", "man 8 pravellon\n"},
        {PRAVELLON_PATH, "--version", "pravellon " + version + "\n", ""},
        {PRAVELLON_CAPTURE_PATH, "--help", "usage: pravellon-capture [-o FILE]\n", "man 1 pravellon-capture\n"},
        {PRAVELLON_CAPTURE_PATH, "-h", "usage: pravellon-capture [-o FILE]\n", "man 1 pravellon-capture\n"},
        {PRAVELLON_CAPTURE_PATH, "--version", "pravellon-capture " + version + "\n", ""},
        {PRAVELLON_SIM_PATH, "-h", "usage: pravellon-sim [--machine FILE", "man 1 pravellon-sim\n"},
        {PRAVELLON_SIM_PATH, "--version", "pravellon-sim " + version + "\n", ""},
    };
    for (const auto& c : cases) {
        const ProgramRun run = runBuilt(c.program, c.argument);
        const std::string what = std::string(c.program) + " " + c.argument;
        EXPECT_EQ(run.status, 0) << what;
        EXPECT_EQ(run.err, "") << what;
        EXPECT_EQ(run.out.compare(0, c.outStart.size(), c.outStart), 0) << what << "\n" << run.out;
        if (*c.manual == '\0')
            EXPECT_EQ(run.out, c.outStart) << what;
        else
            EXPECT_NE(run.out.find(c.manual), std::string::npos) << what << "\n" << run.out;

        // An answer that could not be written is no success.
        const ProgramRun full = runBuilt("/bin/sh", std::string("-c 'exec \"$0\" \"$1\" >/dev/full' ") + c.program + " "
                                                        + c.argument);
        const std::string name = std::string(c.program).substr(std::string(c.program).rfind('/') + 1);
        EXPECT_EQ(full.status, 1) << what;
        EXPECT_EQ(full.err, name + ": cannot write standard output: No space left on device\n") << what;
    }

    // Anywhere else, or spelled otherwise, they are left to the program.
    const std::vector<std::vector<const char*>> others = {
        {"pravellon", "--help", "P0"}, {"pravellon", "P0", "--version"}, {"pravellon", "-h", "-h"},
        {"pravellon", "--HELP"},       {"pravellon", "-help"},           {"pravellon", "--version=1"},
        {"pravellon", "-v"},           {"pravellon", "--"},              {"pravellon"},
    };
    for (const auto& argv : others) {
        std::ostringstream out;
        std::streambuf* const saved = std::cout.rdbuf(out.rdbuf());
        const bool answered = answerHelpOrVersion(static_cast<int>(argv.size()), argv.data(), "pravellon", "usage");
        std::cout.rdbuf(saved);
        EXPECT_FALSE(answered) << argv.size() << " arguments, the last " << argv.back();
        EXPECT_EQ(out.str(), "");
    }
}

// The flags of a manual page's SYNOPSIS: "Fl -json" is --json, "Fl n | -dry-run"
// is -n and --dry-run.
std::set<std::string> synopsisFlags(const std::string& page)
{
    // The manual pages beside the tests' folder. __FILE__ would not do: a package
    // build maps it to a path relative to the source folder, which the test,
    // run from the build folder, cannot open.
    const std::string script = JSON_AS_TEXT_PATH;
    const std::string root = script.substr(0, script.rfind("tests/"));
    std::ifstream file(root + "man/" + page);
    EXPECT_TRUE(file.is_open()) << root + "man/" + page;
    std::set<std::string> flags;
    bool inSynopsis = false;
    for (std::string line; std::getline(file, line);) {
        if (line.compare(0, 4, ".Sh ") == 0)
            inSynopsis = line == ".Sh SYNOPSIS";
        if (!inSynopsis)
            continue;
        std::istringstream words(line);
        bool flag = false;
        for (std::string word; words >> word;) {
            if (word[0] == '.')
                word.erase(0, 1);
            if (word == "Fl")
                flag = true;
            else if (std::isupper(static_cast<unsigned char>(word[0])) && word.size() <= 3)
                flag = false;
            else if (flag && word != "|")
                flags.insert("-" + word);
        }
    }
    return flags;
}

// A new option is a row of the table; it must also be told of where users look.
TEST(Driver, EveryOptionIsInItsHelpAndManualPage)
{
    const struct {
        unsigned program;
        std::string help;
        const char* page;
    } programs[] = {{kPravellon, pravellonUsage(), "pravellon.8.in"}, {kSim, simUsage("family10"), "pravellon-sim.1"}};
    for (const auto& p : programs) {
        const std::set<std::string> flags = synopsisFlags(p.page);
        EXPECT_GT(flags.size(), 3u) << p.page;
        for (const Option& option : options()) {
            if (((option.programs | option.soleIn) & p.program) == 0)
                continue;
            EXPECT_NE(p.help.find(option.name), std::string::npos) << option.name << " in --help of " << p.page;
            EXPECT_EQ(flags.count(option.name), 1u) << option.name << " in " << p.page;
            if (option.shortName != nullptr) {
                EXPECT_EQ(flags.count(option.shortName), 1u) << option.shortName << " in " << p.page;
            }
        }
    }
}

// What an option needs beside it, and what it cannot stand beside.
TEST(Driver, OptionRequirementsAndExclusions)
{
    const Option every{OptionId::json, "--every", nullptr, "SECONDS", kPravellon, 0, true, false, "--now", nullptr, 0, ""};
    const Option now{OptionId::json, "--now", nullptr, nullptr, kPravellon, 0, true, false, nullptr, "--tokens", 0, ""};
    const Option tokens{OptionId::tokens, "--tokens", nullptr, nullptr, kPravellon, 0, true, true, nullptr, nullptr, 0, ""};
    const struct {
        std::vector<const Option*> given;
        std::string conflict;
    } cases[] = {
        {{&every}, "option --every needs --now"},
        {{&now, &every}, ""},
        {{&now, &tokens}, "option --now cannot stand beside --tokens"},
        {{&tokens, &now}, "option --now cannot stand beside --tokens"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(conflictAmong(c.given), c.conflict) << c.given.size();
}

} // namespace
