// The main window over the real controller: menus and toolbar, the refresh table row by row,
// the time text, the toggles, the timer, the close request and "Сменить модель".

#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTextBrowser>

#include <tuple>
#include <QFileInfo>
#include <QKeySequence>
#include <QSettings>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include "UiTestSupport.h"
#include "environment/NEnvironment.h"
#include "modeler/VIniFile.h"
#include "modeler/VModeler.h"
#include "ui/TComputationOptionsForm.h"
#include "ui/THelpForm.h"
#include "ui/TImageList.h"
#include "ui/TMainForm.h"
#include "ui/TListInputForm.h"
#include "ui/TMdlObjectsListForm.h"
#include "ui/TRecentProjects.h"
#include "ui/UiKeyboard.h"
#include "ui/UiText.h"

namespace talvero::ui {
namespace {

using uitest::Cp;
using uitest::U;
using C = TCommand;

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    std::string Dir() const { return ToPath(folder.path() + QLatin1Char('/')); }
    VModeler& M() { return form.Modeler(); }
    // What a command does to the controller; the window then refreshes, as after every command.
    void OpenProjectWithoutModel() {
        ASSERT_TRUE(M().NewProject(Dir(), "p.tvp"));
        form.Refresh();
    }
    void OpenProjectWithModel() {
        OpenProjectWithoutModel();
        const std::string binary = Dir() + "reflex_arc.btv";
        ASSERT_TRUE(M().GetEnvironment()->Compile(ToPath(uitest::Example("reflex_arc.tv")), binary));
        ASSERT_TRUE(M().GetEnvironment()->LoadModel(binary));
        M().SetAsFastAsPossible(false);  // ticks of a fixed step count
        M().SetPace(0);
        form.Refresh();
    }
    bool On(C command) const { return form.Action(command)->isEnabled(); }
    // The commands that are enabled, in menu order.
    std::vector<C> Enabled() const {
        std::vector<C> on;
        for (int i = 0; i < static_cast<int>(C::Count); ++i)
            if (On(static_cast<C>(i))) on.push_back(static_cast<C>(i));
        return on;
    }
    void Trigger(C command) { form.Action(command)->trigger(); }

    QTemporaryDir folder;
    TMainForm form;
};

TEST_F(MainFormTest, WindowShape) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Talvero"));
    EXPECT_EQ(form.minimumHeight(), 90);
    EXPECT_EQ(form.maximumHeight(), 90);
    EXPECT_EQ(form.minimumWidth(), 488);
    EXPECT_EQ(form.height(), 90);
    EXPECT_EQ(form.x(), 205);
    EXPECT_EQ(form.y(), 125);
    EXPECT_FALSE(form.Timer()->isActive());
    EXPECT_EQ(form.Timer()->interval(), 10);
    // The placement the controller restores meets the same constraints.
    form.SetPlacement({10, 20, 700, 100});
    EXPECT_EQ(form.GetPlacement(), (VWindowPlacement{10, 20, 700, 90}));
}

TEST_F(MainFormTest, MenusWithCaptionsAndImages) {
    QStringList menus;
    QStringList items;
    for (QAction* menu : form.menuBar()->actions()) {
        // Mnemonics aside, the captions are the fixed ones.
        menus << QString(menu->text()).remove(QLatin1Char('&'));
        for (QAction* item : menu->menu()->actions()) {
            if (item->isSeparator()) {
                items << QStringLiteral("-");
                continue;
            }
            const int image = TMainForm::ImageIndex(item);
            items << QString(item->text()).remove(QLatin1Char('&')) + (image >= 0 ? QStringLiteral(" #") + QString::number(image) : QString());
        }
        items << QStringLiteral("|");
    }
    EXPECT_EQ(menus, (QStringList{U("Файл"), U("Проект"), U("Модель"), U("Процессор"), U("Инструменты"), U("Справка")}));
    EXPECT_EQ(items.join(QLatin1Char('\n')),
              U("Создать проект #0\nОткрыть проект #1\nСохранить проект #2\n-\nПоследние проекты\n"
                "Открывать последний проект при запуске\n-\nВыход\n|\n"
                "Настройки проекта\nНастройки окружения\n|\n"
                "Список объектов\nИсточники сигналов\nТочки наблюдения\nСхема модели\n-\n"
                "Сменить модель\nПроверить исходный код\n|\n"
                "Пуск #7\nПауза #8\nСтоп #10\n-\nСостояние\n-\nЗапомнить состояние\nВосстановить состояние\n-\n"
                "Настройки\n|\n"
                "Открыть новое окно наблюдений #4\nУдалить окно наблюдений #5\nСписок открытых окон #6\n-\n"
                "Запретить все наблюдения #11\nЗапретить отображение текущего времени #13\n|\n"
                "Язык описания моделей\nКлавиши и мышь\n-\nО программе #3\n|"));
}

TEST_F(MainFormTest, ToolbarButtonsWithHintsAndImages) {
    QStringList buttons;
    for (QAction* action : form.ToolBar()->actions()) {
        if (action->isSeparator()) {
            buttons << QStringLiteral("-");
            continue;
        }
        auto* button = qobject_cast<QToolButton*>(form.ToolBar()->widgetForAction(action));
        ASSERT_NE(button, nullptr);
        buttons << button->toolTip() + QStringLiteral(" #") + QString::number(TMainForm::ImageIndex(action));
        EXPECT_EQ(button->icon().cacheKey(), TImageList::Icon(TMainForm::ImageIndex(action)).cacheKey());
    }
    // Every slot has a picture that draws (the SVG files are in the resources).
    for (int i = 0; i < TImageList::Count; ++i) EXPECT_FALSE(TImageList::Icon(i).pixmap(16, 16).isNull()) << i;
    EXPECT_EQ(buttons, (QStringList{U("Создать новый проект #0"), U("Открыть существующий проект #1"),
                                    U("Сохранить проект #2"), QStringLiteral("-"), U("Включить счёт #7"),
                                    U("Пауза #8"), U("Остановить счёт #10"), QStringLiteral("-"),
                                    U("Создать окно наблюдения #4"), U("Удалить окно наблюдения #5"),
                                    U("Список окон наблюдения #6"), QStringLiteral("-"),
                                    U("Запретить все наблюдения #11"),
                                    U("Запретить отображение текущего времени #13")}));
}

TEST_F(MainFormTest, RowNoProject) {
    form.Refresh();
    EXPECT_EQ(Enabled(), (std::vector<C>{C::CreateProject, C::OpenProject, C::Exit, C::CheckSource,
                                         C::LanguageReference, C::Shortcuts, C::About}));
    EXPECT_FALSE(form.Timer()->isActive());
    EXPECT_EQ(form.StatusText(), U("Нет проекта"));
    EXPECT_EQ(form.Action(C::ToggleWatch)->text(), U("Запретить все наблюдения"));
    EXPECT_EQ(form.Action(C::ToggleWatch)->toolTip(), U("Запретить все наблюдения"));
    EXPECT_EQ(TMainForm::ImageIndex(form.Action(C::ToggleWatch)), 11);
    EXPECT_EQ(form.Action(C::ToggleTime)->text(), U("Запретить отображение текущего времени"));
    EXPECT_EQ(TMainForm::ImageIndex(form.Action(C::ToggleTime)), 13);
}

TEST_F(MainFormTest, RowNoProjectResetsTheToggles) {
    OpenProjectWithoutModel();
    M().ToggleWatchAccumulation();
    M().ToggleTimeCounter();
    form.Refresh();
    EXPECT_EQ(TMainForm::ImageIndex(form.Action(C::ToggleWatch)), 12);
    ASSERT_TRUE(M().CloseCurrentProject());
    form.Refresh();
    EXPECT_EQ(form.Action(C::ToggleWatch)->text(), U("Запретить все наблюдения"));
    EXPECT_EQ(TMainForm::ImageIndex(form.Action(C::ToggleWatch)), 11);
    EXPECT_EQ(form.Action(C::ToggleTime)->toolTip(), U("Запретить отображение текущего времени"));
    EXPECT_EQ(TMainForm::ImageIndex(form.Action(C::ToggleTime)), 13);
    EXPECT_FALSE(On(C::ToggleWatch));
    EXPECT_FALSE(On(C::ToggleTime));
}

TEST_F(MainFormTest, RowProjectWithoutModel) {
    OpenProjectWithoutModel();
    form.Refresh();
    EXPECT_EQ(Enabled(), (std::vector<C>{C::CreateProject, C::OpenProject, C::Exit, C::ProjectOptions,
                                         C::EnvironmentOptions, C::ObjectsList, C::SourcesList, C::WatchPointsList,
                                         C::ModelDiagram, C::ChangeModel, C::CheckSource,
                                         C::ComputationOptions, C::NewWatchWindow, C::DeleteWatchWindow,
                                         C::WatchWindowList, C::ToggleWatch, C::ToggleTime,
                                         C::LanguageReference, C::Shortcuts, C::About}));
    EXPECT_FALSE(form.Timer()->isActive());
    EXPECT_EQ(form.StatusText(), U("Модель не загружена"));
}

TEST_F(MainFormTest, SaveIsEnabledExactlyWhenModified) {
    OpenProjectWithoutModel();
    form.Refresh();
    EXPECT_FALSE(On(C::SaveProject));
    M().SetProjectName(Cp("Дуга"));
    form.Refresh();
    EXPECT_TRUE(On(C::SaveProject));
    EXPECT_EQ(form.windowTitle(), U("Talvero - Дуга"));
    Trigger(C::SaveProject);
    EXPECT_FALSE(On(C::SaveProject));
}

TEST_F(MainFormTest, RowModelStopped) {
    OpenProjectWithModel();
    form.Refresh();
    EXPECT_FALSE(form.Timer()->isActive());
    EXPECT_TRUE(On(C::Start));
    EXPECT_FALSE(On(C::Pause));
    EXPECT_FALSE(On(C::Stop));
    EXPECT_FALSE(On(C::State));
    EXPECT_FALSE(On(C::RememberState));
    EXPECT_TRUE(On(C::RestoreState));
    EXPECT_TRUE(On(C::ComputationOptions));
    EXPECT_EQ(form.StatusText(), U("Счёт остановлен"));
}

TEST_F(MainFormTest, RowRunningWithTheTimeText) {
    OpenProjectWithModel();
    Trigger(C::Start);
    EXPECT_TRUE(form.Timer()->isActive());
    EXPECT_EQ(form.Timer()->interval(), 30);
    EXPECT_FALSE(On(C::Start));
    EXPECT_TRUE(On(C::Pause));
    EXPECT_TRUE(On(C::Stop));
    EXPECT_TRUE(On(C::State));
    EXPECT_TRUE(On(C::RememberState));
    EXPECT_TRUE(On(C::RestoreState));
    EXPECT_TRUE(On(C::ComputationOptions));
    EXPECT_EQ(form.StatusText(), U("Время: 0.000 с"));

    form.TimerTick();  // 20 steps of 0.0001
    EXPECT_EQ(form.StatusText(), U("Время: 0.002 с"));
    Trigger(C::ToggleTime);
    EXPECT_EQ(form.StatusText(), U("Счёт включён"));
    EXPECT_TRUE(form.Timer()->isActive());
}

TEST_F(MainFormTest, RowPausedShowsTheFrozenTime) {
    OpenProjectWithModel();
    Trigger(C::Start);
    form.TimerTick();
    form.TimerTick();
    Trigger(C::Pause);
    EXPECT_FALSE(form.Timer()->isActive());
    EXPECT_TRUE(On(C::Start));
    EXPECT_FALSE(On(C::Pause));
    EXPECT_TRUE(On(C::Stop));
    EXPECT_TRUE(On(C::State));
    EXPECT_TRUE(On(C::RestoreState));
    EXPECT_EQ(form.StatusText(), U("Пауза [0.004 с]"));
    // A tick while paused computes nothing.
    form.TimerTick();
    EXPECT_EQ(form.StatusText(), U("Пауза [0.004 с]"));
    // The paused text does not depend on the time display.
    Trigger(C::ToggleTime);
    EXPECT_EQ(form.StatusText(), U("Пауза [0.004 с]"));
    Trigger(C::Start);  // continues
    form.TimerTick();
    Trigger(C::ToggleTime);
    EXPECT_EQ(form.StatusText(), U("Время: 0.006 с"));
    Trigger(C::Stop);
    EXPECT_EQ(form.StatusText(), U("Счёт остановлен"));
    EXPECT_FALSE(form.Timer()->isActive());
}

TEST_F(MainFormTest, TogglesSwitchCaptionHintAndImage) {
    OpenProjectWithModel();
    form.Refresh();
    Trigger(C::ToggleWatch);
    EXPECT_FALSE(M().IsWatchAccumulationOn());
    EXPECT_EQ(form.Action(C::ToggleWatch)->text(), U("Разрешить все наблюдения"));
    EXPECT_EQ(form.Action(C::ToggleWatch)->toolTip(), U("Разрешить все наблюдения"));
    EXPECT_EQ(TMainForm::ImageIndex(form.Action(C::ToggleWatch)), 12);
    EXPECT_EQ(form.Action(C::ToggleWatch)->icon().cacheKey(), TImageList::Icon(12).cacheKey());
    Trigger(C::ToggleTime);
    EXPECT_EQ(form.Action(C::ToggleTime)->text(), U("Разрешить отображение текущего времени"));
    EXPECT_EQ(form.Action(C::ToggleTime)->toolTip(), U("Разрешить отображение текущего времени"));
    EXPECT_EQ(TMainForm::ImageIndex(form.Action(C::ToggleTime)), 14);
    Trigger(C::ToggleWatch);
    Trigger(C::ToggleTime);
    EXPECT_EQ(form.Action(C::ToggleWatch)->text(), U("Запретить все наблюдения"));
    EXPECT_EQ(TMainForm::ImageIndex(form.Action(C::ToggleWatch)), 11);
    EXPECT_EQ(form.Action(C::ToggleTime)->text(), U("Запретить отображение текущего времени"));
    EXPECT_EQ(TMainForm::ImageIndex(form.Action(C::ToggleTime)), 13);
    EXPECT_FALSE(M().IsProjectModified());
}

TEST_F(MainFormTest, EachTickTakesTheCurrentTimerPeriod) {
    OpenProjectWithModel();
    Trigger(C::Start);
    uitest::DialogScript script;
    script.ThenOn<TComputationOptionsForm>([](TComputationOptionsForm& f) {
        f.TimerPeriodEdit()->setText(QStringLiteral("75"));
        f.OkButton()->click();
    });
    Trigger(C::ComputationOptions);
    EXPECT_TRUE(M().IsRunning());
    EXPECT_EQ(form.Timer()->interval(), 30);
    form.TimerTick();
    EXPECT_EQ(form.Timer()->interval(), 75);
    EXPECT_TRUE(On(C::SaveProject));
}

TEST_F(MainFormTest, CancellingTheCloseQuestionResumesARunningComputation) {
    OpenProjectWithModel();
    M().SetProjectName(Cp("Дуга"));
    Trigger(C::Start);
    uitest::DialogScript script;
    script.ThenAnswer(U("Отмена"));
    EXPECT_FALSE(form.close());
    ASSERT_EQ(script.Boxes.size(), 1u);
    EXPECT_EQ(script.Boxes[0].Caption, U("Предупреждение"));
    EXPECT_EQ(script.Boxes[0].Text, U("Текущий проект был изменён. Сохранить изменения?"));
    EXPECT_TRUE(M().IsRunning());
    EXPECT_FALSE(M().IsPaused());
    EXPECT_TRUE(form.Timer()->isActive());
    EXPECT_TRUE(M().IsProjectOpen());
}

TEST_F(MainFormTest, CancellingTheCloseQuestionLeavesAPausedComputationPaused) {
    OpenProjectWithModel();
    M().SetProjectName(Cp("Дуга"));
    Trigger(C::Start);
    Trigger(C::Pause);
    uitest::DialogScript script;
    script.ThenAnswer(U("Отмена"));
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(M().IsPaused());
    EXPECT_FALSE(form.Timer()->isActive());
}

TEST_F(MainFormTest, YesSavesAndCloses) {
    OpenProjectWithModel();
    M().SetProjectName(Cp("Дуга"));
    uitest::DialogScript script;
    script.ThenAnswer(U("Да"));
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(M().IsProjectOpen());
    const auto file = VIniFile::Open(Dir() + "p.tvp");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->ReadString("System", "ProjectName", "Fail"), Cp("Дуга"));
    EXPECT_EQ(form.StatusText(), U("Нет проекта"));
}

TEST_F(MainFormTest, NoClosesWithoutSavingTheProjectData) {
    OpenProjectWithModel();
    M().SetProjectName(Cp("Дуга"));
    uitest::DialogScript script;
    script.ThenAnswer(U("Нет"));
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(M().IsProjectOpen());
    const auto file = VIniFile::Open(Dir() + "p.tvp");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->ReadString("System", "ProjectName", "Fail"), "Fail");
}

TEST_F(MainFormTest, AnUnmodifiedProjectClosesWithoutQuestionThroughASave) {
    OpenProjectWithModel();
    Trigger(C::Start);
    uitest::DialogScript script;  // no question may come
    Trigger(C::Exit);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(M().IsProjectOpen());
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("p.tvp"))));  // the workspace was saved
    EXPECT_TRUE(script.Boxes.empty());
}

TEST_F(MainFormTest, ChangeModelReplacesTheModelOfTheOpenProject) {
    OpenProjectWithoutModel();
    form.Refresh();
    const QString source = folder.filePath(QStringLiteral("other.tv"));
    ASSERT_TRUE(uitest::WriteText(source, "Model other {\n  Generator g { }\n}\n"));
    form.ObjectsListForm()->SetModel(M().GetEnvironment()->GetModel());
    form.ObjectsListForm()->Show();

    uitest::DialogScript script;
    QString filter;
    script.Then([&](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        if (!files) return static_cast<int>(QDialog::Rejected);
        filter = files->nameFilters().join(QStringLiteral(";;"));
        files->selectFile(source);
        static_cast<QDialog*>(files)->accept();
        return files->result();
    });
    Trigger(C::ChangeModel);
    EXPECT_EQ(filter, U("Файл описания модели (*.tv);;Двоичный файл модели (*.btv)"));
    EXPECT_TRUE(M().GetEnvironment()->IsModelLoaded());
    EXPECT_EQ(M().GetEnvironment()->GetModelFileName(), "other.btv");
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("other.btv"))));
    EXPECT_TRUE(M().IsProjectModified());
    EXPECT_EQ(form.StatusText(), U("Счёт остановлен"));
    // The open objects list follows the new model.
    ASSERT_EQ(form.ObjectsListForm()->Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(form.ObjectsListForm()->Tree()->topLevelItem(0)->text(0), QStringLiteral("other"));
    form.ObjectsListForm()->hide();

    // Any other ending is refused and the model stays.
    const QString text = folder.filePath(QStringLiteral("model.txt"));
    ASSERT_TRUE(uitest::WriteText(text, "Model m { }\n"));
    script.Then([&](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        if (!files) return static_cast<int>(QDialog::Rejected);
        files->selectFile(text);
        static_cast<QDialog*>(files)->accept();
        return files->result();
    });
    Trigger(C::ChangeModel);
    ASSERT_EQ(script.Boxes.size(), 1u);
    EXPECT_EQ(script.Boxes[0].Text, U("Имя файла модели имеет недопустимое расширение!"));
    EXPECT_EQ(M().GetEnvironment()->GetModelFileName(), "other.btv");
}

} // namespace
} // namespace talvero::ui

namespace talvero::ui {
namespace {

// Keys reach the actions through the application's shortcut map, as a user's key presses do.
TEST_F(MainFormTest, ShortcutsRunTheirCommandsAndShowInTheMenus) {
    OpenProjectWithModel();
    form.show();
    QApplication::setActiveWindow(&form);
    const auto press = [this](const QKeySequence& keys) {
        QTest::keySequence(&form, keys);
        QApplication::processEvents();
    };
    const struct {
        C Command;
        QKeySequence Keys;
        bool (VModeler::*After)() const;  // what the command switched on, if it can be seen
    } table[] = {
        {C::Start, QKeySequence(Qt::Key_F5), &VModeler::IsRunning},
        {C::Pause, QKeySequence(Qt::Key_F6), &VModeler::IsPaused},
        {C::Stop, QKeySequence(Qt::SHIFT | Qt::Key_F5), nullptr},
    };
    for (const auto& row : table) {
        EXPECT_EQ(form.Action(row.Command)->shortcut(), row.Keys);
        press(row.Keys);
        if (row.After) {
            EXPECT_TRUE((M().*row.After)()) << row.Keys.toString().toStdString();
        }
    }
    EXPECT_FALSE(M().IsRunning());

    uitest::DialogScript script;
    script.ThenOn<TListInputForm>([](TListInputForm& input) {
        input.Entry()->setText(QStringLiteral("w"));
        input.OkButton()->click();
    });
    press(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    EXPECT_EQ(M().GetWatchWindows().size(), 1u);
    for (const auto& [command, keys] : {std::pair{C::CreateProject, QKeySequence::New},
                                        std::pair{C::OpenProject, QKeySequence::Open},
                                        std::pair{C::SaveProject, QKeySequence::Save}})
        EXPECT_EQ(form.Action(command)->shortcut(), QKeySequence(keys));
}

TEST_F(MainFormTest, RecentProjectsListTheNewestFirstOnceEachAndForgetMissingOnes) {
    TRecentProjects recent;
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Talvero"), QStringLiteral("talvero")).clear();
    OpenProjectWithModel();
    M().SetProjectName("p");
    ASSERT_TRUE(M().SaveProjectFile());
    const QString project = folder.filePath(QStringLiteral("p.tvp"));
    ASSERT_TRUE(QFile::exists(project));
    form.Refresh();
    const QString other = folder.filePath(QStringLiteral("gone.tvp"));
    recent.Add(other);
    recent.Add(project);  // again: moves to the front, not listed twice
    EXPECT_EQ(recent.Paths(), (QStringList{QFileInfo(project).canonicalFilePath(), QFileInfo(other).absoluteFilePath()}));
    for (int i = 0; i < TRecentProjects::kLimit + 3; ++i) recent.Add(folder.filePath(QStringLiteral("x%1.tvp").arg(i)));
    EXPECT_EQ(recent.Paths().size(), TRecentProjects::kLimit);

    // The menu offers them; a project that is gone says so and leaves the list.
    M().CloseProject(false);
    form.Refresh();
    recent.Add(other);
    emit form.RecentMenu()->aboutToShow();
    ASSERT_FALSE(form.RecentMenu()->actions().isEmpty());
    QAction* first = form.RecentMenu()->actions().front();
    EXPECT_TRUE(first->text().startsWith(QStringLiteral("&1 gone.tvp")));
    uitest::DialogScript script;
    first->trigger();
    ASSERT_EQ(script.Boxes.size(), 1u);
    EXPECT_EQ(script.Boxes[0].Caption, U("Ошибка!"));
    EXPECT_FALSE(recent.Paths().contains(QFileInfo(other).absoluteFilePath()));
    EXPECT_FALSE(M().IsProjectOpen());

    // Reopening at start is a choice kept with the list.
    EXPECT_EQ(recent.StartProject(), QString());
    form.ReopenLastAction()->trigger();
    EXPECT_TRUE(recent.ReopenLast());
    EXPECT_EQ(recent.StartProject(), recent.Paths().front());
    form.ReopenLastAction()->trigger();
    EXPECT_FALSE(recent.ReopenLast());
}

TEST_F(MainFormTest, AModelThatFailedToLoadLeavesNoTreeInTheObjectsList) {
    OpenProjectWithModel();
    Trigger(C::ObjectsList);
    QTreeWidget* tree = form.ObjectsListForm()->findChild<QTreeWidget*>();
    ASSERT_NE(tree, nullptr);
    EXPECT_GT(tree->topLevelItemCount(), 0);
    const std::string broken = Dir() + "broken.btv";
    QFile file(FromPath(broken));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a model\n");
    file.close();
    EXPECT_FALSE(M().GetEnvironment()->LoadModel(broken));
    Trigger(C::ObjectsList);
    EXPECT_EQ(tree->topLevelItemCount(), 0);
}

// The mnemonics answered only in the Russian layout (Alt+W, Alt+F did nothing in the Latin one).
TEST_F(MainFormTest, MenuMnemonicsAnswerTheLatinKeysOfTheSameKeys) {
    const struct {
        Qt::Key Key;
        const char* Menu;
    } bar[] = {{Qt::Key_A, "Файл"}, {Qt::Key_G, "Проект"}, {Qt::Key_V, "Модель"},
               {Qt::Key_W, "Процессор"}, {Qt::Key_B, "Инструменты"}, {Qt::Key_F, "Справка"}};
    form.show();
    QApplication::setActiveWindow(&form);
    for (const auto& row : bar) {
        SCOPED_TRACE(row.Menu);
        QTest::keyClick(&form, row.Key, Qt::AltModifier);
        QApplication::processEvents();
        QAction* active = form.menuBar()->activeAction();
        ASSERT_NE(active, nullptr);
        EXPECT_EQ(QString(active->text()).remove(QLatin1Char('&')), U(row.Menu));
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        form.menuBar()->setActiveAction(nullptr);
    }

    // Inside an open menu the Latin key of an item's mnemonic chooses it ("П&уск" on E, "&Стоп" on C).
    QMenu menu;
    QAction* run = menu.addAction(U("П&уск"));
    QAction* stop = menu.addAction(U("&Стоп"));
    EnableLatinMnemonics(&menu);
    for (const auto& [key, text, expected] : {std::tuple{Qt::Key_E, "e", run}, std::tuple{Qt::Key_C, "c", stop}}) {
        QSignalSpy chosen(expected, &QAction::triggered);
        menu.popup(QPoint(0, 0));
        QApplication::processEvents();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString::fromLatin1(text));
        QApplication::sendEvent(&menu, &press);
        EXPECT_EQ(chosen.count(), 1) << text;
        menu.close();
    }
}

// "Справка" held only "О программе".
TEST_F(MainFormTest, HelpShowsTheLanguageReferenceAndTheKeys) {
    Trigger(C::LanguageReference);
    ASSERT_TRUE(form.HelpForm()->isVisible());
    EXPECT_TRUE(form.HelpForm()->Browser()->toPlainText().contains(QStringLiteral("model description language")));
    EXPECT_EQ(form.Action(C::LanguageReference)->shortcut(), QKeySequence(Qt::Key_F1));
    Trigger(C::Shortcuts);
    const QString keys = form.HelpForm()->Browser()->toPlainText();
    for (const char* expected : {"F5", "Пуск", "Ctrl+S", "Alt", "Колесо"}) EXPECT_TRUE(keys.contains(U(expected))) << expected;
    form.HelpForm()->close();
}

} // namespace
} // namespace talvero::ui
