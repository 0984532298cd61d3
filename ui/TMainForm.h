#pragma once
// The main window: menus, toolbar and status line over the controller, which it creates and
// owns, and the computation timer. After every command and every tick one refresh decides what
// is enabled and what the status line says.

#include <array>
#include <memory>

#include <QMainWindow>

#include "modeler/VUiInterfaces.h"
#include "ui/UiDialogs.h"

class QAction;
class QLabel;
class QTimer;
class QToolBar;

namespace talvero {
class VModeler;
}

namespace talvero::ui {

class TAboutForm;
class TComputationOptionsForm;
class TEnvironmentOptionsForm;
class TComputationStateForm;
class TCreateProjectWizardForm;
class THelpForm;
class TInputWindowsControlForm;
class TListInputForm;
class TMdlObjectsListForm;
class TModelDiagramForm;
class TPrjOptionsForm;
class TSeriesControlForm;
class TShowProgressBarForm;
class TSimpleGraphForm;
class TTestModelForm;
class TWatchWindowFactory;

// Every menu command; the toolbar buttons repeat some of them.
enum class TCommand {
    CreateProject, OpenProject, SaveProject, Exit,
    ProjectOptions, EnvironmentOptions,
    ObjectsList, SourcesList, WatchPointsList, ModelDiagram, ChangeModel, CheckSource,
    Start, Pause, Stop, State, RememberState, RestoreState, ComputationOptions,
    NewWatchWindow, DeleteWatchWindow, WatchWindowList, ToggleWatch, ToggleTime,
    LanguageReference, Shortcuts, About,
    Count
};

class TMainForm : public QMainWindow, public VMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    VModeler& Modeler() const { return *Controller; }

    // The menu item of a command; its toolbar button, if any, shares the same action.
    QAction* Action(TCommand command) const { return Actions[static_cast<std::size_t>(command)]; }
    // The picture number an action shows now (-1 for none).
    static int ImageIndex(const QAction* action);
    QToolBar* ToolBar() const { return ToolBar1; }
    QTimer* Timer() const { return CountTimer; }
    QString StatusText() const;

    TMdlObjectsListForm* ObjectsListForm() const { return ObjectsList; }
    TModelDiagramForm* DiagramForm() const { return Diagram; }
    TCreateProjectWizardForm* WizardForm() const { return Wizard; }
    TTestModelForm* SourceCheckForm() const { return SourceCheck; }
    TListInputForm* NameInputForm() const { return NameInput; }
    TComputationOptionsForm* ComputationOptionsForm() const { return ComputationOptions; }
    TPrjOptionsForm* ProjectOptionsForm() const { return ProjectOptions; }
    TEnvironmentOptionsForm* EnvironmentOptionsForm() const { return EnvironmentOptions; }
    TShowProgressBarForm* ProgressForm() const { return Progress; }
    TAboutForm* AboutForm() const { return About; }
    TSeriesControlForm* SeriesControlForm() const { return SeriesControl; }
    THelpForm* HelpForm() const { return Help; }
    // The keys of the commands and of the windows, as the help shows them.
    QString ShortcutsHtml() const;

    // Re-derives the enabled commands, the toggles, the timer and the status line.
    void Refresh();
    // One tick of the computation timer.
    void TimerTick();
    // Opens the project file at `path` (a start-up argument); false after showing the error.
    // A file that does not exist leaves the program without a project.
    bool OpenProjectFile(const QString& path);
    // A project of the recent list: asks first whether to save a modified project.
    bool OpenRecentProject(const QString& path);
    QMenu* RecentMenu() const { return RecentProjectsMenu; }
    QAction* ReopenLastAction() const { return ReopenLast; }

    // VMainWindow.
    void SetCaption(const std::string& caption) override;
    VWindowPlacement GetPlacement() const override;
    void SetPlacement(const VWindowPlacement& placement) override;

protected:
    void showEvent(QShowEvent* event) override;
    // The close request: asks about a modified project; Cancel keeps the program open.
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* AddCommand(QMenu* menu, TCommand command, const char* caption, int image = -1);
    void SetImage(QAction* action, int image);
    void Bind(TCommand command, void (VModeler::*operation)());
    // After a command that may have replaced the model: the objects list and the diagram follow.
    void ModelMayHaveChanged();
    void BuildMenus();
    void BuildToolBar();
    void SetTimerRunning(bool running);
    void FillRecentMenu();
    // The open project joins the recent list the first time the refresh sees it.
    void NoteOpenProject();

    std::array<QAction*, static_cast<std::size_t>(TCommand::Count)> Actions{};
    QToolBar* ToolBar1 = nullptr;
    QTimer* CountTimer = nullptr;
    QLabel* StatusLine = nullptr;
    QMenu* RecentProjectsMenu = nullptr;
    QAction* ReopenLast = nullptr;
    QString NotedProject;

    TMdlObjectsListForm* ObjectsList = nullptr;
    TModelDiagramForm* Diagram = nullptr;
    TCreateProjectWizardForm* Wizard = nullptr;
    TTestModelForm* SourceCheck = nullptr;
    TListInputForm* NameInput = nullptr;
    TComputationOptionsForm* ComputationOptions = nullptr;
    TPrjOptionsForm* ProjectOptions = nullptr;
    TEnvironmentOptionsForm* EnvironmentOptions = nullptr;
    TShowProgressBarForm* Progress = nullptr;
    TAboutForm* About = nullptr;
    TComputationStateForm* ComputationState = nullptr;
    TSimpleGraphForm* SimpleGraph = nullptr;
    TInputWindowsControlForm* InputWindows = nullptr;
    TSeriesControlForm* SeriesControl = nullptr;
    THelpForm* Help = nullptr;
    TMessageBoxes Messages{this};
    TFileOpenDialog FileOpen{this};
    std::unique_ptr<TWatchWindowFactory> WatchWindowFactory;

    std::unique_ptr<VModeler> Controller;
};

} // namespace talvero::ui
