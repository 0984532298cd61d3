// Reads arbitrary bytes as a checkpoint of a fixed model that holds every kind of state (pulse and
// analog sources, a delay line, muscles, all three watches), then computes a few steps. Whatever
// the input, nothing may crash, hang or leak, and a refused checkpoint must leave the model
// exactly as it was. Each input is also tried with its checksum made right, so that the search
// gets past the checksum into the records.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "environment/NBuiltinClasses.h"
#include "environment/NCheckpoint.h"
#include "environment/NEnvironment.h"
#include "kernel/NClock.h"
#include "kernel/NError.h"
#include "kernel/NFnvHash.h"
#include "kernel/NModel.h"

namespace {

constexpr const char* kModel = R"(Model m {
  Net n {
    Neuron a { IonUnit inh { parameter MaxIntensity = -1; Synapse s { } Synapse t { } } }
    NerveFibre f { parameter TimeDelay = 0.003; }
    SimpleAItem relay { }
    AfferentNeuron sensor { }
    Muscle leg { }
    EyeMuscle eye { }
    link a:f.input;
    link f:leg.input;
    link a:eye.input;
    link relay:sensor.input;
  }
  Generator g { parameter Frequency = 50; }
  ASinusGenerator wave { parameter Frequency = 5; }
  AStepGenerator step { parameter StartTime = 0.002; parameter StopTime = 0.004; }
  TimeWatch pulses { }
  ATimeWatch length { }
  FrequencyWatch rate { parameter RightRange = 100; parameter FrequencyStep = 10; }
  link g:n.a.inh.s;
  link n.sensor:n.a.inh.t;
  link wave:n.relay.input;
  link n.f:pulses.input;
  link n.leg.length:length.input;
  link n.sensor:rate.input;
})";

std::unique_ptr<talvero::NEnvironment> Env;
std::string Base;  // every input starts from this checkpoint, so a crash replays from its input alone

std::string Snapshot(talvero::NModel& model) {
    std::string s;
    talvero::SaveCheckpoint(model, s);
    return s.substr(64);
}

// The checkpoint's checksum (FNV-1a 64 of everything after the 64-byte header) at bytes 56..63.
void Reseal(std::string& bytes) {
    if (bytes.size() < 64) return;
    const std::uint64_t v = talvero::FnvHash(bytes.data() + 64, bytes.size() - 64);
    std::memcpy(bytes.data() + 56, &v, sizeof v);
}

void TryOne(const std::string& bytes) {
    talvero::NModel& model = *Env->GetModel();
    talvero::SetActiveModel(&model);
    if (!talvero::RestoreCheckpoint(model, Base.data(), Base.size())) std::abort();
    talvero::ResetActiveModel();
    for (int i = 0; i < 7; ++i) talvero::StepActiveModel();
    const std::string before = Snapshot(model);
    if (!talvero::RestoreCheckpoint(model, bytes.data(), bytes.size())) {
        const std::string after = Snapshot(model);
        if (after != before) {
            std::size_t at = 0;
            while (at < after.size() && at < before.size() && after[at] == before[at]) ++at;
            std::fprintf(stderr, "refused (%u: %s) but changed at payload byte %zu\n", talvero::PeekLastErrorCode(),
                         talvero::GetLastErrorInfo().c_str(), at);
            std::abort();
        }
        return;
    }
    for (int i = 0; i < 20; ++i) talvero::StepActiveModel();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const auto dir = std::filesystem::temp_directory_path();
    std::string pattern = (dir / "talvero-fuzz-state-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) std::abort();
    ::close(fd);
    const std::string source = pattern + ".tv";
    {
        std::FILE* f = std::fopen(source.c_str(), "wb");
        if (!f) std::abort();
        std::fputs(kModel, f);
        std::fclose(f);
    }
    Env = std::make_unique<talvero::NEnvironment>();
    talvero::RegisterBuiltinClasses(*Env);
    const bool ok = Env->Compile(source, pattern) && Env->LoadModel(pattern);
    std::remove(source.c_str());
    std::remove(pattern.c_str());
    if (!ok) std::abort();
    talvero::SetActiveModel(Env->GetModel());
    talvero::ResetActiveModel();
    for (int i = 0; i < 30; ++i) talvero::StepActiveModel();
    talvero::SaveCheckpoint(*Env->GetModel(), Base);
    // TALVERO_FUZZ_STATE_SEED=path writes a valid checkpoint of this model, for the seed corpus.
    if (const char* seed = std::getenv("TALVERO_FUZZ_STATE_SEED"))
        if (!talvero::WriteCheckpointFile(*Env->GetModel(), seed)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    TryOne(bytes);
    Reseal(bytes);
    TryOne(bytes);
    return 0;
}
