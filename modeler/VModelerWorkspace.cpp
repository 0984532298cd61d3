// The workspace: window placement, the objects list, the observation switches and the watch
// windows, kept in the "Environment" section and the watch info files.

#include <limits>

#include "modeler/VModeler.h"
#include "modeler/VModelerText.h"

namespace talvero {

using namespace modeler_text;

namespace {

// An integer key; a text that is not an integer (or does not fit) reads as the default.
int ReadInt(const VIniFile& file, const char* key, int defaultValue) {
    const std::int64_t v = file.ReadInteger(kEnvironment, key, defaultValue);
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return defaultValue;
    return static_cast<int>(v);
}

VWindowPlacement ReadPlacement(const VIniFile& file, const char* top, const char* left, const char* width,
                               const char* height, const VWindowPlacement& defaults) {
    return {ReadInt(file, top, defaults.Top), ReadInt(file, left, defaults.Left), ReadInt(file, width, defaults.Width),
            ReadInt(file, height, defaults.Height)};
}

void WritePlacement(VIniFile& file, const char* top, const char* left, const char* width, const char* height,
                    const VWindowPlacement& placement) {
    file.WriteInteger(kEnvironment, top, placement.Top);
    file.WriteInteger(kEnvironment, left, placement.Left);
    file.WriteInteger(kEnvironment, width, placement.Width);
    file.WriteInteger(kEnvironment, height, placement.Height);
}

const VWindowPlacement kMainWindowDefaults{0, 0, 600, 100};
const VWindowPlacement kObjectsListDefaults{100, 100, 200, 300};

void WriteMainPlacement(VIniFile& file, const VWindowPlacement& p) {
    WritePlacement(file, "MainWindowTop", "MainWindowLeft", "MainWindowWidth", "MainWindowHeight", p);
}

} // namespace

bool VModeler::EnsureWatchInfoFileName(std::string& name) {
    name = ProjectFile->ReadString(kEnvironment, "WatchInfoFileName", kMissing);
    if (name != kMissing) return true;
    name = kDefaultWatchInfoFileName;
    ProjectFile->WriteString(kEnvironment, "WatchInfoFileName", name);
    return WriteProjectFile();
}

bool VModeler::RestoreWorkspace() {
    if (!ProjectOpen || !ProjectFile) return true;
    VProgressWindow& progress = *Ui.Progress;
    progress.Show();
    progress.SetCaption(Cp("Восстановление рабочей среды..."));
    progress.SetRange(2, 0, 2);
    progress.SetLineText(2, Cp("Всего:"));
    progress.SetLineText(1, Cp("Главное окно"));

    MainWindow->SetPlacement(ReadPlacement(*ProjectFile, "MainWindowTop", "MainWindowLeft", "MainWindowWidth",
                                           "MainWindowHeight", kMainWindowDefaults));
    progress.Advance(2, 1);

    progress.SetLineText(1, Cp("Окно управления объектами"));
    Ui.ObjectsList->SetPlacement(ReadPlacement(*ProjectFile, "MdlObjWindowTop", "MdlObjWindowLeft",
                                               "MdlObjWindowWidth", "MdlObjWindowHeight", kObjectsListDefaults));
    const int visible = ReadInt(*ProjectFile, "MdlObjWindowVisible", 0);
    Ui.ObjectsList->SetPage(ReadInt(*ProjectFile, "MdlObjShowType", 0));
    if (visible != 0) Ui.ObjectsList->Show();
    progress.Advance(2, 1);

    WatchAccumulation = ReadInt(*ProjectFile, "WatchAccumulateStatus", 1) != 0;
    TimeCounter = ReadInt(*ProjectFile, "TimeCounterStatus", 1) != 0;

    const std::string watchInfo = ProjectFile->ReadString(kEnvironment, "WatchInfoFileName", kMissing);
    if (watchInfo != kMissing && !LoadWatchInfo(true, ProjectDirectory + watchInfo)) {
        progress.Hide();
        return ReportError(1010);
    }
    progress.Hide();
    return true;
}

bool VModeler::IsWorkspaceChanged() {
    if (!ProjectOpen || !ProjectFile) return false;
    bool changed = WatchWindowRemoved || ResultsUnsaved;
    for (auto& entry : WatchWindows)
        if (entry.second->IsChanged()) changed = true;  // every window is asked: asking clears its mark
    if (Ui.ObjectsList->TakeDirty()) changed = true;

    const VWindowPlacement now = MainWindow->GetPlacement();
    const VWindowPlacement stored = ReadPlacement(*ProjectFile, "MainWindowTop", "MainWindowLeft", "MainWindowWidth",
                                                  "MainWindowHeight", kMainWindowDefaults);
    if (now != stored) {
        WriteMainPlacement(*ProjectFile, now);
        changed = true;
    }
    if ((ReadInt(*ProjectFile, "WatchAccumulateStatus", 1) != 0) != WatchAccumulation) changed = true;
    if ((ReadInt(*ProjectFile, "TimeCounterStatus", 1) != 0) != TimeCounter) changed = true;
    return changed;
}

bool VModeler::SaveWorkspace() {
    if (DiscardingChanges) return true;
    if (!IsWorkspaceChanged()) return true;
    VProgressWindow& progress = *Ui.Progress;
    progress.Show();
    progress.SetCaption(Cp("Сохранение рабочей среды..."));
    progress.SetRange(2, 0, static_cast<int>(WatchWindows.size()) + 2);
    progress.SetLineText(2, Cp("Всего:"));
    progress.SetLineText(1, Cp("Главное окно"));
    const auto fail = [&progress] {
        progress.Hide();
        return false;
    };

    WriteMainPlacement(*ProjectFile, MainWindow->GetPlacement());
    if (!WriteProjectFile()) return fail();
    progress.Advance(2, 1);

    progress.SetLineText(1, Cp("Окно управления объектами"));
    WritePlacement(*ProjectFile, "MdlObjWindowTop", "MdlObjWindowLeft", "MdlObjWindowWidth", "MdlObjWindowHeight",
                   Ui.ObjectsList->GetPlacement());
    ProjectFile->WriteInteger(kEnvironment, "MdlObjShowType", Ui.ObjectsList->GetPage());
    ProjectFile->WriteString(kEnvironment, "MdlObjWindowVisible", Ui.ObjectsList->IsShown() ? "1" : "0");
    if (!WriteProjectFile()) return fail();
    progress.Advance(2, 1);

    ProjectFile->WriteString(kEnvironment, "WatchAccumulateStatus", WatchAccumulation ? "1" : "0");
    ProjectFile->WriteString(kEnvironment, "TimeCounterStatus", TimeCounter ? "1" : "0");
    if (!WriteProjectFile()) return fail();

    std::string watchInfo;
    if (!EnsureWatchInfoFileName(watchInfo)) return fail();
    if (KeepStoredWatchInfo && WatchWindows.empty()) {
        progress.Hide();
        return true;
    }
    KeepStoredWatchInfo = false;
    if (!SaveWatchInfo(true, ProjectDirectory + watchInfo)) {
        progress.Hide();
        return ReportError(1011);
    }
    ResultsUnsaved = false;
    WatchWindowRemoved = false;
    progress.Hide();
    return true;
}

} // namespace talvero
