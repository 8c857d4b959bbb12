// pravellon-capture: writes a machine file of this machine's registers for
// pravellon-sim, so that a command can be tried on a copy of the processor
// before it touches the real one. It only reads.

#include <cerrno>
#include <cstring>
#include <iostream>

#include "app/driver.h"
#include "app/output_check.h"
#include "app/standard_options.h"
#include "hw/ending_signals.h"
#include "tools/capture.h"

namespace {

const char* const kCaptureUsage =
    "usage: pravellon-capture [-o FILE]\n"
    "       pravellon-capture --help | --version\n"
    "\n"
    "Writes every processor register that pravellon reads on this machine as a\n"
    "machine file for pravellon-sim, to FILE or standard output; it only reads.\n"
    "Run as root. The manual page: man 1 pravellon-capture\n";

} // namespace

int main(int argc, char** argv)
{
    if (!checkOutputAtExit("pravellon-capture")) {
        std::cerr << "pravellon-capture: cannot handle signals: " << std::strerror(errno) << std::endl;
        return 1;
    }
    if (answerHelpOrVersion(argc, argv, "pravellon-capture", kCaptureUsage))
        return kStatusOk;
    // A signal while -o FILE is being written leaves no temporary file.
    if (!handleEndingSignals()) {
        std::cerr << "pravellon-capture: cannot handle signals: " << std::strerror(errno) << std::endl;
        return kStatusUsage;
    }
    return runCapture(argc, argv);
}
