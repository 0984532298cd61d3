// Time watches: the compressed pulse record, the moving window, analog channel lists.

#include <algorithm>

#include "SourcesTestSupport.h"
#include "kernel/NStateStream.h"
#include "sources/NASinusGenerator.h"
#include "sources/NAStepGenerator.h"
#include "sources/NATimeWatch.h"
#include "sources/NGenerator.h"
#include "sources/NTimeWatch.h"

namespace talvero::test {
namespace {

using Points = std::vector<std::pair<double, double>>;

Points PointsOf(const NAbstractOutGate& gate) {
    Points points;
    auto y = gate.GetYBegin();
    for (auto x = gate.GetXBegin(); x != gate.GetXEnd(); ++x, ++y) points.emplace_back(*x, *y);
    EXPECT_EQ(y, gate.GetYEnd());
    return points;
}

using TimeWatchTest = ModelTest;

TEST_F(TimeWatchTest, SilentInputKeepsThreePointsWithMovingLast) {
    auto* watch = Add<NTimeWatch>("t");
    Start();
    const double t0 = 0, t1 = TimeOfStep(1), t2 = TimeOfStep(2), t3 = TimeOfStep(3), t4 = TimeOfStep(4);
    const Points expected[] = {
        {{t0, 0}},
        {{t0, 0}, {t1, 0}},
        {{t0, 0}, {t1, 0}, {t2, 0}},
        {{t0, 0}, {t1, 0}, {t3, 0}},
        {{t0, 0}, {t1, 0}, {t4, 0}},
    };
    for (const Points& points : expected) {
        Step();
        EXPECT_EQ(PointsOf(*watch), points);
    }
}

// The lists exist only while there are points: a watch with none must still read, record and
// restore as an empty one.
TEST_F(TimeWatchTest, WatchWithoutPointsReadsRecordsAndRestoresAsEmpty) {
    auto* watch = Add<NTimeWatch>("t");
    Start();
    std::string empty;
    NStateWriter emptyOut(empty);
    watch->SaveStepState(emptyOut);
    EXPECT_EQ(PointsOf(*watch), Points{});
    EXPECT_EQ(watch->GetSettledCount(), 0u);
    watch->DropSettled(5);
    Step();
    Step();
    EXPECT_EQ(PointsOf(*watch), (Points{{0, 0}, {TimeOfStep(1), 0}}));
    NStateReader in(empty.data(), empty.data() + empty.size());
    ASSERT_TRUE(watch->LoadStepState(in));
    EXPECT_EQ(PointsOf(*watch), Points{});
    Step();
    EXPECT_EQ(watch->GetDataSize(), 1u);
}

TEST_F(TimeWatchTest, PulseAddsTwoPointsAtEachChange) {
    auto* generator = Add<NGenerator>("g");
    auto* watch = Add<NTimeWatch>("t");
    Link("g", "t.input");
    ASSERT_TRUE(generator->SetFrequency(10));
    generator->SetStartTime(0.01);
    Start();
    Step(100);
    EXPECT_EQ(PointsOf(*watch), (Points{{0, 0}, {TimeOfStep(1), 0}, {TimeOfStep(99), 0}}));
    Step(2);
    const Points silence{{0, 0}, {TimeOfStep(1), 0}, {TimeOfStep(99), 0}};
    Points expected = silence;
    expected.insert(expected.end(), {{TimeOfStep(100), 1}, {TimeOfStep(101), 1}});
    EXPECT_EQ(PointsOf(*watch), expected);
    Step(8);
    expected.back().first = TimeOfStep(109);
    EXPECT_EQ(PointsOf(*watch), expected);
    Step(2);
    expected.emplace_back(TimeOfStep(110), 0);
    expected.emplace_back(TimeOfStep(111), 0);
    EXPECT_EQ(PointsOf(*watch), expected);
    Step(50);
    expected.back().first = TimeOfStep(161);
    EXPECT_EQ(PointsOf(*watch), expected);
}

TEST_F(TimeWatchTest, WindowOnSilentInputNeverHoldsMoreThanThreePoints) {
    auto* watch = Add<NTimeWatch>("t");
    ASSERT_TRUE(watch->SetParameter("WatchInterval", 0.01));
    Start();
    bool dropped = false;
    for (int k = 0; k < 5000; ++k) {
        Step();
        ASSERT_LE(watch->GetDataSize(), 3u) << "step " << k;
        const std::vector<double> x = Xs(*watch);
        if (x.back() - x.front() > 0.0101 + 1e-9) FAIL() << "window too wide at step " << k;
        if (k == 101) {
            // The span first exceeded 0.01 here: the first point, one step before the second, went.
            EXPECT_EQ(x, (std::vector<double>{TimeOfStep(1), TimeOfStep(101)}));
            dropped = true;
        }
    }
    EXPECT_TRUE(dropped);
    // The oldest point keeps creeping: the span stays about the window.
    const std::vector<double> x = Xs(*watch);
    EXPECT_NEAR(x.back() - x.front(), 0.01, 0.0002);
}

TEST_F(TimeWatchTest, WindowKeepsTheValueOfTheOldestStretch) {
    auto* generator = Add<NGenerator>("g");
    auto* watch = Add<NTimeWatch>("t");
    Link("g", "t.input");
    ASSERT_TRUE(generator->SetFrequency(20));
    ASSERT_TRUE(watch->SetWatchInterval(0.02));
    Start();
    for (int k = 0; k < 3000; ++k) {
        Step();
        const std::vector<double> x = Xs(*watch);
        ASSERT_EQ(x.size(), Ys(*watch).size());
        ASSERT_LE(x.back() - x.front(), 0.0201 + 1e-9);
        ASSERT_TRUE(std::is_sorted(x.begin(), x.end()));
    }
}

TEST_F(TimeWatchTest, AnalogChannelsBeyondTheInputRecordZero) {
    auto* step = Add<NAStepGenerator>("s");
    auto* watch = Add<NATimeWatch>("a");
    Link("s", "a.input");
    ASSERT_TRUE(step->SetAmplitude(2.5));
    ASSERT_TRUE(watch->SetParameter("LastOutIndex", 2));
    Start();
    Step(4);
    EXPECT_EQ(watch->GetChannelListsCount(), 3u);
    EXPECT_EQ(Ys(*watch), (std::vector<double>(4, 2.5)));
    for (std::uint32_t channel : {1u, 2u}) {
        ASSERT_TRUE(watch->SetCurrentOutIndex(channel));
        EXPECT_EQ(Ys(*watch), (std::vector<double>(4, 0.0)));
    }
}

TEST_F(TimeWatchTest, AnalogWindowStopsTheGrowth) {
    auto* sine = Add<NASinusGenerator>("s");
    auto* watch = Add<NATimeWatch>("a");
    Link("s", "a.input");
    ASSERT_TRUE(sine->SetFrequency(50));
    ASSERT_TRUE(watch->SetWatchInterval(0.001));
    Start();
    Step(100);
    const unsigned size = watch->GetDataSize();
    EXPECT_LE(size, 12u);
    Step(1000);
    EXPECT_EQ(watch->GetDataSize(), size);
    const std::vector<double> x = Xs(*watch);
    EXPECT_EQ(x.back(), TimeOfStep(1099));
    // Walking backward from the end meets the same points.
    std::vector<double> backward;
    for (auto p = watch->GetYEnd(); p != watch->GetYBegin();) backward.push_back(*--p);
    std::vector<double> forward = Ys(*watch);
    std::reverse(forward.begin(), forward.end());
    EXPECT_EQ(backward, forward);
}

TEST_F(TimeWatchTest, ChangedRangeDropsDataAndRebuildsLists) {
    auto* watch = Add<NATimeWatch>("a");
    Start();
    Step(7);
    ASSERT_EQ(watch->GetDataSize(), 7u);
    ASSERT_TRUE(watch->SetLastOutIndex(3));
    EXPECT_EQ(watch->GetDataSize(), 0u);
    EXPECT_EQ(watch->GetChannelListsCount(), 4u);
    EXPECT_EQ(static_cast<double>(watch->GetStartTime()), TimeOfStep(7));
    ASSERT_TRUE(watch->SetCurrentOutIndex(3));
    EXPECT_EQ(watch->GetYBegin(), watch->GetYEnd());

    // A refused change leaves the data alone.
    Step(2);
    EXPECT_FALSE(watch->SetFirstOutIndex(4));
    EXPECT_EQ(watch->GetDataSize(), 2u);
}

TEST_F(TimeWatchTest, DirectlyBuiltAnalogWatchHasOneList) {
    NATimeWatch watch(&Model, "a");
    EXPECT_EQ(watch.GetChannelListsCount(), 1u);
    EXPECT_EQ(watch.GetYBegin(), watch.GetYEnd());
    watch.CollectData();
    EXPECT_EQ(Xs(watch).size(), 1u);
    EXPECT_EQ(Ys(watch).size(), 1u);
}

TEST_F(TimeWatchTest, ChannelCountIsBounded) {
    auto* watch = Add<NATimeWatch>("a");
    EXPECT_FALSE(watch->SetParameter("LastOutIndex", 4e9));
    EXPECT_EQ(LastCode(), 21u);
    EXPECT_EQ(watch->GetChannelListsCount(), 1u);
    EXPECT_TRUE(watch->SetLastOutIndex(NATimeWatch::kMaxChannels - 1));
    EXPECT_EQ(watch->GetChannelListsCount(), NATimeWatch::kMaxChannels);
    ASSERT_TRUE(watch->SetFirstOutIndex(10));
    EXPECT_FALSE(watch->SetLastOutIndex(10 + NATimeWatch::kMaxChannels));
}

TEST_F(TimeWatchTest, CloneCarriesChannelRangeAndWindow) {
    auto* watch = Add<NATimeWatch>("a");
    ASSERT_TRUE(watch->SetLastOutIndex(2));
    ASSERT_TRUE(watch->SetWatchInterval(0.5));
    std::unique_ptr<NBasicDescription> copy(watch->Clone(&Model, "b"));
    auto* clone = dynamic_cast<NATimeWatch*>(copy.get());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->GetChannelListsCount(), 3u);
    EXPECT_EQ(clone->GetWatchInterval(), NTime(0.5));
    NTimeWatch pulse(&Model, "p");
    EXPECT_FALSE(watch->CopyParameters(&pulse));
    EXPECT_EQ(LastCode(), 5u);
}

} // namespace
} // namespace talvero::test
