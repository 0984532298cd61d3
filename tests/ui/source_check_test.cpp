// The source check dialog: both stages' lines for a good file, the stop after a preprocessor
// error, a processor error, the temporary file and the exit.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>

#include "UiTestSupport.h"
#include "environment/NEnvironment.h"
#include "ui/TTestModelForm.h"

namespace talvero::ui {
namespace {

using uitest::U;

class SourceCheckTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    QString Write(const char* name, const char* text) {
        const QString path = folder.filePath(QLatin1String(name));
        EXPECT_TRUE(uitest::WriteText(path, text));
        return path;
    }

    QTemporaryDir folder;
    TTestModelForm form;
};

TEST_F(SourceCheckTest, AGoodFilePassesBothStages) {
    EXPECT_EQ(form.windowTitle(), U("Проверка модели"));
    EXPECT_EQ(form.CheckButton()->text(), U("Проверить"));
    EXPECT_EQ(form.OpenButton()->text(), U("Открыть"));
    EXPECT_EQ(form.ExitButton()->text(), U("Выход"));
    EXPECT_TRUE(form.CheckButton()->isDefault());
    EXPECT_TRUE(form.TemporaryFilePath().endsWith(QStringLiteral("/00000000.tmp")));

    form.UseFile(uitest::Example("reflex_arc.tv"));
    ASSERT_TRUE(form.CheckButton()->isEnabled());
    form.CheckButton()->click();
    const QStringList expected{U("Шаг 1 - Препроцессор..."), U("Успешно!"), QString(), U("Шаг 2 - Процессор..."),
                               U("Успешно!")};
    EXPECT_EQ(form.OutputLines(), expected);
    EXPECT_TRUE(QFile::exists(form.TemporaryFilePath()));

    // Again: the same lines, the temporary file made anew.
    form.CheckButton()->click();
    EXPECT_EQ(form.OutputLines(), expected);
    EXPECT_TRUE(QFile::exists(form.TemporaryFilePath()));
}

TEST_F(SourceCheckTest, ASyntaxErrorStopsAfterThePreprocessor) {
    form.UseFile(Write("bad.tv", "Model m {\n  Net n {\n    Neuron a {\n  }\n"));
    form.Check();
    const QStringList lines = form.OutputLines();
    ASSERT_EQ(lines.size(), 4) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], U("Шаг 1 - Препроцессор..."));
    EXPECT_TRUE(lines[1].startsWith(U("Ошибка 2"))) << lines[1].toStdString();
    // Where the block left open begins.
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral("bad.tv:2:3: n {"))) << lines[3].toStdString();
    EXPECT_EQ(form.findChild<QLabel*>()->text(), QDir::toNativeSeparators(form.GetFileName()));
    EXPECT_TRUE(lines[1].contains(U(" среда, препроцессор: "))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("[ ")) && lines[2].endsWith(QStringLiteral(" ]")));
    EXPECT_FALSE(QFile::exists(form.TemporaryFilePath()));
}

TEST_F(SourceCheckTest, AProcessorErrorIsWrittenAfterASuccessfulFirstStage) {
    form.UseFile(Write("unknown.tv", "Model m {\n  Net n {\n    Foo a { }\n  }\n}\n"));
    form.Check();
    EXPECT_EQ(form.OutputLines(), (QStringList{U("Шаг 1 - Препроцессор..."), U("Успешно!"), QString(),
                                               U("Шаг 2 - Процессор..."),
                                               U("Ошибка 401 среда, построение модели: Тип объекта не найден"),
                                               QStringLiteral("[ Foo ]"), folder.filePath("unknown.tv") + ":3:5: Foo"}));
}

// The open dialog offers binary model files: the first stage takes such a file's records as they
// are (the preprocessor would read its lines as description text).
TEST_F(SourceCheckTest, ABinaryModelFilePassesBothStagesAndADamagedOneStopsAtTheFirst) {
    const QString binary = folder.filePath(QStringLiteral("arc.BTV"));
    NEnvironment compiler;
    ASSERT_TRUE(compiler.Compile(uitest::Example("reflex_arc.tv").toStdString(), binary.toStdString()));
    form.UseFile(binary);
    form.Check();
    EXPECT_EQ(form.OutputLines(), (QStringList{U("Шаг 1 - Препроцессор..."), U("Успешно!"), QString(),
                                               U("Шаг 2 - Процессор..."), U("Успешно!")}));
    EXPECT_TRUE(QFile::exists(form.TemporaryFilePath()));

    form.UseFile(Write("damaged.btv", "Model m {\n}\n"));
    form.Check();
    const QStringList lines = form.OutputLines();
    ASSERT_EQ(lines.size(), 4) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral("damaged.btv:2: }"))) << lines[3].toStdString();
    EXPECT_EQ(lines[0], U("Шаг 1 - Препроцессор..."));
    EXPECT_TRUE(lines[1].startsWith(U("Ошибка "))) << lines[1].toStdString();
    EXPECT_FALSE(QFile::exists(form.TemporaryFilePath()));
}

TEST_F(SourceCheckTest, AMissingFileNamesItselfInTheDetailLine) {
    const QString missing = folder.filePath(U("нет такого.tv"));
    form.UseFile(missing);
    form.Check();
    const QStringList lines = form.OutputLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[2], QStringLiteral("[ ") + missing + QStringLiteral(" ]"));
}

TEST_F(SourceCheckTest, ShowingClearsAndACancelledChoiceKeepsCheckDisabled) {
    form.UseFile(uitest::Example("reflex_arc.tv"));
    form.Check();
    uitest::DialogScript script;
    script.ThenCancel();  // the file dialog that showing asks for
    form.show();
    QApplication::processEvents();
    EXPECT_TRUE(form.OutputLines().isEmpty());
    EXPECT_FALSE(form.CheckButton()->isEnabled());
    form.hide();
}

TEST_F(SourceCheckTest, ExitRemovesTheTemporaryFileAndTheEnvironment) {
    form.UseFile(uitest::Example("reflex_arc.tv"));
    form.Check();
    ASSERT_TRUE(QFile::exists(form.TemporaryFilePath()));
    form.setResult(QDialog::Accepted);
    form.show();
    form.ExitButton()->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_FALSE(QFile::exists(form.TemporaryFilePath()));
    EXPECT_FALSE(form.HasEnvironment());
    EXPECT_TRUE(form.OutputLines().isEmpty());
}

} // namespace
} // namespace talvero::ui
