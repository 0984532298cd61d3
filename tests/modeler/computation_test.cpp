// Start, pause, stop, timer ticks and the computation options.

#include "kernel/Cp1251.h"
#include "tests/modeler/ModelerTestSupport.h"
#include "tests/support/TestModels.h"

namespace talvero::testing {
namespace {

class ComputationTest : public ModelerTest {
protected:
    // These tests count the steps of each tick: the fixed steps-per-tick mode, not the new
    // project's as-fast-as-possible default.
    void CreateFromText(const std::string& dir, const std::string& name, const char* model = kGeneratorModel) {
        ModelerTest::CreateFromText(dir, name, model);
        Modeler->SetAsFastAsPossible(false);
        Modeler->SetPace(0);
    }
    // A project with the generator model and one watch window observing the time watch.
    void OpenWithWatchedModel() {
        CreateFromText("prj/", "P");
        ASSERT_TRUE(Modeler->GetEnvironment()->IsModelLoaded());
        ASSERT_TRUE(Modeler->AddWatchWindow("0"));
        ASSERT_TRUE(Window("0")->Frame.AddObservation("watch", OutGateWatchData("watch", 0, kChartAutoColor)));
    }
    int Points() { return Window("0")->Chart().GetSeries(0)->GetCount(); }
    static double Now() { return static_cast<double>(GetCurrentTime()); }
};

TEST_F(ComputationTest, NothingHappensWithoutAModel) {
    Modeler->StartComputation();
    EXPECT_FALSE(Modeler->IsRunning());
    std::filesystem::create_directory(At("p"));
    WriteText(At("p/a.tvp"), "");
    ASSERT_TRUE(Modeler->LoadProject(At("p/"), "a.tvp"));
    Modeler->StartComputation();
    Modeler->PauseComputation();
    EXPECT_FALSE(Modeler->IsRunning());
    EXPECT_FALSE(Modeler->IsPaused());
    Modeler->ComputeTick();
    EXPECT_FALSE(Modeler->IsRunning());
}

TEST_F(ComputationTest, StartPauseStartContinuesAndStopStartBeginsAgainWithClearedWindows) {
    OpenWithWatchedModel();
    Modeler->PauseComputation();  // while stopped: nothing
    Modeler->StopComputation();
    EXPECT_FALSE(Modeler->IsRunning());
    EXPECT_FALSE(Modeler->IsPaused());

    Modeler->StartComputation();
    EXPECT_TRUE(Modeler->IsRunning());
    EXPECT_EQ(Modeler->GetEnvironment()->GetModel(), GetActiveModel());
    Modeler->ComputeTick();
    Modeler->ComputeTick();
    EXPECT_NEAR(40 * 0.0001, Now(), 1e-12);
    const int afterTwoTicks = Points();
    EXPECT_GT(afterTwoTicks, 0);

    Modeler->PauseComputation();
    EXPECT_TRUE(Modeler->IsPaused());
    Modeler->ComputeTick();
    EXPECT_NEAR(40 * 0.0001, Now(), 1e-12);

    Modeler->StartComputation();
    EXPECT_FALSE(Modeler->IsPaused());
    Modeler->ComputeTick();
    EXPECT_NEAR(60 * 0.0001, Now(), 1e-12);
    EXPECT_GE(Points(), afterTwoTicks);

    Modeler->StopComputation();
    EXPECT_FALSE(Modeler->IsRunning());
    Modeler->ComputeTick();
    EXPECT_NEAR(60 * 0.0001, Now(), 1e-12);  // stopping keeps the model's time
    Modeler->StartComputation();
    EXPECT_EQ(0.0, Now());
    EXPECT_EQ(0, Points());
}

TEST_F(ComputationTest, StepsPerTickAndWatchAccumulation) {
    OpenWithWatchedModel();
    Modeler->SetStepsPerTick(3);
    Modeler->StartComputation();
    Modeler->ComputeTick();
    EXPECT_NEAR(3 * 0.0001, Now(), 1e-12);

    Modeler->ToggleWatchAccumulation();
    EXPECT_FALSE(Modeler->IsWatchAccumulationOn());
    EXPECT_FALSE(Modeler->IsProjectModified());
    const int before = Points();
    for (int i = 0; i < 5; ++i) Modeler->ComputeTick();
    EXPECT_NEAR(18 * 0.0001, Now(), 1e-12);
    EXPECT_EQ(before, Points());
    // The gate went on recording: switching back brings the points in at the next tick.
    Modeler->ToggleWatchAccumulation();
    Modeler->ComputeTick();
    EXPECT_GT(Points(), before);

    Modeler->SetStepsPerTick(0);
    Modeler->ComputeTick();
    EXPECT_TRUE(Modeler->IsRunning());
    EXPECT_NEAR(21 * 0.0001, Now(), 1e-12);
}

TEST_F(ComputationTest, ATickWithoutActiveModelStops) {
    OpenWithWatchedModel();
    Modeler->StartComputation();
    SetActiveModel(nullptr);
    Modeler->ComputeTick();
    EXPECT_FALSE(Modeler->IsRunning());
    EXPECT_FALSE(Modeler->IsPaused());
}

using ComputationOptionsTest = ComputationTest;

TEST_F(ComputationOptionsTest, PeriodAndStepsKeepRunningANewStepStops) {
    OpenWithWatchedModel();
    Modeler->StartComputation();
    Ui.ComputationOptions.Script.push_back([](VComputationOptionsFields& f) {
        f.TimerPeriod = "45";
        f.StepsPerTick = "7";
    });
    Modeler->EditComputationOptions();
    ASSERT_EQ(1u, Ui.ComputationOptions.Shown.size());
    EXPECT_EQ("0.0001", Ui.ComputationOptions.Shown[0].TimeStep);
    EXPECT_EQ("30", Ui.ComputationOptions.Shown[0].TimerPeriod);
    EXPECT_EQ("20", Ui.ComputationOptions.Shown[0].StepsPerTick);
    EXPECT_EQ(45u, Modeler->TimerPeriod());
    EXPECT_EQ(7u, Modeler->StepsPerTick());
    EXPECT_TRUE(Modeler->IsProjectModified());
    EXPECT_TRUE(Modeler->IsRunning());

    Ui.ComputationOptions.Script.push_back([](VComputationOptionsFields& f) { f.TimeStep = "0,0002"; });
    Modeler->EditComputationOptions();
    EXPECT_FALSE(Modeler->IsRunning());
    EXPECT_EQ(0.0002, static_cast<double>(GetTimeStep()));
    Modeler->StartComputation();
    Modeler->ComputeTick();
    EXPECT_NEAR(7 * 0.0002, Now(), 1e-12);

    // Saved and read back as written.
    Modeler->SaveProject();
    auto ini = ReadIni(At("prj/P.tvp"));
    EXPECT_EQ("0.0002", ini->ReadString("Computation", "TimeStep", ""));
    EXPECT_EQ("45", ini->ReadString("Computation", "TimerCallStep", ""));
    EXPECT_EQ("7", ini->ReadString("Computation", "CalcPerTimerCall", ""));
}

TEST_F(ComputationOptionsTest, AZeroStepMarksModifiedStopsAndKeepsTheOldStep) {
    OpenWithWatchedModel();
    Modeler->StartComputation();
    Ui.ComputationOptions.Script.push_back([](VComputationOptionsFields& f) { f.TimeStep = "0"; });
    Modeler->EditComputationOptions();
    EXPECT_TRUE(Modeler->IsProjectModified());
    EXPECT_FALSE(Modeler->IsRunning());
    EXPECT_EQ(0.0001, static_cast<double>(GetTimeStep()));
    EXPECT_TRUE(Ui.Messages.Messages.empty());
}

TEST_F(ComputationOptionsTest, UnchangedFieldsOrCancelChangeNothing) {
    OpenWithWatchedModel();
    Modeler->StartComputation();
    Ui.ComputationOptions.Script.push_back([](VComputationOptionsFields&) {});
    Modeler->EditComputationOptions();
    Ui.ComputationOptions.Script.push_back(std::nullopt);
    Modeler->EditComputationOptions();
    EXPECT_FALSE(Modeler->IsProjectModified());
    EXPECT_TRUE(Modeler->IsRunning());
    EXPECT_EQ(2u, Ui.ComputationOptions.Shown.size());

    Modeler->CloseProject(true);
    Modeler->EditComputationOptions();  // no project: no dialog
    EXPECT_EQ(2u, Ui.ComputationOptions.Shown.size());
}

TEST_F(ComputationTest, TheProjectsStepGovernsFromTheFirstStart) {
    CreateFromText("prj/", "P");
    Modeler->CloseProject(true);
    // A fresh controller: no model has been made active yet.
    Modeler.reset();
    ASSERT_EQ(nullptr, GetActiveModel());
    Modeler = std::make_unique<VModeler>(Ui.Interface());
    auto ini = ReadIni(At("prj/P.tvp"));
    ini->WriteString("Computation", "TimeStep", "0.0005");
    ini->WriteString("Computation", "CalcAsFastAsPossible", "0");
    ini->WriteString("Computation", "CalcPace", "0");
    ASSERT_TRUE(ini->UpdateFile());

    ASSERT_TRUE(Modeler->LoadProject(At("prj/"), "P.tvp"));
    Modeler->StartComputation();
    EXPECT_EQ(0.0005, static_cast<double>(GetTimeStep()));
    Modeler->ComputeTick();
    EXPECT_NEAR(20 * 0.0005, Now(), 1e-12);
}

} // namespace
} // namespace talvero::testing

namespace talvero::testing {
namespace {

TEST_F(ComputationTest, ANeuronModelRunsWithBothWatchesPlotted) {
    CreateFromText("prj/", "Leg", kNeuronModel);
    ASSERT_TRUE(Ui.Messages.Messages.empty()) << Ui.Messages.Messages[0].Text;
    ASSERT_TRUE(Modeler->AddWatchWindow("0"));
    FakeWatchWindow& window = *Window("0");
    ASSERT_TRUE(window.Frame.AddObservation("drivewatch", OutGateWatchData("drive", 0, kChartAutoColor)));
    ASSERT_TRUE(window.Frame.AddObservation("cellwatch", OutGateWatchData("cell", 1, kChartAutoColor)));
    Modeler->StartComputation();
    for (int i = 0; i < 10; ++i) Modeler->ComputeTick();
    EXPECT_NEAR(200 * 0.0001, Now(), 1e-12);
    ASSERT_EQ(2, window.Chart().GetSeriesCount());
    for (int s = 0; s < 2; ++s) EXPECT_GT(window.Chart().GetSeries(s)->GetCount(), 0) << s;
}

} // namespace
} // namespace talvero::testing

namespace talvero::testing {
namespace {

using test_models::kDivergingEyeMuscle;

TEST_F(ComputationTest, AValueThatIsNotFiniteStopsTheComputationAndSaysWhereAndWhen) {
    CreateFromText("prj/", "Eye", kDivergingEyeMuscle);
    Modeler->SetStepsPerTick(100);
    Modeler->StartComputation();
    for (int i = 0; i < 50 && Modeler->IsRunning(); ++i) Modeler->ComputeTick();
    EXPECT_FALSE(Modeler->IsRunning());
    // The muscle overflows at 0.081 s; the computation stops in that step.
    EXPECT_NEAR(0.081, Now(), 0.00015);
    EXPECT_EQ(Cp1251ToUtf8(Modeler->GetStopReason()),
              "Счёт остановлен: наблюдение length получило не конечное значение в момент 0.081 с");
    Modeler->StartComputation();
    EXPECT_TRUE(Modeler->GetStopReason().empty());
}

TEST_F(ComputationOptionsTest, AStepThatWouldSubStepAMuscleWithoutBoundIsRefused) {
    CreateFromText("prj/", "Mu", "Model m { Net n { Muscle mu { } } }\n");
    Ui.ComputationOptions.Script.push_back([](VComputationOptionsFields& f) { f.TimeStep = "1"; });
    Modeler->EditComputationOptions();
    ASSERT_EQ(1u, Ui.Messages.Messages.size());
    EXPECT_NE(Ui.Messages.Messages[0].Text.find("m.n.mu"), std::string::npos);
    EXPECT_EQ(0.0001, static_cast<double>(GetTimeStep()));
    EXPECT_FALSE(Modeler->IsProjectModified());
}

} // namespace
} // namespace talvero::testing
