// Parameter values changed in the objects list, kept with the project.

#include "environment/NEnvironment.h"
#include "kernel/NModel.h"
#include "modeler/VModeler.h"

namespace talvero {

bool VModeler::SetModelParameter(const std::string& objectPath, const std::string& parameter, double value) {
    NModel* model = Environment->GetModel();
    if (!ProjectOpen || !model) return ReportError(1030, "");
    const std::string path = ParameterPath(*model, objectPath, parameter);
    std::string name;
    NBasicDescription* object = ResolveParameterPath(*model, path, name);
    if (!object) return false;
    const double old = object->GetParameter(name.c_str());
    // Set on the objects, which the running engine then takes up again.
    SuspendEngine();
    const bool set = object->SetParameter(name.c_str(), value);
    ResumeEngine();
    if (!set) return false;
    auto [it, added] = Overrides.try_emplace(path, VParameterOverride{old, value});
    it->second.Value = value;
    if (it->second.Value == it->second.Original) Overrides.erase(it);
    Modified = true;
    return true;
}

bool VModeler::RevertModelParameter(const std::string& objectPath, const std::string& parameter) {
    const VParameterOverride* entry = FindParameterOverride(objectPath, parameter);
    return entry && SetModelParameter(objectPath, parameter, entry->Original);
}

const VParameterOverride* VModeler::FindParameterOverride(const std::string& objectPath,
                                                          const std::string& parameter) const {
    const NModel* model = Environment->GetModel();
    if (!model) return nullptr;
    const auto it = Overrides.find(ParameterPath(*model, objectPath, parameter));
    return it == Overrides.end() ? nullptr : &it->second;
}

} // namespace talvero
