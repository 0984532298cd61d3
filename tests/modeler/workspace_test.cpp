// The workspace: the change test, restoring and saving, and a whole project closed and reopened.

#include "tests/modeler/ModelerTestSupport.h"

namespace talvero::testing {
namespace {

using WorkspaceTest = ModelerTest;

TEST_F(WorkspaceTest, TheChangeTestReportsOnlyWhatChangedSinceTheLastCall) {
    EXPECT_FALSE(Modeler->IsWorkspaceChanged());  // no project
    CreateFromText("prj/", "P");
    EXPECT_FALSE(Modeler->IsWorkspaceChanged());

    Ui.ObjectsList.Dirty = true;
    EXPECT_TRUE(Modeler->IsWorkspaceChanged());
    EXPECT_FALSE(Modeler->IsWorkspaceChanged());

    // Moving the objects list is not a change by itself; only its dirty mark is.
    Ui.ObjectsList.Placement = {1, 1, 1, 1};
    EXPECT_FALSE(Modeler->IsWorkspaceChanged());

    // A moved main window is copied into the file in memory, not onto the disk.
    const std::string onDisk = ReadText(At("prj/P.tvp"));
    Ui.MainWindow.Placement.Height = 91;
    EXPECT_TRUE(Modeler->IsWorkspaceChanged());
    EXPECT_EQ("91", Modeler->GetProjectFile()->ReadString("Environment", "MainWindowHeight", ""));
    EXPECT_EQ(onDisk, ReadText(At("prj/P.tvp")));
    EXPECT_FALSE(Modeler->IsWorkspaceChanged());

    // Every watch window is asked, so all their marks are cleared by one call.
    ASSERT_TRUE(Modeler->AddWatchWindow("0"));
    ASSERT_TRUE(Modeler->AddWatchWindow("1"));
    Window("0")->LayoutChanged = true;
    Window("1")->LayoutChanged = true;
    EXPECT_TRUE(Modeler->IsWorkspaceChanged());
    EXPECT_FALSE(Window("1")->LayoutChanged);
    EXPECT_FALSE(Modeler->IsWorkspaceChanged());

    // A switch that differs from its stored value is reported every time; toggled back, never.
    Modeler->ToggleTimeCounter();
    EXPECT_TRUE(Modeler->IsWorkspaceChanged());
    EXPECT_TRUE(Modeler->IsWorkspaceChanged());
    Modeler->ToggleTimeCounter();
    EXPECT_FALSE(Modeler->IsWorkspaceChanged());
}

TEST_F(WorkspaceTest, ASaveWithNothingChangedWritesNothing) {
    CreateFromText("prj/", "P");
    std::filesystem::remove(At("prj/P.tvp"));
    std::filesystem::remove(At("prj/watchinfo"));
    Modeler->SaveProject();
    EXPECT_FALSE(Exists(At("prj/P.tvp")));
    EXPECT_FALSE(Exists(At("prj/watchinfo")));

    Ui.ObjectsList.Dirty = true;
    Modeler->SaveProject();
    EXPECT_TRUE(Exists(At("prj/P.tvp")));
    EXPECT_TRUE(Exists(At("prj/watchinfo")));
}

TEST_F(WorkspaceTest, SavingWritesTheEnvironmentKeysWithProgress) {
    CreateFromText("prj/", "P");
    Ui.ObjectsList.Placement = {11, 12, 13, 14};
    Ui.ObjectsList.Show();
    Ui.ObjectsList.SetPage(2);
    Modeler->ToggleWatchAccumulation();
    ASSERT_TRUE(Modeler->AddWatchWindow("0"));
    Ui.Progress.Captions.clear();
    Ui.Progress.Line1.clear();
    ASSERT_TRUE(Modeler->SaveWorkspace());

    auto ini = ReadIni(At("prj/P.tvp"));
    EXPECT_EQ("11", ini->ReadString("Environment", "MdlObjWindowTop", ""));
    EXPECT_EQ("14", ini->ReadString("Environment", "MdlObjWindowHeight", ""));
    EXPECT_EQ("2", ini->ReadString("Environment", "MdlObjShowType", ""));
    EXPECT_EQ("1", ini->ReadString("Environment", "MdlObjWindowVisible", ""));
    EXPECT_EQ("0", ini->ReadString("Environment", "WatchAccumulateStatus", ""));
    EXPECT_EQ("1", ini->ReadString("Environment", "TimeCounterStatus", ""));
    EXPECT_EQ((std::vector<std::string>{Cp("Сохранение рабочей среды...")}), Ui.Progress.Captions);
    ASSERT_GE(Ui.Progress.Line1.size(), 2u);
    EXPECT_EQ(Cp("Главное окно"), Ui.Progress.Line1[0]);
    EXPECT_EQ(Cp("Окно управления объектами"), Ui.Progress.Line1[1]);
    EXPECT_EQ(Cp("Всего:"), Ui.Progress.Lines[1]);
    EXPECT_EQ(3, Ui.Progress.Maximum[1]);
    EXPECT_FALSE(Ui.Progress.Visible);
}

TEST_F(WorkspaceTest, RestoringAppliesTheStoredValues) {
    std::filesystem::create_directory(At("p"));
    WriteText(At("p/a.tvp"),
              "[Environment]\nMainWindowTop=7\nMainWindowLeft=8\nMainWindowWidth=500\nMainWindowHeight=90\n"
              "MdlObjWindowTop=1\nMdlObjWindowLeft=2\nMdlObjWindowWidth=3\nMdlObjWindowHeight=4\n"
              "MdlObjWindowVisible=5\nMdlObjShowType=1\nWatchAccumulateStatus=0\nTimeCounterStatus=0\n");
    ASSERT_TRUE(Modeler->LoadProject(At("p/"), "a.tvp"));
    EXPECT_EQ((VWindowPlacement{7, 8, 500, 90}), Ui.MainWindow.Placement);
    EXPECT_EQ((VWindowPlacement{1, 2, 3, 4}), Ui.ObjectsList.Placement);
    EXPECT_TRUE(Ui.ObjectsList.Shown);
    EXPECT_EQ(1, Ui.ObjectsList.Page);
    EXPECT_FALSE(Modeler->IsWatchAccumulationOn());
    EXPECT_FALSE(Modeler->IsTimeCounterOn());
    EXPECT_EQ((std::vector<std::string>{Cp("Восстановление рабочей среды...")}), Ui.Progress.Captions);
    EXPECT_EQ((std::vector<std::string>{Cp("Главное окно"), Cp("Окно управления объектами")}), Ui.Progress.Line1);
    EXPECT_EQ(2, Ui.Progress.Position[1]);
    EXPECT_FALSE(Ui.Progress.Visible);
}

TEST_F(WorkspaceTest, DamagedOrUnsavableWatchInformationIsReported) {
    CreateFromText("prj/", "P");
    ASSERT_TRUE(Modeler->AddWatchWindow("0"));
    ASSERT_TRUE(Window("0")->Frame.AddObservation("watch", OutGateWatchData("watch", 0, kChartAutoColor)));
    // The series file cannot be written where a directory stands.
    std::filesystem::create_directory(At("prj/watchinfo.0"));
    Modeler->SaveProject();
    ASSERT_EQ(1u, Ui.Messages.Messages.size());
    EXPECT_EQ(Cp("Информацию об окнах наблюдения не удалось сохранить") + "\n", Ui.Messages.Messages[0].Text);
    EXPECT_FALSE(Ui.Progress.Visible);

    // Nor read: the window loaded so far stays, 1010 is reported.
    Modeler->CloseProject(false);
    Ui.FileOpen.Script.push_back(At("prj/P.tvp"));
    Modeler->OpenProject();
    ASSERT_EQ(2u, Ui.Messages.Messages.size());
    EXPECT_EQ(Cp("Информация об окнах наблюдения была повреждена") + "\n", Ui.Messages.Messages[1].Text);
    EXPECT_EQ(1u, Modeler->GetWatchWindows().size());
    EXPECT_FALSE(Ui.Progress.Visible);
}

TEST_F(WorkspaceTest, AWholeProjectIsWrittenClosedAndReopenedAsItWas) {
    CreateFromText("prj/", "Whole");
    Ui.NameInput.Script.push_back(std::string("first plot"));
    Modeler->CreateWatchWindow();
    Ui.NameInput.Script.push_back(std::string("second plot"));
    Modeler->CreateWatchWindow();
    ASSERT_EQ(2u, Modeler->GetWatchWindows().size());
    FakeWatchWindow& first = *Window("0");
    ASSERT_TRUE(first.Frame.AddObservation("watch", OutGateWatchData("pulses", 0.5, 255)));
    first.SetPlacement({40, 50, 320, 210});
    first.SetAxisTitle(VAxis::Horizontal, "t, s");
    first.SetAxisLabels(VAxis::Vertical, false);
    first.SetLegendShown(true);
    Window("1")->SetShown(false);
    Window("1")->SetWindowState(VWindowState::Maximized);

    Modeler->StartComputation();
    for (int i = 0; i < 5; ++i) Modeler->ComputeTick();
    Modeler->StopComputation();
    Modeler->ToggleTimeCounter();
    Ui.ObjectsList.Show();
    Ui.ObjectsList.SetPage(2);
    Ui.MainWindow.Placement = {10, 20, 610, 90};

    const VChartSeries& series = *first.Chart().GetSeries(0);
    std::vector<std::pair<double, double>> points;
    for (int i = 0; i < series.GetCount(); ++i) points.emplace_back(series.GetX(i), series.GetY(i));
    ASSERT_FALSE(points.empty());

    Modeler->CloseProject(true);
    EXPECT_FALSE(Modeler->IsProjectOpen());
    EXPECT_TRUE(Modeler->GetWatchWindows().empty());
    EXPECT_TRUE(Exists(At("prj/watchinfo.0")));
    EXPECT_FALSE(Exists(At("prj/watchinfo.1")));  // a window without series writes no series file

    // Everything back to other values before reopening.
    Ui.MainWindow.Placement = {0, 0, 1, 1};
    Ui.ObjectsList = FakeObjectsListWindow{};
    Ui.FileOpen.Script.push_back(At("prj/Whole.tvp"));
    Modeler->OpenProject();
    EXPECT_TRUE(Ui.Messages.Messages.empty());

    EXPECT_EQ("Talvero - Whole", Ui.MainWindow.Caption);
    EXPECT_TRUE(Modeler->GetEnvironment()->IsModelLoaded());
    EXPECT_EQ((VWindowPlacement{10, 20, 610, 90}), Ui.MainWindow.Placement);
    EXPECT_TRUE(Ui.ObjectsList.Shown);
    EXPECT_EQ(2, Ui.ObjectsList.Page);
    EXPECT_TRUE(Modeler->IsWatchAccumulationOn());
    EXPECT_FALSE(Modeler->IsTimeCounterOn());
    EXPECT_EQ((NStringList{"first line", "second line"}), Modeler->GetDescription());

    ASSERT_EQ(2u, Modeler->GetWatchWindows().size());
    FakeWatchWindow& again = *Window("0");
    EXPECT_EQ("first plot", again.GetCaption());
    EXPECT_EQ((VWindowPlacement{40, 50, 320, 210}), again.GetPlacement());
    EXPECT_TRUE(again.IsShown());
    EXPECT_EQ("t, s", again.GetAxisTitle(VAxis::Horizontal));
    EXPECT_TRUE(again.GetAxisLabels(VAxis::Horizontal));
    EXPECT_FALSE(again.GetAxisLabels(VAxis::Vertical));
    EXPECT_TRUE(again.IsLegendShown());
    EXPECT_EQ("second plot", Window("1")->GetCaption());
    EXPECT_FALSE(Window("1")->IsShown());
    EXPECT_EQ(VWindowState::Maximized, Window("1")->GetWindowState());

    ASSERT_EQ(1, again.Chart().GetSeriesCount());
    const VChartSeries& restored = *again.Chart().GetSeries(0);
    EXPECT_EQ("pulses", restored.GetTitle());
    EXPECT_EQ(255, restored.GetColor());
    ASSERT_EQ(static_cast<int>(points.size()), restored.GetCount());
    for (int i = 0; i < restored.GetCount(); ++i) {
        EXPECT_NEAR(points[i].first, restored.GetX(i), 1e-6);
        EXPECT_NEAR(points[i].second, restored.GetY(i), 1e-6);  // shifted once, not twice
    }
    const auto& data = again.Frame.GetWatchData();
    ASSERT_EQ(1u, data.count("watch"));
    EXPECT_EQ(0.5, data.at("watch")->YShift);
}

} // namespace
} // namespace talvero::testing
