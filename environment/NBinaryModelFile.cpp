#include "environment/NBinaryModelFile.h"

#include <cstdio>
#include <memory>

#include "environment/NAtomicFile.h"
#include "environment/NLineReader.h"
#include "kernel/NError.h"

namespace talvero {

namespace {

// Closes the file and reports its damaged line `line` (its text, where it was read whole); false.
bool CloseOnDamagedLine(std::FILE* file, const std::string& fileName, std::uint32_t line, const std::string& text) {
    std::fclose(file);
    return ReportErrorAt(300, "", NErrorLocation{fileName, line, 0, text, {}});
}

// Closes the file and reports a check value that does not match; false.
bool CloseOnWrongCheckValue(std::FILE* file) {
    std::fclose(file);
    return ReportError(301, "");
}

// Opens a binary model file and reads its first line, the check value. Null, reported, when
// either fails; `opened` tells which.
std::FILE* OpenWithCheckValue(const std::string& fileName, std::unique_ptr<NLineReader>& reader, std::string& stored,
                              bool& opened) {
    std::FILE* file = OpenRegularFileForReading(fileName);
    opened = file != nullptr;
    if (!file) return ReportError(111, fileName), nullptr;
    reader = std::make_unique<NLineReader>(file, MaxBinaryLineLength);
    const NLineRead read = reader->Next(stored);
    if (read == NLineRead::TooLong || read == NLineRead::Failed) {
        reader.reset();
        return CloseOnDamagedLine(file, fileName, 1, ""), nullptr;
    }
    return file;
}

} // namespace

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
    std::unique_ptr<NLineReader> reader;
    std::string stored;
    bool opened;
    std::FILE* file = OpenWithCheckValue(fileName, reader, stored, opened);
    if (opened) records.clear();  // a file that cannot be opened leaves the list as it was
    if (!file) return false;

    auto fail = [&](std::uint32_t line, const std::string& text) {
        records.clear();
        return CloseOnDamagedLine(file, fileName, line, text);
    };

    std::string line;
    std::uint32_t lineNumber = 1;
    for (;;) {
        // End: the file ends with a line terminator, as editors save it; that is no empty last line.
        const NLineRead read = reader->EndedWithoutTerminator() ? NLineRead::End : reader->Next(line);
        if (read == NLineRead::End) {
            if (check(records, stored)) return std::fclose(file), true;
            records.clear();
            return CloseOnWrongCheckValue(file);
        }
        ++lineNumber;
        if (read == NLineRead::TooLong || read == NLineRead::Failed) return fail(lineNumber, "");
        const std::size_t space = line.find(' ');
        std::unique_ptr<NParserString> record = MakeParserRecord(
            TextToLong(std::string_view(line).substr(0, space)));
        if (!record) return fail(lineNumber, line);
        record->SetFileLine(lineNumber);
        record->ReadFields(line);
        records.push_back(std::move(record));
    }
}

NBinaryRecordReader::~NBinaryRecordReader() {
    Reader.reset();
    if (File) std::fclose(File);
}

bool NBinaryRecordReader::Scan(const std::string& fileName, const NChecksumCheck& check, NParserRecordList& classes) {
    std::unique_ptr<NLineReader> reader;
    std::string stored;
    bool opened;
    std::FILE* file = OpenWithCheckValue(fileName, reader, stored, opened);
    if (opened) {
        classes.clear();
        Skipped.clear();
    }
    if (!file) return false;
    auto fail = [&](std::uint32_t line, const std::string& text) {
        classes.clear();
        return CloseOnDamagedLine(file, fileName, line, text);
    };

    std::string line;
    std::uint32_t lineNumber = 1;
    // Inside a class declaration: how many blocks are open in it, by the processor's count (an
    // object header opens one, a block close ends one).
    int open = 0;
    for (;;) {
        const NLineRead read = reader->EndedWithoutTerminator() ? NLineRead::End : reader->Next(line);
        if (read == NLineRead::End) break;
        ++lineNumber;
        if (read == NLineRead::TooLong || read == NLineRead::Failed) return fail(lineNumber, "");
        const long long kind = TextToLong(std::string_view(line).substr(0, line.find(' ')));
        if (kind != ParserKindClassHdr && kind != ParserKindObjectHdr && kind != ParserKindParameter &&
            kind != ParserKindLink && kind != ParserKindBlockOpen && kind != ParserKindBlockClose)
            return fail(lineNumber, line);
        if (open == 0 && kind != ParserKindClassHdr) continue;
        if (open == 0) Skipped.emplace_back(lineNumber, UINT32_MAX);
        if (kind == ParserKindClassHdr || kind == ParserKindObjectHdr) {
            if (open == 0 || kind == ParserKindObjectHdr) ++open;
        } else if (kind == ParserKindBlockClose && --open == 0) {
            Skipped.back().second = lineNumber;
        }
        std::unique_ptr<NParserString> record = MakeParserRecord(kind);
        record->SetFileLine(lineNumber);
        record->ReadFields(line);
        classes.push_back(std::move(record));
    }
    if (!check(NParserRecordList(), stored)) {
        classes.clear();
        return CloseOnWrongCheckValue(file);
    }
    // Read again from the start; the check value's line is behind us.
    std::rewind(file);
    File = file;
    Reader = std::make_unique<NLineReader>(file, MaxBinaryLineLength);
    LineNumber = 1;
    NextSkipped = 0;
    Held = NHeld::Nothing;
    Reader->Next(Line, Storage);
    return true;
}

bool NBinaryRecordReader::Open(const std::string& fileName, const NChecksumCheck& check) {
    std::unique_ptr<NLineReader> reader;
    std::string stored;
    bool opened;
    std::FILE* file = OpenWithCheckValue(fileName, reader, stored, opened);
    if (opened) Skipped.clear();
    if (!file) return false;
    if (!check(NParserRecordList(), stored)) return CloseOnWrongCheckValue(file);
    File = file;
    Reader = std::move(reader);
    LineNumber = 1;
    NextSkipped = 0;
    Held = NHeld::Nothing;
    return true;
}

bool NBinaryRecordReader::ReadLine() {
    for (;;) {
        if (Reader->EndedWithoutTerminator() || Reader->Next(Line, Storage) != NLineRead::Line) return false;
        ++LineNumber;
        while (NextSkipped < Skipped.size() && Skipped[NextSkipped].second <= LineNumber) ++NextSkipped;
        if (NextSkipped < Skipped.size() && Skipped[NextSkipped].first <= LineNumber &&
            LineNumber < Skipped[NextSkipped].second)
            continue;
        return true;
    }
}

namespace {

// The kind at the front of a line (a plain loop: the kind is a digit or two).
long long LineKind(std::string_view line) {
    std::size_t kindEnd = 0;
    while (kindEnd < line.size() && line[kindEnd] != ' ') ++kindEnd;
    return TextToLong(line.substr(0, kindEnd));
}

} // namespace

std::unique_ptr<NParserString> NBinaryRecordReader::Next(bool opens) {
    if (!Reader) return nullptr;
    for (;;) {
        const NHeld held = Held;
        Held = NHeld::Nothing;
        if (held == NHeld::End || (held == NHeld::Nothing && !ReadLine())) return nullptr;
        if (!opens && LineKind(Line) == ParserKindBlockOpen) continue;
        std::unique_ptr<NParserString> record = ParseRecordLine(Line);
        if (!record) return nullptr;
        record->SetFileLine(LineNumber);
        return record;
    }
}

std::size_t NBinaryRecordReader::UnreadBytes() const { return Reader ? Reader->Unread() : 0; }

void NBinaryRecordReader::TakeLinks(const NLinkSink& take) {
    if (!Reader || Held != NHeld::Nothing) return;
    while (ReadLine()) {
        if (LineKind(Line) != ParserKindLink) {
            Held = NHeld::Line;
            return;
        }
        std::string_view item, connector;
        ReadLinkLine(Line, item, connector);
        take(item, connector, LineNumber);
    }
    Held = NHeld::End;
}

} // namespace talvero
