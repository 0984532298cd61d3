// The watch frame's bookkeeping on an in-memory chart: which gates it observes, and what each
// update brings into the series.

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "kernel/NModel.h"
#include "modeler/TWatchFrame.h"
#include "modeler/VMemoryChart.h"
#include "WatchTestSupport.h"

namespace talvero::testing {
namespace {

using Points = std::vector<std::pair<double, double>>;

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        a = AddGate("a");
        b = AddGate("b");
        frame.SetModel(&model);
    }
    ScriptedGate* AddGate(const char* name, int type = NAbstractOutGate::kTimeCourse) {
        auto* gate = new ScriptedGate(&model, name, type);
        EXPECT_TRUE(model.AddOutGate(gate));
        return gate;
    }
    Points PointsOf(int i) const {
        Points p;
        for (const auto& point : chart.GetMemorySeries(i)->GetPoints()) p.emplace_back(point.X, point.Y);
        return p;
    }
    bool Observe(const char* name, const char* legend, double shift = 0) {
        return frame.AddObservation(name, OutGateWatchData(legend, shift, 7));
    }

    NModel model{"m"};
    ScriptedGate* a = nullptr;
    ScriptedGate* b = nullptr;
    TWatchFrame frame{std::make_unique<VMemoryChart>()};
    VMemoryChart& chart = static_cast<VMemoryChart&>(frame.GetChart());
};

TEST_F(FrameTest, AnObservationNeedsAKnownGateAFreeNameAndAFreeLegend) {
    EXPECT_FALSE(Observe("nowhere", "N"));
    EXPECT_TRUE(Observe("a", "A"));
    EXPECT_FALSE(Observe("a", "other"));
    EXPECT_FALSE(Observe("b", "A"));
    ASSERT_EQ(frame.GetWatchData().size(), 1u);
    ASSERT_EQ(chart.GetSeriesCount(), 1);
    EXPECT_EQ(chart.GetSeries(0)->GetTitle(), "A");
    EXPECT_EQ(chart.GetSeries(0)->GetColor(), 7);

    TWatchFrame unbound(std::make_unique<VMemoryChart>());
    EXPECT_FALSE(unbound.AddObservation("a", OutGateWatchData("A", 0, 1)));
}

TEST_F(FrameTest, ANewSeriesTakesAllPointsThenUpdatesAddOnlyNewerOnes) {
    a->Set({0, 0.0001, 0.0002}, {0, 1, 1});
    ASSERT_TRUE(Observe("a", "A", 0.5));
    EXPECT_EQ(PointsOf(0), (Points{{0, 0.5}, {0.0001, 1.5}, {0.0002, 1.5}}));
    a->Append(0.0003, 0);
    frame.UpdateSeries();
    frame.UpdateSeries();
    EXPECT_EQ(PointsOf(0), (Points{{0, 0.5}, {0.0001, 1.5}, {0.0002, 1.5}, {0.0003, 0.5}}));

    // An empty series takes no point at time 0 on update.
    b->Set({0}, {1});
    ASSERT_TRUE(Observe("b", "B"));
    frame.ClearSeriesData();
    frame.UpdateSeries();
    EXPECT_EQ(PointsOf(1), Points{});
}

TEST_F(FrameTest, AMovedLastPointIsPlottedAgainAndDroppedFrontPointsLeave) {
    a->Set({0, 0.0001, 0.0002}, {0, 0, 0});
    ASSERT_TRUE(Observe("a", "A"));
    a->X.back() = 0.0004;  // the compressed record moves its last point forward
    frame.UpdateSeries();
    EXPECT_EQ(PointsOf(0), (Points{{0, 0}, {0.0001, 0}, {0.0002, 0}, {0.0004, 0}}));

    a->X.pop_front();  // the gate's window drops its oldest point
    a->Y.pop_front();
    a->Append(0.0005, 1);
    frame.UpdateSeries();
    EXPECT_EQ(PointsOf(0), (Points{{0.0001, 0}, {0.0002, 0}, {0.0004, 0}, {0.0005, 1}}));
}

TEST_F(FrameTest, StoppedGatesEmptyTheirSeriesHistogramsAreReplottedAndEachSeriesIsDrawnOnce) {
    ScriptedGate* h = AddGate("h", NAbstractOutGate::kFrequencyHistogram);
    h->Set({0, 1, 2}, {0, 0, 0});
    a->Set({0, 0.0001}, {1, 1});
    ASSERT_TRUE(Observe("a", "A"));
    ASSERT_TRUE(Observe("h", "H", 1));
    const int drawn = chart.GetMemorySeries(1)->GetActivations();

    h->Y = {0.25, 0.75, 0};
    a->SetWatchState(false);
    frame.TestAndClearChanged();
    frame.UpdateSeries();
    EXPECT_EQ(PointsOf(0), Points{});
    EXPECT_EQ(PointsOf(1), (Points{{0, 1.25}, {1, 1.75}, {2, 1}}));
    EXPECT_EQ(chart.GetMemorySeries(1)->GetActivations(), drawn + 1);
    EXPECT_TRUE(frame.TestAndClearChanged());
}

TEST_F(FrameTest, AGateThatLeftTheModelLosesItsSeriesButKeepsItsRecord) {
    ScriptedGate* c = AddGate("c");
    ASSERT_TRUE(Observe("a", "A"));
    ASSERT_TRUE(Observe("b", "B"));
    ASSERT_TRUE(Observe("c", "C"));
    ASSERT_TRUE(model.DelOutGate("a"));
    ASSERT_TRUE(model.DelOutGate("b"));
    c->Set({0.1}, {1});

    frame.UpdateSeries();
    // "B" moved into the place of "A" and waits for the next update; "C" was updated.
    ASSERT_EQ(chart.GetSeriesCount(), 2);
    EXPECT_EQ(chart.GetSeries(0)->GetTitle(), "B");
    EXPECT_EQ(PointsOf(1), (Points{{0.1, 1}}));
    frame.UpdateSeries();
    ASSERT_EQ(chart.GetSeriesCount(), 1);
    EXPECT_EQ(frame.GetWatchData().size(), 3u);
}

TEST_F(FrameTest, LegendsAndColoursFollowTheirRecordsAndStayUnique) {
    a->Set({0.1}, {1});
    ASSERT_TRUE(Observe("a", "A"));
    ASSERT_TRUE(Observe("b", "B"));
    frame.TestAndClearChanged();
    EXPECT_FALSE(frame.SetLegend("a", "B"));
    EXPECT_FALSE(frame.SetLegend("nowhere", "Z"));
    EXPECT_FALSE(frame.TestAndClearChanged());

    EXPECT_TRUE(frame.SetLegend("a", "Alpha"));
    EXPECT_TRUE(frame.SetColor("a", 0x00FF00));
    EXPECT_TRUE(frame.TestAndClearChanged());
    EXPECT_EQ(frame.GetWatchData().at("a")->Legend, "Alpha");
    EXPECT_EQ(frame.GetWatchData().at("a")->Color, 0x00FF00);
    EXPECT_EQ(chart.GetSeries(0)->GetTitle(), "Alpha");
    EXPECT_EQ(chart.GetSeries(0)->GetColor(), 0x00FF00);
    EXPECT_EQ(chart.GetSeries(1)->GetColor(), 7);

    // The renamed series still finds its gate; copies are independent of the frame.
    a->Append(0.2, 0);
    frame.UpdateSeries();
    EXPECT_EQ(PointsOf(0).size(), 2u);
    OutGateWatchMap copy;
    copy["a"] = std::make_unique<OutGateWatchData>("old", 0, 0);
    frame.CopyWatchData(copy);
    copy["a"]->Legend = "changed";
    EXPECT_EQ(copy.size(), 2u);
    EXPECT_EQ(frame.GetWatchData().at("a")->Legend, "Alpha");
}

TEST(MemoryChartTest, APointAddedOutOfOrderGoesToItsPlace) {
    VMemorySeries series;
    for (double x : {0.3, 0.1, 0.2, 0.1}) series.AddXY(x, x, 1);
    series.DeleteFirst();
    ASSERT_EQ(series.GetCount(), 3);
    EXPECT_EQ(series.GetX(0), 0.1);
    EXPECT_EQ(series.GetX(1), 0.2);
    EXPECT_EQ(series.GetX(2), 0.3);
}

} // namespace
} // namespace talvero::testing
