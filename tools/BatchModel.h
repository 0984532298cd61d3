#pragma once
// Loading a model for a headless run and reaching its parameters by dotted path; shared by
// talvero-batch and the Python module so that both see the same model.

#include <string>
#include <utility>
#include <vector>

#include "environment/NEnvironment.h"
#include "tools/BatchOptions.h"
#include "tools/BatchRun.h"

namespace talvero::batch {

// Loads options.ModelPath into `environment` with the time step, pulse duration and settings of
// `options` applied. Returns kExitOk or the exit code of the failure; `reason` then says why, or is
// empty when the kernel's last error does. Loads with no active model, as every run starts.
int LoadBatchModel(const BatchOptions& options, NEnvironment& environment, std::string& reason);

// "OBJECT.PARAMETER" in UTF-8; the object path is the model's name or a component path.
// Same results as LoadBatchModel.
int SetParameterByPath(NModel& model, const std::string& path, double value, std::string& reason);
int GetParameterByPath(NModel& model, const std::string& path, double& value, std::string& reason);

// The same on a model restored from a checkpoint: a value equal to the one in force is left alone,
// and a setting that would change the object's computed state (a reset) is undone and refused
// with kExitUsage, `reason` saying so.
int SetParameterAfterRestore(NModel& model, const std::string& path, double value, std::string& reason);

// The object tree, depth first: each object's dotted path and its parameters, in UTF-8.
struct TreeEntry {
    std::string Path;
    std::vector<std::pair<std::string, double>> Parameters;
};
std::vector<TreeEntry> ModelTree(NModel& model);

} // namespace talvero::batch
