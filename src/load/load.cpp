#include "load/load.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>

#include "hw/exception_with_message.h"
#include "load/pin_thread.h"

namespace {

// Lock-free, so that haltKernels may set it from a signal handler.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// The first core that computed a wrong answer (-1 for none), and its kernel.
struct Failure {
    std::atomic<std::int32_t> core{-1};
    std::atomic<int> kernel{0};
};

// What each thread hands back when it ends.
struct ThreadResult {
    std::atomic<bool> pinTried{false};
    std::string pinError; // set before pinTried
    std::array<std::uint64_t, kKernelCount> iterations{};
    LoadAnswers firstAnswers{};
};

// The threads of the load that runs; exit() joins them before the objects
// they use are destroyed.
std::mutex runningLock;
std::vector<std::thread>* runningThreads = nullptr;

void joinRunning() noexcept
{
    haltKernels();
    const std::lock_guard<std::mutex> hold(runningLock);
    if (runningThreads != nullptr)
        for (std::thread& thread : *runningThreads)
            if (thread.joinable())
                thread.join();
    // A later call (there are two at exit) must not reach threads destroyed
    // meanwhile.
    runningThreads = nullptr;
}

// The body of one core's thread: pinned first, then each kernel in turn, once
// each (reference is nullptr) or until stopped, every answer compared.
void loadCore(std::int32_t core, const LoadAnswers* reference, Failure& failure, ThreadResult& result)
{
    result.pinError = pinThisThread(core);
    result.pinTried.store(true);
    if (!result.pinError.empty()) {
        stopRequested.store(true); // the load refuses: the others end too
        return;
    }
    KernelMemory memory = makeKernelMemory();
    for (std::uint64_t round = 0;; ++round) {
        for (std::size_t k = 0; k < kKernelCount; ++k) {
            if (reference != nullptr && stopRequested.load())
                return;
            const auto kernel = static_cast<Kernel>(k);
            const std::uint64_t answer = runKernel(kernel, memory);
            ++result.iterations[k];
            if (reference == nullptr) {
                result.firstAnswers[k] = answer;
                continue;
            }
            if (answer != (*reference)[k]) {
                std::int32_t none = -1;
                if (failure.core.compare_exchange_strong(none, core))
                    failure.kernel.store(static_cast<int>(k));
                stopRequested.store(true);
                return;
            }
        }
        if (reference == nullptr)
            return;
    }
}

// Starts one pinned thread per core with every signal blocked, as the threads
// inherit the mask: the calling thread alone takes them.
void startThreads(std::vector<std::thread>& threads, const std::vector<std::int32_t>& cores,
                  const LoadAnswers* reference, Failure& failure, std::vector<ThreadResult>& results)
{
    static std::once_flag joinAtExit;
    std::call_once(joinAtExit, [] { (void)std::atexit(joinRunning); });
    sigset_t all;
    sigset_t previous;
    (void)sigfillset(&all);
    (void)pthread_sigmask(SIG_BLOCK, &all, &previous);
    stopRequested.store(false);
    {
        const std::lock_guard<std::mutex> hold(runningLock);
        runningThreads = &threads;
        for (std::size_t i = 0; i < cores.size(); ++i)
            threads.emplace_back(loadCore, cores[i], reference, std::ref(failure), std::ref(results[i]));
    }
    (void)pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void joinThreads(std::vector<std::thread>& threads)
{
    haltKernels();
    const std::lock_guard<std::mutex> hold(runningLock);
    for (std::thread& thread : threads)
        if (thread.joinable())
            thread.join();
    runningThreads = nullptr;
}

void refuseUnpinned(const std::vector<std::int32_t>& cores, const std::vector<ThreadResult>& results)
{
    for (std::size_t i = 0; i < cores.size(); ++i)
        if (!results[i].pinError.empty())
            throw ExceptionWithMessage("cannot pin the load to CPU " + std::to_string(cores[i]) + ": "
                                       + results[i].pinError);
}

} // namespace

LoadAnswers referenceAnswers(const std::vector<std::int32_t>& cores)
{
    if (cores.empty())
        throw ExceptionWithMessage("no CPU to run the load on");
    std::vector<std::thread> threads;
    std::vector<ThreadResult> results(cores.size());
    Failure failure;
    startThreads(threads, cores, nullptr, failure, results);
    joinThreads(threads);
    refuseUnpinned(cores, results);
    for (std::size_t i = 1; i < cores.size(); ++i)
        for (std::size_t k = 0; k < kKernelCount; ++k)
            if (results[i].firstAnswers[k] != results[0].firstAnswers[k])
                throw ExceptionWithMessage("CPU " + std::to_string(cores[i]) + " and CPU " + std::to_string(cores[0])
                                           + " computed different answers (" + kernelName(static_cast<Kernel>(k))
                                           + ") at the current settings: the machine is not stable as it is");
    return results[0].firstAnswers;
}

namespace {

// The load begun and not yet ended; one at a time, on one thread.
struct BegunLoad {
    LoadAnswers reference{};
    std::vector<std::int32_t> cores;
    std::vector<std::thread> threads;
    std::vector<ThreadResult> results;
    Failure failure;
};

BegunLoad& begunLoad()
{
    static BegunLoad load;
    // Registered after load exists, so that at exit its threads are joined
    // before it is destroyed (a joinable thread destroyed ends the process).
    static const bool joinedAtExit = std::atexit(joinRunning) == 0;
    (void)joinedAtExit;
    return load;
}

} // namespace

void beginLoad(const std::vector<std::int32_t>& cores, const LoadAnswers& reference)
{
    BegunLoad& load = begunLoad();
    load.reference = reference;
    load.cores = cores;
    load.threads.clear();
    load.results = std::vector<ThreadResult>(cores.size());
    load.failure.core.store(-1);
    startThreads(load.threads, load.cores, &load.reference, load.failure, load.results);
    // Every thread pinned before the load counts: one that cannot be refuses
    // now.
    for (const ThreadResult& result : load.results)
        while (!result.pinTried.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (const ThreadResult& result : load.results)
        if (!result.pinError.empty()) {
            joinThreads(load.threads);
            refuseUnpinned(load.cores, load.results);
        }
}

bool kernelsHalted() noexcept
{
    return stopRequested.load();
}

LoadOutcome endLoad()
{
    BegunLoad& load = begunLoad();
    joinThreads(load.threads);
    load.threads.clear();
    LoadOutcome outcome;
    for (const ThreadResult& result : load.results)
        for (std::size_t k = 0; k < kKernelCount; ++k)
            outcome.iterations[k] += result.iterations[k];
    outcome.wrongCore = load.failure.core.exchange(-1);
    outcome.wrongKernel = static_cast<Kernel>(load.failure.kernel.load());
    return outcome;
}

LoadOutcome runLoad(const std::vector<std::int32_t>& cores, const LoadAnswers& reference, double seconds,
                    const std::function<bool()>& sample)
{
    beginLoad(cores, reference);
    const auto end = std::chrono::steady_clock::now()
                     + std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
    try {
        while (!kernelsHalted() && std::chrono::steady_clock::now() < end) {
            const auto next = std::min(end, std::chrono::steady_clock::now() + std::chrono::milliseconds(100));
            // Short sleeps: a wrong answer or a stop ends the step within 10 ms.
            while (!kernelsHalted() && std::chrono::steady_clock::now() < next)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!kernelsHalted() && !sample())
                break;
        }
    } catch (...) {
        (void)endLoad();
        throw;
    }
    return endLoad();
}

void haltKernels() noexcept
{
    stopRequested.store(true);
}

