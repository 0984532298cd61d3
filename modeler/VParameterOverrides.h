#pragma once
// Parameter values changed after a model was loaded. A model is rebuilt from its binary file
// whenever a project opens, so the changed values live in the project file, one
// `OBJECT.PATH.PARAMETER=VALUE` per key (the paths of `talvero-batch --set`), and are applied
// after the model loads by every program that opens the project.

#include <map>
#include <string>

namespace talvero {

class NBasicDescription;
class NModel;
class VIniFile;

inline constexpr const char* kParametersSection = "Parameters";

// One changed parameter: the value the model's description gave and the value in force.
struct VParameterOverride {
    double Original = 0;
    double Value = 0;
};
// Keyed by the dotted path; byte strings like the kernel's names.
using VParameterOverrides = std::map<std::string, VParameterOverride>;

// `objectPath` empty stands for the model itself, whose path is the model's name.
std::string ParameterPath(const NModel& model, const std::string& objectPath, const std::string& parameter);

// The object and the parameter name of a dotted path; null (after ReportError) when the path
// has no object part or names nothing in the model.
NBasicDescription* ResolveParameterPath(NModel& model, const std::string& path, std::string& parameter);

// Shortest text that reads back to the same number.
std::string FormatParameterValue(double value);

// Applies one stored value (`valueText` as in the file), recording it in `applied` (when given)
// with the value it replaced. False after the kernel's error.
bool ApplyParameterOverride(NModel& model, const std::string& path, const std::string& valueText,
                            VParameterOverrides* applied);

// Applies the stored values in file order, recording each in `applied` (when given) with the
// value it replaced. Stops at the first that cannot be applied: false, with its path in
// `failedPath` and the kernel's error reported; the values before it stay applied.
bool ApplyParameterOverrides(NModel& model, const VIniFile& project, VParameterOverrides* applied,
                             std::string& failedPath);

// Replaces the stored section with `overrides`; no section when there are none.
void StoreParameterOverrides(VIniFile& project, const VParameterOverrides& overrides);

} // namespace talvero
