// The fast engine on several threads computes what it computes on one, to the last bit: on nets
// whose pulses must reach neurons before their turn, random nets, the examples and a change of
// the time step within a run.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

#include "FastTestSupport.h"
#include "bench/BenchModel.h"
#include "environment/ModelChecksum.h"
#include "environment/ThreadTestNets.h"
#include "fast/NFastEngine.h"
#include "kernel/NSplitStep.h"
#include "kernel/NThreadPool.h"

namespace talvero {
namespace {

struct RunResult {
    std::uint64_t Watches = 0, States = 0;
    std::size_t Points = 0;
    int MostThreadsUsed = 0;
    bool operator==(const RunResult& o) const { return Watches == o.Watches && States == o.States && Points == o.Points; }
};

// `text` is a description, or with `file` the path of one.
RunResult RunFast(const std::string& text, int threads, int steps, int halveStepAt = -1, bool file = false) {
    RunResult result;
    auto environment = file ? test::LoadFile(text) : test::LoadText(text);
    if (!environment) return result;
    NModel& model = *environment->GetModel();
    SetComputeThreads(threads);
    SetActiveModel(&model);
    ResetActiveModel();
    std::string notice;
    auto engine = MakeEngine(model, NEngineKind::Fast, notice);
    EXPECT_EQ(engine->Kind(), NEngineKind::Fast) << notice;
    engine->Begin();
    for (int i = 0; i < steps; ++i) {
        if (i == halveStepAt) {
            engine->End();
            model.SetTimeStep(model.GetTimeStep() / 2);
            engine->Begin();
        }
        engine->Step();
        result.MostThreadsUsed = std::max(result.MostThreadsUsed, GetThreadsInUse());
    }
    engine->End();
    for (auto gate = model.GetOutGatesBegin(); gate != model.GetOutGatesEnd(); ++gate) result.Points += (*gate)->GetDataSize();
    result.Watches = test::WatchChecksum(model);
    test::Checksum states;
    test::AddStates(&model, states);
    result.States = states.Get();
    SetActiveModel(nullptr);
    return result;
}

class FastThreadsTest : public ::testing::Test {
protected:
    void SetUp() override { NFastEngine::SetSynapsesPerThread(1); }
    void TearDown() override {
        NFastEngine::SetSynapsesPerThread(0);
        SetComputeThreads(0);
    }
};

TEST_F(FastThreadsTest, AnyNumberOfThreadsGivesTheBitsOfOne) {
    const char* root = std::getenv("TALVERO_SOURCE_DIR");
    ASSERT_NE(root, nullptr);
    struct Case {
        std::string Name, Text;
        int Steps = 800, HalveStepAt = -1;
        bool File = false;
    };
    std::vector<Case> cases = {
        {"forward chain", test::Chain(25, true)},  // every pulse runs down the chain in one step
        {"backward chain", test::Chain(25, false)},
        {"forward chain of plain neurons", test::PlainChain(25)},
        {"mixed", std::string(test::kCells) + test::kMixed},
        {"bench with a new step", bench::GenerateBenchModel(200, 10), 500, 250},
        {"user classes example", std::string(root) + "/examples/user_classes.tv", 1500, -1, true},
    };
    for (const bool neuronsOnly : {false, true})
        for (std::uint32_t seed = 1; seed <= 4; ++seed)
            cases.push_back({"random " + std::to_string(seed) + (neuronsOnly ? " of neurons" : ""),
                             test::RandomNet(seed, 20 + 15 * static_cast<int>(seed), neuronsOnly), 500});
    for (const Case& c : cases) {
        const RunResult one = RunFast(c.Text, 1, c.Steps, c.HalveStepAt, c.File);
        EXPECT_EQ(one.MostThreadsUsed, 1) << c.Name;
        EXPECT_GT(one.Points, 0u) << c.Name << ": no pulse reached a watch";
        for (int threads : {2, 3, 8}) {
            const RunResult many = RunFast(c.Text, threads, c.Steps, c.HalveStepAt, c.File);
            EXPECT_EQ(many, one) << c.Name << " on " << threads << " threads";
            EXPECT_GT(many.MostThreadsUsed, 1) << c.Name << " on " << threads << " threads";
        }
    }
}

// Many short runs, the pool going from one thread count to another between them.
TEST_F(FastThreadsTest, ManyShortModelsOnManyThreads) {
    std::mt19937 rng(11);
    for (int run = 0; run < 20; ++run) {
        const std::string text = test::RandomNet(2000 + run, 10 + 2 * run, run % 2 == 0);
        const int steps = 40 + static_cast<int>(rng() % 60);
        const int threads = 2 + static_cast<int>(rng() % 7);
        EXPECT_EQ(RunFast(text, threads, steps), RunFast(text, 1, steps)) << "run " << run << " on " << threads << " threads";
    }
}

TEST_F(FastThreadsTest, SmallModelsKeepOneThread) {
    NFastEngine::SetSynapsesPerThread(0);
    EXPECT_EQ(RunFast(bench::GenerateBenchModel(1000, 20), 8, 5).MostThreadsUsed, 1);
    EXPECT_EQ(RunFast(bench::GenerateBenchModel(5000, 20), 2, 5).MostThreadsUsed, 2);
    EXPECT_EQ(RunFast(bench::GenerateBenchModel(5000, 20), 0, 5).MostThreadsUsed, std::min(2, NThreadPool::MachineCores()));
}

} // namespace
} // namespace talvero
