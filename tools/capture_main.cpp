// pravellon-capture: prints a machine file of this machine's registers for
// pravellon-sim, so that a command can be tried on a copy of the processor
// before it touches the real one. It only reads.

#include <iostream>
#include <sstream>

#include "app/driver.h"
#include "app/standard_options.h"
#include "capture.h"

namespace {

// Its own usage error, as pravellon-sim has.
constexpr int kStatusUsage = 1;

const char* const kCaptureUsage =
    "usage: pravellon-capture > FILE\n"
    "       pravellon-capture --help | --version\n"
    "\n"
    "Writes every processor register that pravellon reads on this machine to\n"
    "standard output, as a machine file for pravellon-sim; it only reads.\n"
    "Run as root. The manual page: man 1 pravellon-capture\n";

} // namespace

int main(int argc, char** argv)
{
    if (answerHelpOrVersion(argc, argv, "pravellon-capture", kCaptureUsage))
        return kStatusOk;
    if (argc > 1) {
        std::cerr << "usage: pravellon-capture > FILE" << std::endl;
        return kStatusUsage;
    }
    // The whole file is gathered first: when a device fails half-way, err(3)
    // ends the process and no truncated machine file reaches standard output.
    std::ostringstream text;
    if (!captureMachine(text)) {
        std::cout << kUnsupportedCpuMessage << std::endl;
        return kStatusUnsupported;
    }
    std::cout << text.str() << std::flush;
    return kStatusOk;
}
