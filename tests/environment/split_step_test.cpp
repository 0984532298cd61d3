// The step on several threads computes what the step on one computes, to the last bit, for every
// model: the examples, random nets, and nets made so that a pulse must reach objects that already
// took the parallel part of their step.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "LanguageTestSupport.h"
#include "ModelChecksum.h"
#include "ThreadTestNets.h"
#include "bench/BenchModel.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"
#include "kernel/NSplitStep.h"
#include "kernel/NThreadPool.h"

namespace talvero {
namespace {

using test::Chain;
using test::kCells;
using test::kMixed;
using test::PlainChain;
using test::RandomNet;

struct RunResult {
    std::uint64_t Watches = 0;
    std::uint64_t States = 0;
    std::size_t Points = 0;
    int MostThreadsUsed = 0;
    bool operator==(const RunResult& o) const { return Watches == o.Watches && States == o.States && Points == o.Points; }
};

struct Options {
    int Steps = 600;
    int ChangeStepAt = -1;  // the time step halves before this step
};

// Loads the compiled model anew and computes it on `threads` threads.
RunResult RunModel(const std::string& binary, int threads, const Options& options) {
    NEnvironment environment;
    RegisterBuiltinClasses(environment);
    EXPECT_TRUE(environment.LoadModel(binary)) << PeekLastErrorCode() << " " << GetLastErrorInfo();
    NModel* model = environment.GetModel();
    RunResult result;
    if (!model) return result;
    SetComputeThreads(threads);
    SetActiveModel(model);
    ResetActiveModel();
    for (int i = 0; i < options.Steps; ++i) {
        if (i == options.ChangeStepAt) model->SetTimeStep(model->GetTimeStep() / 2);
        StepActiveModel();
        result.MostThreadsUsed = std::max(result.MostThreadsUsed, GetThreadsInUse());
    }
    for (auto gate = model->GetOutGatesBegin(); gate != model->GetOutGatesEnd(); ++gate)
        result.Points += (*gate)->GetDataSize();
    result.Watches = test::WatchChecksum(*model);
    test::Checksum states;
    test::AddStates(model, states);
    result.States = states.Get();
    SetActiveModel(nullptr);
    return result;
}

class SplitStepTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetSplitStepWorkPerThread(1);  // split however small the model
        Unforeseen = split_step_detail::UnforeseenArrivals;
    }
    void TearDown() override {
        SetComputeThreads(0);
        SetSplitStepWorkPerThread(0);
        EXPECT_EQ(split_step_detail::UnforeseenArrivals, Unforeseen) << "a pulse the plan did not foresee";
    }

    std::string Compile(const std::string& name, const std::string& text) {
        const std::string source = text.empty() ? name : dir.Write(name + ".tv", text);
        const std::string binary = dir.File(std::to_string(++Compiled) + ".btv");
        NEnvironment environment;
        RegisterBuiltinClasses(environment);
        EXPECT_TRUE(environment.Compile(source, binary)) << name << ": " << PeekLastErrorCode() << " " << GetLastErrorInfo();
        return binary;
    }

    // Every thread count gives the single thread's bits; returns the single thread's result.
    RunResult ExpectSameOnAllThreadCounts(const std::string& name, const std::string& binary, const Options& options,
                                          bool splits = true) {
        const RunResult one = RunModel(binary, 1, options);
        EXPECT_EQ(one.MostThreadsUsed, 1) << name;
        for (int threads : {2, 3, 4, 8}) {
            const RunResult many = RunModel(binary, threads, options);
            EXPECT_EQ(many, one) << name << " on " << threads << " threads";
            if (splits) {
                EXPECT_GT(many.MostThreadsUsed, 1) << name << " on " << threads << " threads never split";
            }
        }
        return one;
    }

    test::TempDir dir;
    int Compiled = 0;
    unsigned long long Unforeseen = 0;
};

TEST_F(SplitStepTest, ExamplesComputeTheSameOnAnyNumberOfThreads) {
    const char* root = std::getenv("TALVERO_SOURCE_DIR");
    ASSERT_NE(root, nullptr);
    // The muscle examples hold one neuron at most: nothing to split, but nothing may change either.
    const struct {
        const char* file;
        bool splits;
    } examples[] = {{"all_classes.tv", false}, {"eye_muscle.tv", false}, {"reflex_arc.tv", false},
                    {"user_classes.tv", true}};
    for (const auto& e : examples) {
        const std::string path = std::string(root) + "/examples/" + e.file;
        const RunResult one = ExpectSameOnAllThreadCounts(e.file, Compile(path, ""), {1500}, e.splits);
        EXPECT_GT(one.Points, 0u) << e.file;
    }
}

TEST_F(SplitStepTest, PulsesThatMustArriveWithinTheStepDoSo) {
    const std::uint64_t retakesBefore = split_step_detail::Retakes;
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"forward chain", Chain(25, true)},  // every pulse runs down the chain in one step
        {"backward chain", Chain(25, false)},
        {"forward chain of plain neurons", PlainChain(25)},
        {"mixed", std::string(kCells) + kMixed},
    };
    for (const auto& c : cases) {
        const RunResult one = ExpectSameOnAllThreadCounts(c.name, Compile(c.name, c.text), {800});
        EXPECT_GT(one.Points, 0u) << c.name << ": no pulse reached the watch";
    }
    EXPECT_GT(split_step_detail::Retakes, retakesBefore) << "no pulse arrived after the parallel part";
}

TEST_F(SplitStepTest, RandomNetsComputeTheSameOnAnyNumberOfThreads) {
    for (const bool neuronsOnly : {false, true})
        for (std::uint32_t seed = 1; seed <= 5; ++seed) {
            const std::string name = std::string(neuronsOnly ? "neurons" : "random") + std::to_string(seed);
            const int neurons = 20 + 15 * static_cast<int>(seed);
            ExpectSameOnAllThreadCounts(name, Compile(name, RandomNet(seed, neurons, neuronsOnly)), {500});
        }
}

TEST_F(SplitStepTest, ChangingTheTimeStepDuringARunChangesNothingElse) {
    const std::string binary = Compile("bench", bench::GenerateBenchModel(200, 10));
    const RunResult one = ExpectSameOnAllThreadCounts("bench with a new step", binary, {500, 250});
    EXPECT_GT(one.Points, 0u);
}

// Many short runs, the pool going from one thread count to another between them.
TEST_F(SplitStepTest, ManyShortModelsOnManyThreads) {
    std::mt19937 rng(7);
    for (int run = 0; run < 30; ++run) {
        const std::string binary = Compile("short", RandomNet(1000 + run, 10 + run));
        const Options options{40 + static_cast<int>(rng() % 60)};
        const RunResult one = RunModel(binary, 1, options);
        const int threads = 2 + static_cast<int>(rng() % 7);
        EXPECT_EQ(RunModel(binary, threads, options), one) << "run " << run << " on " << threads << " threads";
    }
}

TEST_F(SplitStepTest, SmallModelsKeepOneThreadUnlessTheyAreLargeEnough) {
    SetSplitStepWorkPerThread(0);
    const std::string small = Compile("small", bench::GenerateBenchModel(100, 20));
    const std::string large = Compile("large", bench::GenerateBenchModel(2000, 20));
    EXPECT_EQ(RunModel(small, 8, {5}).MostThreadsUsed, 1);
    EXPECT_EQ(RunModel(large, 2, {5}).MostThreadsUsed, 2);
    // Automatic: the machine's cores for a net of neurons only; one thread for a net whose ordered
    // walk would make more threads slower, however large.
    EXPECT_EQ(RunModel(large, 0, {5}).MostThreadsUsed, std::min(2, NThreadPool::MachineCores()));
    SetSplitStepWorkPerThread(1);
    const std::string mixed = Compile("mixed", std::string(kCells) + kMixed);
    EXPECT_EQ(RunModel(mixed, 0, {5}).MostThreadsUsed, 1);
    EXPECT_GT(RunModel(mixed, 2, {5}).MostThreadsUsed, 1);
}

} // namespace
} // namespace talvero
