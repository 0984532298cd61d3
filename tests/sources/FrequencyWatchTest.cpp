// Frequency watch: bins, fractions, dropped intervals, and parameter limits that keep it finite.

#include <algorithm>
#include <cmath>

#include "SourcesTestSupport.h"
#include "sources/NFrequencyWatch.h"
#include "sources/NGenerator.h"

namespace talvero::test {
namespace {

class FrequencyWatchTest : public ModelTest {
protected:
    void SetUp() override {
        Generator = Add<NGenerator>("g");
        Watch = Add<NFrequencyWatch>("f");
        Link("g", "f.input");
    }

    // Bins 5, 10, 15 set as a user would, in this order, on a recording watch.
    void UseThreeBins() {
        ASSERT_TRUE(Watch->SetParameter("LeftRange", 5));
        ASSERT_TRUE(Watch->SetParameter("RightRange", 20));
        ASSERT_TRUE(Watch->SetParameter("FrequencyStep", 5));
    }

    NGenerator* Generator = nullptr;
    NFrequencyWatch* Watch = nullptr;
};

TEST_F(FrequencyWatchTest, BinsAreBuiltByClearingNotByConstruction) {
    EXPECT_EQ(Watch->GetDataSize(), 0u);
    Start();
    ASSERT_EQ(Watch->GetDataSize(), 500u);
    const std::vector<double> bins = Xs(*Watch);
    EXPECT_EQ(bins.front(), 0);
    EXPECT_EQ(bins.back(), 499);
    EXPECT_EQ(Ys(*Watch), std::vector<double>(500, 0.0));
}

TEST_F(FrequencyWatchTest, CountsTwelveHertzInTheTenHertzBin) {
    UseThreeBins();
    EXPECT_EQ(Xs(*Watch), (std::vector<double>{5, 10, 15}));
    ASSERT_TRUE(Generator->SetFrequency(12));  // 834 steps: 11.99 Hz
    Start();
    Step(2 * 834 + 1);  // pulses at steps 0, 834, 1668
    EXPECT_EQ(Watch->GetIntervalsCount(), 1u);
    EXPECT_EQ(Ys(*Watch), (std::vector<double>{0, 1, 0}));
    EXPECT_EQ(Watch->GetCounts()[1], 1);
}

TEST_F(FrequencyWatchTest, FrequenciesOutsideTheBinsAreDropped) {
    UseThreeBins();
    for (double frequency : {25.0, 3.0}) {
        ASSERT_TRUE(Generator->SetFrequency(frequency));
        Start();
        Step(20000);
        EXPECT_EQ(Watch->GetIntervalsCount(), 0u) << frequency;
        EXPECT_EQ(Ys(*Watch), (std::vector<double>{0, 0, 0}));
    }
}

TEST_F(FrequencyWatchTest, PulseAtTimeZeroIsIgnored) {
    ASSERT_TRUE(Generator->SetFrequency(10));
    Start();
    Step(1001);  // pulses at 0 and 0.1: the first cannot be told from no pulse
    EXPECT_EQ(Watch->GetIntervalsCount(), 0u);
    Step(1000);  // and 0.2: one interval
    EXPECT_EQ(Watch->GetIntervalsCount(), 1u);
    Step(3000);
    EXPECT_EQ(Watch->GetIntervalsCount(), 4u);
    // 1 / interval comes out at 10 or one rounding either side, as the step times are rounded to
    // doubles: the intervals land in the bins at 9 and 10 Hz only, and the fractions add up to 1.
    const std::vector<double> bins = Xs(*Watch), fractions = Ys(*Watch);
    double sum = 0;
    for (std::size_t i = 0; i < bins.size(); ++i) {
        if (bins[i] != 9 && bins[i] != 10) {
            EXPECT_EQ(fractions[i], 0) << bins[i];
        }
        sum += fractions[i];
    }
    EXPECT_DOUBLE_EQ(sum, 1);
}

TEST_F(FrequencyWatchTest, SingleStepPulsesAreNotSeen) {
    ASSERT_TRUE(Model.SetPulseDuration(0.00005));
    ASSERT_TRUE(Generator->SetParameter("StartTime", 0.01));
    ASSERT_TRUE(Generator->SetFrequency(10));
    Start();
    Step(5000);
    EXPECT_EQ(Watch->GetIntervalsCount(), 0u);
}

TEST_F(FrequencyWatchTest, ParameterLimits) {
    EXPECT_FALSE(Watch->SetParameter("WatchType", 2));
    EXPECT_EQ(LastCode(), 21u);
    EXPECT_FALSE(Watch->SetParameter("RightRange", 600));
    ASSERT_TRUE(Watch->SetRightRange(200));
    EXPECT_FALSE(Watch->SetParameter("LeftRange", 300));
    EXPECT_EQ(LastCode(), 21u);
    EXPECT_FALSE(Watch->SetFrequencyStep(201));
    EXPECT_EQ(Watch->GetFrequencyStep(), 1);
}

TEST_F(FrequencyWatchTest, StepOfTheWholeRangeGivesOneBin) {
    ASSERT_TRUE(Watch->SetLeftRange(10));
    ASSERT_TRUE(Watch->SetRightRange(20));
    ASSERT_TRUE(Watch->SetFrequencyStep(10));
    EXPECT_EQ(Xs(*Watch), (std::vector<double>{10}));
}

TEST_F(FrequencyWatchTest, StepsThatCannotBuildBinsAreRefused) {
    EXPECT_FALSE(Watch->SetFrequencyStep(0));
    EXPECT_EQ(LastCode(), 21u);
    EXPECT_FALSE(Watch->SetFrequencyStep(1e-300));
    EXPECT_EQ(LastCode(), 21u);
    EXPECT_EQ(Watch->GetFrequencyStep(), 1);

    // A fine step on a narrow range, then the range widened under it.
    ASSERT_TRUE(Watch->SetRightRange(0.001));
    ASSERT_TRUE(Watch->SetFrequencyStep(1e-6));
    EXPECT_GE(Watch->GetDataSize(), 1000u);
    EXPECT_LE(Watch->GetDataSize(), 1001u);
    EXPECT_FALSE(Watch->SetRightRange(500));
    EXPECT_EQ(LastCode(), 21u);

    // A range next to a large frequency, finer than the doubles there: the sum cannot move.
    ASSERT_TRUE(Watch->SetFrequencyStep(0.0005));
    ASSERT_TRUE(Watch->SetRightRange(400));
    ASSERT_TRUE(Watch->SetLeftRange(400));
    ASSERT_TRUE(Watch->SetRightRange(std::nextafter(400.0, 500.0)));
    ASSERT_TRUE(Watch->SetFrequencyStep(1e-19));
    EXPECT_EQ(Watch->GetDataSize(), 1u);
    Start();
    EXPECT_EQ(Watch->GetDataSize(), 1u);
}

TEST_F(FrequencyWatchTest, SettingsRestartTheHistogramOnlyWhileRecording) {
    ASSERT_TRUE(Generator->SetFrequency(10));
    Start();
    Step(3001);
    ASSERT_EQ(Watch->GetIntervalsCount(), 2u);
    Watch->SetWatchState(false);
    ASSERT_TRUE(Watch->SetFrequencyStep(2));
    EXPECT_EQ(Watch->GetIntervalsCount(), 2u);
    EXPECT_EQ(Watch->GetDataSize(), 500u);
    Watch->SetWatchState(true);
    EXPECT_EQ(Watch->GetIntervalsCount(), 0u);
    EXPECT_EQ(Watch->GetDataSize(), 250u);
    ASSERT_TRUE(Watch->SetFrequencyStep(5));
    EXPECT_EQ(Watch->GetDataSize(), 100u);
}

TEST_F(FrequencyWatchTest, CloneBuildsTheSameBins) {
    UseThreeBins();
    std::unique_ptr<NBasicDescription> copy(Watch->Clone(&Model, "f2"));
    auto* clone = dynamic_cast<NFrequencyWatch*>(copy.get());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->GetWatchType(), 2);
    EXPECT_EQ(Xs(*clone), (std::vector<double>{5, 10, 15}));
}

} // namespace
} // namespace talvero::test
