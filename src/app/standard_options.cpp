#include "app/standard_options.h"

#include <cstring>
#include <iostream>

#include "version.h"

const char* const kPravellonUsage =
    "usage: pravellon [TOKEN ...]\n"
    "       pravellon --help | --version\n"
    "\n"
    "Without tokens, prints a report of the processor. The tokens change it; all\n"
    "of them are read first, and one invalid token means nothing is written:\n"
    "  P<n>=<multiplier>@<voltage>     core P-state n (either part may be left out)\n"
    "  NB_P<n>=<multiplier>@<voltage>  northbridge P-state n\n"
    "  NB_low=<n>                      core P-states below n use NB_P0, the others NB_P1\n"
    "  Turbo=0|1                       core performance boost off or on\n"
    "  APM=0|1                         APM off or on (family 0x15)\n"
    "  P<n>                            switch to core P-state n\n"
    "\n"
    "Run as root. Try a command on a copy of this machine first, with\n"
    "pravellon-capture and pravellon-sim --changes.\n"
    "The manual page: man 8 pravellon\n";

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
