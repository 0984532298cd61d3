// The new-project wizard: pages, texts, browsing, and the checks of "Готово" in their order.

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "UiTestSupport.h"
#include "ui/TCreateProjectWizardForm.h"
#include "ui/UiText.h"

namespace talvero::ui {
namespace {

using uitest::Cp;
using uitest::U;

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        wizard.show();
    }
    void TearDown() override { wizard.hide(); }

    void Fill(const QString& project, const QString& model) {
        wizard.ProjectFileEdit()->setText(project);
        wizard.ProjectNameEdit()->setText(U("Дуга"));
        wizard.DescriptionEdit()->setPlainText(U("первая\nвторая"));
        wizard.ModelFileEdit()->setText(model);
        wizard.GoToStep(3);
    }
    // Presses " Готово "; the message boxes it showed.
    std::vector<uitest::DialogScript::Box> Finish() {
        uitest::DialogScript script;
        wizard.setResult(QDialog::Rejected);
        wizard.ForwardButton()->click();
        return script.Boxes;
    }
    QString In(const char* name) const { return folder.filePath(QLatin1String(name)); }

    QTemporaryDir folder;
    TCreateProjectWizardForm wizard;
};

TEST_F(WizardTest, PagesTextsAndButtons) {
    EXPECT_EQ(wizard.windowTitle(), U("Мастер создания нового проекта"));
    EXPECT_EQ(wizard.CurrentStep(), 1);
    EXPECT_EQ(wizard.HeaderLabel()->text(), U("   Шаг 1 - Место размещения проекта"));
    EXPECT_EQ(wizard.ForwardButton()->text(), U("Далее >"));
    EXPECT_EQ(wizard.BackButton()->text(), U("< Назад"));
    EXPECT_EQ(wizard.CancelButton()->text(), U("Отмена"));
    EXPECT_FALSE(wizard.BackButton()->isEnabled());
    EXPECT_EQ(wizard.focusWidget(), wizard.ProjectFileEdit());

    QStringList page1;
    for (const QLabel* label : wizard.Page(1)->findChildren<QLabel*>()) page1 << label->text();
    EXPECT_EQ(page1, (QStringList{U("Введите полное имя файла будущего проекта."),
                                  U("Обратите внимание на следующие требования:"),
                                  U("1. Имя файла должно иметь расширение '.tvp'."),
                                  U("2. В папке может одновременно находится только один проект.")}));
    EXPECT_EQ(wizard.ProjectBrowseButton()->text(), U("Обзор"));

    wizard.ForwardButton()->click();
    EXPECT_EQ(wizard.CurrentStep(), 2);
    EXPECT_EQ(wizard.HeaderLabel()->text(), U("   Шаг 2 - Информация о проекте"));
    EXPECT_TRUE(wizard.BackButton()->isEnabled());
    EXPECT_EQ(wizard.ForwardButton()->text(), U("Далее >"));

    wizard.ForwardButton()->click();
    EXPECT_EQ(wizard.CurrentStep(), 3);
    EXPECT_EQ(wizard.HeaderLabel()->text(), U("   Шаг 3 - Модель"));
    EXPECT_EQ(wizard.ForwardButton()->text(), U(" Готово "));
    QStringList page3;
    for (const QLabel* label : wizard.Page(3)->findChildren<QLabel*>()) page3 << label->text();
    EXPECT_EQ(page3, (QStringList{U("Введите полное имя файла описания исследуемой модели."),
                                  U("Вы можете использовать готовый двоичный файл,"),
                                  U("он будет скопирован в папку проекта."),
                                  U("   Пожалуйста проверьте корректность введённых данных.")}));

    wizard.BackButton()->click();
    EXPECT_EQ(wizard.CurrentStep(), 2);
    wizard.BackButton()->click();
    EXPECT_EQ(wizard.CurrentStep(), 1);
}

TEST_F(WizardTest, ShowingClearsEveryFieldAndStartsAtStepOne) {
    Fill(In("p.tvp"), In("m.tv"));
    wizard.hide();
    wizard.show();
    EXPECT_EQ(wizard.CurrentStep(), 1);
    EXPECT_TRUE(wizard.ProjectFileEdit()->text().isEmpty());
    EXPECT_TRUE(wizard.ProjectNameEdit()->text().isEmpty());
    EXPECT_TRUE(wizard.DescriptionEdit()->toPlainText().isEmpty());
    EXPECT_TRUE(wizard.ModelFileEdit()->text().isEmpty());
}

TEST_F(WizardTest, DoneStoresTheResults) {
    Fill(In("P.TVP"), In("Arm.TV"));
    EXPECT_TRUE(Finish().empty());
    EXPECT_EQ(wizard.result(), QDialog::Accepted);
    EXPECT_EQ(wizard.GetProjectFileName(), ToPath(In("P.TVP")));
    EXPECT_EQ(wizard.GetProjectName(), Cp("Дуга"));
    EXPECT_EQ(wizard.GetDescription(), (NStringList{Cp("первая"), Cp("вторая")}));
    EXPECT_EQ(wizard.GetModelFileName(), ToPath(In("Arm.TV")));
    EXPECT_TRUE(wizard.IsModelSource());

    wizard.show();
    Fill(In("p.tvp"), In("arm.bTv"));
    EXPECT_TRUE(Finish().empty());
    EXPECT_FALSE(wizard.IsModelSource());
}

TEST_F(WizardTest, AWrongProjectExtensionReturnsToStepOne) {
    Fill(In("p.tvx"), In("m.tv"));
    const auto boxes = Finish();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Caption, U("Ошибка создания проекта!"));
    EXPECT_EQ(boxes[0].Text, U("Имя файла проекта имеет недопустимое расширение!"));
    EXPECT_EQ(wizard.CurrentStep(), 1);
    EXPECT_TRUE(wizard.isVisible());
    EXPECT_TRUE(wizard.GetProjectFileName().empty());
}

TEST_F(WizardTest, TheFolderTestComesBeforeTheModelTest) {
    ASSERT_TRUE(uitest::WriteText(In("other.TVP"), "[System]\n"));
    Fill(In("p.tvp"), In("m.doc"));
    const auto boxes = Finish();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, U("В выбранной папке уже присутствует другой проект!"));
    EXPECT_EQ(wizard.CurrentStep(), 1);
}

TEST_F(WizardTest, ANameWithoutFolderIsTestedAgainstTheCurrentDirectory) {
    uitest::ScopedCurrentDir here(folder.path());
    Fill(QStringLiteral("p.tvp"), In("m.tv"));
    EXPECT_TRUE(Finish().empty());
    EXPECT_EQ(wizard.GetProjectFileName(), "p.tvp");

    ASSERT_TRUE(uitest::WriteText(In("old.tvp"), ""));
    wizard.show();
    Fill(QStringLiteral("p.tvp"), In("m.tv"));
    const auto boxes = Finish();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, U("В выбранной папке уже присутствует другой проект!"));
}

TEST_F(WizardTest, AWrongModelExtensionReturnsToStepThreeWithTheFieldsKept) {
    Fill(In("p.tvp"), In("model.tvx"));
    const auto boxes = Finish();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Caption, U("Ошибка создания проекта!"));
    EXPECT_EQ(boxes[0].Text, U("Имя файла модели имеет недопустимое расширение!"));
    EXPECT_EQ(wizard.CurrentStep(), 3);
    EXPECT_EQ(wizard.ProjectFileEdit()->text(), In("p.tvp"));
    EXPECT_EQ(wizard.ProjectNameEdit()->text(), U("Дуга"));
    EXPECT_EQ(wizard.ModelFileEdit()->text(), In("model.tvx"));
}

TEST_F(WizardTest, CancelClearsTheResults) {
    Fill(In("p.tvp"), In("m.tv"));
    Finish();
    ASSERT_FALSE(wizard.GetProjectFileName().empty());
    wizard.show();
    wizard.CancelButton()->click();
    EXPECT_EQ(wizard.result(), QDialog::Rejected);
    EXPECT_TRUE(wizard.GetProjectFileName().empty());
    EXPECT_TRUE(wizard.GetModelFileName().empty());
}

TEST_F(WizardTest, BrowsingPutsTheChosenFileIntoTheFieldAndFocusesIt) {
    ASSERT_TRUE(uitest::WriteText(In("arm.tv"), "Model m { }\n"));
    uitest::DialogScript script;
    QString filter;
    script.Then([&](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        EXPECT_NE(files, nullptr);
        if (!files) return static_cast<int>(QDialog::Rejected);
        filter = files->nameFilters().join(";;");
        files->selectFile(In("arm.tv"));
        static_cast<QDialog*>(files)->accept();
        return files->result();
    });
    wizard.GoToStep(3);
    wizard.ModelBrowseButton()->click();
    EXPECT_EQ(filter, U("Файл описания модели (*.tv);;Двоичный файл модели (*.btv)"));
    EXPECT_EQ(wizard.ModelFileEdit()->text(), In("arm.tv"));
    EXPECT_EQ(wizard.focusWidget(), wizard.ModelFileEdit());

    // A cancelled choice leaves the field alone.
    script.ThenCancel();
    wizard.ModelBrowseButton()->click();
    EXPECT_EQ(wizard.ModelFileEdit()->text(), In("arm.tv"));
}

// The wizard closed with a model that does not build and left a project without one.
TEST_F(WizardTest, AModelThatDoesNotBuildKeepsTheWizardOnTheModelStep) {
    std::string asked;
    wizard.SetModelCheck([&asked](const std::string& path, bool) {
        asked = path;
        return path.find("bad") != std::string::npos ? Cp("Синтаксическая ошибка") : std::string();
    });
    Fill(In("p/P.tvp"), In("bad.tv"));
    const auto boxes = Finish();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].Text.contains(U("Синтаксическая ошибка")));
    EXPECT_EQ(asked, ToPath(In("bad.tv")));
    EXPECT_TRUE(wizard.isVisible());
    EXPECT_EQ(wizard.CurrentStep(), 3);
    EXPECT_TRUE(wizard.ResultModelFileName().isEmpty());

    wizard.ModelFileEdit()->setText(In("good.tv"));
    EXPECT_TRUE(Finish().empty());
    EXPECT_EQ(wizard.result(), QDialog::Accepted);
    EXPECT_EQ(wizard.ResultModelFileName(), In("good.tv"));
}

} // namespace
} // namespace talvero::ui
