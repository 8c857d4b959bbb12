// The load of pravellon itself for the tuning: the kernels on the cores,
// started and stopped on either side of each step the tuning samples.

#include "hw/load.h"

#include <thread>

#include "hw/exception_with_message.h"
#include "load/load.h"

namespace {

struct Reference {
    LoadAnswers answers{};
    bool computed = false;
};

Reference& reference()
{
    static Reference answers;
    return answers;
}

} // namespace

void prepareLoad(const std::vector<std::int32_t>& cpus)
{
    reference().answers = referenceAnswers(cpus);
    reference().computed = true;
}

void startLoad(const std::vector<std::int32_t>& cpus)
{
    if (!reference().computed)
        throw ExceptionWithMessage("the load has no reference answers");
    beginLoad(cpus, reference().answers);
}

std::vector<std::int32_t> stopLoad()
{
    const LoadOutcome outcome = endLoad();
    return outcome.wrongCore >= 0 ? std::vector<std::int32_t>{outcome.wrongCore} : std::vector<std::int32_t>{};
}

void haltLoad() noexcept
{
    haltKernels();
}

bool loadHalted() noexcept
{
    return kernelsHalted();
}

void watchingPause(std::chrono::milliseconds pause)
{
    std::this_thread::sleep_for(pause);
}
