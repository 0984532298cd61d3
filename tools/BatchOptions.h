#pragma once
// The command line of the headless runner.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace talvero::batch {

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
    bool Quiet = false;
    bool Help = false;
    bool Version = false;
    bool Classes = false;  // print the class reference; MODEL optional
};

// False with a one-line reason in `error` for a wrong command line.
bool ParseBatchOptions(const std::vector<std::string>& args, BatchOptions& options, std::string& error);

const char* BatchUsage();

} // namespace talvero::batch
