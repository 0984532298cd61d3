// Opening and saving the project file: keys, defaults, number texts, what a save writes.

#include "tests/modeler/ModelerTestSupport.h"
#include "support/WriteFailure.h"

namespace talvero::testing {
namespace {

using ProjectOpenTest = ModelerTest;

TEST_F(ProjectOpenTest, MissingKeysOpenAProjectNamedFailWithoutModelAndWithDefaults) {
    std::filesystem::create_directory(At("p"));
    WriteText(At("p/empty.tvp"), "");
    Ui.FileOpen.Script.push_back(At("p/empty.tvp"));
    Modeler->OpenProject();

    EXPECT_EQ(Cp("Проект Talvero (*.tvp)|*.tvp"), Ui.FileOpen.LastFilter);
    EXPECT_EQ("tvp", Ui.FileOpen.LastExtension);
    EXPECT_TRUE(Ui.Messages.Messages.empty());
    ASSERT_TRUE(Modeler->IsProjectOpen());
    EXPECT_FALSE(Modeler->IsProjectModified());
    EXPECT_EQ("Fail", Modeler->GetProjectName());
    EXPECT_EQ("Talvero - Fail", Ui.MainWindow.Caption);
    EXPECT_EQ(At("p/"), Modeler->GetProjectDirectory());
    EXPECT_EQ("empty.tvp", Modeler->GetProjectFileName());
    EXPECT_FALSE(Modeler->GetEnvironment()->IsModelLoaded());
    EXPECT_TRUE(Modeler->GetDescription().empty());
    EXPECT_EQ(30u, Modeler->TimerPeriod());
    EXPECT_EQ(20u, Modeler->StepsPerTick());
    EXPECT_EQ(static_cast<double>(kDefaultTimeStep), static_cast<double>(GetTimeStep()));
    // No "Environment" section: the workspace's defaults.
    EXPECT_EQ((VWindowPlacement{0, 0, 600, 100}), Ui.MainWindow.Placement);
    EXPECT_EQ((VWindowPlacement{100, 100, 200, 300}), Ui.ObjectsList.Placement);
    EXPECT_FALSE(Ui.ObjectsList.Shown);
    EXPECT_TRUE(Modeler->GetWatchWindows().empty());
    EXPECT_TRUE(Modeler->IsWatchAccumulationOn());
    EXPECT_TRUE(Modeler->IsTimeCounterOn());

    // An empty model name (saved while no model was loaded) means no model as well, not a failure.
    WriteText(At("p/nomodel.tvp"), "[System]\nProjectName=N\nModelFileName=\n");
    EXPECT_TRUE(Modeler->LoadProject(At("p/"), "nomodel.tvp"));
    EXPECT_EQ(0u, PeekLastErrorCode());
    EXPECT_EQ("Talvero - N", Ui.MainWindow.Caption);
    EXPECT_FALSE(Modeler->GetEnvironment()->IsModelLoaded());
}

TEST_F(ProjectOpenTest, AnAbsoluteModelNameIsNotJoinedToTheProjectFolder) {
    std::filesystem::create_directory(At("p"));
    std::filesystem::create_directory(At("models"));
    WriteText(At("models/m.tv"), "Model m { Net n { Neuron a { } } }\n");
    ASSERT_TRUE(Modeler->GetEnvironment()->Compile(At("models/m.tv"), At("models/m.btv")));
    WriteText(At("p/abs.tvp"), "[System]\nProjectName=A\nModelFileName=" + At("models/m.btv") + "\n");
    EXPECT_TRUE(Modeler->LoadProject(At("p/"), "abs.tvp"));
    EXPECT_TRUE(Modeler->GetEnvironment()->IsModelLoaded());
}

TEST_F(ProjectOpenTest, NumberTextsAreTruncatedAcceptCommaAndFallBackWhenDamaged) {
    std::filesystem::create_directory(At("p"));
    WriteText(At("p/a.tvp"), "[Computation]\nTimeStep=0,0005\nTimerCallStep=12.9\nCalcPerTimerCall=7,8\n");
    ASSERT_TRUE(Modeler->LoadProject(At("p/"), "a.tvp"));
    EXPECT_EQ(0.0005, static_cast<double>(GetTimeStep()));
    EXPECT_EQ(12u, Modeler->TimerPeriod());
    EXPECT_EQ(7u, Modeler->StepsPerTick());

    // A stored step of 0 is said, and the default step runs, not the previous project's.
    WriteText(At("p/b.tvp"), "[Computation]\nTimeStep=0\nTimerCallStep=5\n");
    ASSERT_TRUE(Modeler->LoadProject(At("p/"), "b.tvp"));
    EXPECT_EQ(static_cast<double>(kDefaultTimeStep), static_cast<double>(GetTimeStep()));
    EXPECT_EQ(5u, Modeler->TimerPeriod());
    EXPECT_EQ(20u, Modeler->StepsPerTick());

    // Damaged texts and negative counts take the key's default; the project still opens whole.
    WriteText(At("p/c.tvp"),
              "[System]\nProjectName=Damaged\n[Computation]\nTimeStep=fast\nTimerCallStep=-5\nCalcPerTimerCall=lots\n"
              "[Environment]\nMainWindowTop=x\nMainWindowLeft=7\nMainWindowWidth=1.5\nTimeCounterStatus=no\n");
    ASSERT_TRUE(Modeler->LoadProject(At("p/"), "c.tvp"));
    EXPECT_TRUE(Modeler->IsProjectOpen());
    EXPECT_EQ("Damaged", Modeler->GetProjectName());
    EXPECT_EQ(static_cast<double>(kDefaultTimeStep), static_cast<double>(GetTimeStep()));
    EXPECT_EQ(30u, Modeler->TimerPeriod());
    EXPECT_EQ(20u, Modeler->StepsPerTick());
    EXPECT_EQ((VWindowPlacement{0, 7, 600, 100}), Ui.MainWindow.Placement);
    EXPECT_TRUE(Modeler->IsTimeCounterOn());
}

TEST_F(ProjectOpenTest, AStoredTimeStepThatIsNoStepIsShownWithFileAndValueAndTheDefaultRuns) {
    std::filesystem::create_directory(At("p"));
    for (const std::string value : {"nan", "inf", "-1", "0", "abc", "0.001 junk", ""}) {
        SCOPED_TRACE(value);
        WriteText(At("p/good.tvp"), "[Computation]\nTimeStep=0.0005\n");
        ASSERT_TRUE(Modeler->LoadProject(At("p/"), "good.tvp"));
        Ui.Messages.Messages.clear();
        WriteText(At("p/bad.tvp"), "[Computation]\nTimeStep=" + value + "\n");
        ASSERT_TRUE(Modeler->LoadProject(At("p/"), "bad.tvp"));
        EXPECT_EQ(static_cast<double>(kDefaultTimeStep), static_cast<double>(GetTimeStep()));
        ASSERT_EQ(1u, Ui.Messages.Messages.size());
        EXPECT_NE(std::string::npos, Ui.Messages.Messages[0].Text.find(At("p/bad.tvp") + ": [Computation] TimeStep=" + value))
            << Ui.Messages.Messages[0].Text;
    }
    // A project without the key is no fault.
    Ui.Messages.Messages.clear();
    WriteText(At("p/none.tvp"), "[System]\nProjectName=N\n");
    ASSERT_TRUE(Modeler->LoadProject(At("p/"), "none.tvp"));
    EXPECT_TRUE(Ui.Messages.Messages.empty());
}

TEST_F(ProjectOpenTest, DescriptionIsReadFromTheStoredNameAndAMissingFileGivesNoLines) {
    std::filesystem::create_directories(At("p/sub"));
    WriteText(At("p/sub/about.txt"), "line one\r\nline two\n\nlast");
    WriteText(At("p/a.tvp"), "[System]\nProjectName=Named\nProjectDescription=sub/about.txt\n");
    ASSERT_TRUE(Modeler->LoadProject(At("p/"), "a.tvp"));
    EXPECT_EQ((NStringList{"line one", "line two", "", "last"}), Modeler->GetDescription());

    WriteText(At("p/b.tvp"), "[System]\nProjectDescription=gone.rtf\n");
    ASSERT_TRUE(Modeler->LoadProject(At("p/"), "b.tvp"));
    EXPECT_TRUE(Modeler->GetDescription().empty());
}

TEST_F(ProjectOpenTest, BlankArgumentsOpenNothingAndAnUnreadableFileIs1002) {
    EXPECT_TRUE(Modeler->LoadProject(" \t", "a.tvp"));
    EXPECT_FALSE(Modeler->IsProjectOpen());
    EXPECT_TRUE(Modeler->LoadProject(At(""), "  "));
    EXPECT_FALSE(Modeler->IsProjectOpen());

    std::filesystem::create_directory(At("dir.tvp"));
    EXPECT_FALSE(Modeler->LoadProject(At(""), "dir.tvp"));
    EXPECT_EQ(1002u, PeekLastErrorCode());
    EXPECT_EQ(At("dir.tvp"), GetLastErrorInfo());
    EXPECT_FALSE(Modeler->IsProjectOpen());

    // Through the command the error goes to the error box.
    Ui.FileOpen.Script.push_back(At("dir.tvp"));
    Modeler->OpenProject();
    ASSERT_EQ(1u, Ui.Messages.Messages.size());
    EXPECT_EQ(Cp("Ошибка!"), Ui.Messages.Messages[0].Caption);
    EXPECT_EQ(Cp("Невозможно открыть файл") + "\n" + At("dir.tvp"), Ui.Messages.Messages[0].Text);
}

using ProjectSaveTest = ModelerTest;

TEST_F(ProjectSaveTest, AnUnmodifiedProjectWritesNoSystemOrComputationKeys) {
    std::filesystem::create_directory(At("p"));
    const std::string text = "[System]\nProjectName=Kept\n[Computation]\nTimerCallStep=12.9\n";
    WriteText(At("p/a.tvp"), text);
    ASSERT_TRUE(Modeler->LoadProject(At("p/"), "a.tvp"));
    Modeler->SaveProject();
    EXPECT_EQ(text, ReadText(At("p/a.tvp")));  // nothing changed at all: nothing written

    // A moved main window writes the workspace, still without the project's own keys.
    Ui.MainWindow.Placement = {5, 6, 700, 90};
    Modeler->SaveProject();
    auto ini = ReadIni(At("p/a.tvp"));
    EXPECT_EQ("12.9", ini->ReadString("Computation", "TimerCallStep", ""));
    EXPECT_FALSE(ini->ValueExists("System", "ModelFileName"));
    EXPECT_FALSE(ini->ValueExists("System", "ProjectDescription"));
    EXPECT_FALSE(Exists(At("p/PrjDescr.rtf")));
    EXPECT_EQ("5", ini->ReadString("Environment", "MainWindowTop", ""));
    EXPECT_EQ("700", ini->ReadString("Environment", "MainWindowWidth", ""));
    EXPECT_EQ("watchinfo", ini->ReadString("Environment", "WatchInfoFileName", ""));
}

TEST_F(ProjectSaveTest, AModifiedProjectWritesItsKeysAndTheDescriptionFile) {
    std::filesystem::create_directory(At("p"));
    WriteText(At("p/a.tvp"), "[Computation]\nTimeStep=0.00025\nTimerCallStep=12.9\n");
    ASSERT_TRUE(Modeler->LoadProject(At("p/"), "a.tvp"));
    Modeler->SetProjectName("Renamed");
    EXPECT_TRUE(Modeler->IsProjectModified());
    EXPECT_EQ("Talvero - Renamed", Ui.MainWindow.Caption);
    Modeler->SetDescription({"alpha", "beta"});
    Modeler->SaveProject();
    EXPECT_FALSE(Modeler->IsProjectModified());

    auto ini = ReadIni(At("p/a.tvp"));
    EXPECT_EQ("Renamed", ini->ReadString("System", "ProjectName", ""));
    EXPECT_EQ("PrjDescr.rtf", ini->ReadString("System", "ProjectDescription", ""));
    EXPECT_EQ("", ini->ReadString("System", "ModelFileName", "absent"));
    EXPECT_EQ("0.00025", ini->ReadString("Computation", "TimeStep", ""));
    EXPECT_EQ("12", ini->ReadString("Computation", "TimerCallStep", ""));
    EXPECT_EQ("20", ini->ReadString("Computation", "CalcPerTimerCall", ""));
    EXPECT_EQ("alpha\nbeta\n", ReadText(At("p/PrjDescr.rtf")));

    // An existing description key is kept and its file rewritten.
    WriteText(At("p/b.tvp"), "[System]\nProjectDescription=notes.txt\n");
    ASSERT_TRUE(Modeler->LoadProject(At("p/"), "b.tvp"));
    Modeler->SetProjectName("B");
    Modeler->SetDescription({"gamma"});
    ASSERT_TRUE(Modeler->SaveProjectFile());
    EXPECT_EQ("notes.txt", ReadIni(At("p/b.tvp"))->ReadString("System", "ProjectDescription", ""));
    EXPECT_EQ("gamma\n", ReadText(At("p/notes.txt")));
}

TEST_F(ProjectSaveTest, AFailedWriteReportsAndKeepsTheOldFileAndTheModifiedMark) {
    std::filesystem::create_directory(At("p"));
    const std::string old = "[System]\nProjectName=Old\n";
    WriteText(At("p/a.tvp"), old);
    ASSERT_TRUE(Modeler->LoadProject(At("p/"), "a.tvp"));
    Modeler->SetProjectName("New");
    test::WriteFailure failure;
    Modeler->SaveProject();
    ASSERT_EQ(1u, Ui.Messages.Messages.size());
    EXPECT_EQ(Cp("Невозможно создать файл") + "\n" + At("p/a.tvp"), Ui.Messages.Messages[0].Text);
    EXPECT_EQ(old, ReadText(At("p/a.tvp")));
    EXPECT_TRUE(Modeler->IsProjectModified());

    // Closing cannot save either: the project stays open rather than lose the change.
    EXPECT_FALSE(Modeler->CloseCurrentProject());
    EXPECT_TRUE(Modeler->IsProjectOpen());

    failure.Lift();
    EXPECT_TRUE(Modeler->CloseCurrentProject());
    EXPECT_FALSE(Modeler->IsProjectOpen());
    EXPECT_EQ("Talvero", Ui.MainWindow.Caption);
    EXPECT_EQ("New", ReadIni(At("p/a.tvp"))->ReadString("System", "ProjectName", ""));
}

TEST_F(ProjectSaveTest, ProjectOptionsDialogRenamesAndReplacesTheDescription) {
    Modeler->EditProjectOptions();  // no project: the dialog is not shown
    EXPECT_TRUE(Ui.ProjectOptions.Shown.empty());

    std::filesystem::create_directory(At("p"));
    WriteText(At("p/d.txt"), "old\n");
    WriteText(At("p/a.tvp"), "[System]\nProjectName=Before\nProjectDescription=d.txt\n");
    ASSERT_TRUE(Modeler->LoadProject(At("p/"), "a.tvp"));
    Ui.ProjectOptions.Script.push_back(std::nullopt);
    Modeler->EditProjectOptions();
    EXPECT_FALSE(Modeler->IsProjectModified());
    ASSERT_EQ(1u, Ui.ProjectOptions.Shown.size());
    EXPECT_EQ("Before", Ui.ProjectOptions.Shown[0].Name);
    EXPECT_EQ((NStringList{"old"}), Ui.ProjectOptions.Shown[0].Description);

    Ui.ProjectOptions.Script.push_back(FakeProjectOptionsDialog::Values{"After", {"new", "text"}});
    Modeler->EditProjectOptions();
    EXPECT_TRUE(Modeler->IsProjectModified());
    EXPECT_EQ("After", Modeler->GetProjectName());
    EXPECT_EQ("Talvero - After", Ui.MainWindow.Caption);
    EXPECT_EQ((NStringList{"new", "text"}), Modeler->GetDescription());
}

} // namespace
} // namespace talvero::testing
