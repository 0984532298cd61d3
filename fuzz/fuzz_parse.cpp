// Reads arbitrary bytes as a model description and checks it against the grammar. Whatever the
// input, nothing may crash, hang or leak, and every record the grammar accepts must come back
// unchanged from its one-line form.

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "environment/NParserRecords.h"
#include "environment/NPreprocessor.h"

namespace {

std::string FixtureDir;
int FixtureFd = -1;
int StartFd = -1;

void RemoveFixtures() {
    std::error_code ignored;
    if (!FixtureDir.empty()) std::filesystem::remove_all(FixtureDir, ignored);
}

void WriteFixture(const char* name, const char* content) {
    std::ofstream(FixtureDir + "/" + name, std::ios::binary) << content;
}

} // namespace

// Include lines are resolved against the current directory: give them a few files to find, among
// them ones that include themselves or each other.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (std::filesystem::temp_directory_path() / "talvero-fuzz-parse-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return 0;
    FixtureDir = pattern;
    std::atexit(RemoveFixtures);
    WriteFixture("a.tv", "Neuron cellA { parameter Threshold = 1; } // a\n");
    WriteFixture("b.tv", "include \"a.tv\"\n/* b\n");
    WriteFixture("self.tv", "x\ninclude \"self.tv\"\n");
    WriteFixture("p.tv", "include \"q.tv\"\n");
    WriteFixture("q.tv", "include \"p.tv\"\n");
    WriteFixture("crlf.tv", "Net n {\r\n}\r\n");
    FixtureFd = ::open(FixtureDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    StartFd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return 0;
}

namespace {

// The fixture directory is current only while one input runs, so the fuzzer's own relative paths
// keep their meaning.
struct InFixtureDir {
    InFixtureDir() {
        if (FixtureFd >= 0 && ::fchdir(FixtureFd) != 0) std::abort();
    }
    ~InFixtureDir() {
        if (StartFd >= 0 && ::fchdir(StartFd) != 0) std::abort();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string content(reinterpret_cast<const char*>(data), size);
    InFixtureDir inFixtures;
    std::string text;
    if (!talvero::LoadTextFromBuffer(content, "fuzz.tv", text)) return 0;

    talvero::NParserRecordList records;
    talvero::Parse(text, records);

    for (const auto& record : records) {
        std::string line = talvero::RecordLine(*record);
        std::unique_ptr<talvero::NParserString> copy = talvero::MakeParserRecord(record->GetKind());
        if (!copy || !copy->ReadFields(line) || copy->GetName() != record->GetName() ||
            copy->GetArgument() != record->GetArgument())
            std::abort();
    }
    return 0;
}
