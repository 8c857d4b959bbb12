// The load on this machine's own cores: its answers, the wrong answer it must
// catch, and its threads pinned on every core.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "hw/exception_with_message.h"
#include "load/load.h"
#include "load/pin_thread.h"
#include "run_program.h"

namespace {

const std::vector<std::int32_t>& everyCpu()
{
    static const std::vector<std::int32_t> cpus = allowedCpus();
    return cpus;
}

TEST(Load, EveryCoreComputesTheSameAnswersEveryTime)
{
    ASSERT_FALSE(everyCpu().empty());
    const LoadAnswers first = referenceAnswers(everyCpu());
    EXPECT_EQ(referenceAnswers(everyCpu()), first);
    const LoadOutcome outcome = runLoad(everyCpu(), first, 0.3, [] { return true; });
    EXPECT_EQ(outcome.wrongCore, -1);
    for (const std::uint64_t iterations : outcome.iterations)
        EXPECT_GE(iterations, everyCpu().size());
}

// A reference answer planted wrong stands for a core that computes wrong: the
// step ends at once and names a core and the kernel.
TEST(Load, AWrongAnswerEndsTheStepAtOnce)
{
    const LoadAnswers right = referenceAnswers(everyCpu());
    for (std::size_t k = 0; k < kKernelCount; ++k) {
        LoadAnswers planted = right;
        planted[k] ^= 1U;
        const auto start = std::chrono::steady_clock::now();
        const LoadOutcome outcome = runLoad(everyCpu(), planted, 60, [] { return true; });
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_NE(outcome.wrongCore, -1) << kernelName(static_cast<Kernel>(k));
        EXPECT_EQ(outcome.wrongKernel, static_cast<Kernel>(k));
    }
}

TEST(Load, TheSamplerEndsTheStep)
{
    const LoadAnswers right = referenceAnswers(everyCpu());
    const auto start = std::chrono::steady_clock::now();
    int samples = 0;
    const LoadOutcome outcome = runLoad(everyCpu(), right, 60, [&samples] { return ++samples < 3; });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(samples, 3);
    EXPECT_EQ(outcome.wrongCore, -1);
}

// A process that exits while the load runs (a device failure ends it through
// exit) waits for the threads, and ends with its own status.
TEST(LoadDeathTest, ExitWhileTheLoadRuns)
{
    const LoadAnswers right = referenceAnswers(everyCpu());
    EXPECT_EXIT(
        {
            beginLoad(everyCpu(), right);
            std::exit(7);
        },
        ::testing::ExitedWithCode(7), "");
}

TEST(Load, ACoreThatCannotBePinnedRefuses)
{
    std::vector<std::int32_t> cpus = everyCpu();
    cpus.push_back(1000); // beyond this machine
    try {
        (void)referenceAnswers(cpus);
        FAIL() << "pinned to CPU 1000";
    } catch (const ExceptionWithMessage& e) {
        EXPECT_EQ(std::string(e.what()).rfind("cannot pin the load to CPU 1000: ", 0), 0U) << e.what();
    }
}

// The self-test on this machine's cores, which no supported processor needs.
TEST(Load, SelfTest)
{
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string outStart;
        std::string err;
    };
    const Case cases[] = {
        {{"--tune", "--self-test", "--seconds", "0.2"}, 0, "Self-test: the load on CPUs ", ""},
        {{"--tune", "--self-test", "--seconds=0"}, 3, "", "ERROR: invalid parameter 0\n"},
        {{"--tune", "--self-test", "-n"}, 3, "", "ERROR: invalid parameter -n\n"},
        {{"--self-test"}, 3, "", "ERROR: invalid parameter --self-test\n"},
        {{"--tune", "--self-test", "--pstates", "1"}, 3, "", "ERROR: invalid parameter --pstates\n"},
    };
    for (const Case& c : cases) {
        const ProgramRun run = runPravellonHere(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments.back();
        EXPECT_EQ(run.out.rfind(c.outStart, 0), 0U) << run.out;
        EXPECT_EQ(run.err, c.err);
        if (c.status == 0) {
            EXPECT_NE(run.out.find("\nAll answers agreed.\n"), std::string::npos) << run.out;
        }
    }
}

} // namespace
