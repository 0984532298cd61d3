#pragma once
// The binary model file: despite its name a text, the check value on its first line and then one
// record per line in the records' one-line form.

#include <cstddef>
#include <functional>
#include <string>

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

} // namespace talvero
