// The watch window registry, the three watch window commands and the watch info file.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "environment/NEnvironment.h"
#include "kernel/Cp1251.h"
#include "kernel/NError.h"
#include "modeler/TWatchFrame.h"
#include "modeler/VModeler.h"

namespace talvero {
namespace {

const std::string kWatchTitleNew = Utf8ToCp1251("Введите имя нового окна наблюдения");
const std::string kWatchTitleDelete = Utf8ToCp1251("Введите имя удаляемого окна наблюдения");
const std::string kWatchTitleList = Utf8ToCp1251("Список открытых окно наблюдения");

const char* Flag(bool on) { return on ? "1" : "0"; }

// Reads a placement value; a text that is not an integer (or does not fit) gives the default.
int ReadPixels(const VIniFile& file, const std::string& section, const char* key, int defaultValue) {
    const std::int64_t value = file.ReadInteger(section, key, defaultValue);
    if (value < INT32_MIN || value > INT32_MAX) return defaultValue;
    return static_cast<int>(value);
}

void RemoveFileIfPresent(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

// Asks for one of the open watch windows by its caption: the key of the first window with the
// chosen caption, or nothing when the dialog was cancelled or no window has that caption.
std::optional<std::string> ChooseWatchWindow(const VModeler& modeler, VNameInputDialog& dialog,
                                             const std::string& title) {
    VNameInputRequest request;
    request.MustSelect = true;
    request.NonEmpty = true;
    request.Sorted = false;
    modeler.ListWatchWindows(request.Items);
    request.Title = title;

    std::string caption;
    if (!dialog.Run(request, caption)) return std::nullopt;
    for (const auto& [key, window] : modeler.GetWatchWindows())
        if (window->GetCaption() == caption) return key;
    return std::nullopt;
}

} // namespace

VWatchWindow* VModeler::GetWatchWindow(const std::string& key) const {
    auto found = WatchWindows.find(key);
    return found == WatchWindows.end() ? nullptr : found->second.get();
}

bool VModeler::AddWatchWindow(const std::string& key) {
    if (WatchWindows.contains(key)) return ReportError(1020, key);
    std::unique_ptr<VWatchWindow> window = Ui.WatchWindows->CreateWatchWindow();
    if (!window) return ReportError(1021, key);
    TWatchFrame& frame = window->GetFrame();
    frame.SetModel(Environment ? Environment->GetModel() : nullptr);
    frame.SetProgress(Ui.Progress);
    frame.SetBudget(&Results);
    window->SetCaption(key);
    WatchWindows.emplace(key, std::move(window));
    return true;
}

bool VModeler::RemoveWatchWindow(const std::string& key) {
    auto found = WatchWindows.find(key);
    if (found == WatchWindows.end()) return ReportError(1021, key);
    // The files change at the next save, so that leaving without saving keeps them.
    WatchWindows.erase(found);
    WatchWindowRemoved = true;
    return true;
}

bool VModeler::CloseAllWatchWindows() {
    WatchWindows.clear();
    return true;
}

void VModeler::ResetWatchWindows() {
    Results.Restart();
    for (auto& [key, window] : WatchWindows) window->GetFrame().ClearSeriesData();
}

void VModeler::UpdateWatchWindows(std::uint32_t steps) {
    if (steps > 0 && !WatchWindows.empty()) ResultsUnsaved = true;
    std::size_t series = 0;
    for (auto& [key, window] : WatchWindows) series += static_cast<std::size_t>(window->GetFrame().GetChart().GetSeriesCount());
    Results.SetSeriesCount(series);
    for (auto& [key, window] : WatchWindows) window->GetFrame().UpdateSeries();
}

void VModeler::ListWatchWindows(NStringList& list) const {
    if (!ProjectOpen) return;
    for (const auto& [key, window] : WatchWindows) list.push_back(window->GetCaption());
}

void VModeler::CreateWatchWindow() {
    if (!ProjectOpen) return;
    VNameInputRequest request;
    request.MustSelect = false;
    request.NonEmpty = true;
    request.Sorted = false;
    ListWatchWindows(request.Items);
    request.Title = kWatchTitleNew;

    std::string key;
    for (std::uint64_t n = 0;; ++n) {
        key = std::to_string(n);
        if (!WatchWindows.contains(key)) break;
    }

    std::string caption;
    if (!Ui.NameInputDialog->Run(request, caption)) return;
    if (!AddWatchWindow(key)) {
        ShowError(TakeLastError());
        return;
    }
    VWatchWindow* window = GetWatchWindow(key);
    window->SetCaption(caption);
    window->SetShown(true);
}

void VModeler::DeleteWatchWindow() {
    if (!ProjectOpen) return;
    const std::optional<std::string> key = ChooseWatchWindow(*this, *Ui.NameInputDialog, kWatchTitleDelete);
    if (!key) return;
    // The window's series go with it and cannot be brought back.
    const std::string question = Utf8ToCp1251("Удалить окно наблюдения \"") + GetWatchWindow(*key)->GetCaption() +
                                 Utf8ToCp1251("\" вместе с его данными?");
    if (!Ui.Messages->Confirm(Utf8ToCp1251("Предупреждение"), question)) return;
    if (!RemoveWatchWindow(*key)) ShowError(TakeLastError());
}

void VModeler::ShowWatchWindowList() {
    if (!ProjectOpen) return;
    const std::optional<std::string> key = ChooseWatchWindow(*this, *Ui.NameInputDialog, kWatchTitleList);
    if (!key) return;
    VWatchWindow* window = GetWatchWindow(*key);
    if (!window->IsShown()) window->SetShown(true);
    window->SetWindowState(VWindowState::Normal);
    window->BringToFront();
}

bool VModeler::SaveWatchInfo(bool withData, const std::string& path) {
    // The windows stored last time: the series files of those deleted since go after the write.
    std::vector<std::string> stored;
    if (const std::unique_ptr<VIniFile> old = VIniFile::Open(path)) stored = old->GetSections();
    VIniFile info(path);  // rewritten whole
    bool result = true;
    for (const auto& [key, window] : WatchWindows) {
        const VWindowPlacement placement = window->GetPlacement();
        info.WriteString(key, "Caption", window->GetCaption());
        info.WriteInteger(key, "Top", placement.Top);
        info.WriteInteger(key, "Left", placement.Left);
        info.WriteInteger(key, "Width", placement.Width);
        info.WriteInteger(key, "Height", placement.Height);
        info.WriteString(key, "Visible", Flag(window->IsShown()));
        info.WriteInteger(key, "WindowState", static_cast<int>(window->GetWindowState()));
        info.WriteString(key, "XAxis", Flag(window->GetAxisLabels(VAxis::Horizontal)));
        info.WriteString(key, "XAxisLegend", window->GetAxisTitle(VAxis::Horizontal));
        info.WriteString(key, "YAxis", Flag(window->GetAxisLabels(VAxis::Vertical)));
        info.WriteString(key, "YAxisLegend", window->GetAxisTitle(VAxis::Vertical));
        info.WriteString(key, "ShowLegend", Flag(window->IsLegendShown()));

        Ui.Progress->SetLineText(1, window->GetCaption());
        TWatchFrame& frame = window->GetFrame();
        const std::string seriesPath = path + "." + key;
        if (frame.GetWatchData().empty()) {
            // A frame without series writes no series file; an older one of the same key would
            // bring back series the user removed at the next load.
            RemoveFileIfPresent(seriesPath);
            RemoveFileIfPresent(TWatchFrame::DataFileName(seriesPath));
        } else if (!frame.SaveToFile(seriesPath, withData)) {
            result = false;
        }
        Ui.Progress->Advance(2, 1);
    }
    if (!info.UpdateFile()) return ReportError(1003, path);
    for (const std::string& key : stored) {
        if (WatchWindows.contains(key)) continue;
        RemoveFileIfPresent(path + "." + key);
        RemoveFileIfPresent(TWatchFrame::DataFileName(path + "." + key));
    }
    return result;
}

bool VModeler::LoadWatchInfo(bool withData, const std::string& path) {
    std::unique_ptr<VIniFile> info = VIniFile::Open(path);
    if (!info) return ReportError(1002, path);
    const std::vector<std::string> sections = info->GetSections();

    CloseAllWatchWindows();
    Ui.Progress->SetRange(2, 2, static_cast<int>(sections.size()) + 2);

    bool result = true;
    for (const std::string& key : sections) {
        if (!AddWatchWindow(key)) return false;
        Ui.Progress->SetLineText(1, key);
        VWatchWindow& window = *GetWatchWindow(key);

        window.SetCaption(info->ReadString(key, "Caption", key));
        VWindowPlacement placement;
        placement.Top = ReadPixels(*info, key, "Top", 100);
        placement.Left = ReadPixels(*info, key, "Left", 10);
        placement.Width = ReadPixels(*info, key, "Width", 300);
        placement.Height = ReadPixels(*info, key, "Height", 200);
        window.SetPlacement(placement);
        window.SetShown(info->ReadString(key, "Visible", "1") != "0");
        const std::string state = info->ReadString(key, "WindowState", "0");
        window.SetWindowState(state == "1"   ? VWindowState::Minimized
                              : state == "2" ? VWindowState::Maximized
                                             : VWindowState::Normal);
        window.SetAxisLabels(VAxis::Horizontal, info->ReadInteger(key, "XAxis", 1) != 0);
        window.SetAxisTitle(VAxis::Horizontal, info->ReadString(key, "XAxisLegend", std::string()));
        window.SetAxisLabels(VAxis::Vertical, info->ReadInteger(key, "YAxis", 1) != 0);
        window.SetAxisTitle(VAxis::Vertical, info->ReadString(key, "YAxisLegend", std::string()));
        window.SetLegendShown(info->ReadString(key, "ShowLegend", "0") != "0");

        if (!window.GetFrame().LoadFromFile(path + "." + key, withData)) result = false;
        Ui.Progress->Advance(2, 1);
    }
    return result;
}

} // namespace talvero
