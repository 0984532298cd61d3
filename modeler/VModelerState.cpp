// Checkpoints of the running model: remembered in a file of the project folder, restored from one,
// and what is remembered shown.

#include <ctime>

#include "environment/NCheckpoint.h"
#include "environment/NEnvironment.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"
#include "modeler/VModeler.h"
#include "modeler/VModelerText.h"

namespace talvero {

using namespace modeler_text;

namespace {

constexpr const char* kStateSection = "State";
constexpr const char* kStateFileKey = "File";
constexpr const char* kDefaultStateFile = "state.tvs";

// A plain file name: the checkpoint stays in the project folder.
bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/") == std::string::npos &&
           name.find('\0') == std::string::npos;
}

} // namespace

bool VModeler::AskStateFile(const std::string& title, std::string& path) {
    VNameInputRequest request;
    request.NonEmpty = true;
    request.Title = title;
    const std::string last = ProjectFile->ReadString(kStateSection, kStateFileKey, "");
    request.InitialText = last.empty() ? kDefaultStateFile : last;
    if (!last.empty()) request.Items.push_back(last);
    std::string name;
    if (!Ui.NameInputDialog->Run(request, name)) return false;
    if (!IsPlainFileName(name)) {
        Ui.Messages->ShowMessage(title, Cp("Файл состояния хранится в папке проекта: укажите имя файла без папки."));
        return false;
    }
    if (name.find('.') == std::string::npos) name += ".tvs";
    path = ProjectDirectory + name;
    if (name != last) {
        ProjectFile->WriteString(kStateSection, kStateFileKey, name);
        Modified = true;
    }
    return true;
}

void VModeler::RememberComputationState() {
    if (!ProjectOpen || !Environment->IsModelLoaded()) return;
    const ComputationMark mark = RememberAndPause();
    std::string path;
    if (AskStateFile(Cp("Запомнить состояние"), path) && !WriteCheckpointFile(*Environment->GetModel(), path))
        ShowLastError();
    Resume(mark);
}

void VModeler::RestoreComputationState() {
    if (!ProjectOpen || !Environment->IsModelLoaded()) return;
    const ComputationMark mark = RememberAndPause();
    std::string path;
    if (AskStateFile(Cp("Восстановить состояние"), path)) {
        // The elements derive values from the clock while they take their state.
        SetActiveModel(Environment->GetModel());
        // The gates take the checkpoint's points: the results file ends where the run was.
        FinishRecording();
        if (!ReadCheckpointFile(*Environment->GetModel(), path)) {
            ShowLastError();
        } else {
            // The series show what the restored gates hold and go on from there.
            ResetWatchWindows();
            UpdateWatchWindows(0);
            if (!Running) StateRestored = true;
        }
    }
    Resume(mark);
}

void VModeler::ShowComputationState() {
    if (!ProjectOpen) return;
    const std::string name = ProjectFile->ReadString(kStateSection, kStateFileKey, "");
    NCheckpointInfo info;
    std::string text;
    if (name.empty()) {
        text = Cp("Состояние не запоминалось.");
    } else if (!ReadCheckpointFileInfo(ProjectDirectory + name, info)) {
        TakeLastError();
        text = Cp("Запомненное состояние: файл ") + name + Cp(" не читается.");
    } else {
        char written[32] = "?";
        const std::time_t at = static_cast<std::time_t>(info.WrittenAt);
        if (std::tm tm{}; localtime_r(&at, &tm)) std::strftime(written, sizeof written, "%Y-%m-%d %H:%M:%S", &tm);
        text = Cp("Запомненное состояние: файл ") + name + Cp(", модельное время ") + std::to_string(info.ModelTime) +
               Cp(" с (шагов: ") + std::to_string(info.Steps) + Cp("), записано ") + written + ".";
    }
    Ui.Messages->ShowMessage(Cp("Состояние"), text);
}

} // namespace talvero
