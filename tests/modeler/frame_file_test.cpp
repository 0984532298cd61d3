// The series file of a watch frame: what it writes, what it reads back, and how it survives
// damaged texts and failed writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include "FakeUi.h"
#include "kernel/NModel.h"
#include "modeler/TWatchFrame.h"
#include "modeler/VMemoryChart.h"
#include "modeler/VResultsBudget.h"
#include "WatchTestSupport.h"
#include "support/WriteFailure.h"

namespace talvero::testing {
namespace {

using Points = std::vector<std::pair<double, double>>;

class FrameFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        a = new ScriptedGate(&model, "a");
        ASSERT_TRUE(model.AddOutGate(a));
        ASSERT_TRUE(model.AddOutGate(new ScriptedGate(&model, "b")));
        frame.SetModel(&model);
        loaded.SetModel(&model);
    }
    Points PointsOf(int i) const {
        Points p;
        const VChartSeries* s = loaded.GetChart().GetSeries(i);
        for (int k = 0; s && k < s->GetCount(); ++k) p.emplace_back(s->GetX(k), s->GetY(k));
        return p;
    }
    bool LoadText(const std::string& text) {
        WriteText(path, text);
        return loaded.LoadFromFile(path, true);
    }

    TempDir dir;
    std::string path = dir.File("watchinfo.0");
    NModel model{"m"};
    ScriptedGate* a = nullptr;
    TWatchFrame frame{std::make_unique<VMemoryChart>()};
    TWatchFrame loaded{std::make_unique<VMemoryChart>()};
};

TEST_F(FrameFileTest, EveryRecordIsWrittenInNameOrderWithItsShiftedPoints) {
    FakeProgressWindow progress;
    progress.Show();
    progress.SetLineText(1, "win");
    frame.SetProgress(&progress);
    a->Set({0.0001, 0.0002, 0.0003}, {0, 1, 0});
    ASSERT_TRUE(frame.AddObservation("b", OutGateWatchData("second", 0, -2147483633)));
    ASSERT_TRUE(frame.AddObservation("a", OutGateWatchData("first", 0.5, 255)));
    ASSERT_TRUE(frame.SaveToFile(path, true));
    EXPECT_FALSE(frame.TestAndClearChanged());
    // The points are in the data file beside it, tied to this save by its stamp.
    const std::string text = ReadText(path);
    const std::string stamp = text.substr(text.find("DataStamp=") + 10, text.find('\n', text.find("DataStamp=")) - text.find("DataStamp=") - 10);
    EXPECT_EQ(text,
              "[a]\nLegend=first\nYShift=0.5\nColor=255\n"
              "DataCount=3\nDataOffset=16\nDataStamp=" + stamp + "\n\n"
              "[b]\nLegend=second\nYShift=0\nColor=-2147483633\nDataCount=0\nDataOffset=64\nDataStamp=" + stamp + "\n\n");
    EXPECT_EQ(ReadText(TWatchFrame::DataFileName(path)).size(), 16u + 3u * 16u);
    EXPECT_EQ(progress.Line1, (std::vector<std::string>{"win", "win - first:", "win - second:"}));

    ASSERT_TRUE(frame.SaveToFile(path, false));
    EXPECT_EQ(ReadText(path), "[a]\nLegend=first\nYShift=0.5\nColor=255\n\n"
                              "[b]\nLegend=second\nYShift=0\nColor=-2147483633\n\n");

    // A frame without records leaves an existing file alone.
    EXPECT_TRUE(loaded.SaveToFile(path, true));
    EXPECT_EQ(ReadText(path).substr(0, 3), "[a]");
}

// A long text series from an older project folds while it is read: memory stays within the
// budget, the newest points are the file's own and the past keeps its extremes.
TEST_F(FrameFileTest, ALongTextSeriesFoldsAsItIsRead) {
    VResultsBudget budget;
    budget.SetBytes(kMinPointsPerSeries * kBytesPerKeptPoint);
    loaded.SetBudget(&budget);
    const int count = 50000;
    std::string xs;
    std::string ys;
    for (int i = 0; i < count; ++i) {
        xs += std::to_string(i) + "|";
        ys += std::to_string(i == 123 ? 7 : i == 456 ? -7 : i % 2) + "|";
    }
    ASSERT_TRUE(LoadText("[a]\nLegend=A\nXDATA=" + xs + "\nYDATA=" + ys + "\n"));
    const Points p = PointsOf(0);
    ASSERT_LE(p.size(), kMinPointsPerSeries);
    EXPECT_GT(loaded.GetChart().GetSeries(0)->GetThinnedCount(), 0);
    EXPECT_TRUE(budget.IsReached());
    EXPECT_EQ(p.front(), (std::pair<double, double>{0, 0}));
    EXPECT_EQ(p.back(), (std::pair<double, double>{count - 1, 1}));
    EXPECT_EQ(std::max_element(p.begin(), p.end(), [](auto& l, auto& r) { return l.second < r.second; })->second, 7);
    EXPECT_EQ(std::min_element(p.begin(), p.end(), [](auto& l, auto& r) { return l.second < r.second; })->second, -7);
}

TEST_F(FrameFileTest, ReloadedPointsAreTheSavedOnesWithoutASecondShift) {
    a->Set({0, 0.0001, 0.0002}, {0, 1, 1});
    ASSERT_TRUE(frame.AddObservation("a", OutGateWatchData("A", 0.5, 12)));
    ASSERT_TRUE(frame.SaveToFile(path, true));
    a->ClearData();  // the points come from the file, not from the gate

    ASSERT_TRUE(loaded.LoadFromFile(path, true));
    EXPECT_FALSE(loaded.TestAndClearChanged());
    ASSERT_EQ(loaded.GetChart().GetSeriesCount(), 1);
    EXPECT_EQ(loaded.GetChart().GetSeries(0)->GetTitle(), "A");
    EXPECT_EQ(loaded.GetChart().GetSeries(0)->GetColor(), 12);
    EXPECT_EQ(PointsOf(0), (Points{{0, 0.5}, {0.0001, 1.5}, {0.0002, 1.5}}));
    EXPECT_EQ(loaded.GetWatchData().at("a")->YShift, 0.5);

    ASSERT_TRUE(loaded.LoadFromFile(path, false));
    ASSERT_EQ(loaded.GetChart().GetSeriesCount(), 1);
    EXPECT_EQ(PointsOf(0), Points{});
}

TEST_F(FrameFileTest, UnpairedListsGiveNoPointsAndDamagedTextsFallBack) {
    ASSERT_TRUE(LoadText("[a]\nLegend=A\nYShift=half\nColor=red\nXDATA=0.000000|0.000100|\nYDATA=0.000000|\n"
                         "[gone]\nLegend=G\n"
                         "[b]\nYShift=0,25\nColor=99999999999\nXDATA=x|2.5e-1|1,5|4\nYDATA= 7|-3abc||9|\n"));
    ASSERT_EQ(loaded.GetWatchData().size(), 2u);
    const OutGateWatchData& ra = *loaded.GetWatchData().at("a");
    EXPECT_EQ(ra.YShift, 0);
    EXPECT_EQ(ra.Color, kChartAutoColor);
    EXPECT_EQ(PointsOf(0), Points{});
    const OutGateWatchData& rb = *loaded.GetWatchData().at("b");
    EXPECT_EQ(rb.Legend, "b");
    EXPECT_EQ(rb.YShift, 0.25);
    EXPECT_EQ(rb.Color, kChartAutoColor);
    // Pieces read as C numbers; a last x value without its bar is not read.
    EXPECT_EQ(PointsOf(1), (Points{{0, 7}, {0.25, -3}, {1, 0}}));
}

TEST_F(FrameFileTest, ASecondSectionWithATakenLegendIsSkipped) {
    ASSERT_TRUE(LoadText("[a]\nLegend=same\nXDATA=1|\nYDATA=1|\n[b]\nLegend=same\nXDATA=2|\nYDATA=2|\n"));
    ASSERT_EQ(loaded.GetWatchData().size(), 1u);
    EXPECT_EQ(PointsOf(0), (Points{{1, 1}}));
    EXPECT_EQ(loaded.GetChart().GetSeriesCount(), 1);
}

TEST_F(FrameFileTest, AMissingFileLoadsNothingAndAnUnreadableOneKeepsTheFrame) {
    ASSERT_TRUE(loaded.AddObservation("a", OutGateWatchData("A", 0, 1)));
    std::filesystem::create_directory(dir.File("adir"));
    EXPECT_FALSE(loaded.LoadFromFile(dir.File("adir"), true));
    EXPECT_EQ(loaded.GetChart().GetSeriesCount(), 1);

    EXPECT_TRUE(loaded.LoadFromFile(dir.File("missing"), true));
    EXPECT_TRUE(loaded.GetWatchData().empty());
    EXPECT_EQ(loaded.GetChart().GetSeriesCount(), 0);
}

TEST_F(FrameFileTest, AFailedWriteKeepsTheOldFileAndTheChangedMark) {
    WriteText(path, "[old]\nLegend=old\n");
    ASSERT_TRUE(frame.AddObservation("a", OutGateWatchData("A", 0, 1)));
    test::WriteFailure failure;
    EXPECT_FALSE(frame.SaveToFile(path, true));
    failure.Lift();
    EXPECT_EQ(PeekLastErrorCode(), 1003u);
    EXPECT_EQ(GetLastErrorInfo().rfind(TWatchFrame::DataFileName(path), 0), 0u) << GetLastErrorInfo();
    EXPECT_EQ(ReadText(path), "[old]\nLegend=old\n");
    EXPECT_TRUE(frame.TestAndClearChanged());
}


// Points go to disk as they are: text rounded them to six decimals.
TEST_F(FrameFileTest, BinaryPointsComeBackBitForBit) {
    const std::vector<double> xs = {0, 1e-7, 0.30000000000000004, 1.0 / 3, 12345.678901234567};
    const std::vector<double> ys = {5e-324, 1e-300, -70.123456789012345, 2.5e300, 1.0 / 7};
    for (std::size_t i = 0; i < xs.size(); ++i) a->Append(xs[i], ys[i]);
    ASSERT_TRUE(frame.AddObservation("a", OutGateWatchData("A", 0, 1)));
    ASSERT_TRUE(frame.AddObservation("b", OutGateWatchData("B", 0, 2)));
    ASSERT_TRUE(frame.SaveToFile(path, true));
    ASSERT_TRUE(loaded.LoadFromFile(path, true));
    const Points got = PointsOf(0);
    ASSERT_EQ(got.size(), xs.size());
    for (std::size_t i = 0; i < xs.size(); ++i) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(got[i].first), std::bit_cast<std::uint64_t>(xs[i])) << i;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(got[i].second), std::bit_cast<std::uint64_t>(ys[i])) << i;
    }
    EXPECT_EQ(PointsOf(1), Points{});
}

// A data file that does not belong to the series file, or is cut short, gives no points rather
// than wrong ones; the series and their settings still load.
TEST_F(FrameFileTest, ADataFileFromAnotherSaveOrCutShortGivesNoPoints) {
    a->Set({1, 2, 3}, {4, 5, 6});
    ASSERT_TRUE(frame.AddObservation("a", OutGateWatchData("A", 0, 1)));
    ASSERT_TRUE(frame.SaveToFile(path, true));
    const std::string data = ReadText(TWatchFrame::DataFileName(path));
    const std::string series = ReadText(path);
    ASSERT_TRUE(frame.SaveToFile(dir.File("other"), true));
    const std::string otherData = ReadText(TWatchFrame::DataFileName(dir.File("other")));

    struct Case {
        const char* Name;
        std::string Data;
        bool Present;
    };
    const Case cases[] = {
        {"missing", "", false},
        {"another save's", otherData, true},
        {"cut short", data.substr(0, data.size() - 1), true},
        {"header only", data.substr(0, 16), true},
        {"foreign", "not a data file at all, but long enough to pass a size check.......", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteText(path, series);
        std::filesystem::remove(TWatchFrame::DataFileName(path));
        if (c.Present) WriteText(TWatchFrame::DataFileName(path), c.Data);
        ASSERT_TRUE(loaded.LoadFromFile(path, true));
        ASSERT_EQ(loaded.GetChart().GetSeriesCount(), 1);
        EXPECT_EQ(loaded.GetChart().GetSeries(0)->GetTitle(), "A");
        EXPECT_EQ(PointsOf(0), Points{});
    }
    WriteText(TWatchFrame::DataFileName(path), data);
    ASSERT_TRUE(loaded.LoadFromFile(path, true));
    EXPECT_EQ(PointsOf(0), (Points{{1, 4}, {2, 5}, {3, 6}}));
}

} // namespace
} // namespace talvero::testing
