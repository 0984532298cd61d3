#include "tools/BatchRun.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "environment/NBuiltinClasses.h"
#include "environment/NCheckpoint.h"
#include "environment/NEnvironment.h"
#include "fast/NEngine.h"
#include "kernel/Cp1251.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"
#include "modeler/VIniFile.h"
#include "tools/BatchModel.h"
#include "tools/BatchHdf5.h"
#include "tools/BatchOutput.h"
#include "tools/BatchGraph.h"

namespace talvero::batch {
namespace {

// Steps between two writes of what the gates have settled.
constexpr long long kDrainSteps = 4096;

// The two lines of the source check dialog, in UTF-8.
int ReportLastError(std::ostream& err) {
    const NError error = TakeLastError();
    err << "Ошибка " << error.GetCode() << " " << Cp1251ToUtf8(error.GetLevel()) << ": "
        << Cp1251ToUtf8(error.GetMessage()) << "\n"
        << "[ " << KernelTextToUtf8(GetLastErrorInfo()) << " ]\n";
    // A third line where compilers put theirs, so that editors can jump to it.
    const std::string location = FormatErrorLocation(GetLastErrorLocation());
    if (!location.empty()) err << KernelTextToUtf8(location) << "\n";
    return kExitModel;
}

int Usage(std::ostream& err, const std::string& reason) {
    err << "talvero-batch: " << reason << "\n" << BatchUsage() << "\n";
    return kExitUsage;
}

void PrintTree(NModel& model, std::ostream& out) {
    for (const TreeEntry& entry : ModelTree(model)) {
        out << entry.Path;
        for (const auto& [name, value] : entry.Parameters) out << " " << name << "=" << CsvNumber(value);
        out << "\n";
    }
}

class ProgressBar {
public:
    ProgressBar(std::ostream& err, long long total, bool enabled) : Err(err), Total(total), Enabled(enabled && total > 0) {}
    void Update(long long done) {
        if (!Enabled) return;
        const int percent = static_cast<int>(done * 100 / Total);
        if (percent == Shown) return;
        Shown = percent;
        const int filled = percent * kWidth / 100;
        Err << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
            << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] " << percent << "%" << std::flush;
    }
    void Finish() {
        if (Enabled && Shown >= 0) Err << "\n" << std::flush;
    }

private:
    static constexpr int kWidth = 40;
    std::ostream& Err;
    long long Total;
    bool Enabled;
    int Shown = -1;
};

} // namespace

int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err, bool progress) {
    NEnvironment environment;
    return RunBatch(options, out, err, progress, environment);
}

int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err, bool progress,
             NEnvironment& environment) {
    std::string reason;
    if (const int code = LoadBatchModel(options, environment, reason)) {
        if (reason.empty()) return ReportLastError(err);
        if (code == kExitUsage) return Usage(err, reason);
        err << "talvero-batch: " << reason << "\n";
        return code;
    }
    NModel* model = environment.GetModel();

    if (options.Graph) return WriteGraph(environment, *model, options, out, err);

    if (options.Tree) {
        PrintTree(*model, out);
        return kExitOk;
    }

    std::vector<NAbstractOutGate*> gates;
    if (options.Watches.empty()) {
        for (auto it = model->GetOutGatesBegin(); it != model->GetOutGatesEnd(); ++it) gates.push_back(it->get());
    } else {
        for (const std::string& name : options.Watches) {
            NAbstractOutGate* gate = model->GetOutGate(Utf8ToCp1251(name).c_str());
            if (!gate) return ReportLastError(err);
            // Asked for twice, written once.
            if (std::find(gates.begin(), gates.end(), gate) == gates.end()) gates.push_back(gate);
        }
    }

    if (options.Check) {
        out << "OK\n";
        return kExitOk;
    }

    long long steps = options.Steps;
    if (options.Time) {
        const double count = *options.Time / static_cast<double>(model->GetTimeStep());
        if (!(count <= static_cast<double>(kMaxSteps)))
            return Usage(err, "--time gives more than " + std::to_string(kMaxSteps) + " steps at this time step");
        steps = std::llround(count);
    }

    const bool toHdf5 = IsHdf5Path(options.OutDir);
    GateFiles files;
    GateHdf5File hdf5;
    if (toHdf5) {
        const RunDescription run{options.ModelPath, static_cast<double>(model->GetTimeStep()),
                                 static_cast<double>(model->GetPulseDuration()), steps, options.Sets, TALVERO_VERSION};
        std::string error;
        if (!hdf5.Open(options.OutDir, gates, run, error)) {
            err << "talvero-batch: " << error << "\n";
            return kExitModel;
        }
    } else if (!options.OutDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.OutDir, ec);
        std::error_code probe;
        if (!std::filesystem::is_directory(options.OutDir, probe)) {
            const std::string why = ec ? ec.message() : probe ? probe.message() : "a file of that name is in the way";
            err << "talvero-batch: cannot create the directory " << options.OutDir << ": " << why << "\n";
            return kExitModel;
        }
        std::string error;
        if (!files.Open(options.OutDir, gates, error)) {
            err << "talvero-batch: " << error << "\n";
            return kExitModel;
        }
    }

    NonFiniteWatch nonFinite;
    std::string error;
    SetComputeThreads(options.Threads);
    SetActiveModel(model);
    ResetActiveModel();
    if (!options.LoadState.empty()) {
        if (!ReadCheckpointFile(*model, options.LoadState)) {
            SetActiveModel(nullptr);
            return ReportLastError(err);
        }
        // The checkpoint brought its own parameters: the settings given now apply on top of them.
        for (const auto& [path, value] : options.Sets) {
            std::string reason;
            if (const int code = SetParameterAfterRestore(*model, path, value, reason)) {
                SetActiveModel(nullptr);
                if (reason.empty()) return ReportLastError(err);
                err << "talvero-batch: " << reason << "\n";
                return code;
            }
        }
        // The checkpoint's time step counts the seconds of --time.
        if (options.Time) {
            const double count = *options.Time / static_cast<double>(model->GetTimeStep());
            if (!(count <= static_cast<double>(kMaxSteps))) {
                SetActiveModel(nullptr);
                return Usage(err, "--time gives more than " + std::to_string(kMaxSteps) + " steps at this time step");
            }
            steps = std::llround(count);
        }
    }
    std::string notice;
    const std::unique_ptr<NEngine> engine = MakeEngine(*model, options.Engine, notice);
    if (!notice.empty()) err << "talvero-batch: " << Cp1251ToUtf8(notice) << "\n";
    engine->Begin();
    ProgressBar bar(err, steps, progress && !options.Quiet);
    const long long stride = std::max<long long>(1, steps / 200);
    for (long long i = 0; i < steps; ++i) {
        engine->Step();
        if ((i + 1) % stride == 0) bar.Update(i + 1);
        // Written away as the run goes, so that memory stays flat however long it is.
        if (!options.OutDir.empty() && (i + 1) % kDrainSteps == 0 &&
            !(toHdf5 ? hdf5.Drain(false, nonFinite, error) : files.Drain(false, nonFinite, error)))
            break;
    }
    engine->End();
    bar.Update(steps);
    bar.Finish();
    if (!options.SaveState.empty() && !WriteCheckpointFile(*model, options.SaveState)) {
        SetActiveModel(nullptr);
        return ReportLastError(err);
    }
    SetActiveModel(nullptr);

    if (!options.OutDir.empty()) {
        if (toHdf5) {
            if (error.empty() && hdf5.Drain(true, nonFinite, error)) hdf5.Commit(error);
        } else if (error.empty() && files.Drain(true, nonFinite, error)) {
            files.CommitAll(error);
        }
        if (!error.empty()) {
            err << "talvero-batch: " << error << "\n";
            return kExitModel;
        }
    } else {
        errno = 0;  // the first failed write leaves its reason here
        std::string text = "gate,x,y\n";
        for (const NAbstractOutGate* gate : gates) {
            const std::string name = Cp1251ToUtf8(gate->GetName());
            AppendGatePoints(*gate, name, gate->GetDataSize(), CsvField(name) + ",", text, nonFinite);
            out << text;
            text.clear();
        }
        if (gates.empty()) out << text;
        out.flush();
        if (!out) {
            const int reason = errno;
            err << "talvero-batch: cannot write the standard output" << (reason ? std::string(": ") + std::strerror(reason) : "")
                << "\n";
            return kExitModel;
        }
    }
    if (nonFinite.IsFound()) {
        err << "talvero-batch: " << nonFinite.Describe() << "\n";
        return kExitNonFinite;
    }
    return kExitOk;
}

} // namespace talvero::batch
