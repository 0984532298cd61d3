// Recorded results in bounded memory: the folding of a series' past and the budget over a long run.

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "modeler/VResultsBudget.h"
#include "tests/modeler/ModelerTestSupport.h"

namespace talvero::testing {
namespace {

// Folding must never lose a peak: in every equal part of the x span the lowest and highest
// value survive, as do the first and last points, and nothing is invented or reordered.
TEST(ReduceKeepingExtremes, KeepsEveryPartsExtremesOnRandomSeries) {
    struct Case {
        std::size_t Points;
        std::size_t Buckets;
        bool RepeatedX;  // several points at one time, as a pulse's edges are
        unsigned Seed;
    };
    const Case cases[] = {{1, 4, false, 1},      {2, 1, false, 2},       {1000, 7, false, 3},
                          {1000, 1000, false, 4}, {1000, 5000, false, 5}, {50000, 64, true, 6},
                          {3, 2, true, 7},       {20000, 333, true, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE("seed " + std::to_string(c.Seed));
        std::mt19937 random(c.Seed);
        std::uniform_real_distribution<double> value(-80, 40);
        std::uniform_real_distribution<double> gap(0, 1e-3);
        std::vector<double> xs;
        std::vector<double> ys;
        double x = 0.5;
        for (std::size_t i = 0; i < c.Points; ++i) {
            if (!(c.RepeatedX && random() % 3 == 0)) x += gap(random);
            xs.push_back(x);
            // Rare spikes: the extremes a chart must not lose.
            ys.push_back(random() % 997 == 0 ? value(random) * 100 : value(random));
        }
        std::vector<double> keptX;
        std::vector<double> keptY;
        ReduceKeepingExtremes(xs, ys, c.Buckets, keptX, keptY);

        ASSERT_EQ(keptX.size(), keptY.size());
        EXPECT_LE(keptX.size(), std::min(c.Points, 4 * c.Buckets));
        ASSERT_FALSE(keptX.empty());
        EXPECT_EQ(xs.front(), keptX.front());
        EXPECT_EQ(ys.front(), keptY.front());
        EXPECT_EQ(xs.back(), keptX.back());
        EXPECT_EQ(ys.back(), keptY.back());

        // A subsequence of the input.
        std::size_t at = 0;
        for (std::size_t k = 0; k < keptX.size(); ++k) {
            while (at < xs.size() && !(xs[at] == keptX[k] && ys[at] == keptY[k])) ++at;
            ASSERT_LT(at, xs.size()) << "kept point " << k << " is not an input point in order";
            ++at;
        }

        const double span = xs.back() - xs.front();
        const auto part = [&](double px) {
            if (!(span > 0)) return std::size_t{0};
            return std::min(static_cast<std::size_t>((px - xs.front()) * static_cast<double>(c.Buckets) / span),
                            c.Buckets - 1);
        };
        std::map<std::size_t, std::pair<double, double>> input;
        std::map<std::size_t, std::pair<double, double>> kept;
        const auto note = [](auto& extremes, std::size_t p, double y) {
            auto [it, fresh] = extremes.try_emplace(p, y, y);
            it->second.first = std::min(it->second.first, y);
            it->second.second = std::max(it->second.second, y);
        };
        for (std::size_t i = 0; i < xs.size(); ++i) note(input, part(xs[i]), ys[i]);
        for (std::size_t k = 0; k < keptX.size(); ++k) note(kept, part(keptX[k]), keptY[k]);
        EXPECT_EQ(input, kept);
    }
}

class ResultsBudgetTest : public ModelerTest {
protected:
    // The neuron's watch records a point at nearly every step: the fastest-growing series.
    void OpenNeuronProject(const std::string& dir) {
        CreateFromText(dir, "P", kNeuronModel);
        ASSERT_TRUE(Modeler->GetEnvironment()->IsModelLoaded());
        Modeler->SetAsFastAsPossible(false);
        Modeler->SetPace(0);  // a fixed number of steps per tick
        Modeler->SetStepsPerTick(1000);
        ASSERT_TRUE(Modeler->AddWatchWindow("0"));
        ASSERT_TRUE(Window("0")->Frame.AddObservation("cellwatch", OutGateWatchData("cell", 0, kChartAutoColor)));
    }
    std::deque<VMemorySeries::Point> RunTicks(int ticks, std::size_t& largest, std::size_t& largestGate) {
        Modeler->StartComputation();
        largest = 0;
        largestGate = 0;
        for (int i = 0; i < ticks; ++i) {
            Modeler->ComputeTick();
            largest = std::max<std::size_t>(largest, Window("0")->Chart().GetSeries(0)->GetCount());
            largestGate = std::max<std::size_t>(
                largestGate, Modeler->GetEnvironment()->GetModel()->GetOutGate("cellwatch")->GetDataSize());
        }
        Modeler->StopComputation();
        return Window("0")->Chart().GetMemorySeries(0)->GetPoints();
    }
};

// A small budget on a long run: the series and the gate stay bounded, the newest points are the
// unbudgeted run's own, the folded past keeps the run's extremes, and the state is told.
TEST_F(ResultsBudgetTest, LongRunStaysWithinSmallBudgetKeepingNewestPointsAndExtremes) {
    OpenNeuronProject("full/");
    std::size_t largest = 0;
    std::size_t largestGate = 0;
    Modeler->GetResultsBudget().SetBytes(std::uint64_t{1} << 40);
    const auto full = RunTicks(160, largest, largestGate);
    ASSERT_GT(full.size(), 3 * kMinPointsPerSeries);
    EXPECT_FALSE(Modeler->IsResultsBudgetReached());

    Modeler->GetResultsBudget().SetBytes(kMinPointsPerSeries * kBytesPerKeptPoint);
    const auto kept = RunTicks(160, largest, largestGate);
    EXPECT_TRUE(Modeler->IsResultsBudgetReached());
    EXPECT_LE(largest, kMinPointsPerSeries);
    EXPECT_LE(kept.size(), kMinPointsPerSeries);
    // Read points leave the gate at every tick.
    EXPECT_LE(largestGate, 1000u + 3u);

    const std::size_t newest = kMinPointsPerSeries / 2;
    ASSERT_GE(kept.size(), newest);
    for (std::size_t i = 1; i <= newest; ++i) {
        ASSERT_EQ(full[full.size() - i].X, kept[kept.size() - i].X) << i;
        ASSERT_EQ(full[full.size() - i].Y, kept[kept.size() - i].Y) << i;
    }
    const auto byY = [](const auto& a, const auto& b) { return a.Y < b.Y; };
    EXPECT_EQ(std::min_element(full.begin(), full.end(), byY)->Y, std::min_element(kept.begin(), kept.end(), byY)->Y);
    EXPECT_EQ(std::max_element(full.begin(), full.end(), byY)->Y, std::max_element(kept.begin(), kept.end(), byY)->Y);
    EXPECT_EQ(full.front().X, kept.front().X);

    Modeler->StartComputation();  // a new run starts within the budget again
    EXPECT_FALSE(Modeler->IsResultsBudgetReached());
}

// However large the budget, a long run's series levels off: memory must not grow until a
// budget of hundreds of megabytes is spent, and the newest points stay those of the run.
TEST_F(ResultsBudgetTest, LongRunLevelsOffWhateverTheBudget) {
    OpenNeuronProject("big/");
    Modeler->SetStepsPerTick(10000);
    Modeler->GetResultsBudget().SetBytes(std::uint64_t{1} << 40);
    std::size_t largest = 0;
    std::size_t largestGate = 0;
    // The neuron records a point at about every sixth step.
    const auto kept = RunTicks(8 * kMaxPointsPerSeries / 10000, largest, largestGate);
    EXPECT_TRUE(Modeler->IsResultsBudgetReached());
    EXPECT_LE(largest, kMaxPointsPerSeries);
    EXPECT_GE(kept.size(), kMaxPointsPerSeries / 2);
    for (std::size_t i = 1; i < kept.size(); ++i) ASSERT_LT(kept[i - 1].X, kept[i].X) << i;
}

// A gate no window reads must not grow with the run either.
TEST_F(ResultsBudgetTest, UnreadGatesKeepOnlyTheirNewestPoints) {
    CreateFromText("p/", "P", kNeuronModel);
    Modeler->SetAsFastAsPossible(false);
    Modeler->SetPace(0);  // a fixed number of steps per tick
    Modeler->SetStepsPerTick(10000);
    Modeler->StartComputation();
    for (int i = 0; i < 10; ++i) Modeler->ComputeTick();
    EXPECT_LE(Modeler->GetEnvironment()->GetModel()->GetOutGate("cellwatch")->GetDataSize(), 65536u + 10000u);
}

struct FakeEnvironmentOptionsDialog : VEnvironmentOptionsDialog {
    std::deque<std::optional<std::string>> Script;  // nullopt cancels
    std::vector<std::string> Shown;
    bool Run(std::string& budget) override {
        Shown.push_back(budget);
        if (Script.empty() || !Script.front()) return false;
        budget = *Script.front();
        Script.pop_front();
        return true;
    }
};

// The budget is this user's setting: kept in the settings file, read by the next session; a
// value that makes no sense changes nothing.
TEST_F(ResultsBudgetTest, EnvironmentSettingsKeepTheBudget) {
    FakeEnvironmentOptionsDialog dialog;
    VUserInterface ui = Ui.Interface();
    ui.EnvironmentOptionsDialog = &dialog;
    const std::string settings = At("config/talvero.ini");
    std::filesystem::create_directories(At("config"));
    {
        VModeler modeler(ui);
        modeler.SetEnvironmentSettingsFile(settings);
        for (const char* refused : {"abc", "0", "15", "-256", "99999999999999"}) {
            dialog.Script.push_back(refused);
            modeler.EditEnvironmentOptions();
        }
        EXPECT_FALSE(Exists(settings));
        EXPECT_EQ(kDefaultResultsBudgetBytes, modeler.GetResultsBudget().GetBytes());
        dialog.Script.push_back("64");
        modeler.EditEnvironmentOptions();
        EXPECT_EQ(std::uint64_t{64} << 20, modeler.GetResultsBudget().GetBytes());
        EXPECT_EQ("256", dialog.Shown.front());
    }
    VModeler next(ui);
    next.SetEnvironmentSettingsFile(settings);
    EXPECT_EQ(std::uint64_t{64} << 20, next.GetResultsBudget().GetBytes());

    WriteText(settings, "[Results]\nMemoryBudgetMB=3\n");
    VModeler edited(ui);
    edited.SetEnvironmentSettingsFile(settings);
    EXPECT_EQ(kDefaultResultsBudgetBytes, edited.GetResultsBudget().GetBytes());
}

} // namespace
} // namespace talvero::testing
