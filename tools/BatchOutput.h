#pragma once
// What the headless runner writes: file names and CSV fields made from object names, the watch for
// values that are not finite, and the per-gate files of `--out` filled while the model runs.

#include <cmath>
#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "environment/NAtomicFile.h"
#include "kernel/NAbstractOutGate.h"
#include "results/NonFiniteWatch.h"
#include "results/SafeFileName.h"

namespace talvero::batch {

using talvero::NonFiniteWatch;
using talvero::SafeFileName;

// The name of a gate's file in `--out`: SafeFileName, shortened when it would not fit in a file name
// (with a hash of the whole name, so two long names that start alike still get files of their own).
std::string GateFileName(const std::string& name);

// A stream buffer over a file descriptor that keeps the system's reason for its first failed write,
// which an std::ostream's state does not.
class FdOutputBuffer : public std::streambuf {
public:
    explicit FdOutputBuffer(int fd);
    ~FdOutputBuffer() override;
    // errno of the first failed write; 0 when all went out.
    int GetError() const { return Error; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;
    std::streamsize xsputn(const char* data, std::streamsize size) override;

private:
    bool Send(const char* data, std::size_t size);
    int Fd;
    int Error = 0;
    char Space[1 << 16];
};

// A CSV field: quoted, with inner quotes doubled, when it holds a comma, quote or line break.
std::string CsvField(const std::string& text);

// The number text of the CSV output.
std::string CsvNumber(double value);

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
