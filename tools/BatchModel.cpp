#include "tools/BatchModel.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "environment/NBuiltinClasses.h"
#include "environment/NCheckpoint.h"
#include "kernel/Cp1251.h"
#include "kernel/NClock.h"
#include "kernel/NError.h"
#include "kernel/NModel.h"
#include "kernel/NNet.h"
#include "kernel/NParameterRefusal.h"
#include "kernel/NTimeStepLimit.h"
#include "modeler/VIniFile.h"
#include "modeler/VParameterOverrides.h"

namespace talvero::batch {
namespace {

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
        } else {
            Error = "cannot create a temporary file in " + dir + ": " + std::strerror(errno);
        }
    }
    ~TemporaryFile() {
        if (!Path.empty()) std::remove(Path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& GetPath() const { return Path; }
    const std::string& GetError() const { return Error; }

private:
    std::string Path;
    std::string Error;
};

// A component by its own name, which a binary model may give with a '.' inside; GetComponent
// would take that for a path.
NBasicDescription* DirectComponent(NBasicDescription* object, const std::string& name) {
    if (name.find('.') == std::string::npos) return object->GetComponent(name.c_str());
    if (auto* model = dynamic_cast<NModel*>(object)) {
        for (auto it = model->GetSourcesBegin(); it != model->GetSourcesEnd(); ++it)
            if (name == (*it)->GetName()) return it->get();
        for (auto it = model->GetOutGatesBegin(); it != model->GetOutGatesEnd(); ++it)
            if (name == (*it)->GetName()) return it->get();
        if (model->GetNet() && name == model->GetNet()->GetName()) return model->GetNet();
        return nullptr;
    }
    if (auto* net = dynamic_cast<NNet*>(object)) {
        for (auto it = net->GetObjectsBegin(); it != net->GetObjectsEnd(); ++it)
            if (name == (*it)->GetName()) return it->get();
        return nullptr;
    }
    return object->GetComponent(name.c_str());
}

int Fail(int code, std::string& reason, std::string text) {
    reason = std::move(text);
    return code;
}

// The object a parameter path names, and the parameter's name, both in cp1251.
int Resolve(NModel& model, const std::string& path, NBasicDescription*& object, std::string& parameter, std::string& reason) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == path.size())
        return Fail(kExitUsage, reason, "--set needs OBJECT.PARAMETER=VALUE, not '" + path + "'");
    const std::string objectPath = Utf8ToCp1251(path.substr(0, dot));
    parameter = Utf8ToCp1251(path.substr(dot + 1));
    object = objectPath == model.GetName() ? &model : model.GetComponent(objectPath.c_str());
    reason.clear();
    if (object) return kExitOk;
    ReportError(3, Utf8ToCp1251("объект ") + objectPath + Utf8ToCp1251(" не найден (путь ") + Utf8ToCp1251(path) + ")");
    return kExitModel;
}

void CollectTree(NModel& model, NBasicDescription* object, const std::string& path, std::vector<TreeEntry>& tree) {
    TreeEntry entry{Cp1251ToUtf8(path), {}};
    NStringList parameters;
    object->GetParametersList(parameters);
    for (const std::string& name : parameters) entry.Parameters.emplace_back(Cp1251ToUtf8(name), object->GetParameter(name.c_str()));
    tree.push_back(std::move(entry));
    NStringList components;
    object->GetComponentsList(components);
    for (const std::string& name : components) {
        NBasicDescription* component = DirectComponent(object, name);
        if (!component) continue;
        CollectTree(model, component, object == &model ? name : path + "." + name, tree);
    }
}

} // namespace

int LoadBatchModel(const BatchOptions& options, NEnvironment& environment, std::string& reason) {
    reason.clear();
    const std::string ext = Extension(options.ModelPath);
    if (ext != ".tv" && ext != ".btv" && ext != ".tvp")
        return Fail(kExitUsage, reason, "MODEL must be a description (.tv), a binary model (.btv) or a project (.tvp)");

    std::string binaryPath = options.ModelPath;
    double timeStep = kDefaultTimeStep;
    std::unique_ptr<VIniFile> project;
    if (ext == ".tvp") {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(options.ModelPath, ec))
            return Fail(kExitModel, reason, "cannot open the project file " + options.ModelPath);
        project = VIniFile::Open(options.ModelPath);
        if (!project) return Fail(kExitModel, reason, "cannot read the project file " + options.ModelPath);
        const std::string model = project->ReadString("System", "ModelFileName", "Fail");
        if (model == "Fail" || model.empty()) return Fail(kExitModel, reason, "the project names no model file");
        const auto slash = options.ModelPath.find_last_of("\\/");
        // An absolute name stands as it is; a relative one is beside the project.
        binaryPath = model.front() == '/' ? model
                                          : (slash == std::string::npos ? std::string() : options.ModelPath.substr(0, slash + 1)) + model;
        // A stored step that is no step would otherwise run silently at the default one.
        if (!options.TimeStep && project->ValueExists("Computation", "TimeStep")) {
            const std::string text = project->ReadString("Computation", "TimeStep", "");
            double stored = 0;
            if (!ParseFloat(text, stored) || !(stored > 0) || !std::isfinite(stored))
                return Fail(kExitModel, reason,
                            "the project file " + options.ModelPath + ": [Computation] TimeStep=" + Cp1251ToUtf8(text) +
                                " is not a time step (a positive number of seconds)");
            timeStep = stored;
        }
    }
    if (options.TimeStep) timeStep = *options.TimeStep;

    // Elements take clock values when they are built and when their parameters are set: the same
    // defaults for every load, whatever model ran before in this process.
    SetActiveModel(nullptr);
    if (environment.GetClassRegistry().empty()) RegisterBuiltinClasses(environment);

    TemporaryFile compiled;
    if (ext == ".tv") {
        if (compiled.GetPath().empty()) return Fail(kExitModel, reason, compiled.GetError());
        // Loaded at once and removed with this object: waiting for the disk would only cost time.
        const bool durable = environment.GetDurableBinaryFiles();
        environment.SetDurableBinaryFiles(false);
        const bool compiledOk = environment.Compile(options.ModelPath, compiled.GetPath());
        environment.SetDurableBinaryFiles(durable);
        if (!compiledOk) {
            // The compiled model's file is ours, not the user's: say where and why it failed.
            if (PeekLastErrorCode() == 111 && GetLastErrorInfo().rfind(compiled.GetPath() + ": ", 0) == 0) {
                const std::string info = GetLastErrorInfo();
                TakeLastError();
                return Fail(kExitModel, reason,
                            "cannot write the compiled model to a temporary file (" + info +
                                "); TMPDIR names the folder it goes to");
            }
            return kExitModel;
        }
        binaryPath = compiled.GetPath();
    }
    if (!environment.LoadModel(binaryPath)) return kExitModel;
    NModel* model = environment.GetModel();

    if (!model->SetTimeStep(timeStep)) return kExitModel;
    // SetTimeStep has just reset the model: a pulse duration it already has needs only its check,
    // not a second walk through every object.
    const NTime duration = options.PulseDuration;
    if (model->GetPulseDuration() == duration ? !CheckPulseDurationLimit(*model, duration)
                                              : !model->SetPulseDuration(duration))
        return kExitModel;
    // The project's changed parameters first, so that --set has the last word.
    std::string failedPath;
    if (project && !ApplyParameterOverrides(*model, *project, nullptr, failedPath)) {
        // The project's own path says more than the parameter's bare name.
        const std::uint32_t code = PeekLastErrorCode();
        std::string parameter;
        double value = 0;
        NBasicDescription* object = ResolveParameterPath(*model, failedPath, parameter);
        const std::string text = project->ReadString(kParametersSection, failedPath, "");
        if (object && (code == 20 || code == 21) && ParseFloat(text, value))
            ReportError(code, DescribeParameterRefusal(*object, parameter, value, code) + Utf8ToCp1251(" (проект: ") +
                                  failedPath + ")");
        else
            ReportError(code, Utf8ToCp1251("проект: ") + failedPath + " = " + text);
        return kExitModel;
    }

    for (const auto& [path, value] : options.Sets) {
        if (const int code = SetParameterByPath(*model, path, value, reason)) return code;
    }
    return kExitOk;
}

int SetParameterByPath(NModel& model, const std::string& path, double value, std::string& reason) {
    NBasicDescription* object = nullptr;
    std::string parameter;
    if (const int code = Resolve(model, path, object, parameter, reason)) return code;
    if (object->SetParameter(parameter.c_str(), value)) return kExitOk;
    ExplainParameterRefusal(*object, parameter, value);
    return kExitModel;
}

int SetParameterAfterRestore(NModel& model, const std::string& path, double value, std::string& reason) {
    NBasicDescription* object = nullptr;
    std::string parameter;
    if (const int code = Resolve(model, path, object, parameter, reason)) return code;
    TakeLastError();
    const double current = object->GetParameter(parameter.c_str());
    if (PeekLastErrorCode() != 0) return kExitModel;
    if (std::memcmp(&current, &value, sizeof value) == 0) return kExitOk;
    // The object keeps the state it reached. That is sound only for a constant of its dynamics: one
    // that a reset does not build into the state (a period, a delay line, a time constant in use).
    const std::string reached = ObjectState(*object);
    object->Reset();
    const std::string resetBefore = ObjectState(*object);
    const bool set = object->SetParameter(parameter.c_str(), value);
    if (set) object->Reset();
    const bool constant = set && ObjectState(*object) == resetBefore;
    if (set && !constant) object->SetParameter(parameter.c_str(), current);
    if (!LoadObjectState(*object, reached)) return kExitModel;
    if (!set) return kExitModel;
    if (constant) return kExitOk;
    reason = path + " cannot vary after a warm-up or a restored checkpoint: it shapes the state already computed";
    return kExitUsage;
}

int GetParameterByPath(NModel& model, const std::string& path, double& value, std::string& reason) {
    NBasicDescription* object = nullptr;
    std::string parameter;
    if (const int code = Resolve(model, path, object, parameter, reason)) return code;
    // A getter signals an unknown name only through the last error.
    TakeLastError();
    value = object->GetParameter(parameter.c_str());
    if (PeekLastErrorCode() == 0) return kExitOk;
    ExplainParameterRefusal(*object, parameter, value);
    return kExitModel;
}

std::vector<TreeEntry> ModelTree(NModel& model) {
    std::vector<TreeEntry> tree;
    CollectTree(model, &model, model.GetName(), tree);
    return tree;
}

} // namespace talvero::batch
