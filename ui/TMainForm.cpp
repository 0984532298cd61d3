#include "ui/TMainForm.h"

#include <algorithm>
#include <climits>

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "environment/NEnvironment.h"
#include "kernel/NClock.h"
#include "kernel/NError.h"
#include "modeler/VModeler.h"
#include "ui/TAboutForm.h"
#include "ui/TComputationOptionsForm.h"
#include "ui/TComputationStateForm.h"
#include "ui/TCreateProjectWizardForm.h"
#include "ui/TEnvironmentOptionsForm.h"
#include "ui/THelpForm.h"
#include "ui/TImageList.h"
#include "ui/TInputWindowsControlForm.h"
#include "ui/TListInputForm.h"
#include "ui/TMdlObjectsListForm.h"
#include "ui/TModelDiagramForm.h"
#include "ui/TPrjOptionsForm.h"
#include "ui/TRecentProjects.h"
#include "ui/TSeriesControlForm.h"
#include "ui/TShowProgressBarForm.h"
#include "ui/TSimpleGraphForm.h"
#include "ui/TTestModelForm.h"
#include "ui/TWatchWindowForm.h"
#include "ui/UiKeyboard.h"
#include "ui/UiText.h"

namespace talvero::ui {

namespace {

constexpr int kWatchOnImage = 11;
constexpr int kWatchOffImage = 12;
constexpr int kTimeOnImage = 13;
constexpr int kTimeOffImage = 14;

// The speed beside the model time; nothing until a second of computing has been measured.
QString SpeedText(double factor) {
    if (!(factor > 0)) return {};
    const int decimals = factor >= 100 ? 0 : factor >= 10 ? 1 : factor >= 0.1 ? 2 : 4;
    QString number = QString::number(factor, 'f', decimals);
    number.replace(QLatin1Char('.'), DecimalPoint());
    return QString::fromUtf8("  (×") + number + QString::fromUtf8(" реального времени)");
}
constexpr const char* kImageProperty = "talveroImage";

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

} // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Talvero"));
    setWindowIcon(TImageList::ApplicationIcon());
    BuildMenus();
    BuildToolBar();

    StatusLine = new QLabel;
    statusBar()->addWidget(StatusLine, 1);
    statusBar()->setSizeGripEnabled(false);

    CountTimer = new QTimer(this);
    CountTimer->setInterval(10);
    connect(CountTimer, &QTimer::timeout, this, &TMainForm::TimerTick);

    // A narrow strip: the height is fixed, the width free above a minimum.
    move(205, 125);
    resize(593, 100);
    setMinimumWidth(488);
    setFixedHeight(90);

    ObjectsList = new TMdlObjectsListForm(this);
    ObjectsList->SetModelLoadedQuery([this] { return Controller && Controller->GetEnvironment()->IsModelLoaded(); });
    // Below the main window until a project's workspace places it.
    ObjectsList->move(205, 260);
    Diagram = new TModelDiagramForm(this, ObjectsList);
    Wizard = new TCreateProjectWizardForm(this);
    SourceCheck = new TTestModelForm(this);
    NameInput = new TListInputForm(this);
    ComputationOptions = new TComputationOptionsForm(this);
    ProjectOptions = new TPrjOptionsForm(this);
    EnvironmentOptions = new TEnvironmentOptionsForm(this);
    Progress = new TShowProgressBarForm(this);
    About = new TAboutForm(this);
    ComputationState = new TComputationStateForm(this);
    SimpleGraph = new TSimpleGraphForm(this);
    InputWindows = new TInputWindowsControlForm(this);
    SeriesControl = new TSeriesControlForm(this, NameInput);
    Help = new THelpForm(this);
    TWatchWindowServices services;
    services.NameInput = NameInput;
    services.ListCaptions = [this] {
        NStringList captions;
        Controller->ListWatchWindows(captions);
        return captions;
    };
    services.SeriesControl = SeriesControl;
    WatchWindowFactory = std::make_unique<TWatchWindowFactory>(this, services);

    VUserInterface ui;
    ui.MainWindow = this;
    ui.Messages = &Messages;
    ui.NewProjectWizard = Wizard;
    ui.FileOpenDialog = &FileOpen;
    ui.NameInputDialog = NameInput;
    ui.ComputationOptionsDialog = ComputationOptions;
    ui.ProjectOptionsDialog = ProjectOptions;
    ui.EnvironmentOptionsDialog = EnvironmentOptions;
    ui.SourceCheckDialog = SourceCheck;
    ui.AboutBox = About;
    ui.ObjectsList = ObjectsList;
    ui.Progress = Progress;
    ui.WatchWindows = WatchWindowFactory.get();
    Controller = std::make_unique<VModeler>(ui);
    {
        // Beside the program's other settings of this user.
        const QString folder = QFileInfo(QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Talvero"),
                                                   QStringLiteral("talvero"))
                                             .fileName())
                                   .absolutePath();
        QDir().mkpath(folder);
        Controller->SetEnvironmentSettingsFile(ToPath(folder + QStringLiteral("/environment.ini")));
    }
    SetFileDialogStartFolder([this] {
        if (Controller->IsProjectOpen()) return FromPath(Controller->GetProjectDirectory());
        const QStringList recent = TRecentProjects().Paths();
        return recent.isEmpty() ? QString() : QFileInfo(recent.front()).absolutePath();
    });
    ObjectsList->SetModeler(Controller.get());
    // "Сохранить проект" follows an edit at once, not only at the next tick.
    connect(ObjectsList, &TMdlObjectsListForm::ParameterEdited, this, &TMainForm::Refresh);
    Refresh();
}

TMainForm::~TMainForm() {
    CountTimer->stop();
    SetFileDialogStartFolder({});
    // The controller saves through the windows while it goes: they must still be there, but
    // the objects list must not ask a controller that is half gone about its values.
    ObjectsList->SetModeler(nullptr);
    Progress->SetPaintingOthers(false);
    Controller.reset();
}

int TMainForm::ImageIndex(const QAction* action) {
    const QVariant image = action ? action->property(kImageProperty) : QVariant();
    return image.isValid() ? image.toInt() : -1;
}

void TMainForm::SetImage(QAction* action, int image) {
    action->setIcon(TImageList::Icon(image));
    action->setProperty(kImageProperty, image);
}

QAction* TMainForm::AddCommand(QMenu* menu, TCommand command, const char* caption, int image) {
    QAction* action = menu->addAction(U(caption));
    if (image >= 0) SetImage(action, image);
    Actions[static_cast<std::size_t>(command)] = action;
    return action;
}

void TMainForm::Bind(TCommand command, void (VModeler::*operation)()) {
    connect(Action(command), &QAction::triggered, this, [this, operation] {
        (Controller.get()->*operation)();
        Refresh();
    });
}

void TMainForm::ModelMayHaveChanged() {
    NEnvironment* environment = Controller->GetEnvironment();
    ObjectsList->SetModel(environment->GetModel());
    Diagram->SetModel(environment, environment->IsModelLoaded() ? environment->GetModel() : nullptr);
}

void TMainForm::BuildMenus() {
    QMenu* file = menuBar()->addMenu(U("&Файл"));
    AddCommand(file, TCommand::CreateProject, "&Создать проект", 0);
    AddCommand(file, TCommand::OpenProject, "&Открыть проект", 1);
    AddCommand(file, TCommand::SaveProject, "Со&хранить проект", 2);
    file->addSeparator();
    RecentProjectsMenu = file->addMenu(U("&Последние проекты"));
    connect(RecentProjectsMenu, &QMenu::aboutToShow, this, &TMainForm::FillRecentMenu);
    FillRecentMenu();
    ReopenLast = file->addAction(U("Открывать последний проект при &запуске"));
    ReopenLast->setCheckable(true);
    ReopenLast->setChecked(TRecentProjects().ReopenLast());
    connect(ReopenLast, &QAction::toggled, this, [](bool on) { TRecentProjects().SetReopenLast(on); });
    file->addSeparator();
    AddCommand(file, TCommand::Exit, "В&ыход");

    QMenu* project = menuBar()->addMenu(U("&Проект"));
    AddCommand(project, TCommand::ProjectOptions, "&Настройки проекта");
    AddCommand(project, TCommand::EnvironmentOptions, "Настройки &окружения");

    QMenu* model = menuBar()->addMenu(U("&Модель"));
    AddCommand(model, TCommand::ObjectsList, "&Список объектов");
    AddCommand(model, TCommand::SourcesList, "&Источники сигналов");
    AddCommand(model, TCommand::WatchPointsList, "&Точки наблюдения");
    AddCommand(model, TCommand::ModelDiagram, "С&хема модели");
    model->addSeparator();
    AddCommand(model, TCommand::ChangeModel, "Сменить &модель");
    AddCommand(model, TCommand::CheckSource, "&Проверить исходный код");

    QMenu* processor = menuBar()->addMenu(U("Про&цессор"));
    AddCommand(processor, TCommand::Start, "П&уск", 7);
    AddCommand(processor, TCommand::Pause, "П&ауза", 8);
    AddCommand(processor, TCommand::Stop, "&Стоп", 10);
    processor->addSeparator();
    AddCommand(processor, TCommand::State, "С&остояние");
    processor->addSeparator();
    AddCommand(processor, TCommand::RememberState, "&Запомнить состояние");
    AddCommand(processor, TCommand::RestoreState, "&Восстановить состояние");
    processor->addSeparator();
    AddCommand(processor, TCommand::ComputationOptions, "&Настройки");

    QMenu* tools = menuBar()->addMenu(U("&Инструменты"));
    AddCommand(tools, TCommand::NewWatchWindow, "&Открыть новое окно наблюдений", 4);
    AddCommand(tools, TCommand::DeleteWatchWindow, "&Удалить окно наблюдений", 5);
    AddCommand(tools, TCommand::WatchWindowList, "&Список открытых окон", 6);
    tools->addSeparator();
    AddCommand(tools, TCommand::ToggleWatch, "Запретить все наблюдения", kWatchOnImage);
    AddCommand(tools, TCommand::ToggleTime, "Запретить отображение текущего времени", kTimeOnImage);

    QMenu* help = menuBar()->addMenu(U("Спр&авка"));
    AddCommand(help, TCommand::LanguageReference, "&Язык описания моделей");
    AddCommand(help, TCommand::Shortcuts, "&Клавиши и мышь");
    help->addSeparator();
    AddCommand(help, TCommand::About, "&О программе", 3);

    const struct {
        TCommand Command;
        QKeySequence Keys;
    } shortcuts[] = {
        {TCommand::CreateProject, QKeySequence(Qt::CTRL | Qt::Key_N)},
        {TCommand::OpenProject, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {TCommand::SaveProject, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {TCommand::Exit, QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {TCommand::Start, QKeySequence(Qt::Key_F5)},
        {TCommand::Pause, QKeySequence(Qt::Key_F6)},
        {TCommand::Stop, QKeySequence(Qt::SHIFT | Qt::Key_F5)},
        {TCommand::NewWatchWindow, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N)},
        {TCommand::LanguageReference, QKeySequence(Qt::Key_F1)},
    };
    for (const auto& s : shortcuts) {
        Action(s.Command)->setShortcut(s.Keys);
        // Also while a watch window or the objects list has the focus.
        Action(s.Command)->setShortcutContext(Qt::ApplicationShortcut);
    }

    Bind(TCommand::CreateProject, &VModeler::CreateProject);
    Bind(TCommand::OpenProject, &VModeler::OpenProject);
    Bind(TCommand::ChangeModel, &VModeler::ChangeModel);
    for (TCommand command : {TCommand::CreateProject, TCommand::OpenProject, TCommand::ChangeModel})
        connect(Action(command), &QAction::triggered, this, [this] { ModelMayHaveChanged(); });
    Bind(TCommand::SaveProject, &VModeler::SaveProject);
    connect(Action(TCommand::Exit), &QAction::triggered, this, &QWidget::close);
    Bind(TCommand::ProjectOptions, &VModeler::EditProjectOptions);
    Bind(TCommand::EnvironmentOptions, &VModeler::EditEnvironmentOptions);
    Bind(TCommand::ObjectsList, &VModeler::ShowObjectsList);
    Bind(TCommand::SourcesList, &VModeler::ShowSourcesList);
    Bind(TCommand::WatchPointsList, &VModeler::ShowWatchPointsList);
    connect(Action(TCommand::ModelDiagram), &QAction::triggered, this, [this] {
        // The objects list is left as it is: rebuilding it would fold its tree and lose the selection.
        NEnvironment* environment = Controller->GetEnvironment();
        Diagram->SetModel(environment, environment->IsModelLoaded() ? environment->GetModel() : nullptr);
        Diagram->Show();
    });
    Bind(TCommand::CheckSource, &VModeler::CheckModelSource);
    connect(Action(TCommand::Start), &QAction::triggered, this, [this] {
        Controller->StartComputation();
        CountTimer->setInterval(static_cast<int>(std::min<std::uint32_t>(Controller->TimerPeriod(), INT_MAX)));
        Refresh();
    });
    Bind(TCommand::Pause, &VModeler::PauseComputation);
    Bind(TCommand::Stop, &VModeler::StopComputation);
    Bind(TCommand::State, &VModeler::ShowComputationState);
    Bind(TCommand::RememberState, &VModeler::RememberComputationState);
    Bind(TCommand::RestoreState, &VModeler::RestoreComputationState);
    Bind(TCommand::ComputationOptions, &VModeler::EditComputationOptions);
    Bind(TCommand::NewWatchWindow, &VModeler::CreateWatchWindow);
    Bind(TCommand::DeleteWatchWindow, &VModeler::DeleteWatchWindow);
    Bind(TCommand::WatchWindowList, &VModeler::ShowWatchWindowList);
    Bind(TCommand::ToggleWatch, &VModeler::ToggleWatchAccumulation);
    Bind(TCommand::ToggleTime, &VModeler::ToggleTimeCounter);
    Bind(TCommand::About, &VModeler::ShowAbout);
    connect(Action(TCommand::LanguageReference), &QAction::triggered, this, [this] {
        QString text = THelpForm::LanguageReference();
        if (text.isEmpty()) text = U("Справочник по языку не найден в этой сборке программы.");
        Help->ShowMarkdown(U("Язык описания моделей"), text);
    });
    connect(Action(TCommand::Shortcuts), &QAction::triggered, this,
            [this] { Help->ShowHtml(U("Клавиши и мышь"), ShortcutsHtml()); });
    EnableLatinMnemonics(menuBar());
}

QString TMainForm::ShortcutsHtml() const {
    const auto row = [](const QString& keys, const QString& what) {
        return QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>").arg(keys.toHtmlEscaped(), what.toHtmlEscaped());
    };
    QString html = U("<h3>Команды</h3><table cellspacing=\"0\" cellpadding=\"4\">");
    for (const QAction* action : Actions) {
        if (!action || action->shortcut().isEmpty()) continue;
        html += row(action->shortcut().toString(QKeySequence::NativeText), action->text().remove(QLatin1Char('&')));
    }
    html += row(U("Alt + подчёркнутая буква"),
                U("открыть меню или выбрать пункт; действует и в русской, и в латинской раскладке"));
    html += U("</table><h3>Окно наблюдения</h3><table cellspacing=\"0\" cellpadding=\"4\">");
    html += row(U("Левая кнопка, протянуть"), U("увеличить выделенную область"));
    html += row(U("Правая или средняя кнопка, Ctrl + левая"), U("сдвинуть график"));
    html += row(U("Колесо"), U("масштаб по обеим осям"));
    html += row(U("Ctrl + колесо"), U("масштаб по вертикали"));
    html += row(U("Shift + колесо"), U("масштаб по горизонтали"));
    html += row(U("Двойной щелчок"), U("вернуть весь график"));
    html += U("</table><h3>Схема модели</h3><table cellspacing=\"0\" cellpadding=\"4\">");
    html += row(U("Колесо"), U("масштаб"));
    html += row(U("Щелчок по объекту"), U("показать объект в списке объектов"));
    html += U("</table><h3>Списки имён</h3><table cellspacing=\"0\" cellpadding=\"4\">");
    html += row(U("Вверх, Вниз"), U("выбрать строку списка"));
    html += row(U("Insert"), U("перенести выбранную строку в поле ввода"));
    html += row(U("Двойной щелчок"), U("выбрать строку и подтвердить"));
    html += U("</table>");
    return html;
}

void TMainForm::BuildToolBar() {
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    ToolBar1->toggleViewAction()->setVisible(false);
    const auto button = [this](TCommand command, const char* hint) {
        QAction* action = Action(command);
        action->setToolTip(U(hint));
        ToolBar1->addAction(action);
    };
    button(TCommand::CreateProject, "Создать новый проект");
    button(TCommand::OpenProject, "Открыть существующий проект");
    button(TCommand::SaveProject, "Сохранить проект");
    ToolBar1->addSeparator();
    button(TCommand::Start, "Включить счёт");
    button(TCommand::Pause, "Пауза");
    button(TCommand::Stop, "Остановить счёт");
    ToolBar1->addSeparator();
    button(TCommand::NewWatchWindow, "Создать окно наблюдения");
    button(TCommand::DeleteWatchWindow, "Удалить окно наблюдения");
    button(TCommand::WatchWindowList, "Список окон наблюдения");
    ToolBar1->addSeparator();
    button(TCommand::ToggleWatch, "Запретить все наблюдения");
    button(TCommand::ToggleTime, "Запретить отображение текущего времени");
}

QString TMainForm::StatusText() const { return StatusLine->text(); }

void TMainForm::SetTimerRunning(bool running) {
    if (running == CountTimer->isActive()) return;
    if (running) CountTimer->start();
    else CountTimer->stop();
}

void TMainForm::Refresh() {
    const VModeler& modeler = *Controller;
    const auto enable = [this](TCommand command, bool on) { Action(command)->setEnabled(on); };
    const auto toggle = [this](TCommand command, const char* caption, int image, bool on) {
        QAction* action = Action(command);
        action->setText(U(caption));
        action->setToolTip(U(caption));
        SetImage(action, image);
        action->setEnabled(on);
    };
    for (TCommand command : {TCommand::CreateProject, TCommand::OpenProject, TCommand::Exit, TCommand::CheckSource,
                             TCommand::LanguageReference, TCommand::Shortcuts, TCommand::About})
        enable(command, true);

    if (!modeler.IsProjectOpen()) {
        SetTimerRunning(false);
        for (std::size_t i = 0; i < Actions.size(); ++i) {
            const auto command = static_cast<TCommand>(i);
            if (command != TCommand::CreateProject && command != TCommand::OpenProject && command != TCommand::Exit &&
                command != TCommand::CheckSource && command != TCommand::LanguageReference &&
                command != TCommand::Shortcuts && command != TCommand::About)
                enable(command, false);
        }
        toggle(TCommand::ToggleWatch, "Запретить все наблюдения", kWatchOnImage, false);
        toggle(TCommand::ToggleTime, "Запретить отображение текущего времени", kTimeOnImage, false);
        StatusLine->setText(U("Нет проекта"));
        return;
    }

    NoteOpenProject();
    enable(TCommand::SaveProject, modeler.IsProjectModified() || modeler.HasUnsavedResults());
    for (TCommand command : {TCommand::ProjectOptions, TCommand::EnvironmentOptions, TCommand::ObjectsList,
                             TCommand::SourcesList, TCommand::WatchPointsList, TCommand::ModelDiagram, TCommand::ChangeModel})
        enable(command, true);

    struct Row {
        bool Timer, Start, Pause, Stop, State, Restore;
    };
    Row row{};
    QString status;
    if (!modeler.GetEnvironment()->IsModelLoaded()) {
        row = {false, false, false, false, false, false};
        status = U("Модель не загружена");
    } else if (!modeler.IsRunning()) {
        row = {false, true, false, false, false, true};
        status = modeler.GetStopReason().empty() ? U("Счёт остановлен") : FromCp(modeler.GetStopReason());
    } else if (!modeler.IsPaused()) {
        row = {true, false, true, true, true, true};
        status = modeler.IsTimeCounterOn()
                     ? U("Время: ") + FormatModelTime(GetCurrentTime(), DecimalPoint()) + U(" с") +
                           SpeedText(modeler.SpeedFactor())
                     : U("Счёт включён");
    } else {
        row = {false, true, false, true, true, true};
        status = U("Пауза [") + FormatModelTime(GetCurrentTime(), DecimalPoint()) + U(" с]");
        // F5 here asks whether to go on past the stop time.
        if (modeler.IsAtStopTime()) status += U(": время остановки");
    }
    if (modeler.IsResultsBudgetReached())
        status += U(" — ранние данные прорежены");
    // A results file that could not be written is said first, where a narrow window still shows it.
    if (modeler.HasRecordingFailed()) status = FromCp(modeler.GetRecordingStatus()) + U(" — ") + status;
    else if (!modeler.GetRecordingStatus().empty()) status += U(" — ") + FromCp(modeler.GetRecordingStatus());
    SetTimerRunning(row.Timer);
    enable(TCommand::Start, row.Start);
    enable(TCommand::Pause, row.Pause);
    enable(TCommand::Stop, row.Stop);
    enable(TCommand::State, row.State);
    enable(TCommand::RememberState, row.State);
    enable(TCommand::RestoreState, row.Restore);
    enable(TCommand::ComputationOptions, true);

    for (TCommand command : {TCommand::NewWatchWindow, TCommand::DeleteWatchWindow, TCommand::WatchWindowList})
        enable(command, true);
    if (modeler.IsWatchAccumulationOn()) toggle(TCommand::ToggleWatch, "Запретить все наблюдения", kWatchOnImage, true);
    else toggle(TCommand::ToggleWatch, "Разрешить все наблюдения", kWatchOffImage, true);
    if (modeler.IsTimeCounterOn())
        toggle(TCommand::ToggleTime, "Запретить отображение текущего времени", kTimeOnImage, true);
    else toggle(TCommand::ToggleTime, "Разрешить отображение текущего времени", kTimeOffImage, true);
    StatusLine->setText(status);
    StatusLine->setToolTip(status);  // the whole line when the window is narrower
}

void TMainForm::TimerTick() {
    // The progress window lets the event loop paint while a project is read or written: the
    // computation waits for that to end.
    if (Progress->isVisible()) return;
    const int period = static_cast<int>(std::min<std::uint32_t>(Controller->TimerPeriod(), INT_MAX));
    if (CountTimer->interval() != period) CountTimer->setInterval(period);
    Controller->ComputeTick();
    Refresh();
}

bool TMainForm::OpenProjectFile(const QString& path) {
    const QFileInfo file(path);
    if (!file.isFile()) {
        // Opening it would make a new, empty project that fails only when it is saved.
        ReportError(1002, ToPath(file.absoluteFilePath()));
        Controller->ShowError(TakeLastError());
        TRecentProjects().Remove(path);
        Refresh();
        return false;
    }
    QString directory = file.absolutePath();
    if (!directory.endsWith(QLatin1Char('/'))) directory += QLatin1Char('/');
    Controller->StopComputation();
    const bool opened = Controller->LoadProject(ToPath(directory), ToPath(file.fileName()));
    if (!opened) Controller->ShowError(TakeLastError());
    ModelMayHaveChanged();
    Refresh();
    return opened;
}

bool TMainForm::OpenRecentProject(const QString& path) {
    VModeler& modeler = *Controller;
    if (!modeler.SaveQuestion().empty()) {
        const bool wasRunning = modeler.IsRunning() && !modeler.IsPaused();
        if (wasRunning) modeler.PauseComputation();
        switch (AskYesNoCancel(this, U("Предупреждение"), FromCp(modeler.SaveQuestion()))) {
        case VAnswer::Cancel:
            if (wasRunning) modeler.StartComputation();
            Refresh();
            return false;
        case VAnswer::Yes: modeler.SaveProject(); break;
        case VAnswer::No: modeler.CloseProject(false); break;
        }
    }
    return OpenProjectFile(path);
}

void TMainForm::FillRecentMenu() {
    RecentProjectsMenu->clear();
    const QStringList paths = TRecentProjects().Paths();
    for (int i = 0; i < paths.size(); ++i) {
        const QString& path = paths[i];
        // "&1 name.tvp — folder": the number is the mnemonic.
        QAction* item = RecentProjectsMenu->addAction(QStringLiteral("&%1 %2 \u2014 %3")
                                                          .arg(i + 1)
                                                          .arg(QFileInfo(path).fileName(),
                                                               QDir::toNativeSeparators(QFileInfo(path).absolutePath())));
        item->setData(path);
        connect(item, &QAction::triggered, this, [this, path] { OpenRecentProject(path); });
    }
    RecentProjectsMenu->setEnabled(!paths.isEmpty());
}

void TMainForm::NoteOpenProject() {
    const VModeler& modeler = *Controller;
    const QString path = FromPath(modeler.GetProjectDirectory() + modeler.GetProjectFileName());
    if (path == NotedProject || !QFileInfo(path).isFile()) return;
    NotedProject = path;
    TRecentProjects().Add(path);
    FillRecentMenu();
}

void TMainForm::SetCaption(const std::string& caption) { setWindowTitle(FromCp(caption)); }

VWindowPlacement TMainForm::GetPlacement() const { return {y(), x(), width(), height()}; }

void TMainForm::SetPlacement(const VWindowPlacement& stored) {
    const VWindowPlacement placement = FitToScreen(stored);
    move(placement.Left, placement.Top);
    resize(placement.Width, placement.Height);
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous()) return;
    Controller->MainWindowShown();
    Refresh();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    VModeler& modeler = *Controller;
    const bool wasRunning = modeler.IsRunning();
    const bool wasPaused = modeler.IsPaused();
    if (wasRunning) modeler.PauseComputation();

    bool allowed = true;
    if (!modeler.SaveQuestion().empty()) {
        switch (AskYesNoCancel(this, U("Предупреждение"), FromCp(modeler.SaveQuestion()))) {
        case VAnswer::Cancel:
            allowed = false;
            if (wasRunning && !wasPaused) modeler.StartComputation();
            break;
        case VAnswer::Yes: modeler.CloseProject(true); break;
        case VAnswer::No: modeler.CloseProject(false); break;
        }
    } else {
        modeler.CloseProject(true);
    }
    Refresh();

    if (!allowed) {
        event->ignore();
        return;
    }
    ObjectsList->hide();
    Diagram->SetModel(nullptr, nullptr);
    Diagram->hide();
    event->accept();
}

} // namespace talvero::ui
