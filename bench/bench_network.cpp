// Speed and memory of generated neuron networks, compiled and loaded through the environment.
//
// For N = 100, 1,000 and 10,000 neurons with 20 synapses each it reports:
//   BM_CompileAndLoad  the time to compile the description and load the model (the benchmark's
//                      own time column), the time to unload it again (unload_ms, not in the time
//                      column), and the peak heap during one compile-and-load per synapse;
//   BM_Step            the CPU time of a step per synapse and per neuron, model steps per second of
//                      CPU time, and the heap the loaded model holds per synapse.
// Every figure is CPU time: the machines these run on are shared.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <string>

#include "bench/BenchModel.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"
#include "kernel/NSplitStep.h"

// Heap accounting: every allocation of the program goes through these. A block counts with the
// allocator's header, as the allocator's own statistics count it. Counting is on only while a
// figure of memory is taken, so that it does not slow the runs that are timed.
namespace {
bool Counting = false;
// Signed: a block from before the count may be released during it.
std::ptrdiff_t LiveBytes = 0;
std::ptrdiff_t PeakBytes = 0;

std::ptrdiff_t BlockBytes(void* p) { return static_cast<std::ptrdiff_t>(malloc_usable_size(p) + sizeof(std::size_t)); }

void* Allocate(std::size_t size, std::size_t alignment = 0) {
    void* p = nullptr;
    if (alignment > alignof(std::max_align_t)) {
        if (posix_memalign(&p, alignment, size ? size : 1) != 0) p = nullptr;
    } else {
        p = std::malloc(size ? size : 1);
    }
    if (!p) throw std::bad_alloc();
    if (Counting) {
        LiveBytes += BlockBytes(p);
        if (LiveBytes > PeakBytes) PeakBytes = LiveBytes;
    }
    return p;
}

void Release(void* p) {
    if (!p) return;
    if (Counting) LiveBytes -= BlockBytes(p);
    std::free(p);
}

// Counts the heap while `work` runs; returns the peak and the change of live bytes.
template <class Work>
std::pair<std::ptrdiff_t, std::ptrdiff_t> HeapDuring(Work work) {
    LiveBytes = PeakBytes = 0;
    Counting = true;
    work();
    Counting = false;
    return {PeakBytes, LiveBytes};
}
} // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
// Pools take their chunks aligned.
void* operator new(std::size_t size, std::align_val_t alignment) { return Allocate(size, static_cast<std::size_t>(alignment)); }
void operator delete(void* p, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Release(p); }

namespace {

constexpr int kSynapsesPerNeuron = 20;

// The generator adds one synapse to every tenth neuron for the pulse generator.
double SynapsesOf(int neurons) { return static_cast<double>(neurons) * kSynapsesPerNeuron + neurons / 10; }

double CpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

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
    talvero::RegisterBuiltinClasses(environment);
    if (!environment.Compile(files.Text, files.Binary)) std::fprintf(stderr, "compile failed\n");
    return cache.emplace(neurons, files).first->second;
}

void RemoveFiles() {
    for (int neurons : {100, 1000, 10000}) {
        const std::string base = std::filesystem::temp_directory_path().string() + "/talvero-bench-" +
                                 std::to_string(getpid()) + "-" + std::to_string(neurons);
        std::error_code ignored;
        std::filesystem::remove(base + ".tv", ignored);
        std::filesystem::remove(base + ".btv", ignored);
    }
}

bool CompileAndLoad(talvero::NEnvironment& environment, const Files& files) {
    talvero::RegisterBuiltinClasses(environment);
    return environment.Compile(files.Text, files.Binary) && environment.LoadModel(files.Binary);
}

void BM_CompileAndLoad(benchmark::State& state) {
    const int neurons = static_cast<int>(state.range(0));
    const Files& files = FilesFor(neurons);
    // What the environment holds once the model is loaded, the compile's leftovers included.
    std::ptrdiff_t loaded = 0;
    const auto [peak, kept] = HeapDuring([&] {
        talvero::NEnvironment environment;
        CompileAndLoad(environment, files);
        loaded = LiveBytes;
    });
    (void)kept;
    double unloadSeconds = 0;
    for (auto _ : state) {
        auto environment = std::make_unique<talvero::NEnvironment>();
        if (!CompileAndLoad(*environment, files)) state.SkipWithError("compile or load failed");
        benchmark::DoNotOptimize(environment->GetModel());
        state.PauseTiming();
        const double start = CpuSeconds();
        environment.reset();
        unloadSeconds += CpuSeconds() - start;
        state.ResumeTiming();
    }
    state.counters["peak_heap_bytes_per_synapse"] = static_cast<double>(peak) / SynapsesOf(neurons);
    state.counters["loaded_heap_bytes_per_synapse"] = static_cast<double>(loaded) / SynapsesOf(neurons);
    state.counters["unload_ms"] = unloadSeconds * 1e3 / static_cast<double>(state.iterations());
}

void BM_Step(benchmark::State& state) {
    const int neurons = static_cast<int>(state.range(0));
    const Files& files = FilesFor(neurons);
    std::unique_ptr<talvero::NEnvironment> environment;
    bool loaded = false;
    const auto [peak, kept] = HeapDuring([&] {
        environment = std::make_unique<talvero::NEnvironment>();
        talvero::RegisterBuiltinClasses(*environment);
        loaded = environment->LoadModel(files.Binary);
    });
    (void)peak;
    if (!loaded) {
        state.SkipWithError("load failed");
        return;
    }
    const double heapBytes = static_cast<double>(kept);
    talvero::NModel* model = environment->GetModel();
    talvero::SetComputeThreads(1);  // the cost of the work itself; BM_StepThreads times the threads
    talvero::SetActiveModel(model);
    talvero::ResetActiveModel();
    const double synapses = SynapsesOf(neurons);
    const double start = CpuSeconds();
    for (auto _ : state) talvero::StepActiveModel();
    const double seconds = CpuSeconds() - start;
    const double steps = static_cast<double>(state.iterations());
    state.counters["ns_per_synapse_step"] = seconds * 1e9 / (synapses * steps);
    state.counters["ns_per_neuron_step"] = seconds * 1e9 / (neurons * steps);
    state.counters["steps_per_s"] = steps / seconds;
    state.counters["heap_bytes_per_synapse"] = heapBytes / synapses;
    talvero::SetActiveModel(nullptr);
}

// Wall time of a step on up to `threads` threads (the model's size may call for fewer: `used`).
void BM_StepThreads(benchmark::State& state) {
    const int neurons = static_cast<int>(state.range(0));
    auto environment = std::make_unique<talvero::NEnvironment>();
    talvero::RegisterBuiltinClasses(*environment);
    if (!environment->LoadModel(FilesFor(neurons).Binary)) {
        state.SkipWithError("load failed");
        return;
    }
    talvero::SetComputeThreads(static_cast<int>(state.range(1)));
    talvero::SetActiveModel(environment->GetModel());
    talvero::ResetActiveModel();
    for (int i = 0; i < 20; ++i) talvero::StepActiveModel();  // past the first steps, which run on one thread
    for (auto _ : state) talvero::StepActiveModel();
    state.counters["used"] = talvero::GetThreadsInUse();
    state.counters["ns_per_synapse_step"] =
        benchmark::Counter(SynapsesOf(neurons) * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    talvero::SetActiveModel(nullptr);
    talvero::SetComputeThreads(0);
}

} // namespace

// Fixed amounts of work, so that the whole program runs in well under a minute.
BENCHMARK(BM_CompileAndLoad)->Arg(100)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompileAndLoad)->Arg(1000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompileAndLoad)->Arg(10000)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Step)->Arg(100)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Step)->Arg(1000)->Iterations(4000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Step)->Arg(10000)->Iterations(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepThreads)->Args({100, 1})->Args({100, 2})->Iterations(20000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepThreads)->Args({1000, 1})->Args({1000, 2})->Iterations(4000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepThreads)->Args({10000, 1})->Args({10000, 2})->Iterations(400)->UseRealTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    // --write-model=N[,K] prints the description of the N-neuron network (K synapses per neuron,
    // 20 by default) instead, for talvero-batch.
    const std::string writeModel = "--write-model=";
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind(writeModel, 0) == 0) {
            const char* value = argv[i] + writeModel.size();
            const int neurons = std::atoi(value);
            const char* comma = std::strchr(value, ',');
            const int synapses = comma ? std::atoi(comma + 1) : kSynapsesPerNeuron;
            if (neurons <= 0 || synapses <= 0) return 2;
            std::fputs(talvero::bench::GenerateBenchModel(neurons, synapses).c_str(), stdout);
            return 0;
        }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveFiles();
    return 0;
}
