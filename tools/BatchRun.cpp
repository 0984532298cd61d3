#include "tools/BatchRun.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/Cp1251.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"
#include "modeler/VIniFile.h"
#include "tools/BatchModel.h"

namespace talvero::batch {
namespace {

std::string Number(double value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("nan");
}

// The two lines of the source check dialog, in UTF-8.
int ReportLastError(std::ostream& err) {
    const NError error = TakeLastError();
    err << "Ошибка " << error.GetCode() << " " << Cp1251ToUtf8(error.GetLevel()) << ": "
        << Cp1251ToUtf8(error.GetMessage()) << "\n"
        << "[ " << Cp1251ToUtf8(GetLastErrorInfo()) << " ]\n";
    return kExitModel;
}

int Usage(std::ostream& err, const std::string& reason) {
    err << "talvero-batch: " << reason << "\n" << BatchUsage() << "\n";
    return kExitUsage;
}

void PrintTree(NModel& model, std::ostream& out) {
    for (const TreeEntry& entry : ModelTree(model)) {
        out << entry.Path;
        for (const auto& [name, value] : entry.Parameters) out << " " << name << "=" << Number(value);
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

void AppendPoints(const NAbstractOutGate& gate, const std::string& prefix, std::string& text) {
    auto x = gate.GetXBegin();
    auto y = gate.GetYBegin();
    for (; x != gate.GetXEnd() && y != gate.GetYEnd(); ++x, ++y) {
        text += prefix;
        text += Number(*x);
        text += ',';
        text += Number(*y);
        text += '\n';
    }
}

} // namespace

int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err, bool progress) {
    NEnvironment environment;
    std::string reason;
    if (const int code = LoadBatchModel(options, environment, reason)) {
        if (reason.empty()) return ReportLastError(err);
        if (code == kExitUsage) return Usage(err, reason);
        err << "talvero-batch: " << reason << "\n";
        return code;
    }
    NModel* model = environment.GetModel();

    if (options.Tree) {
        PrintTree(*model, out);
        return kExitOk;
    }

    std::vector<const NAbstractOutGate*> gates;
    if (options.Watches.empty()) {
        for (auto it = model->GetOutGatesBegin(); it != model->GetOutGatesEnd(); ++it) gates.push_back(it->get());
    } else {
        for (const std::string& name : options.Watches) {
            const NAbstractOutGate* gate = model->GetOutGate(Utf8ToCp1251(name).c_str());
            if (!gate) return ReportLastError(err);
            gates.push_back(gate);
        }
    }

    if (options.Check) {
        out << "OK\n";
        return kExitOk;
    }

    long long steps = options.Steps;
    if (options.Time) steps = std::llround(*options.Time / static_cast<double>(model->GetTimeStep()));

    SetActiveModel(model);
    ResetActiveModel();
    ProgressBar bar(err, steps, progress && !options.Quiet);
    const long long stride = std::max<long long>(1, steps / 200);
    for (long long i = 0; i < steps; ++i) {
        StepActiveModel();
        if ((i + 1) % stride == 0) bar.Update(i + 1);
    }
    bar.Update(steps);
    bar.Finish();

    if (options.OutDir.empty()) {
        std::string text = "gate,x,y\n";
        for (const NAbstractOutGate* gate : gates) {
            AppendPoints(*gate, Cp1251ToUtf8(gate->GetName()) + ",", text);
            out << text;
            text.clear();
        }
        out.flush();
        SetActiveModel(nullptr);
        return out ? kExitOk : kExitModel;
    }

    std::error_code ec;
    std::filesystem::create_directories(options.OutDir, ec);
    if (ec && !std::filesystem::is_directory(options.OutDir)) {
        err << "talvero-batch: cannot create the directory " << options.OutDir << "\n";
        return kExitModel;
    }
    for (const NAbstractOutGate* gate : gates) {
        std::string text = "x,y\n";
        AppendPoints(*gate, "", text);
        const std::string file = options.OutDir + "/" + Cp1251ToUtf8(gate->GetName()) + ".csv";
        if (!WriteFileReplacing(file, text)) {
            err << "talvero-batch: cannot write " << file << "\n";
            return kExitModel;
        }
    }
    SetActiveModel(nullptr);
    return kExitOk;
}

} // namespace talvero::batch
