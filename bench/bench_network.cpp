// Speed and memory of generated neuron networks, compiled and loaded through the environment.
//
// For N = 100, 1,000 and 10,000 neurons with 20 synapses each it reports: the step time per
// synapse and per neuron, model steps per second, the compile-and-load time and the heap bytes
// per synapse of the loaded model.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "bench/BenchModel.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"

namespace {

constexpr int kSynapsesPerNeuron = 20;

// The description and its binary model file, written once per size.
struct Files {
    std::string Text;
    std::string Binary;
};

const Files& FilesFor(int neurons) {
    static std::map<int, Files> cache;
    auto it = cache.find(neurons);
    if (it != cache.end()) return it->second;
    const std::string dir = std::filesystem::temp_directory_path().string();
    const std::string base = dir + "/talvero-bench-" + std::to_string(getpid()) + "-" + std::to_string(neurons);
    Files files{base + ".tv", base + ".btv"};
    std::ofstream(files.Text) << talvero::bench::GenerateBenchModel(neurons, kSynapsesPerNeuron);
    talvero::NEnvironment environment;
    if (!environment.Compile(files.Text, files.Binary)) std::fprintf(stderr, "compile failed\n");
    return cache.emplace(neurons, files).first->second;
}

std::size_t HeapInUse() { return mallinfo2().uordblks; }

void BM_CompileAndLoad(benchmark::State& state) {
    const int neurons = static_cast<int>(state.range(0));
    const Files& files = FilesFor(neurons);
    for (auto _ : state) {
        talvero::NEnvironment environment;
        talvero::RegisterBuiltinClasses(environment);
        if (!environment.Compile(files.Text, files.Binary) || !environment.LoadModel(files.Binary))
            state.SkipWithError("compile or load failed");
        benchmark::DoNotOptimize(environment.GetModel());
    }
}

void BM_Step(benchmark::State& state) {
    const int neurons = static_cast<int>(state.range(0));
    const Files& files = FilesFor(neurons);
    const std::size_t heapBefore = HeapInUse();
    auto environment = std::make_unique<talvero::NEnvironment>();
    talvero::RegisterBuiltinClasses(*environment);
    if (!environment->LoadModel(files.Binary)) {
        state.SkipWithError("load failed");
        return;
    }
    const double heapBytes = static_cast<double>(HeapInUse() - heapBefore);
    talvero::NModel* model = environment->GetModel();
    talvero::SetActiveModel(model);
    talvero::ResetActiveModel();
    const double synapses = static_cast<double>(neurons) * kSynapsesPerNeuron;
    for (auto _ : state) talvero::StepActiveModel();
    const double steps = static_cast<double>(state.iterations());
    state.counters["ns_per_synapse_step"] =
        benchmark::Counter(synapses * steps * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["ns_per_neuron_step"] =
        benchmark::Counter(neurons * steps * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["steps_per_s"] = benchmark::Counter(steps, benchmark::Counter::kIsRate);
    state.counters["heap_bytes_per_synapse"] = heapBytes / synapses;
    talvero::SetActiveModel(nullptr);
}

} // namespace

BENCHMARK(BM_CompileAndLoad)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Step)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
