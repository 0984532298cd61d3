#pragma once
// The binary model file: despite its name a text, the check value on its first line and then one
// record per line in the records' one-line form.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "environment/NParserRecords.h"

namespace talvero {

// Longest line the reader takes; longer ones mean a damaged file.
inline constexpr std::size_t MaxBinaryLineLength = 1022;

// The check value, whatever the records: "checksum".
void ComputeChecksum(const NParserRecordList& records, std::string& out);
// True exactly when `stored` equals the computed check value byte for byte.
bool CheckChecksum(const NParserRecordList& records, const std::string& stored);

// Hooks through which an owner with its own checksum operations takes part in writing and reading.
using NChecksumCompute = std::function<void(const NParserRecordList&, std::string&)>;
using NChecksumCheck = std::function<bool(const NParserRecordList&, const std::string&)>;

// Writes the check value, a line terminator, then the records' lines separated by terminators
// (none after the last). The file is written beside the target and renamed over it, so a failed
// write leaves any earlier file intact. Code 111 when it cannot be written.
bool WriteBinaryFile(const NParserRecordList& records, std::string fileName,
                     const NChecksumCompute& compute = ComputeChecksum);

// Replaces `records` with the records of the file. Codes 111 (records unchanged), 300 (a line of no
// known kind, or too long) and 301 (wrong check value); after 300 or 301 the list is empty. Lines
// ended by a carriage return and a line feed read like lines ended by a line feed.
bool ReadBinaryFile(NParserRecordList& records, std::string fileName, const NChecksumCheck& check = CheckChecksum);

// A model file read twice instead of held whole. The first pass (Scan) finds every error
// ReadBinaryFile would find, in the same order and with the same codes, and keeps only the class
// declarations (which must be built before any object); the second (Next) hands out the other
// records one at a time.
class NBinaryRecordReader {
public:
    NBinaryRecordReader() = default;
    NBinaryRecordReader(const NBinaryRecordReader&) = delete;
    NBinaryRecordReader& operator=(const NBinaryRecordReader&) = delete;
    ~NBinaryRecordReader();

    // Codes as ReadBinaryFile's. `classes` receives each top-level class declaration: its
    // records up to the block close that ends it for the processor, that close included.
    bool Scan(const std::string& fileName, const NChecksumCheck& check, NParserRecordList& classes);
    // Instead of Scan, for a file known to hold neither a class nor a damaged line: only the check
    // value is checked (111, 301).
    bool Open(const std::string& fileName, const NChecksumCheck& check);
    // The next record outside the class declarations (their closes included), each with its line;
    // null at the end of the file, or for a line that is no longer what Scan saw. Without `opens`,
    // block opens are passed over: building objects has no use for them.
    std::unique_ptr<NParserString> Next(bool opens = true);
    // Hands each link that comes next, up to the first record of another kind, to `take` with its
    // item, connector and line, as Next would have handed out its record; that other record (or
    // the end) is left for Next. Most lines of a large model are links, and a record each only to
    // be noted and dropped cost more than the rest of reading them.
    using NLinkSink = std::function<void(std::string_view item, std::string_view connector, std::uint32_t line)>;
    void TakeLinks(const NLinkSink& take);
    // Bytes of the file not yet read, as far as its size when it was opened tells (0 if unknown).
    std::size_t UnreadBytes() const;
    // The lines [first, last) of the class declarations Scan gave out, in order.
    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& ClassLines() const { return Skipped; }

private:
    // The next line outside the class declarations into Line; false at the end or where a line
    // cannot be read.
    bool ReadLine();

    std::FILE* File = nullptr;
    std::unique_ptr<class NLineReader> Reader;
    std::string_view Line;  // in the reader's buffer, or in Storage
    std::string Storage;
    std::uint32_t LineNumber = 0;
    // What TakeLinks read past the links, for Next: the line in Line, or the end.
    enum class NHeld { Nothing, Line, End };
    NHeld Held = NHeld::Nothing;
    // Lines [first, last) that Scan gave out as classes, in order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Skipped;
    std::size_t NextSkipped = 0;
};

} // namespace talvero
