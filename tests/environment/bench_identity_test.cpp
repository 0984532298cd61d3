// A generated 1,000-neuron network, compiled and loaded through the environment, must compute
// bit for bit what it computed before the step was made fast: the checksums below were taken
// from the straightforward implementation.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "LanguageTestSupport.h"
#include "ModelChecksum.h"
#include "bench/BenchModel.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"
#include "kernel/NSplitStep.h"

namespace talvero {
namespace {

using test::AddStates;
using test::Checksum;
using test::WatchChecksum;

struct NThreadsAndBursts {
    int Threads;
    bool BurstsInOrder;  // off: a burst's turns are taken on a guess too, and failed guesses mended
    // At most so many chunks taken in order: the rest is stepped ahead, however fast worker 0 is.
    std::size_t InOrderChunks = SIZE_MAX;
};

void PrintTo(const NThreadsAndBursts& p, std::ostream* os) {
    *os << p.Threads << (p.BurstsInOrder ? " threads" : " threads, bursts on a guess");
    if (p.InOrderChunks != SIZE_MAX) *os << ", " << p.InOrderChunks << " chunks in order";
}

class BenchIdentityTest : public ::testing::TestWithParam<NThreadsAndBursts> {
protected:
    void TearDown() override {
        SetComputeThreads(0);
        SetSplitStepWorkPerThread(0);
        SetSplitStepBurstsInOrder(true);
        SetSplitStepInOrderChunks(SIZE_MAX);
    }
};

// Also on several threads: the same bits, with the model split however small it is.
TEST_P(BenchIdentityTest, GeneratedNetworkComputesBitForBitAsBefore) {
    const int threads = GetParam().Threads;
    const bool burstsInOrder = GetParam().BurstsInOrder;
    SetComputeThreads(threads);
    SetSplitStepWorkPerThread(1);
    SetSplitStepBurstsInOrder(burstsInOrder);
    SetSplitStepInOrderChunks(GetParam().InOrderChunks);
    test::TempDir dir;
    const std::string source = dir.Write("bench.tv", bench::GenerateBenchModel(1000, 20));
    const std::string binary = dir.File("bench.btv");
    NEnvironment environment;
    RegisterBuiltinClasses(environment);
    ASSERT_TRUE(environment.Compile(source, binary)) << PeekLastErrorCode() << " " << GetLastErrorInfo();
    ASSERT_TRUE(environment.LoadModel(binary)) << PeekLastErrorCode() << " " << GetLastErrorInfo();
    NModel* model = environment.GetModel();
    ASSERT_EQ(model->GetOutGatesCount(), 100);

    SetActiveModel(model);
    ResetActiveModel();
    const unsigned long long failedBefore = split_step_detail::FailedGuesses;
    const unsigned long long burstsBefore = split_step_detail::BurstsInOrder;
    for (int i = 0; i < 2000; ++i) StepActiveModel();
    EXPECT_EQ(GetThreadsInUse(), threads);
    // The net fires in bursts; on a guess, they make some receivers send that did not when they
    // stepped ahead.
    if (threads > 1 && burstsInOrder) {
        EXPECT_GT(split_step_detail::BurstsInOrder, burstsBefore) << "no burst: the turns in order went unchecked";
    } else if (threads > 1) {
        EXPECT_GT(split_step_detail::FailedGuesses, failedBefore) << "no guess failed: its mending went unchecked";
        EXPECT_EQ(split_step_detail::BurstsInOrder, burstsBefore);
    }

    std::size_t points = 0;
    for (auto gate = model->GetOutGatesBegin(); gate != model->GetOutGatesEnd(); ++gate)
        points += (*gate)->GetDataSize();
    Checksum states;
    AddStates(model, states);
    SetActiveModel(nullptr);

    // The network is busy: the watches see many pulses, not a silent net.
    EXPECT_GT(points, 2000u);
    EXPECT_EQ(WatchChecksum(*model), 0xcf37640f1259e97eULL);
    EXPECT_EQ(states.Get(), 0x760e627b2d3868bbULL);
}

INSTANTIATE_TEST_SUITE_P(Threads, BenchIdentityTest,
                         ::testing::Values(NThreadsAndBursts{1, true}, NThreadsAndBursts{2, true},
                                           NThreadsAndBursts{4, true}, NThreadsAndBursts{2, true, 0},
                                           NThreadsAndBursts{2, false, 16}, NThreadsAndBursts{4, false, 16},
                                           NThreadsAndBursts{2, false, 0}),
                         [](const ::testing::TestParamInfo<NThreadsAndBursts>& info) {
                             const std::size_t inOrder = info.param.InOrderChunks;
                             return std::to_string(info.param.Threads) + (info.param.BurstsInOrder ? "" : "_OnAGuess") +
                                    (inOrder == SIZE_MAX ? "" : "_" + std::to_string(inOrder) + "InOrder");
                         });

} // namespace
} // namespace talvero
