// Construction and destruction of the controller, and the project commands of the main window.

#include <cctype>
#include <chrono>
#include <filesystem>
#include <system_error>

#include <stdlib.h>
#include <unistd.h>

#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"
#include "modeler/VModeler.h"
#include "modeler/VModelerText.h"
#include "results/GateHdf5File.h"

namespace talvero {

using namespace modeler_text;

namespace {

// Splits at the last '\' or '/': the directory keeps its separator; without one the directory
// is empty and the file name the whole path.
void SplitPath(const std::string& path, std::string& directory, std::string& fileName) {
    const auto sep = LastSeparator(path);
    if (sep == std::string::npos) {
        directory.clear();
        fileName = path;
    } else {
        directory = path.substr(0, sep + 1);
        fileName = path.substr(sep + 1);
    }
}

// The binary model file's name for a model file: its base name with the extension "btv".
// A name without a directory part is treated alike ("arm.tv" gives "arm.btv"), and a base name
// without a '.' gets one.
std::string BinaryModelName(const std::string& modelPath) {
    const auto sep = LastSeparator(modelPath);
    std::string base = sep == std::string::npos ? modelPath : modelPath.substr(sep + 1);
    const auto dot = base.rfind('.');
    if (dot == std::string::npos) base += '.';
    else base.erase(dot + 1);
    return base + "btv";
}

// Copies a file through a temporary file beside the target; the target is replaced whole or not at all.
bool CopyFileReplacing(const std::string& from, const std::string& to) {
    std::string content;
    return ReadWholeFile(from, content) && WriteFileReplacing(to, content);
}

} // namespace

VModeler::VModeler(const VUserInterface& ui)
    : MainWindow(ui.MainWindow), Environment(std::make_unique<NEnvironment>()), Ui(ui) {
    RegisterModelerErrors();
    RegisterBuiltinClasses(*Environment);
    MainWindow->SetCaption(kCaptionBase);
    Ui.NewProjectWizard->SetModelCheck(
        [this](const std::string& path, bool isSource) { return CheckModelFile(path, isSource); });
    Clock = [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
}

VModeler::~VModeler() {
    FinishRecording();  // even when the project cannot be saved on the way out
    CloseCurrentProject();
    // The windows' frames point into the model: they go first. The clock must not keep
    // pointing at a model that is about to be deleted.
    WatchWindows.clear();
    if (GetActiveModel() == Environment->GetModel()) SetActiveModel(nullptr);
    Environment.reset();
}

void VModeler::ShowError(const NError& error) {
    Ui.Messages->ShowMessage(Cp("Ошибка!"), error.GetMessage() + "\n" + GetLastErrorInfo());
}

void VModeler::ShowLastError() { ShowError(TakeLastError()); }

VModeler::ComputationMark VModeler::RememberAndPause() {
    const ComputationMark mark{Running, Paused};
    if (Running) PauseComputation();
    return mark;
}

void VModeler::Resume(const ComputationMark& mark) {
    if (mark.WasRunning && !mark.WasPaused) StartComputation();
}

std::string VModeler::SaveQuestion() const {
    if (!ProjectOpen) return std::string();
    if (Modified && HasUnsavedResults())
        return Cp("Текущий проект был изменён, и в нём есть несохранённые результаты счёта. Сохранить изменения и результаты?");
    if (Modified) return Cp("Текущий проект был изменён. Сохранить изменения?");
    if (HasUnsavedResults()) return Cp("В проекте есть несохранённые результаты счёта. Сохранить их?");
    return std::string();
}

bool VModeler::AskToSaveModified() {
    const std::string question = SaveQuestion();
    if (question.empty()) return true;
    const VAnswer answer = Ui.Messages->AskYesNoCancel(Cp("Предупреждение"), question);
    if (answer == VAnswer::Cancel) return false;
    if (answer == VAnswer::No) {
        // Nothing of this project is written any more: not the project file, not the watch info,
        // not a series file.
        ModifiedBeforeDiscard = Modified;
        Modified = false;
        DiscardingChanges = true;
    }
    return true;
}

void VModeler::WithdrawDiscard() {
    if (!DiscardingChanges) return;
    DiscardingChanges = false;
    Modified = ModifiedBeforeDiscard;
}

void VModeler::CreateProject() {
    const ComputationMark mark = RememberAndPause();
    if (!AskToSaveModified() || !Ui.NewProjectWizard->Run()) {
        WithdrawDiscard();
        Resume(mark);
        return;
    }
    StopComputation();

    std::string directory;
    std::string fileName;
    SplitPath(Ui.NewProjectWizard->GetProjectFileName(), directory, fileName);
    if (!NewProject(directory, fileName)) {
        ShowLastError();
        return;
    }
    SetProjectName(Ui.NewProjectWizard->GetProjectName());
    SetDescription(Ui.NewProjectWizard->GetDescription());

    BuildProjectModel(Ui.NewProjectWizard->GetModelFileName(), Ui.NewProjectWizard->IsModelSource());
    if (!SaveProjectFile()) ShowLastError();
}

namespace {

// The compiler's own message with where it arose: what the author needs to mend the model.
std::string DescribeCompileError(const NError& error) {
    std::string text;
    for (const std::string& part : {error.GetMessage(), GetLastErrorInfo(), FormatErrorLocation(GetLastErrorLocation())})
        if (!part.empty()) text += (text.empty() ? "" : "\n") + part;
    return text;
}

} // namespace

std::string VModeler::CheckModelFile(const std::string& modelPath, bool isSource) {
    NEnvironment trial;
    RegisterBuiltinClasses(trial);
    trial.SetDurableBinaryFiles(false);  // the compiled file is removed once checked
    std::string binary = modelPath;
    std::string temporary;
    if (isSource) {
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
        std::string pattern = (ec ? std::string("/tmp") : folder.string()) + "/talvero-check-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) return Cp("Не удалось создать временный файл для проверки модели: ") + pattern;
        ::close(fd);
        temporary = binary = pattern;
        if (!trial.Compile(modelPath, binary)) {
            std::filesystem::remove(temporary, ec);
            return DescribeCompileError(TakeLastError());
        }
    }
    const bool loaded = trial.LoadModel(binary);
    std::string cause = loaded ? std::string() : DescribeCompileError(TakeLastError());
    if (!temporary.empty()) {
        std::error_code ec;
        std::filesystem::remove(temporary, ec);
    }
    return cause;
}

bool VModeler::BuildProjectModel(const std::string& modelPath, bool isSource) {
    FinishRecording();  // its gates belong to the model about to be replaced
    const std::string binaryPath = ProjectDirectory + BinaryModelName(modelPath);
    if (isSource) {
        if (!Environment->Compile(modelPath, binaryPath)) {
            // 1040 only where the binary file really could not be written; anything else is a
            // fault of the description, which reads like a disk problem under that text.
            // The writer's info is "PATH: the system's reason", which the message keeps.
            const std::string info = GetLastErrorInfo();
            if (PeekLastErrorCode() == 111 && info.rfind(binaryPath + ": ", 0) == 0) {
                ReportError(1040, info);
                ShowLastError();
            } else {
                Ui.Messages->ShowMessage(Cp("Ошибка!"), DescribeCompileError(TakeLastError()));
            }
            return false;
        }
    } else if (!CopyFileReplacing(modelPath, binaryPath)) {
        ReportError(1041, modelPath);
        ShowLastError();
        return false;
    }
    // Values changed for the old model do not carry over to another one.
    Overrides.clear();
    if (!Environment->LoadModel(binaryPath)) {
        const std::string cause = DescribeCompileError(TakeLastError());
        ReportError(1030, binaryPath);
        const NError error = TakeLastError();
        Ui.Messages->ShowMessage(Cp("Ошибка!"), error.GetMessage() + "\n" + binaryPath + "\n" + cause);
    }
    return true;
}

void VModeler::ChangeModel() {
    if (!ProjectOpen) return;
    const ComputationMark mark = RememberAndPause();
    std::string path;
    if (!Ui.FileOpenDialog->Run(
            Cp("Файл описания модели (*.tv)|*.tv|Двоичный файл модели (*.btv)|*.btv"), "tv", path)) {
        Resume(mark);
        return;
    }
    // Told apart by the ending in any letter case, as in the new-project wizard.
    std::string lower = path;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool isSource = lower.ends_with(".tv");
    if (!isSource && !lower.ends_with(".btv")) {
        Ui.Messages->ShowMessage(Cp("Ошибка!"), Cp("Имя файла модели имеет недопустимое расширение!"));
        Resume(mark);
        return;
    }
    StopComputation();
    // The model file's name and the model itself changed, whether or not the new one loaded.
    if (BuildProjectModel(path, isSource)) Modified = true;
    Ui.ObjectsList->SetModel(Environment->GetModel());
}

void VModeler::OpenProject() {
    const ComputationMark mark = RememberAndPause();
    if (!AskToSaveModified()) {
        Resume(mark);
        return;
    }
    std::string path;
    if (!Ui.FileOpenDialog->Run(Cp("Проект Talvero (*.tvp)|*.tvp"), "tvp", path)) {
        WithdrawDiscard();
        Resume(mark);
        return;
    }
    StopComputation();
    std::string directory;
    std::string fileName;
    SplitPath(path, directory, fileName);
    if (!LoadProject(directory, fileName)) ShowLastError();
}

void VModeler::SaveProject() {
    const ComputationMark mark = RememberAndPause();
    if (!SaveProjectFile()) ShowLastError();
    Resume(mark);
}

void VModeler::CloseProject(bool save) {
    if (save) {
        SaveProject();
    } else {
        Modified = false;
        DiscardingChanges = true;
    }
    CloseCurrentProject();
}

void VModeler::EditProjectOptions() {
    if (!ProjectOpen) return;
    std::string name = ProjectName;
    NStringList lines = Description;
    if (!Ui.ProjectOptionsDialog->Run(name, lines)) return;
    SetProjectName(name);
    SetDescription(lines);
}

namespace {

void ShowObjectsPage(VObjectsListWindow& window, NModel* model, int page) {
    window.SetModel(model);
    window.SetPage(page);
    window.Show();
}

} // namespace

void VModeler::ShowObjectsList() {
    if (ProjectOpen) ShowObjectsPage(*Ui.ObjectsList, Environment->GetModel(), 0);
}

void VModeler::ShowSourcesList() {
    if (ProjectOpen) ShowObjectsPage(*Ui.ObjectsList, Environment->GetModel(), 1);
}

void VModeler::ShowWatchPointsList() {
    if (ProjectOpen) ShowObjectsPage(*Ui.ObjectsList, Environment->GetModel(), 2);
}

void VModeler::CheckModelSource() { Ui.SourceCheckDialog->Run(); }

void VModeler::ShowAbout() { Ui.AboutBox->Run(); }

void VModeler::MainWindowShown() { Ui.ObjectsList->SetModel(Environment->GetModel()); }

} // namespace talvero
