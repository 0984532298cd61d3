// Reading description files: includes, comments, joining, blanks and line limits.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "LanguageTestSupport.h"
#include "environment/NPreprocessor.h"
#include "kernel/NError.h"

namespace talvero {
namespace {

using test::CurrentDirectory;
using test::ForgetLastError;
using test::TempDir;

// Loads `content` as the file main.tv of `dir`; on failure the result is "<code>|<information>".
std::string Load(const TempDir& dir, const std::string& content) {
    ForgetLastError();
    std::string text = "untouched";
    if (!LoadText(dir.Write("main.tv", content), text)) {
        const std::uint32_t code = PeekLastErrorCode();
        return std::to_string(code) + "|" + GetLastErrorInfo();
    }
    return text;
}

TEST(Trim, RemovesTheEightBlanksAtBothEndsOnly) {
    EXPECT_EQ(Trim(" \n\t\v\b\r\f\aa b\a\f\r\b\v\t\n "), "a b");
    EXPECT_EQ(Trim("\t \r\n"), "");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim("\x01x\x01"), "\x01x\x01");
}

TEST(LoadText, JoinsTrimmedLinesWithNothingBetween) {
    TempDir dir;
    EXPECT_EQ(Load(dir, "  Model m {  \n\tNeuron\n cellA { }\n}\n"), "Model m {NeuroncellA { }}");
    EXPECT_EQ(Load(dir, ""), "");
    EXPECT_EQ(Load(dir, "\n\n   \n"), "");
    // Control characters inside a line become spaces after comments are gone.
    EXPECT_EQ(Load(dir, "a\tb\vc\bd\fe\af\rg"), "a b c d e f g");
}

TEST(LoadText, LineCommentsAreCutPerLineBeforeBlockComments) {
    TempDir dir;
    EXPECT_EQ(Load(dir, "a // x\nb//\n// whole\nc"), "a bc");
    // The // inside the block comment cuts its */ too, so the comment runs on to the next */.
    EXPECT_EQ(Load(dir, "a /* x // y */ z\nb */ c"), "a  c");
    EXPECT_EQ(Load(dir, "/* a */ Model m { } /* b"), " Model m { } ");
    EXPECT_EQ(Load(dir, "x/*/y"), "xy");
    EXPECT_EQ(Load(dir, "p/*\nq\n*/r"), "pr");
    EXPECT_EQ(Load(dir, "a*/b"), "a*/b");
}

TEST(LoadText, AnErasureThatFormsANewCommentStartRemovesItToo) {
    TempDir dir;
    // "a/" + "/*x*/" + "*b*/c": after the first comment goes, "/*b*/" remains.
    EXPECT_EQ(Load(dir, "a/\n/*x*/*b*/c"), "ac");
    EXPECT_EQ(Load(dir, "a/\n/**/*"), "a");
}

TEST(LoadText, IncludeLinesInsertTheProcessedTextOfTheirFile) {
    TempDir dir;
    dir.Write("sub.tv", "Neuron n {/* open\n}\n");
    const std::string sub = dir.File("sub.tv");
    EXPECT_EQ(Load(dir, "A\ninclude \"" + sub + "\"\nB"), "ANeuron n {B");
    EXPECT_EQ(Load(dir, "A\n   include \"" + sub + "\"   \nB"), "ANeuron n {B");
    // An included file's comments never reach the including file, but a comment of the
    // including file swallows what an include put inside it.
    dir.Write("plain.tv", "x\ny");
    EXPECT_EQ(Load(dir, "A /*\ninclude \"" + dir.File("plain.tv") + "\"\n*/ B"), "A  B");
    // Nested includes.
    dir.Write("outer.tv", "[\ninclude \"" + dir.File("plain.tv") + "\"\n]");
    EXPECT_EQ(Load(dir, "include \"" + dir.File("outer.tv") + "\""), "[xy]");
}

TEST(LoadText, MalformedIncludeLinesFailWith201AndTheRestOfTheLine) {
    TempDir dir;
    EXPECT_EQ(Load(dir, "include sub.tv"), "201|sub.tv");
    EXPECT_EQ(Load(dir, "include \"sub.tv\" // c"), "201|\"sub.tv\" // c");
    EXPECT_EQ(Load(dir, "include \"sub.tv"), "201|\"sub.tv");
    // A lone quote is both the first and the last character but names nothing.
    EXPECT_EQ(Load(dir, "include \""), "201|\"");
    // Not directives: ordinary text.
    EXPECT_EQ(Load(dir, "#include \"a\""), "#include \"a\"");
    EXPECT_EQ(Load(dir, "xinclude \"a\""), "xinclude \"a\"");
    EXPECT_EQ(Load(dir, "include\t\"a\""), "include \"a\"");
    EXPECT_EQ(Load(dir, "include"), "include");
}

TEST(LoadText, MissingFilesFailWith111AndTheirName) {
    TempDir dir;
    const std::string missing = dir.File("missing.tv");
    EXPECT_EQ(Load(dir, "a\ninclude \"" + missing + "\""), "111|" + missing);
    EXPECT_EQ(Load(dir, "include \"\""), "111|");
    // An include inside a block comment is still carried out.
    EXPECT_EQ(Load(dir, "/*\ninclude \"" + missing + "\"\n*/"), "111|" + missing);

    ForgetLastError();
    std::string text = "kept";
    EXPECT_FALSE(LoadText(missing, text));
    EXPECT_EQ(PeekLastErrorCode(), 111u);
    EXPECT_EQ(GetLastErrorInfo(), missing);
    EXPECT_EQ(text, "kept");

    // Not a regular file: a directory reads as unopenable instead of as an error mid-read.
    EXPECT_FALSE(LoadText(dir.Name(), text));
    EXPECT_EQ(PeekLastErrorCode(), 111u);
    EXPECT_EQ(Load(dir, "include \"" + dir.Name() + "\""), "111|" + dir.Name());
}

TEST(LoadText, RelativeIncludeNamesAreResolvedAgainstTheCurrentDirectory) {
    TempDir here, there;
    here.Write("part.tv", "from current");
    there.Write("part.tv", "from including file's directory");
    CurrentDirectory cd(here.Name());
    EXPECT_EQ(Load(there, "include \"part.tv\""), "from current");
}

TEST(LoadText, IncludeCyclesAreRefusedWith201) {
    TempDir dir;
    CurrentDirectory cd(dir.Name());
    dir.Write("self.tv", "x\ninclude \"self.tv\"");
    EXPECT_EQ(Load(dir, "include \"self.tv\""), "201|\"self.tv\"");
    dir.Write("a.tv", "include \"b.tv\"");
    dir.Write("b.tv", "include \"./a.tv\"");
    EXPECT_EQ(Load(dir, "include \"a.tv\""), "201|\"./a.tv\"");
    // Another path to the same file is the same file.
    std::filesystem::create_symlink(dir.File("main.tv"), dir.File("link.tv"));
    EXPECT_EQ(Load(dir, "include \"link.tv\""), "201|\"link.tv\"");
    // Including the same file twice in sequence is no cycle.
    dir.Write("leaf.tv", "L");
    EXPECT_EQ(Load(dir, "include \"leaf.tv\"\ninclude \"leaf.tv\""), "LL");
}

TEST(LoadText, IncludeChainsAreBoundedInDepth) {
    TempDir dir;
    CurrentDirectory cd(dir.Name());
    const std::size_t files = MaxIncludeDepth + 5;
    for (std::size_t i = 0; i < files; ++i)
        dir.Write(std::string("f") + std::to_string(i) + ".tv", std::string("include \"f") + std::to_string(i + 1) + ".tv\"");
    dir.Write("f" + std::to_string(files) + ".tv", "end");
    const std::string result = Load(dir, "include \"f0.tv\"");
    EXPECT_EQ(result.substr(0, 4), "201|");

    // A chain just within the bound loads.
    dir.Write("f" + std::to_string(MaxIncludeDepth - 2) + ".tv", "end");
    EXPECT_EQ(Load(dir, "include \"f0.tv\""), "end");
}

TEST(LoadText, IncludeFanOutIsBoundedInCount) {
    // Each file includes the next twice: 2^17 reads without a bound, none of them a cycle.
    TempDir dir;
    CurrentDirectory cd(dir.Name());
    const int levels = 17;
    for (int i = 0; i < levels; ++i) {
        const std::string next = "include \"g" + std::to_string(i + 1) + ".tv\"\n";
        dir.Write(std::string("g") + std::to_string(i) + ".tv", next + next);
    }
    dir.Write("g" + std::to_string(levels) + ".tv", "x");
    EXPECT_EQ(Load(dir, "include \"g0.tv\"").substr(0, 4), "201|");
    EXPECT_EQ(Load(dir, "include \"g" + std::to_string(levels - 3) + ".tv\""), "xxxxxxxx");
}

TEST(LoadText, LinesOfMoreThan1023CharactersFailWith112) {
    TempDir dir;
    const std::string longest(1023, 'x');
    EXPECT_EQ(Load(dir, longest + "\n" + longest), longest + longest);
    EXPECT_EQ(Load(dir, longest + "\r\n" + longest + "\r\n"), longest + longest);
    const std::string main = dir.File("main.tv");
    EXPECT_EQ(Load(dir, "a\n" + longest + "y\nb"), "112|" + main);
    EXPECT_EQ(Load(dir, longest + "y"), "112|" + main);
    // The included file's name is the one reported.
    const std::string sub = dir.Write("sub.tv", std::string(5000, 'z'));
    EXPECT_EQ(Load(dir, "include \"" + sub + "\""), "112|" + sub);
}

// The file is read in chunks of 16 KiB; lines, and a "\r\n" split between two chunks, read whole
// (a line cut in two would show the end of its comment).
TEST(LoadText, LinesAcrossTheReadersChunksReadWhole) {
    TempDir dir;
    for (const char* end : {"\n", "\r\n"}) {
        for (std::size_t pad = 0; pad < 12; ++pad) {
            std::string content = std::string(pad, 'p') + end;
            std::string expected(pad, 'p');
            for (int i = 0; content.size() < 40000; ++i) {
                const std::string line = "l" + std::to_string(i) + " ";
                content += line + "// " + std::string(i % 7, 'c') + "\t" + end;
                expected += line;
            }
            EXPECT_EQ(Load(dir, content), expected) << pad << (end[0] == '\r' ? " crlf" : " lf");
        }
    }
}

TEST(LoadText, WindowsLineEndsReadLikeLineFeeds) {
    TempDir dir;
    const std::string sub = dir.Write("sub.tv", "Neuron n { } // c\r\n/* x */\r\n");
    const std::string lf = Load(dir, "Model m { // comment\ninclude \"" + sub + "\"\nparameter x = 1;\n}\n");
    const std::string crlf = Load(dir, "Model m { // comment\r\ninclude \"" + sub + "\"\r\nparameter x = 1;\r\n}\r\n");
    EXPECT_EQ(lf, "Model m { Neuron n { } parameter x = 1;}");
    EXPECT_EQ(crlf, lf);
}

TEST(LoadText, BufferAndFileReadAlike) {
    TempDir dir;
    const std::string content = "Model m { /* c */\n  Net n { } // x\n}\r\n";
    std::string fromBuffer;
    ASSERT_TRUE(LoadTextFromBuffer(content, "buffer", fromBuffer));
    EXPECT_EQ(fromBuffer, Load(dir, content));
    ForgetLastError();
    EXPECT_FALSE(LoadTextFromBuffer(std::string(2000, 'q'), "buffer", fromBuffer));
    EXPECT_EQ(PeekLastErrorCode(), 112u);
    EXPECT_EQ(GetLastErrorInfo(), "buffer");
}

TEST(LoadText, ZeroBytesAreKeptAndNeverOpenAnotherFile) {
    TempDir dir;
    dir.Write("a.tv", "A");
    CurrentDirectory cd(dir.Name());
    EXPECT_EQ(Load(dir, std::string("x\0y", 3)), std::string("x\0y", 3));
    EXPECT_EQ(Load(dir, std::string("include \"a.tv\0b\"", 16)), "111|" + std::string("a.tv\0b", 6));
}

} // namespace
} // namespace talvero
