#include "environment/NBinaryModelFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "environment/NLineReader.h"
#include "kernel/NError.h"

namespace talvero {

void ComputeChecksum(const NParserRecordList& /*records*/, std::string& out) { out = "checksum"; }

bool CheckChecksum(const NParserRecordList& records, const std::string& stored) {
    std::string expected;
    ComputeChecksum(records, expected);
    return stored == expected;
}

namespace {

bool WriteAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Creates a new file beside `fileName` that no one else uses; -1 when none can be created.
int CreateSiblingFile(const std::string& fileName, std::string& siblingName) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        siblingName = fileName + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
        const int fd = ::open(siblingName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

} // namespace

bool WriteBinaryFile(const NParserRecordList& records, std::string fileName, const NChecksumCompute& compute) {
    std::string content;
    compute(records, content);
    content += '\n';
    bool first = true;
    for (const auto& record : records) {
        if (!first) content += '\n';
        first = false;
        record->WriteFields(content);
    }

    if (fileName.empty() || fileName.find('\0') != std::string::npos) return ReportError(111, fileName), false;
    std::string sibling;
    const int fd = CreateSiblingFile(fileName, sibling);
    if (fd < 0) return ReportError(111, fileName), false;
    // A short write (a full disk) must not pass for success nor replace a good file.
    bool ok = WriteAll(fd, content);
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(sibling.c_str(), fileName.c_str()) == 0;
    if (!ok) {
        std::remove(sibling.c_str());
        return ReportError(111, fileName), false;
    }
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
