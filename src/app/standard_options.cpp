#include "app/standard_options.h"

#include <cstring>
#include <iostream>
#include <string>

#include "cli/token_forms.h"
#include "version.h"

std::string pravellonUsage()
{
    return "usage: pravellon [--json] [--dry-run | -n] [TOKEN ...]\n"
           "       pravellon --tokens\n"
           "       pravellon --help | --version\n"
           "\n"
           "Without tokens, prints a report of the processor. The tokens change it; all\n"
           "of them are read first, and one invalid token means nothing is written:\n"
        + tokenFormsUsage()
        + "\n"
          "  --dry-run, -n  write nothing; print what the tokens would change\n"
          "  --tokens       print the tokens that would set the current settings again\n"
          "  --json         the report, or what the tokens change or would change, as\n"
          "                 one JSON object\n"
          "\n"
          "Run as root. Try a command first with --dry-run, or on a copy of this\n"
          "machine with pravellon-capture and pravellon-sim --changes.\n"
          "The manual page: man 8 pravellon\n";
}

bool answerHelpOrVersion(int argc, const char* const* argv, const char* program, const char* usage)
{
    if (argc != 2)
        return false;
    const char* const argument = argv[1];
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
        std::cout << usage << std::flush;
        return true;
    }
    if (std::strcmp(argument, "--version") == 0) {
        std::cout << program << ' ' << kPravellonVersion << std::endl;
        return true;
    }
    return false;
}
