// talvero-batch: runs a model without windows and writes what its out gates recorded as CSV.

#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "tools/BatchClasses.h"
#include "tools/BatchOptions.h"
#include "tools/BatchRun.h"

#ifndef TALVERO_VERSION
#define TALVERO_VERSION "0.1.0"
#endif

int main(int argc, char** argv) {
    using namespace talvero::batch;
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    BatchOptions options;
    std::string error;
    if (!ParseBatchOptions(args, options, error)) {
        std::cerr << "talvero-batch: " << error << "\n" << BatchUsage() << "\n";
        return kExitUsage;
    }
    if (options.Help) {
        std::cout << BatchUsage() << "\n\n"
                  << "Runs a model (.tv description, .btv binary model, or .tvp project) without windows\n"
                     "and writes every point its out gates recorded as CSV (gate,x,y).\n\n"
                     "  -n, --steps N        computation steps (default 10000)\n"
                     "  -t, --time S         run S seconds of model time instead\n"
                     "      --dt S           time step in seconds (default: the project's, else 0.0001)\n"
                     "      --pulse S        pulse duration in seconds (default 0.001)\n"
                     "      --set PATH=V     set a parameter before the run, e.g. net1.cellA.u1.s1.K=0.7\n"
                     "      --watch NAME     output only this out gate (repeatable)\n"
                     "  -o, --out DIR        write DIR/NAME.csv per out gate instead of standard output\n"
                     "      --tree           print the model's object tree with parameters and exit\n"
                     "      --check          compile and load only, print OK\n"
                     "      --classes        print every class of the language (and MODEL's own) and exit\n"
                     "  -q, --quiet          no progress display\n"
                     "  -h, --help, --version\n";
        return kExitOk;
    }
    if (options.Version) {
        std::cout << "talvero-batch " << TALVERO_VERSION << "\n";
        return kExitOk;
    }
    if (options.Classes) return PrintClasses(options.ModelPath, std::cout, std::cerr);
    return RunBatch(options, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
