// This user's environment settings and the memory kept for recorded results.

#include <cstdint>
#include <set>
#include <string>

#include "environment/NEnvironment.h"
#include "kernel/NAbstractOutGate.h"
#include "kernel/NModel.h"
#include "modeler/TWatchFrame.h"
#include "modeler/VModeler.h"
#include "modeler/VModelerText.h"
#include "results/GateHdf5File.h"

namespace talvero {
namespace {

const char* const kResultsSection = "Results";
const char* const kBudgetKey = "MemoryBudgetMB";
constexpr std::int64_t kMinBudgetMegabytes = 16;
// A gate no window reads keeps this many of its newest points for a window opened later.
constexpr std::size_t kUnreadGatePoints = 65536;

} // namespace

void VModeler::SetEnvironmentSettingsFile(const std::string& path) {
    EnvironmentSettingsFile = path;
    if (path.empty()) return;
    const std::unique_ptr<VIniFile> file = VIniFile::Open(path);
    if (!file) return;  // no settings yet: the defaults hold
    const std::int64_t megabytes = file->ReadInteger(kResultsSection, kBudgetKey, 0);
    // A value edited by hand that makes no sense leaves the default in force.
    if (megabytes >= kMinBudgetMegabytes && megabytes <= (std::int64_t{1} << 40))
        Results.SetBytes(static_cast<std::uint64_t>(megabytes) << 20);
}

void VModeler::EditEnvironmentOptions() {
    if (!Ui.EnvironmentOptionsDialog) return;
    std::string text = FormatInteger(static_cast<std::int64_t>(Results.GetBytes() >> 20));
    if (!Ui.EnvironmentOptionsDialog->Run(text)) return;
    std::int64_t megabytes = 0;
    if (!ParseInteger(text, megabytes) || megabytes < kMinBudgetMegabytes || megabytes > (std::int64_t{1} << 40)) return;
    Results.SetBytes(static_cast<std::uint64_t>(megabytes) << 20);
    if (EnvironmentSettingsFile.empty()) return;
    std::unique_ptr<VIniFile> file = VIniFile::Open(EnvironmentSettingsFile);
    if (!file) file = std::make_unique<VIniFile>(EnvironmentSettingsFile);
    file->WriteInteger(kResultsSection, kBudgetKey, megabytes);
    if (!file->UpdateFile()) {
        ReportError(1003, EnvironmentSettingsFile);
        ShowLastError();
    }
}

void VModeler::TrimRecordedResults() {
    NModel* model = Environment ? Environment->GetModel() : nullptr;
    if (!model) return;
    std::set<std::string> read;
    if (WatchAccumulation)
        for (const auto& [key, window] : WatchWindows)
            for (const auto& [name, data] : window->GetFrame().GetWatchData()) read.insert(name);
    for (auto it = model->GetOutGatesBegin(); it != model->GetOutGatesEnd(); ++it) {
        NAbstractOutGate& gate = **it;
        const unsigned settled = gate.GetSettledCount();
        if (settled == 0) continue;
        unsigned count = settled;
        if (!read.contains(gate.GetName())) {
            const std::size_t size = gate.GetDataSize();
            if (size <= kUnreadGatePoints) continue;
            count = static_cast<unsigned>(std::min<std::size_t>(settled, size - kUnreadGatePoints));
        }
        gate.DropSettled(count);
        if (Recording) Recording->Dropped(&gate, count);
        Results.NoteTrimmed(&gate);
    }
}

} // namespace talvero
