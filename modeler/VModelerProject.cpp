// The project file and the project operations: new, load, save, close.

#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "environment/NEnvironment.h"
#include "environment/NPreprocessor.h"
#include "kernel/NClock.h"
#include "modeler/VModeler.h"
#include "modeler/VModelerText.h"

namespace talvero {

using namespace modeler_text;

namespace {

// A text that is not a number, or one outside the unsigned 32-bit range, keeps the default:
// a damaged key must not stop the project from opening.
std::uint32_t ReadCount(const VIniFile& file, const char* key, std::uint32_t defaultValue) {
    double value = 0;
    if (!ParseFloat(file.ReadString(kComputation, key, FormatInteger(defaultValue)), value)) return defaultValue;
    value = std::trunc(value);
    if (value < 0 || value > std::numeric_limits<std::uint32_t>::max()) return defaultValue;
    return static_cast<std::uint32_t>(value);
}

// A missing or unreadable description file gives no lines.
NStringList LoadLines(const std::string& path) {
    NStringList lines;
    std::string text;
    if (!ReadWholeFile(path, text)) return lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        pos = end + 1;
    }
    return lines;
}

std::string JoinLines(const NStringList& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += '\n';
    }
    return text;
}

bool IsDirectory(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

} // namespace

bool VModeler::WriteProjectFile() {
    if (!ProjectFile) return true;
    if (ProjectFile->UpdateFile()) return true;
    return ReportError(1003, ProjectFile->GetPath());
}

void VModeler::SetProjectName(const std::string& name) {
    if (!ProjectOpen) return;
    ProjectName = name;
    Modified = true;
    MainWindow->SetCaption(std::string(kCaptionBase) + " - " + ProjectName);
}

void VModeler::SetDescription(const NStringList& lines) {
    if (!ProjectOpen) return;
    Description = lines;
}

bool VModeler::NewProject(std::string directory, std::string fileName) {
    if (!CloseCurrentProject()) return false;
    directory = Trim(directory);
    fileName = Trim(fileName);
    if (directory.empty() || fileName.empty()) return true;

    if (!IsDirectory(directory)) {
        std::error_code ec;
        std::filesystem::create_directory(directory, ec);
        if (ec || !IsDirectory(directory)) return ReportError(1001, directory);
    }
    // The project file starts empty in memory and is written at the first save.
    const std::string path = directory + fileName;
    if (IsDirectory(path)) return ReportError(1002, path);
    ProjectFile = std::make_unique<VIniFile>(path);

    ProjectDirectory = directory;
    ProjectFileName = fileName;
    ProjectOpen = true;

    SetTimeStep(kDefaultTimeStep);
    TimerPeriodMs = 30;
    StepsPerTickCount = 20;
    AsFastAsPossible = true;
    Pace = 1;
    RunUntil = 0;
    EngineKind = NEngineKind::Exact;
    ThreadCount = DefaultComputationThreads();
    RecordToFile = false;
    WatchAccumulation = true;
    TimeCounter = true;
    return true;
}

bool VModeler::LoadProject(std::string directory, std::string fileName) {
    if (!CloseCurrentProject()) return false;
    directory = Trim(directory);
    fileName = Trim(fileName);
    if (directory.empty() || fileName.empty()) return true;

    const std::string path = directory + fileName;
    ProjectFile = VIniFile::Open(path);
    if (!ProjectFile) return ReportError(1002, path);
    ProjectDirectory = directory;
    ProjectFileName = fileName;

    ProjectName = ProjectFile->ReadString(kSystem, "ProjectName", kMissing);
    const std::string descriptionName = ProjectFile->ReadString(kSystem, "ProjectDescription", kMissing);
    if (descriptionName != kMissing) Description = LoadLines(ProjectDirectory + descriptionName);

    ProjectOpen = true;
    MainWindow->SetCaption(std::string(kCaptionBase) + " - " + ProjectName);

    // A stored step that is no step is said, and the default one runs instead (the computation
    // options show it), never the step of whatever project was open before.
    const std::string stepText = ProjectFile->ReadString(kComputation, "TimeStep", FormatFloat(kDefaultTimeStep));
    double step = 0;
    const bool stepOk = ParseFloat(stepText, step) && step > 0 && SetTimeStep(step);
    if (!stepOk) {
        TakeLastError();
        SetTimeStep(kDefaultTimeStep);
        ReportError(1051, path + ": [" + std::string(kComputation) + "] TimeStep=" + stepText);
        ShowLastError();
    }
    TimerPeriodMs = ReadCount(*ProjectFile, "TimerCallStep", 30);
    StepsPerTickCount = ReadCount(*ProjectFile, "CalcPerTimerCall", 20);
    // Projects from before the mode existed keep computing their configured steps per tick.
    AsFastAsPossible = ProjectFile->ReadInteger(kComputation, kAsFastAsPossibleKey, 0) != 0;
    RunUntil = ProjectFile->ReadFloat(kComputation, kRunUntilKey, 0);
    if (!(RunUntil > 0)) RunUntil = 0;
    Pace = ProjectFile->ReadFloat(kComputation, kPaceKey, 0);
    if (!(Pace > 0) || !std::isfinite(Pace)) Pace = 0;
    // An unknown name computes exactly, as projects from before the choice did.
    if (!ParseEngineKind(ProjectFile->ReadString(kComputation, "Engine", "exact"), EngineKind)) EngineKind = NEngineKind::Exact;
    const int threads = ProjectFile->ReadInteger(kComputation, kComputeThreadsKey, 0);
    ThreadCount = threads >= 1 && threads <= kMaxComputationThreads ? threads : DefaultComputationThreads();
    RecordToFile = ProjectFile->ReadInteger(kComputation, kRecordResultsKey, 0) != 0;

    // An empty name is what a project saved without a model holds: no model, like a missing key.
    const std::string modelName = ProjectFile->ReadString(kSystem, "ModelFileName", kMissing);
    if (modelName != kMissing && !Trim(modelName).empty()) {
        const std::string modelPath = modelName.front() == '/' ? modelName : ProjectDirectory + modelName;
        if (!Environment->LoadModel(modelPath)) {
            RestoreWorkspace();
            CloseAllWatchWindows();
            KeepStoredWatchInfo = true;
            return ReportError(1030, modelPath);
        }
        ApplyStoredParameters();
    }
    return RestoreWorkspace();
}

void VModeler::ApplyStoredParameters() {
    // Each value that no longer fits the model is shown and left out; the others still apply.
    for (const std::string& path : ProjectFile->GetKeys(kParametersSection)) {
        if (ApplyParameterOverride(*Environment->GetModel(), path,
                                   ProjectFile->ReadString(kParametersSection, path, ""), &Overrides))
            continue;
        const NError cause = TakeLastError();
        ReportError(1050, path + " - " + cause.GetMessage());
        ShowLastError();
    }
}

bool VModeler::SaveProjectFile() {
    if (!ProjectOpen || !ProjectFile || DiscardingChanges) return true;
    if (!Modified) return SaveWorkspace();

    ProjectFile->WriteString(kSystem, "ProjectName", ProjectName);
    std::string descriptionName = ProjectFile->ReadString(kSystem, "ProjectDescription", kMissing);
    if (descriptionName == kMissing) {
        descriptionName = kDefaultDescriptionFileName;
        ProjectFile->WriteString(kSystem, "ProjectDescription", descriptionName);
    }
    const std::string descriptionPath = ProjectDirectory + descriptionName;
    if (!WriteFileReplacing(descriptionPath, JoinLines(Description))) return ReportError(1003, descriptionPath);

    ProjectFile->WriteString(kSystem, "ModelFileName", Environment->GetModelFileName());
    ProjectFile->WriteString(kComputation, "TimeStep", FormatFloat(static_cast<double>(GetTimeStep())));
    ProjectFile->WriteInteger(kComputation, "TimerCallStep", TimerPeriodMs);
    ProjectFile->WriteInteger(kComputation, "CalcPerTimerCall", StepsPerTickCount);
    StoreParameterOverrides(*ProjectFile, Overrides);
    ProjectFile->WriteInteger(kComputation, kAsFastAsPossibleKey, AsFastAsPossible ? 1 : 0);
    ProjectFile->WriteString(kComputation, kRunUntilKey, FormatFloat(RunUntil));
    ProjectFile->WriteString(kComputation, kPaceKey, FormatFloat(Pace));
    ProjectFile->WriteString(kComputation, "Engine", EngineKindName(EngineKind));
    ProjectFile->WriteInteger(kComputation, kComputeThreadsKey, ThreadCount);
    ProjectFile->WriteInteger(kComputation, kRecordResultsKey, RecordToFile ? 1 : 0);
    if (!WriteProjectFile()) return false;

    Modified = false;
    return SaveWorkspace();
}

bool VModeler::CloseCurrentProject() {
    if (!ProjectOpen) return true;
    if (!SaveProjectFile()) return false;
    // The results file goes in place before the model it reads goes.
    FinishRecording();
    RecordingStatus.clear();
    RecordingFailure = false;
    StateRestored = false;
    CloseAllWatchWindows();
    Environment->Clear();

    ProjectName.clear();
    Description.clear();
    ProjectFileName.clear();
    ProjectDirectory.clear();
    ProjectOpen = false;
    Modified = false;
    KeepStoredWatchInfo = false;
    ResultsUnsaved = false;
    DiscardingChanges = false;
    WatchWindowRemoved = false;
    Overrides.clear();
    ProjectFile.reset();
    MainWindow->SetCaption(kCaptionBase);
    return true;
}

} // namespace talvero
