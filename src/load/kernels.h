#pragma once
// The work the load runs on every core: small computations whose every bit is
// fixed, so that a core that computes a different answer than it did at the
// reference settings, or than another core, is a core that is not stable. An
// unstable voltage shows first as a wrong answer under heavy work, long before
// a hang; each kernel keeps a different part of the core busy.

#include <cstddef>
#include <cstdint>
#include <vector>

// The kernels in the order the load cycles through them.
enum class Kernel { integerHash, floatingPoint, memoryWalk };
constexpr std::size_t kKernelCount = 3;

// The kernel's name as the self-test prints it: "integer hash".
const char* kernelName(Kernel kernel);

// The memory one thread's kernels work in; made once per thread, before its
// first iteration, and left as it was found by every iteration.
struct KernelMemory {
    std::vector<std::uint64_t> hashInput;  // the integer hash's buffer
    std::vector<double> matrixA, matrixB;  // the floating-point kernel's factors
    std::vector<double> matrixLeft;        // the left factor of each round, from matrixA
    std::vector<double> matrixProduct;     // and each round's product
    std::vector<std::uint64_t> walked;     // the memory walk's buffer, larger than the caches
};
KernelMemory makeKernelMemory();

// One iteration of kernel in memory (a few milliseconds): its answer.
std::uint64_t runKernel(Kernel kernel, KernelMemory& memory);
