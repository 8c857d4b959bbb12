// pravellon-capture: prints a machine file of this machine's registers for
// pravellon-sim, so that a command can be tried on a copy of the processor
// before it touches the real one. It only reads.

#include <iostream>
#include <sstream>

#include "app/driver.h"
#include "capture.h"

namespace {

// Its own usage error, as pravellon-sim has.
constexpr int kStatusUsage = 1;

} // namespace

int main(int argc, char** /*argv*/)
{
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
