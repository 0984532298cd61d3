#pragma once
// What the controller reaches outside itself: windows, dialogs and message boxes, each as a
// small abstract interface. The Qt program implements them in ui/; tests script them.
//
// Every text crossing these interfaces is a Windows-1251 byte string, like the kernel's texts
// (error messages, names, file contents); the windows convert at their own boundary.

#include <functional>
#include <memory>
#include <string>

#include "kernel/NBasicDescription.h"

namespace talvero {

class NModel;
class TWatchFrame;

struct VWindowPlacement {
    int Top = 0;
    int Left = 0;
    int Width = 0;
    int Height = 0;

    bool operator==(const VWindowPlacement&) const = default;
};

// The main window as the controller sees it: the target of the caption and a placement.
class VMainWindow {
public:
    virtual ~VMainWindow() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual VWindowPlacement GetPlacement() const = 0;
    // The window's own size constraints may change what it takes.
    virtual void SetPlacement(const VWindowPlacement& placement) = 0;
};

enum class VAnswer { Yes, No, Cancel };

// Modal message boxes.
class VMessageBoxes {
public:
    virtual ~VMessageBoxes() = default;
    // An OK box.
    virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
    // A question with the buttons Yes, No and Cancel.
    virtual VAnswer AskYesNoCancel(const std::string& caption, const std::string& text) = 0;
    // A question with the buttons Yes and No; true for Yes.
    virtual bool Confirm(const std::string& caption, const std::string& text) = 0;
};

// The new-project wizard; the results are valid after Run returned true.
class VNewProjectWizard {
public:
    virtual ~VNewProjectWizard() = default;
    // Shows the wizard modally; false when it was cancelled.
    virtual bool Run() = 0;
    virtual std::string GetProjectFileName() const = 0;
    virtual std::string GetProjectName() const = 0;
    virtual NStringList GetDescription() const = 0;
    virtual std::string GetModelFileName() const = 0;
    // True for a description text (".tv"), false for a binary model file (".btv").
    virtual bool IsModelSource() const = 0;
    // Asked before the wizard closes with OK: an empty text accepts the model file; any other
    // text is shown and the wizard stays on its model step.
    using ModelCheck = std::function<std::string(const std::string& modelFileName, bool isSource)>;
    virtual void SetModelCheck(ModelCheck check) = 0;
};

// A modal file-open dialog.
class VFileOpenDialog {
public:
    virtual ~VFileOpenDialog() = default;
    // `filter` is "Description (*.ext)|*.ext[|...]". True with the chosen path in `fileName`;
    // false when cancelled (`fileName` untouched).
    virtual bool Run(const std::string& filter, const std::string& defaultExtension, std::string& fileName) = 0;
};

// What the name-input dialog is set up with.
struct VNameInputRequest {
    bool MustSelect = false;  // the entry must be one of the items
    bool NonEmpty = true;     // an empty or all-blank entry is refused
    bool Sorted = true;       // the items are sorted before they are listed
    NStringList Items;
    std::string Title;
    std::string InitialText;
};

// The name-input dialog with a list (it refuses entries itself, by the request's flags).
class VNameInputDialog {
public:
    virtual ~VNameInputDialog() = default;
    // True with the confirmed text in `text`; false when cancelled (`text` untouched).
    virtual bool Run(const VNameInputRequest& request, std::string& text) = 0;
};

// The three fields of the computation options dialog, as texts.
struct VComputationOptionsFields {
    std::string TimeStep;
    std::string TimerPeriod;
    std::string StepsPerTick;
    // Each tick computes for most of its period instead of a fixed number of steps.
    bool AsFastAsPossible = false;
    // Model time in seconds where the computation halts by itself; empty for none.
    std::string RunUntil;
    // When not as fast as possible: model seconds per wall-clock second, or empty for the fixed
    // number of steps per tick.
    std::string Pace;
    // The fast engine (double precision) instead of the exact one.
    bool FastEngine = false;
    // The most threads a step may use, 1 to 256.
    std::string Threads;
    // Every point of every out gate to the project's results file while computing.
    bool RecordToFile = false;
};

// The computation options dialog; it validates its fields before it closes with OK.
class VComputationOptionsDialog {
public:
    virtual ~VComputationOptionsDialog() = default;
    // Shows `fields`; true on OK with the edited texts in `fields`.
    virtual bool Run(VComputationOptionsFields& fields) = 0;
};

// The environment settings dialog: settings of this user's program, not of a project. The budget
// is the memory, in megabytes, that recorded results may take; the dialog checks it is a whole
// number of at least 16 before it closes with OK.
class VEnvironmentOptionsDialog {
public:
    virtual ~VEnvironmentOptionsDialog() = default;
    virtual bool Run(std::string& resultsBudgetMegabytes) = 0;
};

// The project options dialog: the project name and the description lines.
class VProjectOptionsDialog {
public:
    virtual ~VProjectOptionsDialog() = default;
    // True on OK with the edited values.
    virtual bool Run(std::string& projectName, NStringList& description) = 0;
};

// The source check dialog; it works with an environment of its own.
class VSourceCheckDialog {
public:
    virtual ~VSourceCheckDialog() = default;
    virtual void Run() = 0;
};

class VAboutBox {
public:
    virtual ~VAboutBox() = default;
    virtual void Run() = 0;
};

// The model objects list window.
class VObjectsListWindow {
public:
    virtual ~VObjectsListWindow() = default;
    virtual void SetModel(NModel* model) = 0;
    // 0 all objects, 1 signal sources, 2 observation points; false (nothing changes) otherwise.
    virtual bool SetPage(int page) = 0;
    virtual int GetPage() const = 0;
    // Whether the tree or grid was rebuilt, shown or resized since the last call; clears the mark.
    virtual bool TakeDirty() = 0;
    virtual VWindowPlacement GetPlacement() const = 0;
    virtual void SetPlacement(const VWindowPlacement& placement) = 0;
    virtual bool IsShown() const = 0;
    virtual void Show() = 0;
};

// The progress window: two lines (1 "current operation", 2 "total"), each with a bar.
// Every operation does nothing while the window is hidden.
class VProgressWindow {
public:
    virtual ~VProgressWindow() = default;
    // Showing resets both bars to 0.
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    // Empty for a line other than 1 or 2, or while hidden.
    virtual std::string GetLineText(int line) const = 0;
    virtual void SetLineText(int line, const std::string& text) = 0;
    virtual void Advance(int bar, int delta) = 0;
    // Sets the maximum, then the position.
    virtual void SetRange(int bar, int position, int maximum) = 0;
};

enum class VWindowState { Normal = 0, Minimized = 1, Maximized = 2 };
enum class VAxis { Horizontal, Vertical };

// One watch window with its chart frame.
class VWatchWindow {
public:
    virtual ~VWatchWindow() = default;
    virtual std::string GetCaption() const = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual VWindowPlacement GetPlacement() const = 0;
    virtual void SetPlacement(const VWindowPlacement& placement) = 0;
    virtual bool IsShown() const = 0;
    virtual void SetShown(bool shown) = 0;
    virtual VWindowState GetWindowState() const = 0;
    virtual void SetWindowState(VWindowState state) = 0;
    virtual void BringToFront() = 0;
    // Whether the axis shows its value labels, and its title.
    virtual bool GetAxisLabels(VAxis axis) const = 0;
    virtual void SetAxisLabels(VAxis axis, bool shown) = 0;
    virtual std::string GetAxisTitle(VAxis axis) const = 0;
    virtual void SetAxisTitle(VAxis axis, const std::string& title) = 0;
    virtual bool IsLegendShown() const = 0;
    virtual void SetLegendShown(bool shown) = 0;
    // True when the window's layout or its frame changed since the last call; clears the
    // window's own mark (the frame's mark is consulted only when the window's is clear).
    virtual bool IsChanged() = 0;
    virtual TWatchFrame& GetFrame() = 0;
};

// Makes the watch windows; the controller owns what it makes.
class VWatchWindowFactory {
public:
    virtual ~VWatchWindowFactory() = default;
    virtual std::unique_ptr<VWatchWindow> CreateWatchWindow() = 0;
};

// Everything the controller talks to. None of the pointers may be null; the controller owns none.
struct VUserInterface {
    VMainWindow* MainWindow = nullptr;
    VMessageBoxes* Messages = nullptr;
    VNewProjectWizard* NewProjectWizard = nullptr;
    VFileOpenDialog* FileOpenDialog = nullptr;
    VNameInputDialog* NameInputDialog = nullptr;
    VComputationOptionsDialog* ComputationOptionsDialog = nullptr;
    VProjectOptionsDialog* ProjectOptionsDialog = nullptr;
    VSourceCheckDialog* SourceCheckDialog = nullptr;
    VAboutBox* AboutBox = nullptr;
    VObjectsListWindow* ObjectsList = nullptr;
    VProgressWindow* Progress = nullptr;
    VWatchWindowFactory* WatchWindows = nullptr;
    // Null: the environment settings item does nothing.
    VEnvironmentOptionsDialog* EnvironmentOptionsDialog = nullptr;
};

} // namespace talvero
