// The binary model file: its layout, terminators, check value and damaged files.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "LanguageTestSupport.h"
#include "environment/NBinaryModelFile.h"
#include "environment/NPreprocessor.h"
#include "kernel/NError.h"

namespace talvero {
namespace {

using test::ForgetLastError;
using test::TempDir;

std::vector<std::string> Lines(const NParserRecordList& records) {
    std::vector<std::string> lines;
    for (const auto& record : records) lines.push_back(RecordLine(*record));
    return lines;
}

NParserRecordList Parsed(const std::string& text) {
    NParserRecordList records;
    EXPECT_TRUE(Parse(text, records)) << text;
    return records;
}

// Reads `content` as a binary model file: "ok" or "<code>|<information>", and the records read.
std::string ReadContent(const TempDir& dir, const std::string& content, NParserRecordList& records) {
    ForgetLastError();
    if (ReadBinaryFile(records, dir.Write("model.btv", content))) return "ok";
    return std::to_string(PeekLastErrorCode()) + "|" + GetLastErrorInfo();
}

const char* const ExampleSource =
    "Model m { ASinusGenerator gen { parameter Frequency = 5; } link gen:net1.cellA.u1.s1; }";
const char* const ExampleFile =
    "checksum\n2 m Model\n8\n2 gen ASinusGenerator\n8\n3 Frequency 5\n9\n4 net1.cellA.u1.s1 gen\n9";

TEST(Checksum, IsTheConstantTextWhateverTheRecords) {
    std::string out = "old";
    ComputeChecksum(NParserRecordList(), out);
    EXPECT_EQ(out, "checksum");
    ComputeChecksum(Parsed(ExampleSource), out);
    EXPECT_EQ(out, "checksum");
    EXPECT_TRUE(CheckChecksum(NParserRecordList(), "checksum"));
    EXPECT_FALSE(CheckChecksum(NParserRecordList(), "checksum "));
    EXPECT_FALSE(CheckChecksum(NParserRecordList(), "CHECKSUM"));
    EXPECT_FALSE(CheckChecksum(NParserRecordList(), ""));
}

TEST(WriteBinaryFile, OneTerminatorAfterTheCheckValueAndBetweenRecords) {
    TempDir dir;
    ASSERT_TRUE(WriteBinaryFile(Parsed(ExampleSource), dir.File("a.btv")));
    EXPECT_EQ(dir.Read("a.btv"), ExampleFile);
    ASSERT_TRUE(WriteBinaryFile(NParserRecordList(), dir.File("empty.btv")));
    EXPECT_EQ(dir.Read("empty.btv"), "checksum\n");
    // An existing file is replaced, and nothing else is left in the directory.
    ASSERT_TRUE(WriteBinaryFile(Parsed("A a { }"), dir.File("a.btv")));
    EXPECT_EQ(dir.Read("a.btv"), "checksum\n2 a A\n8\n9");
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Name())) ++entries;
    EXPECT_EQ(entries, 2u);
}

TEST(WriteBinaryFile, AnUnwritableNameFailsWith111AndKeepsTheTarget) {
    TempDir dir;
    const std::string missingDir = dir.File("no/such/dir.btv");
    ForgetLastError();
    EXPECT_FALSE(WriteBinaryFile(Parsed(ExampleSource), missingDir));
    EXPECT_EQ(PeekLastErrorCode(), 111u);
    EXPECT_EQ(GetLastErrorInfo(), missingDir + ": No such file or directory");  // the path and the system's reason

    std::filesystem::create_directory(dir.File("sub"));
    ForgetLastError();
    EXPECT_FALSE(WriteBinaryFile(Parsed(ExampleSource), dir.File("sub")));
    EXPECT_EQ(PeekLastErrorCode(), 111u);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("sub")));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Name())) ++entries;
    EXPECT_EQ(entries, 1u);

    EXPECT_FALSE(WriteBinaryFile(Parsed(ExampleSource), ""));
    EXPECT_EQ(PeekLastErrorCode(), 111u);
}

TEST(ReadBinaryFile, AnyParsedListReadsBackEqual) {
    TempDir dir;
    const NParserRecordList written = Parsed(
        "class Slow : ASinusGenerator { parameter Frequency = 2; }"
        "Model m { Net net1 { Neuron cellA { IonUnit u1 { Synapse s1 { } } } link cellA:cellA.u1.s1; }"
        "Slow gen { parameter Amplitude = -0.5e-3; parameter Bad = 7; } link gen:net1.cellA.u1.s1; }");
    ASSERT_TRUE(WriteBinaryFile(written, dir.File("m.btv")));
    NParserRecordList read;
    read.push_back(std::make_unique<NParserBlockOpen>());  // replaced, not appended to
    ASSERT_TRUE(ReadBinaryFile(read, dir.File("m.btv")));
    EXPECT_EQ(Lines(read), Lines(written));
    auto w = written.begin();
    for (auto r = read.begin(); r != read.end(); ++r, ++w) {
        EXPECT_EQ((*r)->GetName(), (*w)->GetName());
        EXPECT_EQ((*r)->GetArgument(), (*w)->GetArgument());
    }
}

TEST(ReadBinaryFile, TerminatorsAtTheEnd) {
    TempDir dir;
    NParserRecordList records;
    EXPECT_EQ(ReadContent(dir, ExampleFile, records), "ok");
    EXPECT_EQ(records.size(), 8u);
    // A terminator after the last record, as editors save a file, ends it like no terminator.
    EXPECT_EQ(ReadContent(dir, std::string(ExampleFile) + "\n", records), "ok");
    EXPECT_EQ(records.size(), 8u);
    // An empty line before the end is still no record.
    EXPECT_EQ(ReadContent(dir, std::string(ExampleFile) + "\n\n", records), "300|");
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(ReadContent(dir, "checksum\n", records), "ok");
    EXPECT_EQ(ReadContent(dir, "checksum", records), "ok");
    EXPECT_TRUE(records.empty());
}

TEST(ReadBinaryFile, AWrongCheckValueIsFoundAfterAllLinesAreRead) {
    TempDir dir;
    NParserRecordList records;
    EXPECT_EQ(ReadContent(dir, "checksum \n2 m Model\n8\n9", records), "301|");
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(ReadContent(dir, "CHECKSUM\n2 m Model\n8\n9", records), "301|");
    EXPECT_EQ(ReadContent(dir, "", records), "301|");
    // A damaged line wins over a wrong check value, since it stops the reading first.
    EXPECT_EQ(ReadContent(dir, "CHECKSUM\n2 m Model\n5", records), "300|");
}

TEST(ReadBinaryFile, LinesOfUnknownKindAreDamage) {
    TempDir dir;
    NParserRecordList records;
    for (const char* line : {"5", "6 a b", "7", "0 a b", "x", "", " 2 m Model", "-1", "99999999999999999999 a"}) {
        EXPECT_EQ(ReadContent(dir, std::string("checksum\n2 m Model\n8\n") + line + "\n9", records), "300|") << line;
        EXPECT_TRUE(records.empty());
    }
    // Missing fields are no damage: the record reads what is there.
    EXPECT_EQ(ReadContent(dir, "checksum\n3 Frequency\n4\n02 a b", records), "ok");
    EXPECT_EQ(Lines(records), (std::vector<std::string>{"3 Frequency Frequency", "4 4 4", "2 a b"}));
}

TEST(ReadBinaryFile, LinesLongerThan1022CharactersAreDamage) {
    TempDir dir;
    NParserRecordList records;
    const std::string fits = "3 x " + std::string(1018, 'v');
    ASSERT_EQ(fits.size(), 1022u);
    EXPECT_EQ(ReadContent(dir, "checksum\n" + fits, records), "ok");
    EXPECT_EQ(records.front()->GetArgument().size(), 1018u);
    EXPECT_EQ(ReadContent(dir, "checksum\n" + fits + "v\n9", records), "300|");
    EXPECT_EQ(ReadContent(dir, "checksum\n" + fits + "v", records), "300|");
    EXPECT_EQ(ReadContent(dir, std::string(5000, 'c') + "\n9", records), "300|");
}

TEST(ReadBinaryFile, WindowsLineEndsReadLikeLineFeeds) {
    TempDir dir;
    std::string crlf;
    for (char c : std::string(ExampleFile)) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    NParserRecordList fromCrlf, fromLf;
    EXPECT_EQ(ReadContent(dir, crlf, fromCrlf), "ok");
    EXPECT_EQ(ReadContent(dir, ExampleFile, fromLf), "ok");
    EXPECT_EQ(Lines(fromCrlf), Lines(fromLf));
    EXPECT_EQ(ReadContent(dir, crlf + "\r\n", fromCrlf), "ok");
    // The carriage return does not count toward the line length.
    EXPECT_EQ(ReadContent(dir, "checksum\r\n3 x " + std::string(1018, 'v') + "\r\n9", fromCrlf), "ok");
    EXPECT_EQ(fromCrlf.front()->GetArgument().size(), 1018u);
}

TEST(ReadBinaryFile, AFileThatCannotBeOpenedLeavesTheListAlone) {
    TempDir dir;
    NParserRecordList records;
    records.push_back(std::make_unique<NParserBlockOpen>());
    const std::string missing = dir.File("missing.btv");
    ForgetLastError();
    EXPECT_FALSE(ReadBinaryFile(records, missing));
    EXPECT_EQ(PeekLastErrorCode(), 111u);
    EXPECT_EQ(GetLastErrorInfo(), missing);
    EXPECT_EQ(records.size(), 1u);
    EXPECT_FALSE(ReadBinaryFile(records, dir.Name()));
    EXPECT_EQ(PeekLastErrorCode(), 111u);
    EXPECT_EQ(records.size(), 1u);
}

TEST(BinaryModelFile, ChecksumHooksTakePartInWritingAndReading) {
    TempDir dir;
    auto compute = [](const NParserRecordList& records, std::string& out) { out = "n=" + std::to_string(records.size()); };
    auto check = [](const NParserRecordList& records, const std::string& stored) {
        return stored == "n=" + std::to_string(records.size());
    };
    ASSERT_TRUE(WriteBinaryFile(Parsed("A a { }"), dir.File("h.btv"), compute));
    EXPECT_EQ(dir.Read("h.btv"), "n=3\n2 a A\n8\n9");
    NParserRecordList records;
    EXPECT_TRUE(ReadBinaryFile(records, dir.File("h.btv"), check));
    EXPECT_FALSE(ReadBinaryFile(records, dir.File("h.btv")));
    EXPECT_EQ(PeekLastErrorCode(), 301u);
}

} // namespace
} // namespace talvero
