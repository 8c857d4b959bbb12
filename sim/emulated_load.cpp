// The load of pravellon-sim: what the emulated machine's stable lines say a
// core does at the voltage of the P-state it runs in. Below the line's first
// voltage the core computes a wrong answer; below its second the machine
// hangs, which here is the process killed by SIGKILL, as a reset would end
// it: nothing is saved, so the machine file keeps the values it had before
// the run. It is decided when the load starts, on the thread that tunes, so
// that the emulated machine is never read from two threads.

#include "hw/load.h"

#include <algorithm>
#include <cmath>
#include <csignal>

#include "cpu/probe.h"
#include "cpu/processor_profile.h"
#include "cpu/registers.h"
#include "cpu/vid.h"
#include "hw/bitfield.h"
#include "pstate/core_pstate.h"
#include "sim/emulated_devices.h"

namespace {

// The CPUs whose load computes wrongly since startLoad.
std::vector<std::int32_t>& wrongAnswers()
{
    static std::vector<std::int32_t> cpus;
    return cpus;
}

// Set by haltLoad, which a signal handler may call.
volatile std::sig_atomic_t halted = 0;

// The voltage, in microvolts, that a CPU (numbered as the program numbers it)
// runs at: that of the P-state its COFVID status names; false when the
// machine does not say, and then the load computes right.
bool microvoltsOf(const Machine& machine, const ProcessorProfile& profile, std::int32_t cpu, std::int32_t& pstate,
                  std::int64_t& microvolts)
{
    const std::vector<std::int32_t> cores = machineCpus(machine);
    if (cpu < 0 || static_cast<std::size_t>(cpu) >= cores.size())
        return false;
    const std::int32_t core = cores[static_cast<std::size_t>(cpu)];
    std::uint64_t status = 0;
    std::uint64_t value = 0;
    if (!msrOnCore(machine, core, kMsrCofvidStatus, status))
        return false;
    pstate = static_cast<std::int32_t>(bits::get(status, kCurrentPstate));
    if (!msrOnCore(machine, core, corePstateMsr(pstate), value))
        return false;
    const CorePstate decoded = decodeCorePstate(profile, pstate, value);
    constexpr double kMicrovoltsPerVolt = 1e6;
    microvolts = std::llround(vidToVoltage(profile, decoded.vid) * kMicrovoltsPerVolt);
    return true;
}

} // namespace

void prepareLoad(const std::vector<std::int32_t>& /*cpus*/)
{
    wrongAnswers().clear();
}

void startLoad(const std::vector<std::int32_t>& cpus)
{
    wrongAnswers().clear();
    halted = 0;
    emulation::setLoadRunning(true);
    const Machine& machine = emulation::attachedMachine();
    const auto signature = machine.cpuidLeaves.find(kCpuidFamilyModel);
    ProcessorProfile profile;
    if (machine.stability.empty() || signature == machine.cpuidLeaves.end()
        || !identifyProcessor(profile, signature->second.eax))
        return;
    for (const std::int32_t cpu : cpus) {
        std::int32_t pstate = 0;
        std::int64_t microvolts = 0;
        if (!microvoltsOf(machine, profile, cpu, pstate, microvolts))
            continue;
        const auto stability = machine.stability.find(pstate);
        if (stability == machine.stability.end())
            continue;
        if (microvolts < stability->second.hangsMicrovolts)
            (void)std::raise(SIGKILL);
        if (microvolts < stability->second.stableMicrovolts)
            wrongAnswers().push_back(cpu);
    }
    std::sort(wrongAnswers().begin(), wrongAnswers().end());
}

std::vector<std::int32_t> stopLoad()
{
    emulation::setLoadRunning(false);
    std::vector<std::int32_t> wrong;
    wrong.swap(wrongAnswers());
    return wrong;
}

void haltLoad() noexcept
{
    halted = 1;
}

// A wrong answer is known as the load starts, and ends the step as soon as
// the tuning looks.
bool loadHalted() noexcept
{
    return halted != 0 || !wrongAnswers().empty();
}

void watchingPause(std::chrono::milliseconds /*pause*/)
{
}
