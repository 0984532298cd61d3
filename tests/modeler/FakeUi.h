#pragma once
// A scripted user interface for driving VModeler without a display: every dialog answers from
// a queue the test fills, every window records what the controller did to it.

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kernel/Cp1251.h"
#include "modeler/VUiInterfaces.h"

namespace talvero::testing {

// The controller's texts are cp1251; tests write them in UTF-8.
inline std::string Cp(const char* utf8) { return Utf8ToCp1251(utf8); }

struct FakeMainWindow : VMainWindow {
    std::string Caption = "Talvero";
    VWindowPlacement Placement{125, 205, 593, 90};
    std::vector<std::string> Captions;  // every caption set, in order

    void SetCaption(const std::string& caption) override {
        Caption = caption;
        Captions.push_back(caption);
    }
    VWindowPlacement GetPlacement() const override { return Placement; }
    void SetPlacement(const VWindowPlacement& placement) override { Placement = placement; }
};

struct FakeMessageBoxes : VMessageBoxes {
    struct Shown {
        std::string Caption;
        std::string Text;
    };
    std::vector<Shown> Messages;
    std::vector<Shown> Questions;
    std::deque<VAnswer> Answers;  // an empty queue answers Cancel
    std::deque<bool> Confirmations;  // an empty queue answers Yes

    void ShowMessage(const std::string& caption, const std::string& text) override {
        Messages.push_back({caption, text});
    }
    VAnswer AskYesNoCancel(const std::string& caption, const std::string& text) override {
        Questions.push_back({caption, text});
        if (Answers.empty()) return VAnswer::Cancel;
        const VAnswer a = Answers.front();
        Answers.pop_front();
        return a;
    }
    bool Confirm(const std::string& caption, const std::string& text) override {
        Questions.push_back({caption, text});
        if (Confirmations.empty()) return true;
        const bool yes = Confirmations.front();
        Confirmations.pop_front();
        return yes;
    }
};

struct FakeNewProjectWizard : VNewProjectWizard {
    struct Result {
        std::string ProjectFileName;
        std::string ProjectName;
        NStringList Description;
        std::string ModelFileName;
        bool ModelIsSource = true;
    };
    std::deque<std::optional<Result>> Script;  // nullopt (or an empty queue) cancels
    Result Current;
    int Runs = 0;
    ModelCheck Check;
    // Off: the scripted entries reach the controller unchecked, as a model file changed after
    // the wizard closed would.
    bool UseModelCheck = false;
    // What the model check refused; the wizard stayed open and took the next scripted entry.
    std::vector<std::string> Refusals;

    bool Run() override {
        ++Runs;
        for (;;) {
            if (Script.empty() || !Script.front()) {
                if (!Script.empty()) Script.pop_front();
                Current = Result{};
                return false;
            }
            Current = *Script.front();
            Script.pop_front();
            const std::string refusal =
                UseModelCheck && Check ? Check(Current.ModelFileName, Current.ModelIsSource) : std::string();
            if (refusal.empty()) return true;
            Refusals.push_back(refusal);
        }
    }
    void SetModelCheck(ModelCheck check) override { Check = std::move(check); }
    std::string GetProjectFileName() const override { return Current.ProjectFileName; }
    std::string GetProjectName() const override { return Current.ProjectName; }
    NStringList GetDescription() const override { return Current.Description; }
    std::string GetModelFileName() const override { return Current.ModelFileName; }
    bool IsModelSource() const override { return Current.ModelIsSource; }
};

struct FakeFileOpenDialog : VFileOpenDialog {
    std::deque<std::optional<std::string>> Script;  // nullopt (or an empty queue) cancels
    std::string LastFilter;
    std::string LastExtension;

    bool Run(const std::string& filter, const std::string& defaultExtension, std::string& fileName) override {
        LastFilter = filter;
        LastExtension = defaultExtension;
        if (Script.empty()) return false;
        auto next = Script.front();
        Script.pop_front();
        if (!next) return false;
        fileName = *next;
        return true;
    }
};

struct FakeNameInputDialog : VNameInputDialog {
    std::deque<std::optional<std::string>> Script;  // nullopt (or an empty queue) cancels
    std::vector<VNameInputRequest> Requests;

    bool Run(const VNameInputRequest& request, std::string& text) override {
        Requests.push_back(request);
        if (Script.empty()) return false;
        auto next = Script.front();
        Script.pop_front();
        if (!next) return false;
        text = *next;
        return true;
    }
};

struct FakeComputationOptionsDialog : VComputationOptionsDialog {
    // Each entry edits the shown fields; nullopt (or an empty queue) cancels.
    std::deque<std::optional<std::function<void(VComputationOptionsFields&)>>> Script;
    std::vector<VComputationOptionsFields> Shown;

    bool Run(VComputationOptionsFields& fields) override {
        Shown.push_back(fields);
        if (Script.empty()) return false;
        auto next = std::move(Script.front());
        Script.pop_front();
        if (!next) return false;
        (*next)(fields);
        return true;
    }
};

struct FakeProjectOptionsDialog : VProjectOptionsDialog {
    struct Values {
        std::string Name;
        NStringList Description;
    };
    std::deque<std::optional<Values>> Script;  // nullopt (or an empty queue) cancels
    std::vector<Values> Shown;

    bool Run(std::string& projectName, NStringList& description) override {
        Shown.push_back({projectName, description});
        if (Script.empty()) return false;
        auto next = Script.front();
        Script.pop_front();
        if (!next) return false;
        projectName = next->Name;
        description = next->Description;
        return true;
    }
};

struct FakeCountingDialog : VSourceCheckDialog, VAboutBox {
    int Runs = 0;
    void Run() override { ++Runs; }
};

struct FakeObjectsListWindow : VObjectsListWindow {
    NModel* Model = nullptr;
    int Page = 0;
    bool Dirty = false;
    bool Shown = false;
    int ShowCalls = 0;
    VWindowPlacement Placement{100, 100, 200, 300};

    void SetModel(NModel* model) override { Model = model; }
    bool SetPage(int page) override {
        if (page < 0 || page > 2) return false;
        Page = page;
        return true;
    }
    int GetPage() const override { return Page; }
    bool TakeDirty() override { return std::exchange(Dirty, false); }
    VWindowPlacement GetPlacement() const override { return Placement; }
    void SetPlacement(const VWindowPlacement& placement) override { Placement = placement; }
    bool IsShown() const override { return Shown; }
    void Show() override {
        Shown = true;
        Dirty = true;
        ++ShowCalls;
    }
};

// Behaves like the real progress window: nothing happens while it is hidden.
struct FakeProgressWindow : VProgressWindow {
    bool Visible = false;
    std::string Caption;
    std::string Lines[2];
    int Position[2] = {0, 0};
    int Maximum[2] = {0, 0};
    std::vector<std::string> Captions;  // every caption set while shown
    std::vector<std::string> Line1;     // every line 1 text set while shown
    int ShowCount = 0;

    void Show() override {
        Visible = true;
        Position[0] = Position[1] = 0;
        ++ShowCount;
    }
    void Hide() override { Visible = false; }
    void SetCaption(const std::string& caption) override {
        if (!Visible) return;
        Caption = caption;
        Captions.push_back(caption);
    }
    std::string GetLineText(int line) const override {
        if (!Visible || line < 1 || line > 2) return std::string();
        return Lines[line - 1];
    }
    void SetLineText(int line, const std::string& text) override {
        if (!Visible || line < 1 || line > 2) return;
        Lines[line - 1] = text;
        if (line == 1) Line1.push_back(text);
    }
    void Advance(int bar, int delta) override {
        if (!Visible || bar < 1 || bar > 2) return;
        Position[bar - 1] += delta;
    }
    void SetRange(int bar, int position, int maximum) override {
        if (!Visible || bar < 1 || bar > 2) return;
        Maximum[bar - 1] = maximum;
        Position[bar - 1] = position;
    }
};

// Makes watch windows through `Make` (set by the test, e.g. to a window over an in-memory chart);
// without it no window is made.
struct FakeWatchWindowFactory : VWatchWindowFactory {
    std::function<std::unique_ptr<VWatchWindow>()> Make;
    int Made = 0;

    std::unique_ptr<VWatchWindow> CreateWatchWindow() override {
        if (!Make) return nullptr;
        ++Made;
        return Make();
    }
};

// The whole fake interface; `Interface()` gives the pointers the controller takes.
struct FakeUi {
    FakeMainWindow MainWindow;
    FakeMessageBoxes Messages;
    FakeNewProjectWizard Wizard;
    FakeFileOpenDialog FileOpen;
    FakeNameInputDialog NameInput;
    FakeComputationOptionsDialog ComputationOptions;
    FakeProjectOptionsDialog ProjectOptions;
    FakeCountingDialog SourceCheck;
    FakeCountingDialog About;
    FakeObjectsListWindow ObjectsList;
    FakeProgressWindow Progress;
    FakeWatchWindowFactory WatchWindows;

    VUserInterface Interface() {
        VUserInterface ui;
        ui.MainWindow = &MainWindow;
        ui.Messages = &Messages;
        ui.NewProjectWizard = &Wizard;
        ui.FileOpenDialog = &FileOpen;
        ui.NameInputDialog = &NameInput;
        ui.ComputationOptionsDialog = &ComputationOptions;
        ui.ProjectOptionsDialog = &ProjectOptions;
        ui.SourceCheckDialog = &SourceCheck;
        ui.AboutBox = &About;
        ui.ObjectsList = &ObjectsList;
        ui.Progress = &Progress;
        ui.WatchWindows = &WatchWindows;
        return ui;
    }
};

} // namespace talvero::testing
