// pravellon-capture: writes a machine file of this machine's registers for
// pravellon-sim, so that a command can be tried on a copy of the processor
// before it touches the real one. It only reads.

#include <cerrno>
#include <cstring>
#include <iostream>

#include "capture.h"
#include "sim/ending_signals.h"

int main(int argc, char** argv)
{
    // A signal while -o FILE is being written leaves no temporary file.
    if (!handleEndingSignals()) {
        std::cerr << "pravellon-capture: cannot handle signals: " << std::strerror(errno) << std::endl;
        return 1;
    }
    return runCapture(argc, argv);
}
