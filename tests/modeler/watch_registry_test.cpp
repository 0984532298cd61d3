// The watch window registry of the controller: keys, the three commands, the watch info file
// and the series files beside it.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FakeUi.h"
#include "FakeWatchWindow.h"
#include "WatchTestSupport.h"
#include "environment/NEnvironment.h"
#include "kernel/NModel.h"
#include "modeler/VModeler.h"
#include "support/WriteFailure.h"

namespace talvero::testing {
namespace {

class WatchRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui.WatchWindows.Make = [] { return std::make_unique<FakeWatchWindow>(); };
        modeler = std::make_unique<VModeler>(ui.Interface());
        ASSERT_TRUE(modeler->NewProject(dir.Dir(), "p.tvp"));
        ASSERT_TRUE(modeler->IsProjectOpen());
    }
    void TearDown() override {
        if (modeler) modeler->CloseProject(false);
        modeler.reset();
    }

    NModel& Model() { return *modeler->GetEnvironment()->GetModel(); }
    ScriptedGate* AddGate(const char* name) {
        auto* gate = new ScriptedGate(&Model(), name);
        EXPECT_TRUE(Model().AddOutGate(gate));
        return gate;
    }
    FakeWatchWindow& Window(const std::string& key) {
        VWatchWindow* w = modeler->GetWatchWindow(key);
        EXPECT_NE(w, nullptr) << key;
        return static_cast<FakeWatchWindow&>(*w);
    }
    std::vector<std::string> Keys() const {
        std::vector<std::string> keys;
        for (const auto& entry : modeler->GetWatchWindows()) keys.push_back(entry.first);
        return keys;
    }
    NStringList Captions() const {
        NStringList list;
        modeler->ListWatchWindows(list);
        return list;
    }
    void Create(const std::string& caption) {
        ui.NameInput.Script.push_back(caption);
        modeler->CreateWatchWindow();
    }

    TempDir dir;
    FakeUi ui;
    std::unique_ptr<VModeler> modeler;
};

TEST_F(WatchRegistryTest, CreatingAsksForANameAndTakesTheSmallestFreeKey) {
    ui.NameInput.Script.push_back(std::nullopt);
    modeler->CreateWatchWindow();
    EXPECT_TRUE(modeler->GetWatchWindows().empty());

    Create("Pulses");
    ASSERT_EQ(Keys(), (std::vector<std::string>{"0"}));
    EXPECT_EQ(Window("0").Caption, "Pulses");
    EXPECT_TRUE(Window("0").Shown);
    EXPECT_EQ(Window("0").Frame.GetModel(), &Model());

    Create("Lengths");
    const VNameInputRequest& asked = ui.NameInput.Requests.back();
    EXPECT_FALSE(asked.MustSelect);
    EXPECT_TRUE(asked.NonEmpty);
    EXPECT_FALSE(asked.Sorted);
    EXPECT_EQ(asked.Items, (NStringList{"Pulses"}));
    EXPECT_EQ(asked.Title, Cp("Введите имя нового окна наблюдения"));
    EXPECT_EQ(asked.InitialText, "");

    for (int k = 2; k <= 10; ++k) ASSERT_TRUE(modeler->AddWatchWindow(std::to_string(k)));
    Create("eleventh");
    EXPECT_EQ(Window("11").Caption, "eleventh");

    ASSERT_TRUE(modeler->RemoveWatchWindow("1"));
    Create("again");
    EXPECT_EQ(Window("1").Caption, "again");

    EXPECT_FALSE(modeler->AddWatchWindow("1"));
    EXPECT_EQ(PeekLastErrorCode(), 1020u);
    EXPECT_EQ(GetLastErrorInfo(), "1");
    EXPECT_FALSE(modeler->RemoveWatchWindow("77"));
    EXPECT_EQ(PeekLastErrorCode(), 1021u);
    EXPECT_EQ(GetLastErrorInfo(), "77");
}

TEST_F(WatchRegistryTest, CommandsDoNothingWithoutAProject) {
    ASSERT_TRUE(modeler->AddWatchWindow("0"));
    ASSERT_TRUE(modeler->CloseCurrentProject());
    ui.NameInput.Script.assign({std::optional<std::string>("x"), std::optional<std::string>("0")});
    modeler->CreateWatchWindow();
    modeler->DeleteWatchWindow();
    modeler->ShowWatchWindowList();
    EXPECT_TRUE(ui.NameInput.Requests.empty());
    EXPECT_TRUE(Captions().empty());
}

TEST_F(WatchRegistryTest, DeletingByCaptionTakesTheFirstKeyInByteOrderWithItsFilesAtTheSave) {
    AddGate("a");
    for (const char* key : {"2", "10", "3"}) ASSERT_TRUE(modeler->AddWatchWindow(key));
    Window("2").Caption = "twin";
    Window("10").Caption = "twin";
    Window("3").Caption = "other";
    for (const char* key : {"2", "10", "3"})
        ASSERT_TRUE(Window(key).Frame.AddObservation("a", OutGateWatchData("A", 0, 1)));
    ASSERT_TRUE(modeler->SaveWorkspace());
    const std::string info = dir.File("watchinfo");
    ASSERT_TRUE(Exists(info + ".10"));
    WriteText(dir.File("unrelated.10"), "x");

    EXPECT_EQ(Captions(), (NStringList{"twin", "twin", "other"}));
    ui.NameInput.Script.push_back("twin");
    modeler->DeleteWatchWindow();
    const VNameInputRequest& asked = ui.NameInput.Requests.back();
    EXPECT_TRUE(asked.MustSelect);
    EXPECT_TRUE(asked.NonEmpty);
    EXPECT_FALSE(asked.Sorted);
    EXPECT_EQ(asked.Title, Cp("Введите имя удаляемого окна наблюдения"));

    EXPECT_EQ(Keys(), (std::vector<std::string>{"2", "3"}));
    // Leaving without saving must find the files as they were.
    EXPECT_TRUE(Exists(info + ".10"));
    ASSERT_TRUE(modeler->SaveWorkspace());
    EXPECT_FALSE(Exists(info + ".10"));
    EXPECT_TRUE(Exists(info + ".2"));
    EXPECT_TRUE(Exists(info + ".3"));
    EXPECT_TRUE(Exists(dir.File("unrelated.10")));
    std::unique_ptr<VIniFile> file = VIniFile::Open(info);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetSections(), (std::vector<std::string>{"2", "3"}));
    EXPECT_TRUE(ui.Messages.Messages.empty());
}

TEST_F(WatchRegistryTest, DeletingNamesTheWatchInfoFileWhenTheProjectHadNone) {
    ASSERT_TRUE(modeler->AddWatchWindow("0"));
    ASSERT_TRUE(modeler->RemoveWatchWindow("0"));
    ASSERT_TRUE(modeler->SaveWorkspace());
    std::unique_ptr<VIniFile> project = VIniFile::Open(dir.File("p.tvp"));
    ASSERT_TRUE(project);
    EXPECT_EQ(project->ReadString("Environment", "WatchInfoFileName", "Fail"), "watchinfo");
}

TEST_F(WatchRegistryTest, AWatchInfoFileThatCannotBeWrittenKeepsTheWindowAndItsFiles) {
    AddGate("a");
    ASSERT_TRUE(modeler->AddWatchWindow("0"));
    ASSERT_TRUE(Window("0").Frame.AddObservation("a", OutGateWatchData("A", 0, 1)));
    ASSERT_TRUE(modeler->AddWatchWindow("1"));  // so that the rewritten file is not empty
    ASSERT_TRUE(modeler->SaveWorkspace());
    const std::string info = dir.File("watchinfo");
    const std::string before = ReadText(info);
    test::WriteFailure failure;

    Window("0").Caption = "w";
    ui.NameInput.Script.push_back("w");
    modeler->DeleteWatchWindow();  // writes nothing yet
    EXPECT_EQ(Keys(), (std::vector<std::string>{"1"}));
    EXPECT_TRUE(ui.Messages.Messages.empty());
    EXPECT_FALSE(modeler->SaveWorkspace());
    EXPECT_TRUE(Exists(info + ".0"));
    EXPECT_EQ(ReadText(info), before);
    failure.Lift();
}

TEST_F(WatchRegistryTest, TheListCommandBringsTheChosenWindowBack) {
    ASSERT_TRUE(modeler->AddWatchWindow("0"));
    ASSERT_TRUE(modeler->AddWatchWindow("1"));
    Window("1").Caption = "back";
    Window("1").State = VWindowState::Minimized;
    ui.NameInput.Script.push_back("back");
    modeler->ShowWatchWindowList();
    EXPECT_EQ(ui.NameInput.Requests.back().Title, Cp("Список открытых окно наблюдения"));
    EXPECT_TRUE(ui.NameInput.Requests.back().MustSelect);
    EXPECT_TRUE(Window("1").Shown);
    EXPECT_EQ(Window("1").State, VWindowState::Normal);
    EXPECT_EQ(Window("1").FrontCalls, 1);
    EXPECT_FALSE(Window("0").Shown);
}

TEST_F(WatchRegistryTest, TheWatchInfoFileHoldsEveryWindowKeyAndTheSeriesFilesTheirPoints) {
    ScriptedGate* a = AddGate("a");
    a->Set({0.0001, 0.0002, 0.0003}, {0, 1, 0});
    ASSERT_TRUE(modeler->AddWatchWindow("0"));
    ASSERT_TRUE(modeler->AddWatchWindow("1"));
    FakeWatchWindow& w = Window("0");
    w.Caption = "Pulses";
    w.Placement = {11, 22, 333, 444};
    w.Shown = true;
    w.State = VWindowState::Maximized;
    w.SetAxisLabels(VAxis::Horizontal, false);
    w.SetAxisTitle(VAxis::Horizontal, "t");
    w.SetAxisTitle(VAxis::Vertical, "v");
    w.SetLegendShown(true);
    ASSERT_TRUE(w.Frame.AddObservation("a", OutGateWatchData("A", 0, 255)));

    const std::string info = dir.File("info");
    ASSERT_TRUE(modeler->SaveWatchInfo(true, info));
    EXPECT_EQ(ReadText(info),
              "[0]\nCaption=Pulses\nTop=11\nLeft=22\nWidth=333\nHeight=444\nVisible=1\nWindowState=2\n"
              "XAxis=0\nXAxisLegend=t\nYAxis=1\nYAxisLegend=v\nShowLegend=1\n\n"
              "[1]\nCaption=1\nTop=100\nLeft=10\nWidth=300\nHeight=200\nVisible=0\nWindowState=0\n"
              "XAxis=1\nXAxisLegend=\nYAxis=1\nYAxisLegend=\nShowLegend=0\n\n");
    // The points are in the data file beside the series file.
    EXPECT_EQ(ReadText(info + ".0").rfind("[a]\nLegend=A\nYShift=0\nColor=255\nDataCount=3\nDataOffset=16\nDataStamp=", 0),
              0u);
    EXPECT_EQ(ReadText(TWatchFrame::DataFileName(info + ".0")).size(), 16u + 3u * 16u);
    EXPECT_FALSE(Exists(info + ".1"));

    a->ClearData();
    ASSERT_TRUE(modeler->LoadWatchInfo(true, info));
    ASSERT_EQ(Keys(), (std::vector<std::string>{"0", "1"}));
    FakeWatchWindow& r = Window("0");
    EXPECT_EQ(r.Caption, "Pulses");
    EXPECT_EQ(r.Placement, (VWindowPlacement{11, 22, 333, 444}));
    EXPECT_TRUE(r.Shown);
    EXPECT_EQ(r.State, VWindowState::Maximized);
    EXPECT_FALSE(r.GetAxisLabels(VAxis::Horizontal));
    EXPECT_TRUE(r.GetAxisLabels(VAxis::Vertical));
    EXPECT_EQ(r.GetAxisTitle(VAxis::Horizontal), "t");
    EXPECT_EQ(r.GetAxisTitle(VAxis::Vertical), "v");
    EXPECT_TRUE(r.IsLegendShown());
    ASSERT_EQ(r.Chart().GetSeriesCount(), 1);
    EXPECT_EQ(r.Chart().GetSeries(0)->GetCount(), 3);
    EXPECT_EQ(r.Chart().GetSeries(0)->GetY(1), 1);
    EXPECT_EQ(r.Chart().GetSeries(0)->GetColor(), 255);
    EXPECT_FALSE(Window("1").Shown);
}

TEST_F(WatchRegistryTest, MissingAndOddKeysReadAsTheirDefaults) {
    const std::string info = dir.File("info");
    WriteText(info, "[7]\n[x]\nTop=abc\nVisible=no\nWindowState=5\nXAxis=0\nYAxis=2\nShowLegend=x\n"
                    "[y]\nVisible=0\nWindowState=1\n");
    ASSERT_TRUE(modeler->LoadWatchInfo(true, info));
    ASSERT_EQ(Keys(), (std::vector<std::string>{"7", "x", "y"}));
    FakeWatchWindow& d = Window("7");
    EXPECT_EQ(d.Caption, "7");
    EXPECT_EQ(d.Placement, (VWindowPlacement{100, 10, 300, 200}));
    EXPECT_TRUE(d.Shown);
    EXPECT_EQ(d.State, VWindowState::Normal);
    EXPECT_TRUE(d.GetAxisLabels(VAxis::Horizontal));
    EXPECT_TRUE(d.GetAxisLabels(VAxis::Vertical));
    EXPECT_EQ(d.GetAxisTitle(VAxis::Horizontal), "");
    EXPECT_FALSE(d.IsLegendShown());
    FakeWatchWindow& x = Window("x");
    EXPECT_EQ(x.Placement.Top, 100);
    EXPECT_TRUE(x.Shown);
    EXPECT_EQ(x.State, VWindowState::Normal);
    EXPECT_FALSE(x.GetAxisLabels(VAxis::Horizontal));
    EXPECT_TRUE(x.GetAxisLabels(VAxis::Vertical));
    EXPECT_TRUE(x.IsLegendShown());
    EXPECT_FALSE(Window("y").Shown);
    EXPECT_EQ(Window("y").State, VWindowState::Minimized);

    // Loading replaces the open windows; a missing file gives none.
    ASSERT_TRUE(modeler->LoadWatchInfo(true, dir.File("none")));
    EXPECT_TRUE(modeler->GetWatchWindows().empty());
}

TEST_F(WatchRegistryTest, ASeriesFileOfAWindowWithoutSeriesDoesNotOutliveTheSave) {
    AddGate("a");
    ASSERT_TRUE(modeler->AddWatchWindow("0"));
    ASSERT_TRUE(Window("0").Frame.AddObservation("a", OutGateWatchData("A", 0, 1)));
    const std::string info = dir.File("info");
    ASSERT_TRUE(modeler->SaveWatchInfo(true, info));
    ASSERT_TRUE(Exists(info + ".0"));

    Window("0").Frame.ClearAll();
    ASSERT_TRUE(modeler->SaveWatchInfo(true, info));
    EXPECT_FALSE(Exists(info + ".0"));
    ASSERT_TRUE(modeler->LoadWatchInfo(true, info));
    EXPECT_TRUE(Window("0").Frame.GetWatchData().empty());
}

} // namespace
} // namespace talvero::testing

namespace talvero::testing {
namespace {

TEST_F(WatchRegistryTest, DeletingAsksFirstAndNoKeepsTheWindowAndItsFiles) {
    AddGate("a");
    ASSERT_TRUE(modeler->AddWatchWindow("0"));
    Window("0").Caption = "w";
    ASSERT_TRUE(Window("0").Frame.AddObservation("a", OutGateWatchData("A", 0, 1)));
    ASSERT_TRUE(modeler->SaveWorkspace());
    ui.NameInput.Script.push_back("w");
    ui.Messages.Confirmations.push_back(false);
    modeler->DeleteWatchWindow();
    ASSERT_EQ(ui.Messages.Questions.size(), 1u);
    EXPECT_EQ(ui.Messages.Questions[0].Text, Cp("Удалить окно наблюдения \"w\" вместе с его данными?"));
    EXPECT_EQ(Keys(), (std::vector<std::string>{"0"}));
    EXPECT_TRUE(Exists(dir.File("watchinfo") + ".0"));
}

} // namespace
} // namespace talvero::testing
