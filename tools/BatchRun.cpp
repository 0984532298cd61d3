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

namespace talvero::batch {
namespace {

std::string Number(double value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("nan");
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string Extension(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return Lower(path.substr(dot));
}

// The two lines of the source check dialog, in UTF-8.
int ReportLastError(std::ostream& err) {
    const NError error = TakeLastError();
    err << "Ошибка " << error.GetCode() << " " << Cp1251ToUtf8(error.GetLevel()) << ": "
        << Cp1251ToUtf8(error.GetMessage()) << "\n"
        << "[ " << Cp1251ToUtf8(GetLastErrorInfo()) << " ]\n";
    // A third line where compilers put theirs, so that editors can jump to it.
    const std::string location = FormatErrorLocation(GetLastErrorLocation());
    if (!location.empty()) err << location << "\n";
    return kExitModel;
}

int Usage(std::ostream& err, const std::string& reason) {
    err << "talvero-batch: " << reason << "\n" << BatchUsage() << "\n";
    return kExitUsage;
}

// A compiled description lives in a temporary binary file that goes away with this object.
class TemporaryFile {
public:
    TemporaryFile() {
        std::error_code ec;
        std::string dir = std::filesystem::temp_directory_path(ec).string();
        if (ec || dir.empty()) dir = "/tmp";
        std::string pattern = dir + "/talvero-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd >= 0) {
            close(fd);
            Path = pattern;
        }
    }
    ~TemporaryFile() {
        if (!Path.empty()) std::remove(Path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& GetPath() const { return Path; }

private:
    std::string Path;
};

void PrintTree(NModel* model, NBasicDescription* object, const std::string& path, std::ostream& out) {
    std::string line = path;
    NStringList parameters;
    object->GetParametersList(parameters);
    for (const std::string& name : parameters) line += " " + name + "=" + Number(object->GetParameter(name.c_str()));
    out << Cp1251ToUtf8(line) << "\n";
    NStringList components;
    object->GetComponentsList(components);
    for (const std::string& name : components) {
        NBasicDescription* component = object->GetComponent(name.c_str());
        if (!component) continue;
        PrintTree(model, component, object == model ? name : path + "." + name, out);
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
    const std::string ext = Extension(options.ModelPath);
    if (ext != ".tv" && ext != ".btv" && ext != ".tvp")
        return Usage(err, "MODEL must be a description (.tv), a binary model (.btv) or a project (.tvp)");

    std::string binaryPath = options.ModelPath;
    double timeStep = kDefaultTimeStep;
    if (ext == ".tvp") {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(options.ModelPath, ec)) {
            err << "talvero-batch: cannot open the project file " << options.ModelPath << "\n";
            return kExitModel;
        }
        auto project = VIniFile::Open(options.ModelPath);
        if (!project) {
            err << "talvero-batch: cannot read the project file " << options.ModelPath << "\n";
            return kExitModel;
        }
        const std::string model = project->ReadString("System", "ModelFileName", "Fail");
        if (model == "Fail" || model.empty()) {
            err << "talvero-batch: the project names no model file\n";
            return kExitModel;
        }
        const auto slash = options.ModelPath.find_last_of("\\/");
        binaryPath = (slash == std::string::npos ? std::string() : options.ModelPath.substr(0, slash + 1)) + model;
        double stored = 0;
        if (ParseFloat(project->ReadString("Computation", "TimeStep", "0.0001"), stored) && stored > 0)
            timeStep = stored;
    }
    if (options.TimeStep) timeStep = *options.TimeStep;

    NEnvironment environment;
    RegisterBuiltinClasses(environment);

    TemporaryFile compiled;
    if (ext == ".tv") {
        if (compiled.GetPath().empty()) {
            err << "talvero-batch: cannot create a temporary file\n";
            return kExitModel;
        }
        if (!environment.Compile(options.ModelPath, compiled.GetPath())) return ReportLastError(err);
        binaryPath = compiled.GetPath();
    }
    if (!environment.LoadModel(binaryPath)) return ReportLastError(err);
    NModel* model = environment.GetModel();

    if (!model->SetTimeStep(timeStep) || !model->SetPulseDuration(options.PulseDuration)) return ReportLastError(err);

    for (const auto& [path, value] : options.Sets) {
        const auto dot = path.find_last_of('.');
        if (dot == std::string::npos || dot == 0 || dot + 1 == path.size())
            return Usage(err, "--set needs OBJECT.PARAMETER=VALUE, not '" + path + "'");
        const std::string objectPath = Utf8ToCp1251(path.substr(0, dot));
        const std::string parameter = Utf8ToCp1251(path.substr(dot + 1));
        NBasicDescription* object = objectPath == model->GetName() ? model : model->GetComponent(objectPath.c_str());
        if (!object || !object->SetParameter(parameter.c_str(), value)) return ReportLastError(err);
    }

    if (options.Tree) {
        PrintTree(model, model, model->GetName(), out);
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
