#pragma once
// A parameter study without Python: one run per row of a CSV file, each in a process of its own.

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "tools/BatchOptions.h"

namespace talvero::batch {

struct SweepTable {
    std::vector<std::string> Paths;
    std::vector<std::vector<double>> Rows;
};

// False with "LINE: reason" in `error`.
bool ParseSweepTable(const std::string& text, SweepTable& table, std::string& error);

// Runs every row of options.SweepPath (options.Jobs at once) into options.OutDir/NNNN/ and writes
// options.OutDir/index.csv: run, the row's values, and the run's exit status.
int RunSweep(const BatchOptions& options, std::ostream& err, bool progress);

// Sends `signal` to the runs of the sweep in progress, if this process runs one; safe in a signal
// handler.
void ForwardSignalToSweepRuns(int signal);

} // namespace talvero::batch
