#include "environment/NBinaryModelFile.h"

#include <cstdio>

#include "environment/NAtomicFile.h"
#include "environment/NLineReader.h"
#include "kernel/NError.h"

namespace talvero {

void ComputeChecksum(const NParserRecordList& /*records*/, std::string& out) { out = "checksum"; }

bool CheckChecksum(const NParserRecordList& records, const std::string& stored) {
    std::string expected;
    ComputeChecksum(records, expected);
    return stored == expected;
}

bool WriteBinaryFile(const NParserRecordList& records, std::string fileName, const NChecksumCompute& compute) {
    if (fileName.empty() || fileName.find('\0') != std::string::npos) return ReportError(111, fileName), false;
    // Line by line: the whole file in memory would cost a large model as much again as its records.
    NAtomicFile file(fileName);
    if (!file.Open()) return ReportError(111, fileName + ": " + file.GetError()), false;
    std::string line;
    compute(records, line);
    line += '\n';
    bool ok = file.Write(line);
    bool first = true;
    for (auto it = records.begin(); ok && it != records.end(); ++it) {
        line.clear();
        if (!first) line += '\n';
        first = false;
        (*it)->WriteFields(line);
        ok = file.Write(line);
    }
    if (!ok || !file.Commit()) return ReportError(111, fileName + ": " + file.GetError()), false;
    return true;
}

bool ReadBinaryFile(NParserRecordList& records, std::string fileName, const NChecksumCheck& check) {
    std::FILE* file = OpenRegularFileForReading(fileName);
    if (!file) return ReportError(111, fileName), false;
    records.clear();

    auto fail = [&](std::uint32_t code, std::uint32_t line, const std::string& text) {
        records.clear();
        std::fclose(file);
        ReportErrorAt(code, "", NErrorLocation{fileName, line, 0, text, {}});
        return false;
    };

    NLineReader reader(file, MaxBinaryLineLength);
    std::string stored;
    const NLineRead firstRead = reader.Next(stored);
    if (firstRead == NLineRead::TooLong || firstRead == NLineRead::Failed) return fail(300, 1, "");

    std::string line;
    std::uint32_t lineNumber = 1;
    for (;;) {
        // End: the file ends with a line terminator, as editors save it; that is no empty last line.
        const NLineRead read = reader.EndedWithoutTerminator() ? NLineRead::End : reader.Next(line);
        if (read == NLineRead::End) {
            std::fclose(file);
            if (check(records, stored)) return true;
            records.clear();
            ReportError(301, "");
            return false;
        }
        ++lineNumber;
        if (read == NLineRead::TooLong || read == NLineRead::Failed) return fail(300, lineNumber, "");
        const std::size_t space = line.find(' ');
        std::unique_ptr<NParserString> record = MakeParserRecord(
            TextToLong(std::string_view(line).substr(0, space)));
        if (!record) return fail(300, lineNumber, line);
        record->SetFileLine(lineNumber);
        record->ReadFields(line);
        records.push_back(std::move(record));
    }
}

} // namespace talvero
