#include "load/kernels.h"

#include <cmath>
#include <cstring>

namespace {

constexpr std::size_t kHashWords = std::size_t{1} << 13;  // 64 KiB: the level 1 and 2 caches
constexpr std::size_t kMatrixSide = 40;
constexpr std::size_t kWalkWords = std::size_t{1} << 20;  // 8 MiB: beyond the caches of these processors
constexpr std::size_t kWalkSteps = std::size_t{1} << 15;
// Each kernel's iteration about a millisecond on these processors: long
// enough to keep its units busy, short enough to stop a step at once.
constexpr int kHashPasses = 8;
constexpr int kMatrixRounds = 24;

// A fixed pseudo-random sequence (xorshift64): the same numbers on every core,
// every run.
std::uint64_t nextRandom(std::uint64_t& state)
{
    state ^= state << 13U;
    state ^= state >> 7U;
    state ^= state << 17U;
    return state;
}

std::uint64_t rotateLeft(std::uint64_t value, unsigned bits)
{
    return (value << bits) | (value >> (64U - bits));
}

// Multiplies, shifts and rotates, with branches that depend on the data so
// that the branch predictors are wrong about half the time.
std::uint64_t integerHash(const std::vector<std::uint64_t>& words)
{
    std::uint64_t hash = 0x6a09e667f3bcc908ULL;
    for (int pass = 0; pass < kHashPasses; ++pass) {
        for (const std::uint64_t word : words) {
            hash ^= word;
            hash *= 0x9e3779b97f4a7c15ULL;
            if ((hash & 1U) != 0)
                hash = rotateLeft(hash, 23) + word;
            else
                hash ^= hash >> 29U;
            if ((word & 6U) == 2U)
                hash -= word / ((word & 0xffU) | 1U);
        }
    }
    return hash;
}

// Products of fixed matrices in a fixed order of additions, each product's
// entries taken through a square root and a division into the next left
// factor. IEEE arithmetic without reassociation or fused operations gives the
// same bits on every core; the answer mixes the results' bit patterns.
std::uint64_t floatingPoint(KernelMemory& memory)
{
    const std::size_t n = kMatrixSide;
    std::vector<double>& left = memory.matrixLeft;
    left = memory.matrixA;
    std::uint64_t answer = 0;
    for (int round = 0; round < kMatrixRounds; ++round) {
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j) {
                double sum = 0.0;
                for (std::size_t k = 0; k < n; ++k)
                    sum += left[i * n + k] * memory.matrixB[k * n + j];
                memory.matrixProduct[i * n + j] = sum;
            }
        for (std::size_t i = 0; i < n * n; ++i) {
            const double value = memory.matrixProduct[i];
            // Between 0 and 2, so the next factor stays between -1 and 1.
            const double mixed = std::sqrt(std::fabs(value) + 1.0) / (value * value + 0.5);
            left[i] = mixed - 1.0;
            std::uint64_t bits = 0;
            std::memcpy(&bits, &mixed, sizeof bits);
            answer = rotateLeft(answer, 7) + bits;
        }
    }
    return answer;
}

// A pseudo-random walk over a buffer larger than the caches with a running
// checksum: each word visited is read and its bits inverted, then the same
// walk again reads the inverted words and inverts them back, so that the
// buffer is left as it was and every iteration has the same answer.
std::uint64_t memoryWalk(std::vector<std::uint64_t>& words)
{
    std::uint64_t checksum = 0;
    for (int pass = 0; pass < 2; ++pass) {
        std::uint64_t state = 0x243f6a8885a308d3ULL;
        for (std::size_t step = 0; step < kWalkSteps; ++step) {
            std::uint64_t& word = words[nextRandom(state) & (kWalkWords - 1)];
            checksum = rotateLeft(checksum, 5) ^ (word + step);
            word = ~word;
        }
    }
    return checksum;
}

} // namespace

const char* kernelName(Kernel kernel)
{
    switch (kernel) {
    case Kernel::integerHash:
        return "integer hash";
    case Kernel::floatingPoint:
        return "floating point";
    case Kernel::memoryWalk:
        return "memory walk";
    }
    return "?";
}

KernelMemory makeKernelMemory()
{
    KernelMemory memory;
    std::uint64_t state = 0xbb67ae8584caa73bULL;
    memory.hashInput.resize(kHashWords);
    for (std::uint64_t& word : memory.hashInput)
        word = nextRandom(state);
    // Entries between -1 and 1 with every bit of the mantissa in use.
    const auto entry = [&state] { return static_cast<double>(nextRandom(state) >> 11U) / 4503599627370496.0 - 1.0; };
    memory.matrixA.resize(kMatrixSide * kMatrixSide);
    memory.matrixB.resize(kMatrixSide * kMatrixSide);
    memory.matrixProduct.resize(kMatrixSide * kMatrixSide);
    memory.matrixLeft.resize(kMatrixSide * kMatrixSide);
    for (double& value : memory.matrixA)
        value = entry();
    for (double& value : memory.matrixB)
        value = entry();
    memory.walked.resize(kWalkWords);
    for (std::uint64_t& word : memory.walked)
        word = nextRandom(state);
    return memory;
}

std::uint64_t runKernel(Kernel kernel, KernelMemory& memory)
{
    switch (kernel) {
    case Kernel::integerHash:
        return integerHash(memory.hashInput);
    case Kernel::floatingPoint:
        return floatingPoint(memory);
    case Kernel::memoryWalk:
        return memoryWalk(memory.walked);
    }
    return 0;
}
