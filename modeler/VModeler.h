#pragma once
// The application controller: the open project and its file, the model's environment, the
// computation switches, the registry of watch windows, and the workspace kept with the project.
// It talks to windows only through the interfaces of VUiInterfaces.h.
//
// Implementation split by concern: VModelerProject.cpp (project file and lifecycle operations),
// VModelerLifecycle.cpp (construction and the commands), VModelerComputation.cpp,
// VModelerWatches.cpp (watch window registry and watch info file), VModelerWorkspace.cpp,
// VModelerErrors.cpp (the controller's error table).

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "kernel/NBasicDescription.h"
#include "fast/NEngine.h"
#include "kernel/NError.h"
#include "modeler/VIniFile.h"
#include "modeler/VParameterOverrides.h"
#include "modeler/VResultsBudget.h"
#include "modeler/VUiInterfaces.h"

namespace talvero {

class GateHdf5File;
class NEnvironment;

// Writes the controller's rows (codes 1001 to 1041, level "Visualizator") into the error table.
void RegisterModelerErrors();

class VModeler : public NControl {
public:
    // Ordered by the keys' bytes ("10" before "2").
    using WatchWindowMap = std::map<std::string, std::unique_ptr<VWatchWindow>>;

    explicit VModeler(const VUserInterface& ui);
    ~VModeler() override;
    VModeler(const VModeler&) = delete;
    VModeler& operator=(const VModeler&) = delete;

    // Queries.
    bool IsProjectOpen() const { return ProjectOpen; }
    bool IsProjectModified() const { return Modified; }
    // Results computed since the last save (or load) that a save would keep.
    bool HasUnsavedResults() const { return ProjectOpen && ResultsUnsaved; }
    // The save question for replacing the project, naming what would be lost; empty when
    // nothing would be.
    std::string SaveQuestion() const;
    bool IsRunning() const { return Running; }
    // Why the computation stopped by itself (cp1251), empty when it did not.
    const std::string& GetStopReason() const { return StopReason; }
    bool IsPaused() const { return Paused; }
    bool IsWatchAccumulationOn() const { return WatchAccumulation; }
    bool IsTimeCounterOn() const { return TimeCounter; }
    std::uint32_t StepsPerTick() const { return StepsPerTickCount; }
    void SetStepsPerTick(std::uint32_t steps) { StepsPerTickCount = steps; }
    std::uint32_t TimerPeriod() const { return TimerPeriodMs; }
    void SetTimerPeriod(std::uint32_t milliseconds) { TimerPeriodMs = milliseconds; }
    bool IsAsFastAsPossible() const { return AsFastAsPossible; }
    void SetAsFastAsPossible(bool on) { AsFastAsPossible = on; }
    // 0: no limit.
    double RunUntilTime() const { return RunUntil; }
    void SetRunUntilTime(double seconds) {
        RunUntil = seconds;
        LimitPassed = false;
    }
    // The computation is paused at the run-until time; Start asks whether to go on past it.
    bool IsAtStopTime() const { return Running && Paused && StepsBeforeLimit() == 0; }
    // Model seconds per wall-clock second when not as fast as possible; 0: the fixed number of
    // steps per tick.
    double GetPace() const { return Pace; }
    void SetPace(double pace) {
        Pace = pace > 0 && pace < 1e300 ? pace : 0;
        PaceAnchorWall = -1;
    }
    // The engine chosen for the next start; the one computing may be the exact engine where the
    // model has no fast form.
    NEngineKind GetEngineKind() const { return EngineKind; }
    void SetEngineKind(NEngineKind kind) { EngineKind = kind; }
    bool IsFastEngineComputing() const { return Engine && Engine->Kind() == NEngineKind::Fast; }
    // The most threads a step may use; a new project and one without the key take one thread.
    int ComputationThreads() const { return ThreadCount; }
    void SetComputationThreads(int threads) { ThreadCount = threads; }
    static int DefaultComputationThreads();
    static constexpr int kMaxComputationThreads = 256;
    // Model seconds per wall-clock second, measured over about a second of ticks; 0 until known.
    double SpeedFactor() const { return Speed; }
    // Steps the last tick computed.
    std::uint64_t LastTickSteps() const { return TickSteps; }
    // Monotonic wall clock in nanoseconds; tests script it to check the tick budget.
    using WallClock = std::function<std::int64_t()>;
    void SetWallClock(WallClock clock) { Clock = std::move(clock); }
    NEnvironment* GetEnvironment() const { return Environment.get(); }
    const std::string& GetProjectDirectory() const { return ProjectDirectory; }
    const std::string& GetProjectFileName() const { return ProjectFileName; }
    // The open project file in memory; null when no project is open.
    VIniFile* GetProjectFile() const { return ProjectFile.get(); }

    // Project operations: false after ReportError.
    bool NewProject(std::string directory, std::string fileName);
    bool LoadProject(std::string directory, std::string fileName);
    bool SaveProjectFile();
    bool CloseCurrentProject();
    void SetProjectName(const std::string& name);
    const std::string& GetProjectName() const { return ProjectName; }
    void SetDescription(const NStringList& lines);
    const NStringList& GetDescription() const { return Description; }
    // The error box: the record's message, a line break, the last error information.
    void ShowError(const NError& error);

    // Commands of the main window.
    void CreateProject();
    void OpenProject();
    void SaveProject();
    void CloseProject(bool save);
    void EditProjectOptions();
    void EditEnvironmentOptions();
    void ShowObjectsList();
    void ShowSourcesList();
    void ShowWatchPointsList();
    void CheckModelSource();
    void ShowAbout();
    // "Сменить модель": a description or binary model file chosen by the user becomes the open
    // project's model through the steps of a new project's model; the project is then modified.
    void ChangeModel();
    // Whether a model file compiles and loads, tried in an environment of its own; empty when it
    // does, else the cause with where it arose (cp1251).
    std::string CheckModelFile(const std::string& modelPath, bool isSource);
    // The main window was shown: the objects list gets the environment's model.
    void MainWindowShown();

    // Computation control.
    void StartComputation();
    void PauseComputation();
    void StopComputation();
    void ComputeTick();
    void EditComputationOptions();
    void ToggleWatchAccumulation() { WatchAccumulation = !WatchAccumulation; }
    void ToggleTimeCounter() { TimeCounter = !TimeCounter; }
    // What is remembered: the file, its model time and when it was written (or that nothing is).
    void ShowComputationState();
    // Writes the model's checkpoint to a file of the project folder the user names (the last one
    // offered first, and kept in the project).
    void RememberComputationState();
    // Restores such a file: the series and the next start go on from its model time.
    void RestoreComputationState();

    // Parameter edits made in the objects list; `objectPath` is the object's dotted path, empty
    // for the model. False (the kernel's error left to take) when no model is loaded, the path
    // names nothing or the object refuses the value. Marks the project modified.
    bool SetModelParameter(const std::string& objectPath, const std::string& parameter, double value);
    // Back to the value of the model's description; false when the value was not changed.
    bool RevertModelParameter(const std::string& objectPath, const std::string& parameter);
    // The description's value when the parameter was changed, else null.
    const VParameterOverride* FindParameterOverride(const std::string& objectPath, const std::string& parameter) const;
    const VParameterOverrides& GetParameterOverrides() const { return Overrides; }

    // Watch window registry and watch info file.
    bool AddWatchWindow(const std::string& key);
    bool RemoveWatchWindow(const std::string& key);
    bool CloseAllWatchWindows();
    void ResetWatchWindows();
    void UpdateWatchWindows(std::uint32_t steps);
    void ListWatchWindows(NStringList& list) const;
    bool SaveWatchInfo(bool withData, const std::string& path);
    bool LoadWatchInfo(bool withData, const std::string& path);
    void CreateWatchWindow();
    void DeleteWatchWindow();
    void ShowWatchWindowList();
    const WatchWindowMap& GetWatchWindows() const { return WatchWindows; }
    // The window of `key`, or null.
    VWatchWindow* GetWatchWindow(const std::string& key) const;

    // Recorded results in memory: the budget the watch windows share and whether it was reached.
    VResultsBudget& GetResultsBudget() { return Results; }
    bool IsResultsBudgetReached() const { return Results.IsReached(); }
    // This user's settings file (the results budget); read at once, written when the settings
    // dialog closes with OK. Empty: the settings live for this session only.
    void SetEnvironmentSettingsFile(const std::string& path);
    // Drops the points every watch window has read from the gates (and the oldest of gates no
    // window reads), so that the gates do not grow with the run; after each watch update.
    void TrimRecordedResults();

    // "Записывать результаты в файл": every point of every out gate goes to an HDF5 file in the
    // project folder (RecordingFileName), laid out as the batch runner's `--out FILE.h5`. The file
    // is begun at each start from the beginning and put in place when the computation stops.
    bool IsRecordingToFile() const { return RecordToFile; }
    void SetRecordingToFile(bool on);
    std::string RecordingFileName() const;
    // For the status line: where the results go, or why they stopped going there; empty when
    // nothing is recorded.
    const std::string& GetRecordingStatus() const { return RecordingStatus; }
    bool HasRecordingFailed() const { return RecordingFailure; }

    // Workspace.
    bool RestoreWorkspace();
    bool SaveWorkspace();
    bool IsWorkspaceChanged();

private:
    // What a command remembers of the computation before it pauses it.
    struct ComputationMark {
        bool WasRunning = false;
        bool WasPaused = false;
    };
    ComputationMark RememberAndPause();
    void Resume(const ComputationMark& mark);
    // The save question before a project is replaced; false when the user cancelled.
    bool AskToSaveModified();
    // The command after a "Нет" was cancelled: the project stays open with its changes.
    void WithdrawDiscard();
    // The watch info file name from the project file, "watchinfo" (written to the key and the
    // file) when the key is missing. False when the project file could not be written.
    bool EnsureWatchInfoFileName(std::string& name);
    // Writes the project file to disk; code 1003 with the path on failure.
    bool WriteProjectFile();
    void ShowLastError();
    // Compiles (a description) or copies (a binary file) the model into the project directory
    // and loads it, showing any failure; false when nothing reached the environment (the file
    // could not be compiled or copied, the loaded model stays).
    bool BuildProjectModel(const std::string& modelPath, bool isSource);
    // The project file's changed parameter values onto the freshly loaded model.
    void ApplyStoredParameters();
    // Steps left before the run-until time, or UINT64_MAX without a limit.
    void StepChecked();
    std::uint64_t StepsBeforeLimit() const;
    // Steps the model for the budget of the tick that began at `tickStart`; returns the steps done.
    std::uint64_t StepForBudget(std::uint64_t limit, std::int64_t tickStart);
    // Steps the model up to where the pace puts it now, within the tick's budget.
    std::uint64_t StepForPace(std::uint64_t limit, std::int64_t tickStart);
    void MeasureSpeed(std::int64_t now);
    void BeginRecording();
    // Writes what the gates settled in the last tick.
    void RecordTick();
    // The rest of the points, the step count and the file put in place; nothing when not recording.
    void FinishRecording();
    void RecordingFailed(const std::string& error);
    // Asks for a checkpoint file name in the project folder; false when cancelled or refused.
    bool AskStateFile(const std::string& title, std::string& path);

    // Fields in the order of the controller's state.
    VMainWindow* MainWindow;
    std::unique_ptr<NEnvironment> Environment;
    bool Modified = false;
    bool ProjectOpen = false;
    std::string ProjectDirectory;
    std::string ProjectFileName;
    std::string ProjectName;
    NStringList Description;
    std::unique_ptr<VIniFile> ProjectFile;
    std::uint32_t StepsPerTickCount = 20;
    std::uint32_t TimerPeriodMs = 30;
    bool Running = false;
    bool Paused = false;
    bool AsFastAsPossible = false;
    double RunUntil = 0;
    // The user chose to go on past the run-until time in this run.
    bool LimitPassed = false;
    double Pace = 0;
    // Where the pace was last anchored: wall clock (-1: not yet) and model time.
    std::int64_t PaceAnchorWall = -1;
    long double PaceAnchorModel = 0;
    int ThreadCount = DefaultComputationThreads();
    WallClock Clock;
    std::uint64_t TickSteps = 0;
    // What the budgeted tick has learnt: the last watch update's cost and the steps per clock look.
    std::int64_t UpdateCostNs = 0;
    std::uint64_t StepsPerLook = 1;
    double Speed = 0;
    std::int64_t SpeedSampleWall = -1;
    long double SpeedSampleModel = 0;
    VParameterOverrides Overrides;
    WatchWindowMap WatchWindows;
    // A restored checkpoint: the next start goes on from it instead of resetting the model.
    bool StateRestored = false;
    bool WatchAccumulation = true;
    bool TimeCounter = true;
    // The model of the open project failed to load and its watch windows were closed: their
    // stored information is not overwritten with an empty registry.
    bool KeepStoredWatchInfo = false;
    std::string StopReason;
    VResultsBudget Results;
    bool RecordToFile = false;
    std::unique_ptr<GateHdf5File> Recording;
    long long RecordedSteps = 0;
    std::string RecordingStatus;
    bool RecordingFailure = false;
    bool ResultsUnsaved = false;
    // The user answered "Нет": until the project closes, saving writes nothing.
    bool DiscardingChanges = false;
    bool ModifiedBeforeDiscard = false;
    // A watch window was deleted: its files go at the next save.
    bool WatchWindowRemoved = false;
    std::string EnvironmentSettingsFile;
    NEngineKind EngineKind = NEngineKind::Exact;
    // Made at each start from the beginning; holds the state between Begin and End.
    std::unique_ptr<NEngine> Engine;
    // The objects are the engine's again until `ResumeEngine` (state or parameters may change).
    void SuspendEngine();
    void ResumeEngine();

    VUserInterface Ui;
};

} // namespace talvero
