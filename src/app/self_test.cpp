#include "app/self_test.h"

#include <cstdint>
#include <exception>
#include <iostream>
#include <optional>
#include <string>

#include "app/driver.h"
#include "hw/cpu_list.h"
#include "load/load.h"
#include "load/pin_thread.h"
#include "tune/tune_options.h"

namespace {

// Long enough for every kernel to run many times on every core, short enough
// to try at once.
constexpr double kDefaultSeconds = 10.0;

} // namespace

int runSelfTest(const char* secondsText)
{
    double seconds = kDefaultSeconds;
    if (secondsText != nullptr) {
        const std::optional<double> read = readLoadSeconds(secondsText);
        if (!read || !(*read > 0.0)) {
            std::cerr << "ERROR: invalid parameter " << secondsText << std::endl;
            return kStatusInvalidArgument;
        }
        seconds = *read;
    }
    const std::vector<std::int32_t> cpus = allowedCpus();
    try {
        const LoadAnswers reference = referenceAnswers(cpus);
        std::cout << "Self-test: the load on CPUs " << cpuListText(cpus) << " for " << seconds
                  << " s at the current settings" << std::endl;
        const LoadOutcome outcome = runLoad(cpus, reference, seconds, [] { return true; });
        for (std::size_t k = 0; k < kKernelCount; ++k) {
            const std::string name = kernelName(static_cast<Kernel>(k));
            std::cout << "  " << name << std::string(16 - name.size(), ' ') << outcome.iterations[k]
                      << " iterations" << std::endl;
        }
        if (outcome.wrongCore >= 0) {
            std::cout << "FAILED: CPU " << outcome.wrongCore << " computed a wrong answer ("
                      << kernelName(outcome.wrongKernel) << ")" << std::endl;
            return kStatusLoadFailed;
        }
        std::cout << "All answers agreed." << std::endl;
        return kStatusOk;
    } catch (const std::exception& e) {
        std::cerr << "ERROR: " << e.what() << std::endl;
        return kStatusLoadFailed;
    }
}
