#pragma once
// What the headless runner writes: file names and CSV fields made from object names, the watch for
// values that are not finite, and the per-gate files of `--out` filled while the model runs.

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "environment/NAtomicFile.h"
#include "kernel/NAbstractOutGate.h"

namespace talvero::batch {

// A gate name (UTF-8) as a file name that stays in its folder: every byte but ASCII letters, digits,
// '_', '-', non-ASCII bytes and an inner '.' is written as %XX ('/' as %2F, "." and ".." start %2E).
std::string SafeFileName(const std::string& name);

// A CSV field: quoted, with inner quotes doubled, when it holds a comma, quote or line break.
std::string CsvField(const std::string& text);

// The number text of the CSV output.
std::string CsvNumber(double value);

// The earliest point at which a gate recorded a value that is not finite.
class NonFiniteWatch {
public:
    void Check(const std::string& gate, double x, double y) {
        if (std::isfinite(x) && std::isfinite(y)) return;
        if (Found && !(x < Time)) return;
        Found = true;
        Time = x;
        Gate = gate;
    }
    bool IsFound() const { return Found; }
    // "the out gate G recorded a value that is not finite at model time T s"
    std::string Describe() const;

private:
    bool Found = false;
    double Time = 0;
    std::string Gate;
};

// Appends "x,y\n" per point of [begin, begin + count) (with `prefix` first) and checks each value.
void AppendGatePoints(const NAbstractOutGate& gate, const std::string& gateName, std::size_t count,
                      const std::string& prefix, std::string& text, NonFiniteWatch& watch);

// The files of `--out`: one temporary file per gate, filled with the points the gates have settled
// while the run goes, and renamed over the targets only when every one of them is complete.
class GateFiles {
public:
    // False with `error` naming the file and the system's reason.
    bool Open(const std::string& directory, const std::vector<NAbstractOutGate*>& gates, std::string& error);
    // Writes and drops what the gates have settled (everything when `final`).
    bool Drain(bool final, NonFiniteWatch& watch, std::string& error);
    bool CommitAll(std::string& error);

private:
    struct Entry {
        NAbstractOutGate* Gate;
        std::string Name;  // UTF-8
        std::unique_ptr<NAtomicFile> File;
        std::uint64_t Restarts;
    };
    bool Fail(const Entry& entry, std::string& error);

    std::vector<Entry> Entries;
    std::string Text;
};

} // namespace talvero::batch
