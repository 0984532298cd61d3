#pragma once
// What the out gates recorded as one HDF5 file, /gates/NAME/{x,y}, filled while the run goes and
// put in place only when complete: the batch runner's `--out FILE.h5`, the desktop program's
// results file and the Python module.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "environment/NAtomicFile.h"
#include "kernel/NAbstractOutGate.h"
#include "results/NonFiniteWatch.h"

namespace talvero {

// True for an output path that names an HDF5 file rather than a folder.
bool IsHdf5Path(const std::string& path);

// What the root of the file records about the run.
struct RunDescription {
    std::string Model;
    double TimeStep = 0;
    double PulseDuration = 0;
    long long Steps = 0;
    std::vector<std::pair<std::string, double>> Sets;
    std::string Version;
};

class GateHdf5File {
public:
    GateHdf5File();
    ~GateHdf5File();  // abandons an uncommitted file
    GateHdf5File(const GateHdf5File&) = delete;
    GateHdf5File& operator=(const GateHdf5File&) = delete;

    // False with `error` naming the file and the reason.
    bool Open(const std::string& path, const std::vector<NAbstractOutGate*>& gates, const RunDescription& run,
              std::string& error);
    // Appends and drops what the gates have settled (everything when `final`).
    bool Drain(bool final, NonFiniteWatch& watch, std::string& error);
    // Appends what the gates have settled (everything when `final`) and is not in the file yet,
    // leaving the points in the gates for other readers; whoever drops them says so with Dropped.
    bool Write(bool final, NonFiniteWatch& watch, std::string& error);
    void Dropped(const NAbstractOutGate* gate, unsigned count);
    // The root's step count, for a run whose length is known only at its end.
    bool SetSteps(long long steps, std::string& error);
    bool Commit(std::string& error);

    // For a caller that keeps the points itself (the Python module): writes `count` points of `gate`
    // from index `at` on and ends its series there, so a tail that may still change is written again.
    bool Put(const NAbstractOutGate* gate, std::uint64_t at, const double* xs, const double* ys, std::size_t count,
             std::string& error);
    // Brings the file up to date and in place (the first time) and keeps it open for more.
    bool Publish(long long steps, std::string& error);

private:
    struct Entry {
        NAbstractOutGate* Gate;
        std::string Name;  // UTF-8
        std::int64_t X = -1;
        std::int64_t Y = -1;
        std::uint64_t Size = 0;
        std::uint64_t Restarts = 0;
        std::uint64_t Written = 0;  // of the points the gate holds, those already in the file
    };
    bool WriteGates(bool final, bool drop, NonFiniteWatch& watch, std::string& error);
    bool Fail(std::string& error, const std::string& what);
    void Close();

    std::unique_ptr<NAtomicFile> Reserved;  // the temporary's name, permissions and final rename
    std::string Target;
    std::int64_t File = -1;
    std::vector<Entry> Entries;
    std::vector<double> Xs, Ys;
};

// What one gate's group of such a file holds.
struct StoredGate {
    std::string Name;   // UTF-8
    std::string Watch;  // "time" or "frequency"
    std::vector<double> X, Y;
};

// Reads every gate of a file written by GateHdf5File, in the order they were written.
bool ReadGateHdf5File(const std::string& path, std::vector<StoredGate>& gates, std::string& error);

} // namespace talvero
