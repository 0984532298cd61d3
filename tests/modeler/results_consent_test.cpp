// Results and the save question: a project with unsaved results asks before it is replaced, and
// "Нет" writes nothing at all; a deleted watch window leaves the files until the project is saved.

#include <map>

#include "kernel/Cp1251.h"
#include "modeler/TWatchFrame.h"
#include "tests/modeler/ModelerTestSupport.h"

namespace talvero::testing {
namespace {

class ResultsConsentTest : public ModelerTest {
protected:
    // A saved project with two watch windows and results, then more results computed.
    void SaveThenComputeMore() {
        CreateFromText("prj/", "P", kNeuronModel);
        ASSERT_TRUE(Modeler->GetEnvironment()->IsModelLoaded());
        Modeler->SetAsFastAsPossible(false);
        Modeler->SetPace(0);  // a fixed number of steps per tick
        Modeler->SetStepsPerTick(StepsPerTick);
        for (const char* key : {"0", "1"}) {
            ASSERT_TRUE(Modeler->AddWatchWindow(key));
            ASSERT_TRUE(Window(key)->Frame.AddObservation("cellwatch", OutGateWatchData("cell", 0, kChartAutoColor)));
        }
        Compute(3);
        Modeler->SaveProject();
        ASSERT_FALSE(Modeler->HasUnsavedResults());
        ASSERT_TRUE(Exists(At("prj/watchinfo.0")));
        ASSERT_TRUE(Exists(At("prj/watchinfo.0.dat")));
        Before = Snapshot();
        Compute(3);
        ASSERT_TRUE(Modeler->HasUnsavedResults());
    }
    void Compute(int ticks) {
        Modeler->StartComputation();
        for (int i = 0; i < ticks; ++i) Modeler->ComputeTick();
        Modeler->StopComputation();
    }
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(At("prj")))
            if (entry.is_regular_file()) files[entry.path().string()] = ReadText(entry.path().string());
        return files;
    }
    std::map<std::string, std::string> Before;
    std::uint32_t StepsPerTick = 500;
};

// Every way of leaving a project with unsaved results asks, naming them; "Нет" keeps every file
// byte for byte, even after a watch window was deleted.
TEST_F(ResultsConsentTest, NoLeavesEveryFileAsItWas) {
    struct Case {
        const char* Name;
        bool DeleteWindowFirst;
        std::function<void()> Leave;
    };
    const Case cases[] = {
        {"close", false, [this] { Modeler->CloseProject(false); }},
        {"open another", false,
         [this] {
             Ui.Messages.Answers.push_back(VAnswer::No);
             Ui.FileOpen.Script.push_back(At("other/O.tvp"));
             Modeler->OpenProject();
         }},
        {"create another", true,
         [this] {
             Ui.Messages.Answers.push_back(VAnswer::No);
             WriteText(At("arm.tv"), kGeneratorModel);
             ScriptWizard(At("new/N.tvp"), "N", {}, At("arm.tv"));
             Modeler->CreateProject();
         }},
        {"close after deleting a window", true, [this] { Modeler->CloseProject(false); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(At("prj"));
        SaveThenComputeMore();
        if (c.DeleteWindowFirst) {
            ASSERT_TRUE(Modeler->RemoveWatchWindow("1"));
            EXPECT_EQ(Snapshot(), Before);  // deleting changes no file by itself
        }
        EXPECT_EQ(Modeler->SaveQuestion(), Cp("В проекте есть несохранённые результаты счёта. Сохранить их?"));
        c.Leave();
        EXPECT_EQ(Snapshot(), Before);
        Modeler->CloseCurrentProject();
    }
}

// "Нет" and then cancelling the command keeps the project open, and a later save still writes.
TEST_F(ResultsConsentTest, NoThenCancelKeepsTheResultsToSave) {
    SaveThenComputeMore();
    Ui.Messages.Answers.push_back(VAnswer::No);
    Modeler->OpenProject();  // the file dialog is cancelled
    ASSERT_TRUE(Modeler->IsProjectOpen());
    EXPECT_TRUE(Modeler->HasUnsavedResults());
    Modeler->SaveProject();
    EXPECT_NE(Snapshot().at(At("prj/watchinfo.0.dat")), Before.at(At("prj/watchinfo.0.dat")));
}

// A deleted window's files go with the next save, and only then.
TEST_F(ResultsConsentTest, ADeletedWindowsFilesGoAtTheSave) {
    SaveThenComputeMore();
    ASSERT_TRUE(Modeler->RemoveWatchWindow("1"));
    EXPECT_TRUE(Exists(At("prj/watchinfo.1")));
    Modeler->SaveProject();
    EXPECT_FALSE(Exists(At("prj/watchinfo.1")));
    EXPECT_FALSE(Exists(At("prj/watchinfo.1.dat")));
    EXPECT_TRUE(Exists(At("prj/watchinfo.0.dat")));
    EXPECT_EQ(ReadIni(At("prj/watchinfo"))->GetSections(), std::vector<std::string>{"0"});
}

// Saved results come back as they were: every series' points, bit for bit, and which of them are
// only the folded picture of a long run's past.
TEST_F(ResultsConsentTest, SavedChartsReopenAsTheyWere) {
    for (const bool folded : {false, true}) {
        SCOPED_TRACE(folded);
        StepsPerTick = folded ? 20000 : 500;
        Modeler->GetResultsBudget().SetBytes(folded ? kMinPointsPerSeries * kBytesPerKeptPoint
                                                    : kDefaultResultsBudgetBytes);
        SaveThenComputeMore();
        Modeler->SaveProject();
        const VMemorySeries& series = *Window("0")->Chart().GetMemorySeries(0);
        const auto points = series.GetPoints();
        const int thinned = series.GetThinnedCount();
        ASSERT_GT(points.size(), 100u);
        EXPECT_EQ(thinned > 0, folded);
        ASSERT_TRUE(Modeler->CloseCurrentProject());
        ASSERT_TRUE(Modeler->LoadProject(At("prj/"), "P.tvp"));
        const auto reopened = Window("0")->Chart().GetMemorySeries(0)->GetPoints();
        ASSERT_EQ(reopened.size(), points.size());
        for (std::size_t i = 0; i < points.size(); ++i) {
            ASSERT_EQ(points[i].X, reopened[i].X) << i;
            ASSERT_EQ(points[i].Y, reopened[i].Y) << i;
        }
        EXPECT_EQ(Window("0")->Chart().GetMemorySeries(0)->GetThinnedCount(), thinned);
        EXPECT_EQ(Modeler->IsResultsBudgetReached(), folded);
        EXPECT_FALSE(Modeler->HasUnsavedResults());
        ASSERT_TRUE(Modeler->CloseCurrentProject());
        std::filesystem::remove_all(At("prj"));
    }
}

} // namespace
} // namespace talvero::testing
