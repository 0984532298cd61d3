// Reads arbitrary bytes as a binary model file and builds a model from it with the built-in
// classes, then computes a few steps of whatever was built. Whatever the input, nothing may
// crash, hang or leak, and a failed load must leave the model empty and not loaded.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/NClock.h"

namespace {

std::string InputFile;

void RemoveInputFile() {
    if (!InputFile.empty()) std::remove(InputFile.c_str());
}

bool WriteInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(InputFile.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (std::filesystem::temp_directory_path() / "talvero-fuzz-binary-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) std::abort();
    ::close(fd);
    InputFile = pattern;
    std::atexit(RemoveInputFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!WriteInput(data, size)) std::abort();

    talvero::NEnvironment env;
    talvero::RegisterBuiltinClasses(env);
    // Small bounds keep every input fast; the checks are the same at any size.
    env.SetMaxNestingDepth(64);
    env.SetMaxLiveObjects(static_cast<std::size_t>(talvero::NBasicDescription::GetInstanceCount()) + 20000);

    talvero::NModel* model = env.GetModel();
    if (!env.LoadModel(InputFile)) {
        talvero::NStringList components;
        model->GetComponentsList(components);
        if (env.IsModelLoaded() || !components.empty() || !env.GetUserClasses().empty()) std::abort();
        return 0;
    }
    if (env.GetModel() != model || !env.IsModelLoaded()) std::abort();

    talvero::SetActiveModel(model);
    talvero::ResetActiveModel();
    for (int step = 0; step < 20; ++step) talvero::StepActiveModel();
    talvero::SetActiveModel(nullptr);
    return 0;
}
