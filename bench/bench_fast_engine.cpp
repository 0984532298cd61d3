// Speed of the fast engine's step on the generated networks (N = 1,000 and 10,000 neurons, 20
// synapses each), beside the exact engine's, on one thread: CPU time per step, per synapse and
// step, and the engine's own arrays per synapse. The watches record as they do in a run.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "bench/BenchModel.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "fast/NEngine.h"
#include "fast/NFastEngine.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"

namespace {

constexpr int kSynapsesPerNeuron = 20;

double CpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::unique_ptr<talvero::NEnvironment> Load(int neurons) {
    const std::string base = std::filesystem::temp_directory_path().string() + "/talvero-fastbench-" +
                             std::to_string(getpid()) + "-" + std::to_string(neurons);
    std::ofstream(base + ".tv") << talvero::bench::GenerateBenchModel(neurons, kSynapsesPerNeuron);
    auto environment = std::make_unique<talvero::NEnvironment>();
    talvero::RegisterBuiltinClasses(*environment);
    const bool ok = environment->Compile(base + ".tv", base + ".btv") && environment->LoadModel(base + ".btv");
    std::error_code ignored;
    std::filesystem::remove(base + ".tv", ignored);
    std::filesystem::remove(base + ".btv", ignored);
    return ok ? std::move(environment) : nullptr;
}

// range(0): neurons; range(1): 1 for the fast engine, 0 for the exact one.
void BM_EngineStep(benchmark::State& state) {
    const int neurons = static_cast<int>(state.range(0));
    const auto kind = state.range(1) ? talvero::NEngineKind::Fast : talvero::NEngineKind::Exact;
    auto environment = Load(neurons);
    if (!environment) {
        state.SkipWithError("load failed");
        return;
    }
    talvero::NModel& model = *environment->GetModel();
    // One thread for both: the exact engine would take the machine's cores by default.
    talvero::SetComputeThreads(1);
    talvero::SetActiveModel(&model);
    talvero::ResetActiveModel();
    std::string notice;
    auto engine = talvero::MakeEngine(model, kind, notice);
    if (engine->Kind() != kind) {
        state.SkipWithError(notice.c_str());
        return;
    }
    engine->Begin();
    // Past the start, when the net is quiet.
    for (int i = 0; i < 500; ++i) engine->Step();
    const double start = CpuSeconds();
    for (auto _ : state) engine->Step();
    const double seconds = CpuSeconds() - start;
    engine->End();
    const double steps = static_cast<double>(state.iterations());
    const double synapses = static_cast<double>(neurons) * kSynapsesPerNeuron + neurons / 10;
    state.counters["ns_per_synapse_step"] = seconds * 1e9 / (synapses * steps);
    state.counters["us_per_step"] = seconds * 1e6 / steps;
    if (auto* fast = dynamic_cast<talvero::NFastEngine*>(engine.get()))
        state.counters["engine_bytes_per_synapse"] = static_cast<double>(fast->MemoryBytes()) / synapses;
    talvero::SetActiveModel(nullptr);
}

} // namespace

BENCHMARK(BM_EngineStep)->Args({1000, 0})->Args({1000, 1})->Iterations(4000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EngineStep)->Args({10000, 0})->Args({10000, 1})->Iterations(1000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
