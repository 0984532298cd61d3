#pragma once
// The command line of the headless runner.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fast/NEngine.h"

namespace talvero::batch {

// The most steps one run may take (at 0.1 µs a step, more than a day).
inline constexpr long long kMaxSteps = 1'000'000'000'000;
// The most threads one run's step may be given.
inline constexpr int kMaxThreads = 256;

struct BatchOptions {
    std::string ModelPath;
    long long Steps = 10000;
    std::optional<double> Time;       // seconds of model time, instead of Steps
    std::optional<double> TimeStep;   // else the project's, else 0.0001
    double PulseDuration = 0.001;
    std::vector<std::pair<std::string, double>> Sets;  // object path + "." + parameter, value
    std::vector<std::string> Watches;
    std::string OutDir;
    bool Tree = false;
    bool Check = false;
    bool Graph = false;
    std::string GraphFormat;  // "dot" (also when empty), "svg" or "png"; -o is then a file
    bool Quiet = false;
    bool Help = false;
    bool Version = false;
    std::string SweepPath;  // CSV: a header of parameter paths, a row of values per run
    int Jobs = 1;           // sweep runs at once
    int Threads = 0;        // most threads of one run's step; 0: as many as the machine has cores
    bool Classes = false;  // print the class reference; MODEL optional
    std::string LoadState;          // a checkpoint to go on from
    std::string SaveState;          // where to write the checkpoint after the run
    std::optional<double> Warmup;   // sweep: seconds computed once, then every run goes on from there
    NEngineKind Engine = NEngineKind::Exact;
};

// False with a one-line reason in `error` for a wrong command line.
bool ParseBatchOptions(const std::vector<std::string>& args, BatchOptions& options, std::string& error);

const char* BatchUsage();

} // namespace talvero::batch
