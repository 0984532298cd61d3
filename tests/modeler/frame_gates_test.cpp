// The watch frame over real out gates of a small computed model: a pulse generator observed by a
// time watch and a frequency watch.

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <set>
#include <utility>

#include "kernel/NClock.h"
#include "kernel/NModel.h"
#include "modeler/TWatchFrame.h"
#include "modeler/VMemoryChart.h"
#include "sources/NFrequencyWatch.h"
#include "sources/NGenerator.h"
#include "sources/NTimeWatch.h"

namespace talvero {
namespace {

class FrameGatesTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto* generator = new NGenerator(&model, "g");
        ASSERT_TRUE(model.AddSource(generator));
        ASSERT_TRUE(generator->SetFrequency(250));
        watch = new NTimeWatch(&model, "w");
        ASSERT_TRUE(model.AddOutGate(watch));
        histogram = new NFrequencyWatch(&model, "f");
        ASSERT_TRUE(model.AddOutGate(histogram));
        ASSERT_TRUE(model.CreateLink("g", "w.input"));
        ASSERT_TRUE(model.CreateLink("g", "f.input"));
        frame.SetModel(&model);
        SetActiveModel(&model);
        ResetActiveModel();
    }
    void TearDown() override { SetActiveModel(nullptr); }

    void Tick(int steps = 20) {
        for (int i = 0; i < steps; ++i) StepActiveModel();
        frame.UpdateSeries();
    }
    const VChartSeries& Series(int i) const { return *chart.GetSeries(i); }

    // Every point the gate holds now is in the series (shifted), and the series ends where the
    // gate ends. A moving window pushes the gate's first point forward, which is not plotted again.
    void ExpectSeriesCoversGate(const VChartSeries& series, const NAbstractOutGate& gate, double shift,
                                bool skipFirst = false) {
        std::set<std::pair<double, double>> plotted;
        for (int i = 0; i < series.GetCount(); ++i) {
            plotted.emplace(series.GetX(i), series.GetY(i));
            if (i > 0) {
                ASSERT_LE(series.GetX(i - 1), series.GetX(i));
            }
        }
        auto y = gate.GetYBegin();
        for (auto x = gate.GetXBegin(); x != gate.GetXEnd(); ++x, ++y) {
            // A point at time 0 reaches only a new series.
            if (*x == 0 || (skipFirst && x == gate.GetXBegin())) continue;
            EXPECT_TRUE(plotted.contains({*x, *y + shift})) << *x;
        }
        ASSERT_GT(series.GetCount(), 0);
        EXPECT_EQ(series.GetX(series.GetCount() - 1), *std::prev(gate.GetXEnd()));
    }

    NModel model{"m"};
    NTimeWatch* watch = nullptr;
    NFrequencyWatch* histogram = nullptr;
    TWatchFrame frame{std::make_unique<VMemoryChart>()};
    VMemoryChart& chart = static_cast<VMemoryChart&>(frame.GetChart());
};

TEST_F(FrameGatesTest, TheTimeCourseFollowsThePulseTrainTickByTick) {
    ASSERT_TRUE(frame.AddObservation("w", OutGateWatchData("pulses", 0.5, 255)));
    for (int tick = 0; tick < 30; ++tick) {
        Tick();
        ExpectSeriesCoversGate(Series(0), *watch, 0.5);
    }
    // 30 ticks of 20 steps: 600 steps at 0.0001 s, a pulse every 40 steps.
    EXPECT_GE(Series(0).GetCount(), static_cast<int>(watch->GetDataSize()));
    EXPECT_LT(Series(0).GetCount(), 600);
}

TEST_F(FrameGatesTest, AMovingWindowTakesTheSeriesFrontAlong) {
    ASSERT_TRUE(watch->SetWatchInterval(0.005));
    ASSERT_TRUE(frame.AddObservation("w", OutGateWatchData("pulses", 0, 1)));
    for (int tick = 0; tick < 40; ++tick) {
        Tick();
        ExpectSeriesCoversGate(Series(0), *watch, 0, true);
        EXPECT_GE(Series(0).GetX(0), *watch->GetXBegin()) << tick;
        EXPECT_LE(Series(0).GetCount(), static_cast<int>(watch->GetDataSize()) + 20) << tick;
    }
}

TEST_F(FrameGatesTest, TheHistogramIsThePointListOfItsWatch) {
    ASSERT_TRUE(frame.AddObservation("f", OutGateWatchData("rate", 0, 1)));
    for (int tick = 0; tick < 20; ++tick) Tick();
    const VChartSeries& s = Series(0);
    ASSERT_EQ(s.GetCount(), static_cast<int>(histogram->GetDataSize()));
    auto x = histogram->GetXBegin();
    auto y = histogram->GetYBegin();
    for (int i = 0; i < s.GetCount(); ++i, ++x, ++y) {
        EXPECT_EQ(s.GetX(i), *x);
        EXPECT_EQ(s.GetY(i), *y);
    }
    // 250 Hz pulses: everything counted falls into one bin.
    double total = 0;
    for (int i = 0; i < s.GetCount(); ++i) total += s.GetY(i);
    EXPECT_DOUBLE_EQ(total, 1);
}

} // namespace
} // namespace talvero
