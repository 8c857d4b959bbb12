#pragma once
// The load the tuning runs at each step: every kernel cycled on every core at
// once, one thread pinned to each core, every answer checked against the
// answers the cores computed at the reference settings. The threads take no
// signals: the calling thread keeps them, samples the processor while the load
// runs and ends the step.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "load/kernels.h"

// Each kernel's answer, in the order of Kernel.
using LoadAnswers = std::array<std::uint64_t, kKernelCount>;

struct LoadOutcome {
    std::array<std::uint64_t, kKernelCount> iterations{}; // each kernel's, over every core
    std::int32_t wrongCore = -1;                          // the first core with a wrong answer, or -1
    Kernel wrongKernel = Kernel::integerHash;             // and the kernel it computed
};

// Each kernel's answer, computed once on every core at once. Throws
// ExceptionWithMessage when a core cannot be pinned ("cannot pin the load to
// CPU 3: ...") or when two cores computed different answers, as happens on a
// machine already unstable.
LoadAnswers referenceAnswers(const std::vector<std::int32_t>& cores);

// Runs the load on every core of cores for seconds, each iteration checked
// against reference. Meanwhile calls sample on this thread about ten times a
// second; sample returns false to end the step at once, as does the first
// wrong answer. Throws as referenceAnswers does when a core cannot be pinned.
LoadOutcome runLoad(const std::vector<std::int32_t>& cores, const LoadAnswers& reference, double seconds,
                    const std::function<bool()>& sample);

// runLoad in two halves, for a caller that waits and samples on its own:
// beginLoad starts the threads and returns once each is pinned (throws as
// referenceAnswers does when one cannot be); endLoad stops them, waits for
// them and says what ran. kernelsHalted: whether a wrong answer or haltKernels has
// stopped it already.
void beginLoad(const std::vector<std::int32_t>& cores, const LoadAnswers& reference);
LoadOutcome endLoad();
bool kernelsHalted() noexcept;

// Has every thread of the load stop after its current iteration; safe in a
// signal handler. A process that exits while a load runs stops and waits for
// its threads first.
void haltKernels() noexcept;
