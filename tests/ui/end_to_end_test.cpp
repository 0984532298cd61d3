// The real controller with the real windows, as a user goes: a new project from an example
// through the wizard, start, ticks, stop, the options, save, and the project opened again both
// through "Открыть проект" and as a start-up argument.

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "UiTestSupport.h"
#include "environment/NEnvironment.h"
#include "modeler/VIniFile.h"
#include "modeler/VModeler.h"
#include "ui/TComputationOptionsForm.h"
#include "ui/TCreateProjectWizardForm.h"
#include "ui/TMainForm.h"
#include "ui/TMdlObjectsListForm.h"
#include "ui/UiText.h"

namespace talvero::ui {
namespace {

using uitest::Cp;
using uitest::U;
using C = TCommand;

TEST(EndToEnd, CreateStartTickStopSaveReopen) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // A folder that does not exist yet, with a Cyrillic name.
    const QString projectFile = folder.filePath(U("Рефлекс/reflex.tvp"));
    const QString projectDir = folder.filePath(U("Рефлекс"));

    {
        TMainForm form;
        form.show();
        EXPECT_EQ(form.StatusText(), U("Нет проекта"));

        uitest::DialogScript script;
        script.ThenOn<TCreateProjectWizardForm>([&](TCreateProjectWizardForm& wizard) {
            wizard.ProjectFileEdit()->setText(projectFile);
            wizard.ForwardButton()->click();
            wizard.ProjectNameEdit()->setText(U("Рефлекторная дуга"));
            wizard.DescriptionEdit()->setPlainText(U("Мотонейрон, мышца и веретено."));
            wizard.ForwardButton()->click();
            wizard.ModelFileEdit()->setText(uitest::Example("reflex_arc.tv"));
            wizard.ForwardButton()->click();
        });
        form.Action(C::CreateProject)->trigger();
        ASSERT_TRUE(script.Boxes.empty()) << script.Boxes[0].Text.toStdString();
        VModeler& modeler = form.Modeler();
        ASSERT_TRUE(modeler.IsProjectOpen());
        ASSERT_TRUE(modeler.GetEnvironment()->IsModelLoaded());
        EXPECT_EQ(form.windowTitle(), U("Talvero - Рефлекторная дуга"));
        EXPECT_TRUE(QFile::exists(projectDir + QStringLiteral("/reflex_arc.btv")));
        EXPECT_TRUE(QFile::exists(projectFile));
        EXPECT_EQ(form.StatusText(), U("Счёт остановлен"));
        EXPECT_FALSE(form.Action(C::SaveProject)->isEnabled());

        form.Action(C::WatchPointsList)->trigger();
        ASSERT_TRUE(form.ObjectsListForm()->isVisible());
        EXPECT_EQ(form.ObjectsListForm()->Tree()->topLevelItem(0)->text(0), QStringLiteral("reflex"));
        EXPECT_EQ(form.ObjectsListForm()->Tree()->topLevelItem(0)->childCount(), 4);

        modeler.SetAsFastAsPossible(false);  // ticks of a fixed step count
        modeler.SetPace(0);
        form.Action(C::Start)->trigger();
        EXPECT_TRUE(form.Timer()->isActive());
        for (int i = 0; i < 5; ++i) form.TimerTick();
        EXPECT_EQ(form.StatusText(), U("Время: 0.010 с"));
        form.Action(C::Stop)->trigger();
        EXPECT_FALSE(form.Timer()->isActive());
        EXPECT_EQ(form.StatusText(), U("Счёт остановлен"));

        script.ThenOn<TComputationOptionsForm>([](TComputationOptionsForm& options) {
            EXPECT_EQ(options.TimeStepEdit()->text(), QStringLiteral("0.0001"));
            options.TimerPeriodEdit()->setText(QStringLiteral("50"));
            options.StepsPerTickEdit()->setText(QStringLiteral("40"));
            options.OkButton()->click();
        });
        form.Action(C::ComputationOptions)->trigger();
        EXPECT_TRUE(form.Action(C::SaveProject)->isEnabled());
        form.Action(C::SaveProject)->trigger();
        EXPECT_FALSE(form.Action(C::SaveProject)->isEnabled());
        EXPECT_TRUE(script.Boxes.empty());

        const auto saved = VIniFile::Open(ToPath(projectFile));
        ASSERT_NE(saved, nullptr);
        EXPECT_EQ(saved->ReadString("System", "ProjectName", ""), Cp("Рефлекторная дуга"));
        EXPECT_EQ(saved->ReadString("System", "ModelFileName", ""), "reflex_arc.btv");
        EXPECT_EQ(saved->ReadString("Computation", "TimerCallStep", ""), "50");
        EXPECT_EQ(saved->ReadString("Computation", "CalcPerTimerCall", ""), "40");
        EXPECT_EQ(saved->ReadString("Environment", "MdlObjWindowVisible", ""), "1");
        EXPECT_EQ(saved->ReadString("Environment", "MdlObjShowType", ""), "2");

        // Reopened through the menu, with the file dialog.
        script.Then([&](QDialog& dialog) {
            auto* files = qobject_cast<QFileDialog*>(&dialog);
            EXPECT_NE(files, nullptr);
            if (!files) return static_cast<int>(QDialog::Rejected);
            files->selectFile(projectFile);
            static_cast<QDialog*>(files)->accept();
            return files->result();
        });
        form.Action(C::OpenProject)->trigger();
        EXPECT_TRUE(script.Boxes.empty());
        EXPECT_TRUE(modeler.IsProjectOpen());
        EXPECT_EQ(modeler.TimerPeriod(), 50u);
        EXPECT_EQ(modeler.GetProjectName(), Cp("Рефлекторная дуга"));
        EXPECT_TRUE(form.ObjectsListForm()->isVisible());
        EXPECT_EQ(form.ObjectsListForm()->Tree()->topLevelItem(0)->text(0), QStringLiteral("reflex"));

        form.Action(C::Start)->trigger();
        EXPECT_EQ(form.Timer()->interval(), 50);
        form.TimerTick();
        EXPECT_EQ(form.StatusText(), U("Время: 0.004 с"));
        form.Action(C::Exit)->trigger();  // not modified: no question
        EXPECT_FALSE(modeler.IsProjectOpen());
        EXPECT_TRUE(script.Boxes.empty());
    }

    // As a start-up argument, in a fresh program.
    TMainForm again;
    again.show();
    ASSERT_TRUE(again.OpenProjectFile(projectFile));
    EXPECT_EQ(again.windowTitle(), U("Talvero - Рефлекторная дуга"));
    EXPECT_EQ(again.Modeler().StepsPerTick(), 40u);
    EXPECT_EQ(again.Modeler().GetDescription(), NStringList{Cp("Мотонейрон, мышца и веретено.")});
    EXPECT_EQ(again.StatusText(), U("Счёт остановлен"));
    EXPECT_TRUE(again.ObjectsListForm()->isVisible());
}

TEST(EndToEnd, AMissingProjectFileArgumentShowsTheErrorAndOpensNothing) {
    QTemporaryDir folder;
    TMainForm form;
    uitest::DialogScript script;
    // A missing file would open as an empty project that fails only when it is saved.
    EXPECT_FALSE(form.OpenProjectFile(folder.filePath(QStringLiteral("none.tvp"))));
    EXPECT_EQ(form.StatusText(), U("Нет проекта"));
    ASSERT_EQ(script.Boxes.size(), 1u);
    EXPECT_EQ(script.Boxes[0].Text, U("Невозможно открыть файл\n") + folder.filePath(QStringLiteral("none.tvp")));
    script.Boxes.clear();

    // A folder where the project file should be cannot be read at all.
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("dir.tvp")));
    EXPECT_FALSE(form.OpenProjectFile(folder.filePath(QStringLiteral("dir.tvp"))));
    ASSERT_EQ(script.Boxes.size(), 1u);
    EXPECT_EQ(script.Boxes[0].Caption, U("Ошибка!"));
    EXPECT_TRUE(script.Boxes[0].Text.startsWith(U("Невозможно открыть файл\n")));
    EXPECT_EQ(form.StatusText(), U("Нет проекта"));
}

} // namespace
} // namespace talvero::ui
