// The as-fast-as-possible tick, the run-until limit and the speed measurement, on a scripted clock.

#include <cmath>

#include "kernel/NModel.h"
#include "tests/modeler/ModelerTestSupport.h"

namespace talvero::testing {
namespace {

class FastComputationTest : public ModelerTest {
protected:
    // Each model step takes `nsPerStep` of wall time, each look at the clock 1 µs more.
    void OpenWithScriptedClock(std::int64_t nsPerStep) {
        CreateFromText("prj" + std::to_string(++Projects) + "/", "P");
        ASSERT_TRUE(Modeler->GetEnvironment()->IsModelLoaded());
        ASSERT_TRUE(Modeler->AddWatchWindow("0"));
        ASSERT_TRUE(Window("0")->Frame.AddObservation("watch", OutGateWatchData("watch", 0, kChartAutoColor)));
        Modeler->SetWallClock([this, nsPerStep] {
            Now += 1'000;
            return Now + std::llround(ModelTime() / 0.0001) * nsPerStep;
        });
    }
    static double ModelTime() { return static_cast<double>(GetCurrentTime()); }
    std::int64_t Now = 0;
    int Projects = 0;
};

TEST_F(FastComputationTest, ATickStepsForMostOfItsPeriodAndStaysWithinIt) {
    struct Case {
        std::uint32_t periodMs;
        std::int64_t nsPerStep;
    } cases[] = {{30, 50'000}, {30, 3'000'000}, {100, 1'000}, {0, 700'000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.periodMs);
        OpenWithScriptedClock(c.nsPerStep);
        ASSERT_TRUE(Modeler->IsAsFastAsPossible());  // a new project's default
        Modeler->SetTimerPeriod(c.periodMs);
        Modeler->StartComputation();
        const auto wall = [&] { return Now + std::llround(ModelTime() / 0.0001) * c.nsPerStep; };
        for (int tick = 0; tick < 5; ++tick) {
            const std::int64_t start = wall();
            Modeler->ComputeTick();
            const std::int64_t period = std::max<std::int64_t>(c.periodMs, 10) * 1'000'000;
            EXPECT_LE(wall() - start, period) << tick;  // the whole tick, watch update included
            EXPECT_GE(wall() - start, period / 2) << tick;
            EXPECT_GT(Modeler->LastTickSteps(), 0u);
        }
        EXPECT_GT(Window("0")->Chart().GetSeries(0)->GetCount(), 0);
        Modeler->CloseProject(false);
    }
}

TEST_F(FastComputationTest, RunUntilPausesAtTheStepTheBatchRunnerStopsAt) {
    struct Case {
        bool fast;
        double until;
        double expected;
    } cases[] = {{true, 0.0123, 0.0123}, {false, 0.0123, 0.0123}, {true, 0.01234, 0.0123}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.until);
        OpenWithScriptedClock(1'000);
        Modeler->SetAsFastAsPossible(c.fast);
        Modeler->SetPace(0);
        Modeler->SetStepsPerTick(40);
        Modeler->SetRunUntilTime(c.until);
        Modeler->StartComputation();
        for (int tick = 0; tick < 200 && !Modeler->IsPaused(); ++tick) Modeler->ComputeTick();
        EXPECT_TRUE(Modeler->IsRunning());
        EXPECT_TRUE(Modeler->IsPaused());
        EXPECT_NEAR(c.expected, ModelTime(), 1e-9);
        Ui.Messages.Confirmations.push_back(false);
        Modeler->StartComputation();  // declining to go on past the limit computes nothing
        Modeler->ComputeTick();
        EXPECT_NEAR(c.expected, ModelTime(), 1e-9);
        EXPECT_TRUE(Modeler->IsPaused());
        Modeler->CloseProject(false);
    }
}

TEST_F(FastComputationTest, SpeedIsModelTimePerWallTimeAndAPauseDoesNotCount) {
    OpenWithScriptedClock(0);
    Modeler->SetAsFastAsPossible(false);  // 20 steps of 0.0001 s per tick
    Modeler->SetPace(0);
    Modeler->StartComputation();
    Modeler->SetWallClock([this] { return Now; });
    for (int tick = 0; tick < 11; ++tick) {
        Modeler->ComputeTick();
        Now += 100'000'000;  // a tick every 0.1 s: 0.002 model seconds each
    }
    EXPECT_NEAR(0.02, Modeler->SpeedFactor(), 1e-9);
    Modeler->PauseComputation();
    Now += 60'000'000'000LL;
    Modeler->StartComputation();
    for (int tick = 0; tick < 11; ++tick) {
        Modeler->ComputeTick();
        Now += 100'000'000;
    }
    EXPECT_NEAR(0.02, Modeler->SpeedFactor(), 1e-9);
}

TEST_F(FastComputationTest, ModeAndLimitAreSavedAndOldProjectsKeepTheirSteps) {
    CreateFromText("prj/", "P");
    Ui.ComputationOptions.Script.push_back([](VComputationOptionsFields& f) {
        EXPECT_TRUE(f.AsFastAsPossible);
        EXPECT_EQ("", f.RunUntil);
        f.AsFastAsPossible = false;
        f.RunUntil = "2,5";
    });
    Modeler->EditComputationOptions();
    EXPECT_TRUE(Modeler->IsProjectModified());
    Modeler->CloseProject(true);

    ASSERT_TRUE(Modeler->LoadProject(At("prj/"), "P.tvp"));
    EXPECT_FALSE(Modeler->IsAsFastAsPossible());
    EXPECT_EQ(2.5, Modeler->RunUntilTime());
    Modeler->CloseProject(false);

    // A file from before the mode existed computes its configured steps per tick.
    auto ini = ReadIni(At("prj/P.tvp"));
    ini->DeleteKey("Computation", "CalcAsFastAsPossible");
    ASSERT_TRUE(ini->UpdateFile());
    Modeler->SetAsFastAsPossible(true);
    ASSERT_TRUE(Modeler->LoadProject(At("prj/"), "P.tvp"));
    EXPECT_FALSE(Modeler->IsAsFastAsPossible());
}

// Start at the stop time did nothing and said nothing.
TEST_F(FastComputationTest, StartAtTheStopTimeAsksAndGoesOnOnlyWhenTold) {
    for (const bool goOn : {false, true}) {
        SCOPED_TRACE(goOn);
        OpenWithScriptedClock(1'000);
        Modeler->SetRunUntilTime(0.01);
        Modeler->StartComputation();
        for (int tick = 0; tick < 200 && !Modeler->IsPaused(); ++tick) Modeler->ComputeTick();
        ASSERT_TRUE(Modeler->IsAtStopTime());
        Ui.Messages.Questions.clear();
        Ui.Messages.Confirmations.push_back(goOn);
        Modeler->StartComputation();
        ASSERT_EQ(Ui.Messages.Questions.size(), 1u);
        EXPECT_NE(Ui.Messages.Questions[0].Text.find(Cp("времени остановки 0.01")), std::string::npos);
        Modeler->ComputeTick();
        EXPECT_EQ(ModelTime() > 0.0100001, goOn);
        EXPECT_EQ(Modeler->IsPaused(), !goOn);
        // Gone on past it, the run does not stop at it again; a fresh start keeps the limit.
        Modeler->StopComputation();
        Modeler->StartComputation();
        for (int tick = 0; tick < 200 && !Modeler->IsPaused(); ++tick) Modeler->ComputeTick();
        EXPECT_NEAR(0.01, ModelTime(), 1e-9);
        Modeler->CloseProject(false);
    }
}

// Unticking "as fast as possible" gave 20 steps per 30-ms tick: 0.066 of real time.
TEST_F(FastComputationTest, ThePaceKeepsModelTimeToWallTimeAndOwesNothingAfterASlowPatch) {
    for (const double pace : {1.0, 0.5, 3.0}) {
        SCOPED_TRACE(pace);
        OpenWithScriptedClock(0);
        Modeler->SetAsFastAsPossible(false);
        Modeler->SetPace(pace);
        Modeler->StartComputation();
        Modeler->SetWallClock([this] { return Now; });
        Modeler->ComputeTick();  // anchors the pace
        for (int tick = 0; tick < 10; ++tick) {
            Now += 30'000'000;
            Modeler->ComputeTick();
        }
        EXPECT_NEAR(0.3 * pace, ModelTime(), 1.5e-4);

        // A slow patch: a step costs 1 ms, so a tick manages a fraction of what is due.
        const double slowFrom = ModelTime();
        const std::int64_t slowStart = Now;
        const auto slowWall = [this, slowFrom] { return Now + std::llround((ModelTime() - slowFrom) / 0.0001) * 1'000'000; };
        Modeler->SetWallClock(slowWall);
        for (int tick = 0; tick < 10; ++tick) {
            Now += 30'000'000;
            Modeler->ComputeTick();
        }
        EXPECT_LT(ModelTime() - slowFrom, pace * static_cast<double>(slowWall() - slowStart) * 1e-9 * 0.5);
        // Fast again: the next tick computes its own 30 ms, not the debt of the slow patch.
        Now = slowWall();
        Modeler->SetWallClock([this] { return Now; });
        const double fastFrom = ModelTime();
        Now += 30'000'000;
        Modeler->ComputeTick();
        EXPECT_NEAR(0.03 * pace, ModelTime() - fastFrom, 1.5e-4);
        Modeler->CloseProject(false);
    }
}

TEST_F(FastComputationTest, ThePaceIsKeptWithTheProject) {
    OpenWithScriptedClock(0);
    EXPECT_EQ(1, Modeler->GetPace());  // a new project's default
    Ui.ComputationOptions.Script.push_back([](VComputationOptionsFields& f) {
        EXPECT_EQ("1", f.Pace);
        f.AsFastAsPossible = false;
        f.Pace = "0,25";
    });
    Modeler->EditComputationOptions();
    EXPECT_EQ(0.25, Modeler->GetPace());
    Modeler->CloseProject(true);
    ASSERT_TRUE(Modeler->LoadProject(At("prj1/"), "P.tvp"));
    EXPECT_EQ(0.25, Modeler->GetPace());
    // A project from before the pace keeps its fixed steps per tick.
    ASSERT_TRUE(ReadIni(At("prj1/P.tvp")));
    std::filesystem::create_directory(At("old"));
    WriteText(At("old/o.tvp"), "[Computation]\nCalcPerTimerCall=20\n");
    ASSERT_TRUE(Modeler->LoadProject(At("old/"), "o.tvp"));
    EXPECT_EQ(0, Modeler->GetPace());
}

// The threads are kept in the project; what cannot be a thread count reads as the machine's cores.
TEST_F(FastComputationTest, ThreadsAreSavedAndUsedAndNonsenseMeansTheMachinesCores) {
    const int cores = VModeler::DefaultComputationThreads();
    CreateFromText("prj/", "P");
    EXPECT_EQ(cores, Modeler->ComputationThreads());  // a new project's default
    Ui.ComputationOptions.Script.push_back([cores](VComputationOptionsFields& f) {
        EXPECT_EQ(std::to_string(cores), f.Threads);
        f.Threads = "3";
    });
    Modeler->EditComputationOptions();
    EXPECT_TRUE(Modeler->IsProjectModified());
    Modeler->StartComputation();
    Modeler->ComputeTick();
    EXPECT_EQ(3, GetComputeThreads());
    Modeler->CloseProject(true);
    ASSERT_TRUE(Modeler->LoadProject(At("prj/"), "P.tvp"));
    EXPECT_EQ(3, Modeler->ComputationThreads());
    Modeler->CloseProject(false);

    for (const char* stored : std::initializer_list<const char*>{"0", "-2", "257", "many", nullptr}) {
        SCOPED_TRACE(stored ? stored : "no key");
        auto ini = ReadIni(At("prj/P.tvp"));
        if (stored) ini->WriteString("Computation", "ComputeThreads", stored);
        else ini->DeleteKey("Computation", "ComputeThreads");
        ASSERT_TRUE(ini->UpdateFile());
        ASSERT_TRUE(Modeler->LoadProject(At("prj/"), "P.tvp"));
        EXPECT_EQ(cores, Modeler->ComputationThreads());
        Modeler->CloseProject(false);
    }
    SetComputeThreads(0);
}

} // namespace
} // namespace talvero::testing
