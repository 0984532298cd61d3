// Creating, opening and closing projects through the commands, with the save question.

#include "tests/modeler/ModelerTestSupport.h"

namespace talvero::testing {
namespace {

// Runs a body with the process's current directory set to `dir`.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::filesystem::path& dir) : Old(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~CurrentDirectory() { std::filesystem::current_path(Old); }

private:
    std::filesystem::path Old;
};

using CreateProjectTest = ModelerTest;

TEST_F(CreateProjectTest, FromADescriptionCompilesIntoTheNewDirectoryAndStoresTheModelAtTheClosingSave) {
    CreateFromText("prj/", "Arm");

    EXPECT_TRUE(Ui.Messages.Messages.empty());
    ASSERT_TRUE(Modeler->IsProjectOpen());
    EXPECT_TRUE(std::filesystem::is_directory(At("prj")));
    EXPECT_EQ(At("prj/"), Modeler->GetProjectDirectory());
    EXPECT_EQ("Arm.tvp", Modeler->GetProjectFileName());
    EXPECT_TRUE(Exists(At("prj/arm.btv")));
    EXPECT_TRUE(Modeler->GetEnvironment()->IsModelLoaded());
    EXPECT_EQ("arm.btv", Modeler->GetEnvironment()->GetModelFileName());
    EXPECT_NE(nullptr, Modeler->GetEnvironment()->GetModel()->GetOutGate("watch"));
    EXPECT_EQ("Talvero - Arm", Ui.MainWindow.Caption);
    EXPECT_FALSE(Modeler->IsProjectModified());
    EXPECT_EQ((NStringList{"first line", "second line"}), Modeler->GetDescription());

    auto ini = ReadIni(At("prj/Arm.tvp"));
    ASSERT_TRUE(ini);
    EXPECT_EQ((std::vector<std::string>{"System", "Computation", "Environment"}), ini->GetSections());
    EXPECT_EQ("Arm", ini->ReadString("System", "ProjectName", ""));
    EXPECT_EQ("PrjDescr.rtf", ini->ReadString("System", "ProjectDescription", ""));
    EXPECT_EQ("arm.btv", ini->ReadString("System", "ModelFileName", ""));
    EXPECT_EQ("0.0001", ini->ReadString("Computation", "TimeStep", ""));
    EXPECT_EQ("30", ini->ReadString("Computation", "TimerCallStep", ""));
    EXPECT_EQ("20", ini->ReadString("Computation", "CalcPerTimerCall", ""));
    // The first save finds the main window away from the defaults: the whole workspace is written.
    EXPECT_EQ((std::vector<std::string>{"MainWindowTop", "MainWindowLeft", "MainWindowWidth", "MainWindowHeight",
                                        "MdlObjWindowTop", "MdlObjWindowLeft", "MdlObjWindowWidth",
                                        "MdlObjWindowHeight", "MdlObjShowType", "MdlObjWindowVisible",
                                        "WatchAccumulateStatus", "TimeCounterStatus", "WatchInfoFileName"}),
              ini->GetKeys("Environment"));
    EXPECT_EQ("125", ini->ReadString("Environment", "MainWindowTop", ""));
    EXPECT_EQ("watchinfo", ini->ReadString("Environment", "WatchInfoFileName", ""));
    EXPECT_EQ("first line\nsecond line\n", ReadText(At("prj/PrjDescr.rtf")));
}

TEST_F(CreateProjectTest, FromABinaryFileCopiesIt) {
    std::filesystem::create_directory(At("src"));
    WriteText(At("src/arm.tv"), kGeneratorModel);
    ASSERT_TRUE(Modeler->GetEnvironment()->Compile(At("src/arm.tv"), At("src/ready.btv")));
    ScriptWizard(At("prj/") + "P.tvp", "P", {}, At("src/ready.btv"), false);
    Modeler->CreateProject();

    EXPECT_TRUE(Ui.Messages.Messages.empty());
    EXPECT_EQ(ReadText(At("src/ready.btv")), ReadText(At("prj/ready.btv")));
    EXPECT_TRUE(Exists(At("src/ready.btv")));
    EXPECT_TRUE(Modeler->GetEnvironment()->IsModelLoaded());
    EXPECT_EQ("ready.btv", ReadIni(At("prj/P.tvp"))->ReadString("System", "ModelFileName", ""));
}

TEST_F(CreateProjectTest, FailuresAreShownAndLeaveTheProjectOpenWithoutModel) {
    // A directory whose parent is missing: 1001, no project.
    ScriptWizard(At("no/such/") + "P.tvp", "P", {}, At("arm.tv"));
    Modeler->CreateProject();
    ASSERT_EQ(1u, Ui.Messages.Messages.size());
    EXPECT_EQ(Cp("Невозможно создать каталог") + "\n" + At("no/such/"), Ui.Messages.Messages[0].Text);
    EXPECT_FALSE(Modeler->IsProjectOpen());
    EXPECT_FALSE(Exists(At("no")));

    // A description that does not compile: the compiler's own message, detail and location.
    WriteText(At("bad.tv"), "Model m { } }");
    ScriptWizard(At("b/") + "B.tvp", "B", {}, At("bad.tv"));
    Modeler->CreateProject();
    ASSERT_EQ(2u, Ui.Messages.Messages.size());
    EXPECT_EQ(Cp("Синтаксическая ошибка: закрывающая скобка '}' не имеет пары") + "\n}\n" + At("bad.tv") + ":1:13: }",
              Ui.Messages.Messages[1].Text);
    EXPECT_TRUE(Modeler->IsProjectOpen());
    EXPECT_FALSE(Modeler->GetEnvironment()->IsModelLoaded());
    EXPECT_EQ("", ReadIni(At("b/B.tvp"))->ReadString("System", "ModelFileName", "absent"));

    // A binary file that cannot be copied: 1041 with the source path.
    ScriptWizard(At("c/") + "C.tvp", "C", {}, At("missing.btv"), false);
    Modeler->CreateProject();
    ASSERT_EQ(3u, Ui.Messages.Messages.size());
    EXPECT_EQ(Cp("Не удалось скопировать двоичный файл модели в каталог проекта") + "\n" + At("missing.btv"),
              Ui.Messages.Messages[2].Text);
    EXPECT_EQ("Talvero - C", Ui.MainWindow.Caption);

    // A damaged binary file is copied but does not load: 1030 with the binary path.
    WriteText(At("junk.btv"), "not a model\n");
    ScriptWizard(At("d/") + "D.tvp", "D", {}, At("junk.btv"), false);
    Modeler->CreateProject();
    ASSERT_EQ(4u, Ui.Messages.Messages.size());
    EXPECT_EQ(Cp("Не удалось загрузить модель") + "\n" + At("d/junk.btv") + "\n" + Cp("Неверная контрольная сумма"),
              Ui.Messages.Messages[3].Text);
    EXPECT_TRUE(Modeler->IsProjectOpen());
    EXPECT_FALSE(Modeler->GetEnvironment()->IsModelLoaded());

    // Only a binary file that really cannot be written is 1040: here a directory stands in its way.
    WriteText(At("good.tv"), "Model m { }");
    std::filesystem::create_directories(At("e/good.btv"));
    ScriptWizard(At("e/") + "E.tvp", "E", {}, At("good.tv"));
    Modeler->CreateProject();
    ASSERT_EQ(5u, Ui.Messages.Messages.size());
    EXPECT_EQ(Cp("Не удалось создать двоичный файл модели") + "\n" + At("e/good.btv") + ": Is a directory",
              Ui.Messages.Messages[4].Text);
}

// The wizard closed and left a project without a model when the model failed to build.
TEST_F(CreateProjectTest, TheWizardKeepsAModelThatDoesNotBuildFromTheProject) {
    Ui.Wizard.UseModelCheck = true;
    WriteText(At("bad.tv"), "Model m { } }");
    WriteText(At("junk.btv"), "not a model\n");
    WriteText(At("arm.tv"), kGeneratorModel);
    const struct {
        std::string Model;
        bool Source;
        const char* Cause;
    } refused[] = {{At("bad.tv"), true, "Синтаксическая ошибка"},
                   {At("junk.btv"), false, "Неверная контрольная сумма"},
                   {At("missing.tv"), true, ""}};
    for (const auto& r : refused) {
        SCOPED_TRACE(r.Model);
        Ui.Wizard.Refusals.clear();
        ScriptWizard(At("p/") + "P.tvp", "P", {}, r.Model, r.Source);
        Modeler->CreateProject();  // refused, then the user cancels
        ASSERT_EQ(1u, Ui.Wizard.Refusals.size());
        EXPECT_NE(std::string::npos, Ui.Wizard.Refusals[0].find(Cp(r.Cause)));
        EXPECT_FALSE(Modeler->IsProjectOpen());
        EXPECT_FALSE(Exists(At("p")));
    }
    // Mended on the same step, the project is made with its model; the check leaves no files.
    const auto checkFiles = [] {
        int n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
            n += entry.is_regular_file() && entry.path().filename().string().rfind("talvero-check-", 0) == 0;
        return n;
    };
    const int before = checkFiles();
    Ui.Wizard.Refusals.clear();
    ScriptWizard(At("p/") + "P.tvp", "P", {}, At("bad.tv"));
    ScriptWizard(At("p/") + "P.tvp", "P", {}, At("arm.tv"));
    Modeler->CreateProject();
    EXPECT_EQ(1u, Ui.Wizard.Refusals.size());
    EXPECT_TRUE(Modeler->GetEnvironment()->IsModelLoaded());
    EXPECT_TRUE(Ui.Messages.Messages.empty());
    EXPECT_EQ(before, checkFiles());
}

TEST_F(CreateProjectTest, NamesWithoutDirectoryParts) {
    CurrentDirectory here(Root);
    // A model name without a directory gets its extension cut like any other: arm.btv.
    WriteText(At("arm.tv"), kGeneratorModel);
    ScriptWizard(At("prj/") + "P.tvp", "P", {}, "arm.tv");
    Modeler->CreateProject();
    EXPECT_TRUE(Ui.Messages.Messages.empty());
    EXPECT_TRUE(Exists(At("prj/arm.btv")));
    EXPECT_FALSE(Exists(At("prj/arm.tvbtv")));
    EXPECT_EQ("arm.btv", ReadIni(At("prj/P.tvp"))->ReadString("System", "ModelFileName", ""));

    // A project path without a directory: no project, no error; the model is compiled here.
    ScriptWizard("Q.tvp", "Q", {}, "arm.tv");
    Modeler->CreateProject();
    EXPECT_TRUE(Ui.Messages.Messages.empty());
    EXPECT_FALSE(Modeler->IsProjectOpen());
    EXPECT_EQ("Talvero", Ui.MainWindow.Caption);
    EXPECT_TRUE(Exists(At("arm.btv")));
    EXPECT_FALSE(Exists(At("Q.tvp")));
}

using SaveQuestionTest = ModelerTest;

TEST_F(SaveQuestionTest, CancelKeepsEverythingAndResumesTheComputation) {
    CreateFromText("a/", "A");
    Modeler->SetProjectName("A2");
    Modeler->StartComputation();
    Ui.Messages.Answers.push_back(VAnswer::Cancel);
    Modeler->CreateProject();
    ASSERT_EQ(1u, Ui.Messages.Questions.size());
    EXPECT_EQ(Cp("Предупреждение"), Ui.Messages.Questions[0].Caption);
    EXPECT_EQ(Cp("Текущий проект был изменён. Сохранить изменения?"), Ui.Messages.Questions[0].Text);
    EXPECT_EQ(1, Ui.Wizard.Runs);  // only the first creation ran the wizard
    EXPECT_TRUE(Modeler->IsRunning());
    EXPECT_FALSE(Modeler->IsPaused());
    EXPECT_TRUE(Modeler->IsProjectModified());
    EXPECT_EQ("A", ReadIni(At("a/A.tvp"))->ReadString("System", "ProjectName", ""));

    // Cancelling the file dialog after Yes resumes as well, and saves nothing yet.
    Ui.Messages.Answers.push_back(VAnswer::Yes);
    Modeler->OpenProject();
    EXPECT_TRUE(Modeler->IsRunning());
    EXPECT_FALSE(Modeler->IsPaused());
    EXPECT_EQ("A", ReadIni(At("a/A.tvp"))->ReadString("System", "ProjectName", ""));

    // Paused before: stays paused.
    Modeler->PauseComputation();
    Ui.Messages.Answers.push_back(VAnswer::Cancel);
    Modeler->CreateProject();
    EXPECT_TRUE(Modeler->IsPaused());
}

TEST_F(SaveQuestionTest, YesSavesTheOldProjectBeforeTheNewOneIsCreated) {
    CreateFromText("a/", "A");
    Modeler->SetProjectName("A2");
    Modeler->StartComputation();
    Ui.Messages.Answers.push_back(VAnswer::Yes);
    CreateFromText("b/", "B");
    EXPECT_EQ("A2", ReadIni(At("a/A.tvp"))->ReadString("System", "ProjectName", ""));
    EXPECT_EQ("Talvero - B", Ui.MainWindow.Caption);
    EXPECT_FALSE(Modeler->IsRunning());  // a new project is never resumed
}

TEST_F(SaveQuestionTest, NoWritesNothingEvenWhenAnObservationSwitchChanged) {
    CreateFromText("a/", "A");
    const std::string saved = ReadText(At("a/A.tvp"));
    Modeler->SetProjectName("A2");
    Modeler->SetTimerPeriod(99);
    Ui.MainWindow.Placement = {1, 2, 640, 90};
    Ui.Messages.Answers.push_back(VAnswer::No);
    CreateFromText("b/", "B");
    EXPECT_EQ(saved, ReadText(At("a/A.tvp")));

    // A toggled switch and a moved window are changes of the workspace: "Нет" drops them too.
    const std::string savedB = ReadText(At("b/B.tvp"));
    Modeler->SetProjectName("B2");
    Modeler->ToggleWatchAccumulation();
    Ui.MainWindow.Placement = {3, 4, 650, 90};
    Ui.Messages.Answers.push_back(VAnswer::No);
    Ui.FileOpen.Script.push_back(At("a/A.tvp"));
    Modeler->OpenProject();
    EXPECT_EQ(savedB, ReadText(At("b/B.tvp")));
    EXPECT_EQ("Talvero - A", Ui.MainWindow.Caption);
}

using OpenProjectTest = ModelerTest;

TEST_F(OpenProjectTest, AMissingModelFileIsReportedAndTheWatchFilesStay) {
    CreateFromText("a/", "A");
    Ui.NameInput.Script.push_back(std::string("plot"));
    Modeler->CreateWatchWindow();
    ASSERT_EQ(1u, Modeler->GetWatchWindows().size());
    ASSERT_TRUE(Window("0")->Frame.AddObservation("watch", OutGateWatchData("w", 0, kChartAutoColor)));
    Modeler->CloseProject(true);
    ASSERT_TRUE(Exists(At("a/watchinfo")));
    const std::string watchInfo = ReadText(At("a/watchinfo"));
    const std::string series = ReadText(At("a/watchinfo.0"));
    ASSERT_NE("", series);

    std::filesystem::remove(At("a/arm.btv"));
    Ui.FileOpen.Script.push_back(At("a/A.tvp"));
    Modeler->OpenProject();
    ASSERT_EQ(1u, Ui.Messages.Messages.size());
    EXPECT_EQ(Cp("Не удалось загрузить модель") + "\n" + At("a/arm.btv"), Ui.Messages.Messages[0].Text);
    EXPECT_TRUE(Modeler->IsProjectOpen());
    EXPECT_EQ("Talvero - A", Ui.MainWindow.Caption);
    EXPECT_FALSE(Modeler->GetEnvironment()->IsModelLoaded());
    EXPECT_TRUE(Modeler->GetWatchWindows().empty());
    // A changed workspace is saved, but the closed windows' information is not overwritten.
    Ui.MainWindow.Placement.Top += 10;
    Modeler->ToggleTimeCounter();
    Modeler->CloseProject(true);
    EXPECT_EQ("0", ReadIni(At("a/A.tvp"))->ReadString("Environment", "TimeCounterStatus", ""));
    EXPECT_EQ(watchInfo, ReadText(At("a/watchinfo")));
    EXPECT_EQ(series, ReadText(At("a/watchinfo.0")));
}

TEST_F(OpenProjectTest, CloseWithoutSavingWritesNothingOfTheProject) {
    CreateFromText("a/", "A");
    const std::string saved = ReadText(At("a/A.tvp"));
    Modeler->SetProjectName("Other");
    Ui.ObjectsList.Show();
    Modeler->CloseProject(false);
    EXPECT_FALSE(Modeler->IsProjectOpen());
    EXPECT_EQ("Talvero", Ui.MainWindow.Caption);
    EXPECT_EQ(saved, ReadText(At("a/A.tvp")));
}

TEST_F(OpenProjectTest, ObjectListCommandsNeedAProject) {
    Modeler->MainWindowShown();
    EXPECT_EQ(Modeler->GetEnvironment()->GetModel(), Ui.ObjectsList.Model);
    Ui.ObjectsList.Model = nullptr;
    Modeler->ShowSourcesList();
    EXPECT_EQ(0, Ui.ObjectsList.ShowCalls);

    CreateFromText("a/", "A");
    Modeler->ShowWatchPointsList();
    EXPECT_EQ(2, Ui.ObjectsList.Page);
    EXPECT_EQ(Modeler->GetEnvironment()->GetModel(), Ui.ObjectsList.Model);
    Modeler->ShowSourcesList();
    EXPECT_EQ(1, Ui.ObjectsList.Page);
    Modeler->ShowObjectsList();
    EXPECT_EQ(0, Ui.ObjectsList.Page);
    EXPECT_EQ(3, Ui.ObjectsList.ShowCalls);

    Modeler->CheckModelSource();
    Modeler->ShowAbout();
    EXPECT_EQ(1, Ui.SourceCheck.Runs);
    EXPECT_EQ(1, Ui.About.Runs);
}

TEST(ModelerErrorsTest, TheControllerRowsAreRegistered) {
    RegisterModelerErrors();
    const auto& table = GetErrorTable();
    for (std::uint32_t code : {1001u, 1002u, 1003u, 1010u, 1011u, 1020u, 1021u, 1030u, 1040u, 1041u}) {
        ASSERT_TRUE(table.count(code)) << code;
        EXPECT_EQ("Visualizator", table.at(code).GetLevel());
    }
    EXPECT_EQ(Cp("Окно наблюдений с таким именем уже открыто"), table.at(1020).GetMessage());
}

} // namespace
} // namespace talvero::testing
