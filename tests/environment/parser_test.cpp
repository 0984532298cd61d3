// The tokenizer and the grammar check that turns preprocessed text into records.

#include <gtest/gtest.h>

#include "kernel/Cp1251.h"

#include <string>
#include <vector>

#include "LanguageTestSupport.h"
#include "environment/NPreprocessor.h"
#include "kernel/NError.h"

namespace talvero {
namespace {

using test::ForgetLastError;

std::vector<std::string> Tokens(const std::string& text) {
    std::vector<std::string> tokens;
    std::size_t position = 0;
    std::string word, delimiter;
    while (position < text.size() && NextToken(text, position, word, delimiter))
        tokens.push_back(word + "|" + delimiter);
    return tokens;
}

std::vector<std::string> Lines(const NParserRecordList& records) {
    std::vector<std::string> lines;
    for (const auto& record : records) lines.push_back(RecordLine(*record));
    return lines;
}

// "ok" or "<code>|<information>".
std::string Outcome(const std::string& text) {
    NParserRecordList records;
    ForgetLastError();
    if (Parse(text, records)) return "ok";
    return std::to_string(PeekLastErrorCode()) + "|" + KernelTextToUtf8(GetLastErrorInfo());
}

TEST(NextToken, PairsWordsWithTheDelimiterThatEndsThem) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Tokens("Model m {"), (V{"Model|", "m|{"}));
    EXPECT_EQ(Tokens("parameter   x   =   1   ;"), (V{"parameter|", "x|=", "1|;"}));
    EXPECT_EQ(Tokens("link a.b:c.d;"), (V{"link|", "a.b|:", "c.d|;"}));
    EXPECT_EQ(Tokens("x} }"), (V{"x|}", "|}"}));
    EXPECT_EQ(Tokens("class:A:B{"), (V{"class|:", "A|:", "B|{"}));
    // The end of the text ends the last word like a blank.
    EXPECT_EQ(Tokens("a b"), (V{"a|", "b|"}));
    EXPECT_EQ(Tokens("   "), V{});

    std::size_t position = 2;
    std::string word = "w", delimiter = "d";
    EXPECT_FALSE(NextToken("x    ", position, word, delimiter));
    EXPECT_EQ(position, 5u);
    EXPECT_EQ(word + delimiter, "");
}

TEST(Parse, BuildsTheRecordsOfADescription) {
    NParserRecordList records;
    ASSERT_TRUE(Parse("Model m {ASinusGenerator gen { parameter Frequency = 5; }link gen:net1.cellA.u1.s1; }", records));
    EXPECT_EQ(Lines(records), (std::vector<std::string>{"2 m Model", "8", "2 gen ASinusGenerator", "8", "3 Frequency 5",
                                                        "9", "4 net1.cellA.u1.s1 gen", "9"}));
    ASSERT_TRUE(Parse("class A : Neuron { parameter x=1; LTZone z { } } A a { }", records));
    EXPECT_EQ(Lines(records),
              (std::vector<std::string>{"1 A Neuron", "8", "3 x 1", "2 z LTZone", "8", "9", "9", "2 a A", "8", "9"}));
}

TEST(Parse, BlanksAroundDelimitersAreFree) {
    NParserRecordList tight, loose;
    ASSERT_TRUE(Parse("M m{parameter x=1;link a:b;}", tight));
    ASSERT_TRUE(Parse("  M   m   {   parameter   x   =   1   ;   link   a   :   b   ;   }   ", loose));
    EXPECT_EQ(Lines(tight), Lines(loose));
    EXPECT_EQ(Outcome("class:A:B{}"), "ok");
    EXPECT_EQ(Outcome(""), "ok");
    EXPECT_EQ(Outcome("     "), "ok");
}

TEST(Parse, ValuesAndNamesThatTheGrammarLetsThrough) {
    NParserRecordList records;
    ASSERT_TRUE(Parse("M m { parameter z = -1.5e-3; parameter h = 0x10; link a.b:c.d; link .:..; }", records));
    EXPECT_EQ(Lines(records), (std::vector<std::string>{"2 m M", "8", "3 z -1.5e-3", "3 h 0x10", "4 c.d a.b",
                                                        "4 .. .", "9"}));
    // Words that look like keywords of other systems are type names here.
    EXPECT_EQ(Outcome("input x { } output y { } ainput z { }"), "ok");
    EXPECT_EQ(Outcome("_a _b { }"), "ok");
}

struct GrammarCase {
    const char* Text;
    const char* Expected;
};

TEST(Parse, EveryGrammarErrorWithItsInformation) {
    const GrammarCase cases[] = {
        {"Model m { parameterx = 1; }", "200|parameterx="},
        {"NeuroncellA { }", "200|NeuroncellA{"},
        {"Model m { x} }", "200|x}"},
        {"Model m { link:a:b; }", "200|link:"},
        {"Model m { parameter:x=1; }", "200|parameter:"},
        {"}", "202|}"},
        {"Model m { } }", "202|}"},
        {"parameter x = 1;", "203|parameter"},
        {"Model m { parameter x : 1; }", "204|x:"},
        {"Model m { parameter x 1; }", "204|x"},
        {"Model m { parameter 1x = 2; }", "205|1x"},
        {"Model m { parameter a.b = 2; }", "205|a.b"},
        {"Model m { parameter x = 1 }", "206|1}"},
        {"Model m { link a:b }", "206|b}"},
        {"link a:b;", "207|link"},
        {"Model m { link a c; }", "208|a"},
        {"Model m { link a-b:c; }", "209|a-b:"},
        {"Model m { link a:c-d; }", "209|c-d;"},
        {"class A : B { class C : D { } }", "216|class"},
        {"M m { class C : D { } }", "216|class"},
        {"class A B { }", "217|A"},
        {"class 1A : B { }", "218|1A:"},
        {"class A : B-c { }", "218|B-c{"},
        {"class A : B ; }", "219|B;"},
        {"1x m { }", "220|1x"},
        {"Neuron 2m { }", "220|2m{"},
        {"Ne-uron m { }", "220|Ne-uron"},
        // A misspelt keyword is read as a type: the error names it.
        {"Neuron m ; }", "221|Neuron m;"},
        {"Neuron m }", "221|Neuron m}"},
        {"Model m { paramter Frequency = 50; }", "221|paramter Frequency="},
        // A value must be a finite number, not text, nothing, or beyond the range of a double.
        {"Model m { parameter x = abc; }", "205|abc"},
        {"Model m { parameter x = ; }", "205|x=;"},
        {"Model m { parameter x = 1e400; }", "205|1e400"},
        {"Model m { parameter x = 2.5e0x; }", "205|2.5e0x"},
        {"Model m { parameter x = nan; }", "205|nan"},
    };
    for (const GrammarCase& c : cases) EXPECT_EQ(Outcome(c.Text), c.Expected) << c.Text;
}

TEST(Parse, AFailureKeepsTheRecordsBuiltSoFarUntilTheNextParse) {
    NParserRecordList records;
    EXPECT_FALSE(Parse("Model m { Net n { } parameter 1x = 2; }", records));
    EXPECT_EQ(Lines(records), (std::vector<std::string>{"2 m Model", "8", "2 n Net", "8", "9"}));
    ASSERT_TRUE(Parse("A a { }", records));
    EXPECT_EQ(Lines(records), (std::vector<std::string>{"2 a A", "8", "9"}));
}

TEST(Parse, ATextThatStopsInsideADeclarationIsRefused) {
    // A last word with no delimiter after it: the rule waiting for more reports its own code,
    // naming that word.
    EXPECT_EQ(Outcome("Model m { } x"), "221|x");
    EXPECT_EQ(Outcome("Model m { parameter x = 5"), "206|5");
    EXPECT_EQ(Outcome("Model m { parameter"), "204|parameter");
    EXPECT_EQ(Outcome("Model m { link a:b"), "206|b");
    EXPECT_EQ(Outcome("class A : B"), "219|B");
    EXPECT_EQ(Outcome("class"), "217|class");
    EXPECT_EQ(Outcome("Model m { Neuron"), "221|Neuron");
    // Blocks still open at the end: the innermost unclosed declaration is named.
    EXPECT_EQ(Outcome("Model m {"), "206|нет '}': блок m не закрыт");
    EXPECT_EQ(Outcome("Model m { Net n { }"), "206|нет '}': блок m не закрыт");
    EXPECT_EQ(Outcome("Model m { Net n {   "), "206|нет '}': блок n не закрыт");
    EXPECT_EQ(Outcome("class C : Neuron { "), "206|нет '}': блок C не закрыт");
}

TEST(Parse, DeeplyNestedAndLongTextsStayLinear) {
    std::string text;
    const int depth = 100000;
    for (int i = 0; i < depth; ++i) text += "T o{";
    for (int i = 0; i < depth; ++i) text += "}";
    NParserRecordList records;
    ASSERT_TRUE(Parse(text, records));
    EXPECT_EQ(records.size(), 3u * depth);
}

TEST(ParseAfterLoad, CommentsAndJoinedLinesReachTheGrammar) {
    std::string text;
    ASSERT_TRUE(LoadTextFromBuffer("Model m {\nNeuron\ncellA { }\n}\n", "joined", text));
    EXPECT_EQ(Outcome(text), "200|NeuroncellA{");
    ASSERT_TRUE(LoadTextFromBuffer("Model m {\n} // end\n", "end", text));
    EXPECT_EQ(Outcome(text), "ok");
    ASSERT_TRUE(LoadTextFromBuffer("Model m {\r\n\tNeuron a { }\r\n}\r\n", "crlf", text));
    EXPECT_EQ(Outcome(text), "ok");
}

} // namespace
} // namespace talvero
