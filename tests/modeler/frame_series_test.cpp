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

Points PointsOf(const VChartSeries* series) {
    Points p;
    if (!series) return p;
    for (int i = 0; i < series->GetCount(); ++i) p.emplace_back(series->GetX(i), series->GetY(i));
    return p;
}

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
    VMemorySeries* Series(int i) { return chart.GetMemorySeries(i); }
    VChartSeries* SeriesTitled(const std::string& title) {
        for (int i = 0; i < chart.GetSeriesCount(); ++i)
            if (chart.GetSeries(i)->GetTitle() == title) return chart.GetSeries(i);
        return nullptr;
    }

    NModel model{"m"};
    ScriptedGate* a = nullptr;
    ScriptedGate* b = nullptr;
    TWatchFrame frame{std::make_unique<VMemoryChart>()};
    VMemoryChart& chart = static_cast<VMemoryChart&>(frame.GetChart());
};

TEST_F(FrameTest, AddObservationRefusesUnknownGatesTakenNamesAndTakenLegends) {
    EXPECT_FALSE(frame.AddObservation("nowhere", OutGateWatchData("n", 0, 1)));
    EXPECT_TRUE(frame.AddObservation("a", OutGateWatchData("A", 0, 0x0000FF)));
    EXPECT_FALSE(frame.AddObservation("a", OutGateWatchData("other", 0, 1)));
    EXPECT_FALSE(frame.AddObservation("b", OutGateWatchData("A", 0, 1)));
    ASSERT_EQ(frame.GetWatchData().size(), 1u);
    ASSERT_EQ(chart.GetSeriesCount(), 1);
    EXPECT_EQ(Series(0)->GetTitle(), "A");
    EXPECT_EQ(Series(0)->GetColor(), 0x0000FF);

    TWatchFrame unbound(std::make_unique<VMemoryChart>());
    EXPECT_FALSE(unbound.AddObservation("a", OutGateWatchData("A", 0, 1)));
    EXPECT_FALSE(unbound.TestAndClearChanged());
}

TEST_F(FrameTest, NewSeriesHoldsEverythingTheGateHasThenGrowsByNewerPointsOnly) {
    a->Set({0, 0.0001, 0.0002}, {0, 1, 1});
    ASSERT_TRUE(frame.AddObservation("a", OutGateWatchData("A", 0.5, 7)));
    EXPECT_EQ(PointsOf(Series(0)), (Points{{0, 0.5}, {0.0001, 1.5}, {0.0002, 1.5}}));
    for (const auto& p : Series(0)->GetPoints()) EXPECT_EQ(p.Color, 7);

    a->Append(0.0003, 0);
    frame.UpdateSeries();
    EXPECT_EQ(PointsOf(Series(0)), (Points{{0, 0.5}, {0.0001, 1.5}, {0.0002, 1.5}, {0.0003, 0.5}}));
    frame.UpdateSeries();
    EXPECT_EQ(Series(0)->GetCount(), 4);
}

TEST_F(FrameTest, AnEmptySeriesTakesNoPointAtTimeZeroOnUpdate) {
    ASSERT_TRUE(frame.AddObservation("a", OutGateWatchData("A", 0, 1)));
    a->Set({0}, {1});
    frame.UpdateSeries();
    EXPECT_EQ(Series(0)->GetCount(), 0);
    a->Append(0.0001, 1);
    frame.UpdateSeries();
    EXPECT_EQ(PointsOf(Series(0)), (Points{{0.0001, 1}}));
}

TEST_F(FrameTest, AMovedLastPointIsPlottedAgainAndDroppedFrontPointsLeave) {
    a->Set({0, 0.0001, 0.0002}, {0, 0, 0});
    ASSERT_TRUE(frame.AddObservation("a", OutGateWatchData("A", 0, 1)));
    // The compressed record moves its last point forward.
    a->X.back() = 0.0004;
    frame.UpdateSeries();
    EXPECT_EQ(PointsOf(Series(0)), (Points{{0, 0}, {0.0001, 0}, {0.0002, 0}, {0.0004, 0}}));

    // The gate's window drops its oldest point and appends a new one.
    a->X.pop_front();
    a->Y.pop_front();
    a->Append(0.0005, 1);
    frame.UpdateSeries();
    EXPECT_EQ(PointsOf(Series(0)), (Points{{0.0001, 0}, {0.0002, 0}, {0.0004, 0}, {0.0005, 1}}));
}

TEST_F(FrameTest, AStoppedGateEmptiesItsSeriesAndAHistogramIsReplottedWhole) {
    ScriptedGate* h = AddGate("h", NAbstractOutGate::kFrequencyHistogram);
    h->Set({0, 1, 2}, {0, 0, 0});
    a->Set({0, 0.0001}, {1, 1});
    ASSERT_TRUE(frame.AddObservation("a", OutGateWatchData("A", 0, 1)));
    ASSERT_TRUE(frame.AddObservation("h", OutGateWatchData("H", 1, 2)));
    EXPECT_EQ(PointsOf(Series(1)), (Points{{0, 1}, {1, 1}, {2, 1}}));

    h->Y = {0.25, 0.75, 0};
    a->SetWatchState(false);
    frame.TestAndClearChanged();
    frame.UpdateSeries();
    EXPECT_EQ(Series(0)->GetCount(), 0);
    EXPECT_EQ(PointsOf(Series(1)), (Points{{0, 1.25}, {1, 1.75}, {2, 1}}));
    EXPECT_TRUE(frame.TestAndClearChanged());
}

TEST_F(FrameTest, AGateThatLeftTheModelLosesItsSeriesButKeepsItsRecord) {
    ScriptedGate* c = AddGate("c");
    a->Set({0.1}, {1});
    c->Set({0.1}, {1});
    ASSERT_TRUE(frame.AddObservation("a", OutGateWatchData("A", 0, 1)));
    ASSERT_TRUE(frame.AddObservation("b", OutGateWatchData("B", 0, 1)));
    ASSERT_TRUE(frame.AddObservation("c", OutGateWatchData("C", 0, 1)));
    ASSERT_TRUE(model.DelOutGate("a"));
    ASSERT_TRUE(model.DelOutGate("b"));
    c->Append(0.2, 0);

    frame.UpdateSeries();
    // "B" moved into the place of "A" and waits for the next update; "C" was updated.
    ASSERT_EQ(chart.GetSeriesCount(), 2);
    EXPECT_EQ(Series(0)->GetTitle(), "B");
    EXPECT_EQ(PointsOf(SeriesTitled("C")), (Points{{0.1, 1}, {0.2, 0}}));
    frame.UpdateSeries();
    ASSERT_EQ(chart.GetSeriesCount(), 1);
    EXPECT_EQ(Series(0)->GetTitle(), "C");
    EXPECT_EQ(frame.GetWatchData().size(), 3u);
}

TEST_F(FrameTest, AnUpdateDrawsEachSeriesOnce) {
    ASSERT_TRUE(frame.AddObservation("a", OutGateWatchData("A", 0, 1)));
    ASSERT_TRUE(frame.AddObservation("b", OutGateWatchData("B", 0, 1)));
    const int before = Series(0)->GetActivations();
    for (int i = 1; i <= 20; ++i) {
        a->Append(i * 0.0001, 0);
        b->Append(i * 0.0001, 1);
    }
    frame.UpdateSeries();
    EXPECT_EQ(Series(0)->GetCount(), 20);
    EXPECT_EQ(Series(0)->GetActivations(), before + 1);
    EXPECT_EQ(Series(1)->GetActivations(), before + 1);
    EXPECT_TRUE(Series(0)->IsActive());
}

TEST_F(FrameTest, LegendsAndColoursFollowTheirRecordsAndStayUnique) {
    a->Set({0.1}, {1});
    ASSERT_TRUE(frame.AddObservation("a", OutGateWatchData("A", 0, 1)));
    ASSERT_TRUE(frame.AddObservation("b", OutGateWatchData("B", 0, 2)));
    frame.TestAndClearChanged();

    EXPECT_FALSE(frame.SetLegend("a", "B"));
    EXPECT_FALSE(frame.SetLegend("nowhere", "Z"));
    EXPECT_FALSE(frame.TestAndClearChanged());
    EXPECT_TRUE(frame.SetLegend("a", "Alpha"));
    EXPECT_TRUE(frame.TestAndClearChanged());
    EXPECT_EQ(frame.GetWatchData().at("a")->Legend, "Alpha");
    EXPECT_EQ(Series(0)->GetTitle(), "Alpha");

    EXPECT_TRUE(frame.SetColor("a", 0x00FF00));
    EXPECT_EQ(frame.GetWatchData().at("a")->Color, 0x00FF00);
    EXPECT_EQ(Series(0)->GetColor(), 0x00FF00);
    EXPECT_EQ(Series(1)->GetColor(), 2);

    // The renamed series still finds its gate.
    a->Append(0.2, 0);
    frame.UpdateSeries();
    EXPECT_EQ(Series(0)->GetCount(), 2);
}

TEST_F(FrameTest, CopiesRemovalAndClearing) {
    a->Set({0.1, 0.2}, {1, 1});
    ASSERT_TRUE(frame.AddObservation("a", OutGateWatchData("A", 0.5, 1)));
    ASSERT_TRUE(frame.AddObservation("b", OutGateWatchData("B", 0, 2)));

    OutGateWatchMap copy;
    copy["a"] = std::make_unique<OutGateWatchData>("old", 0, 0);
    copy["z"] = std::make_unique<OutGateWatchData>("Z", 0, 0);
    frame.CopyWatchData(copy);
    ASSERT_EQ(copy.size(), 3u);
    EXPECT_EQ(copy["a"]->Legend, "A");
    EXPECT_EQ(copy["a"]->YShift, 0.5);
    copy["a"]->Legend = "changed";
    EXPECT_EQ(frame.GetWatchData().at("a")->Legend, "A");

    frame.TestAndClearChanged();
    frame.ClearSeriesData();
    EXPECT_TRUE(frame.TestAndClearChanged());
    EXPECT_EQ(chart.GetSeriesCount(), 2);
    EXPECT_EQ(Series(0)->GetCount(), 0);

    frame.RemoveSeries("a");
    EXPECT_EQ(chart.GetSeriesCount(), 1);
    EXPECT_EQ(frame.GetWatchData().size(), 2u);

    frame.ClearAll();
    EXPECT_EQ(chart.GetSeriesCount(), 0);
    EXPECT_TRUE(frame.GetWatchData().empty());
    EXPECT_TRUE(frame.TestAndClearChanged());
    frame.ClearAll();
    frame.ClearSeriesData();
    EXPECT_FALSE(frame.TestAndClearChanged());
}

TEST(MemoryChartTest, KeepsPointsInAscendingXWhateverTheOrderOfAdding) {
    VMemorySeries series;
    for (double x : {0.3, 0.1, 0.2, 0.2, 0.5}) series.AddXY(x, x * 10, 1);
    ASSERT_EQ(series.GetCount(), 5);
    EXPECT_EQ(PointsOf(&series), (Points{{0.1, 1}, {0.2, 2}, {0.2, 2}, {0.3, 3}, {0.5, 5}}));
    series.DeleteFirst();
    EXPECT_EQ(series.GetX(0), 0.2);
    EXPECT_EQ(series.GetX(99), 0);
}

} // namespace
} // namespace talvero::testing
