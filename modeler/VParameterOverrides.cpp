#include "modeler/VParameterOverrides.h"

#include <charconv>

#include "kernel/NError.h"
#include "kernel/NModel.h"
#include "modeler/VIniFile.h"

namespace talvero {

std::string ParameterPath(const NModel& model, const std::string& objectPath, const std::string& parameter) {
    return (objectPath.empty() ? std::string(model.GetName()) : objectPath) + "." + parameter;
}

NBasicDescription* ResolveParameterPath(NModel& model, const std::string& path, std::string& parameter) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == path.size()) {
        ReportError(20, path);
        return nullptr;
    }
    const std::string objectPath = path.substr(0, dot);
    parameter = path.substr(dot + 1);
    if (objectPath == model.GetName()) return &model;
    return model.GetComponent(objectPath.c_str());
}

std::string FormatParameterValue(double value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

bool ApplyParameterOverride(NModel& model, const std::string& path, const std::string& valueText,
                            VParameterOverrides* applied) {
    double value = 0;
    if (!ParseFloat(valueText, value)) return ReportError(21, path);
    std::string parameter;
    NBasicDescription* object = ResolveParameterPath(model, path, parameter);
    if (!object) return false;
    const double original = object->GetParameter(parameter.c_str());
    if (!object->SetParameter(parameter.c_str(), value)) return false;
    if (applied) {
        auto [it, added] = applied->try_emplace(path, VParameterOverride{original, value});
        it->second.Value = value;
        if (it->second.Value == it->second.Original) applied->erase(it);
    }
    return true;
}

bool ApplyParameterOverrides(NModel& model, const VIniFile& project, VParameterOverrides* applied,
                             std::string& failedPath) {
    for (const std::string& path : project.GetKeys(kParametersSection)) {
        if (!ApplyParameterOverride(model, path, project.ReadString(kParametersSection, path, ""), applied)) {
            failedPath = path;
            return false;
        }
    }
    failedPath.clear();
    return true;
}

void StoreParameterOverrides(VIniFile& project, const VParameterOverrides& overrides) {
    project.EraseSection(kParametersSection);
    for (const auto& [path, entry] : overrides)
        project.WriteString(kParametersSection, path, FormatParameterValue(entry.Value));
}

} // namespace talvero
