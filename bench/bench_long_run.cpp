// A long headless run with --out: the gates' points go to their files as the run goes, so the peak
// resident memory should not grow with the number of steps. Each run is a child process of its own
// and its peak is read from the kernel's accounting of that child.
//
//   LongRun/STEPS/0, LongRun/STEPS/1: a muscle driven by a 40 Hz generator, watched on its length
//   (every step) and on the generator's pulses, into a folder of CSV files (0) or one HDF5 file (1).
// Counters: peak_rss_mib (the child's peak resident memory), steps_per_s.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/BatchOptions.h"
#include "tools/BatchRun.h"

namespace {

const char* const kModel =
    "Model m {\n"
    "Net n { Muscle mu { } }\n"
    "Generator g { parameter Frequency = 40; }\n"
    "TimeWatch pulses { }\n"
    "ATimeWatch length { }\n"
    "link g:n.mu.input; link g:pulses.input; link n.mu.length:length.input;\n"
    "}\n";

void LongRun(benchmark::State& state) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("talvero-long-run-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "m.tv") << kModel;
    double peakMib = 0;
    for (auto _ : state) {
        const pid_t child = ::fork();
        if (child == 0) {
            talvero::batch::BatchOptions options;
            options.ModelPath = (dir / "m.tv").string();
            options.Steps = state.range(0);
            options.OutDir = (dir / (state.range(1) ? "out.h5" : "out")).string();
            options.Quiet = true;
            std::ostringstream out, err;
            ::_exit(talvero::batch::RunBatch(options, out, err, false));
        }
        int status = 0;
        struct rusage usage {};
        ::wait4(child, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("the run failed");
        peakMib = static_cast<double>(usage.ru_maxrss) / 1024.0;
    }
    state.counters["peak_rss_mib"] = peakMib;
    state.counters["steps_per_s"] =
        benchmark::Counter(static_cast<double>(state.range(0)) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    fs::remove_all(dir);
}

BENCHMARK(LongRun)->ArgsProduct({{10000, 5000000}, {0, 1}})->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
