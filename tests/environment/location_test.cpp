// Errors of compiling and loading a description say where they arose.

#include <gtest/gtest.h>

#include <string>

#include "LanguageTestSupport.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/Cp1251.h"
#include "kernel/NError.h"
#include "kernel/NNet.h"

namespace talvero {
namespace {

using test::CurrentDirectory;
using test::ForgetLastError;
using test::TempDir;

class LocationTest : public ::testing::Test {
protected:
    LocationTest() { RegisterBuiltinClasses(env); }

    // "<code>|<information>|<location>" of compiling and loading main.tv, or "ok".
    std::string Outcome(const std::string& source) {
        ForgetLastError();
        dir.Write("main.tv", source);
        if (env.Compile(dir.File("main.tv"), dir.File("main.btv")) && env.LoadModel(dir.File("main.btv"))) return "ok";
        std::string outcome = std::to_string(PeekLastErrorCode()) + "|" + GetLastErrorInfo() + "|" +
                              FormatErrorLocation(GetLastErrorLocation());
        // The directory differs from run to run.
        for (std::size_t at; (at = outcome.find(dir.File(""))) != std::string::npos;) outcome.erase(at, dir.File("").size());
        return KernelTextToUtf8(outcome);
    }

    TempDir dir;
    NEnvironment env;
};

struct BrokenModel {
    const char* Source;
    const char* Expected;
};

TEST_F(LocationTest, BrokenModelsNameCodeInformationAndPlace) {
    const BrokenModel syntax[] = {
        {"Model m {\n  Net n {\n    Neuron a { }\n", "206|нет '}': блок n, открытый в main.tv:2, не закрыт|main.tv:2:3: n {"},
        {"Model m { }\n}\n", "202|}|main.tv:2:1: }"},
        {"Model m {\n  ASinusGenerator g {\n    paramter Frequency = 50;\n  }\n}\n",
         "221|paramter Frequency=|main.tv:3:5: paramter"},
        {"Model m {\n  link a b;\n}\n", "208|a|main.tv:2:8: a"},
    };
    const BrokenModel values[] = {
        {"Model m {\n  ASinusGenerator g { parameter Frequency = fifty; }\n}\n", "205|fifty|main.tv:2:45: fifty"},
        {"Model m {\n  ASinusGenerator g { parameter Frequency = ; }\n}\n", "205|Frequency=;|main.tv:2:45: Frequency = ;"},
        {"Model m {\n  ASinusGenerator g { parameter Frequency = 1e400; }\n}\n", "205|1e400|main.tv:2:45: 1e400"},
        {"Model m {\n  ASinusGenerator g { parameter Frequency = -1; }\n}\n",
         "402|класс/объект m.g.Frequency = -1: значение вне допустимых (>= 0)|main.tv:2:33: Frequency"},
    };
    const BrokenModel names[] = {
        {"Model m {\n  Net n {\n    Nueron a { }\n  }\n}\n", "401|Nueron|main.tv:3:5: Nueron"},
        {"class A : Nope { }\nModel m { }\n", "401|Nope|main.tv:1:1: Nope"},
        {"Model m {\n  Net n { }\n  Net k { }\n}\n", "403|класс/объект m, компонент k (m.n)|main.tv:3:3: k"},
    };
    const BrokenModel links[] = {
        {"Model m {\n  ASinusGenerator g { }\n  Net n { Neuron a { } }\n  link g:n.a.zz;\n}\n",
         "414|m: link g:n.a.zz - второй конец 'n.a.zz' не найден|main.tv:4:8: link g:n.a.zz"},
        {"Model m {\n  Net n { Neuron a { } }\n  TimeWatch w { }\n  link n.b:w.input;\n}\n",
         "414|m: link n.b:w.input - первый конец 'n.b' не найден|main.tv:4:8: link n.b:w.input"},
        // An analog output cannot feed a pulse input.
        {"Model m {\n  ASinusGenerator g { }\n  TimeWatch w { }\n  link g:w.input;\n}\n",
         "414|m: link g:w.input - 'g' не принял связь с 'w.input'|main.tv:4:8: link g:w.input"},
        {"Model m {\n  ASinusGenerator g {\n    link a:b;\n  }\n}\n", "404|m.g|main.tv:3:10: link a:b"},
        // Links of a block with other records between them.
        {"Model m {\n  Net n { Neuron a { } }\n  TimeWatch w { }\n  link n.a:w.input;\n"
         "  TimeWatch v { }\n  link n.a:v.input;\n  link n.a:w.nope;\n}\n",
         "414|m: link n.a:w.nope - второй конец 'w.nope' не найден|main.tv:7:8: link n.a:w.nope"},
    };
    const BrokenModel empty[] = {
        {"", "400|" "main.tv: описание не объявляет модели (нет ни класса, ни объекта)|main.tv:1"},
        {"// only\n/* comments */\n", "400|main.tv: описание не объявляет модели (нет ни класса, ни объекта)|main.tv:1"},
    };
    for (const BrokenModel& c : syntax) EXPECT_EQ(Outcome(c.Source), c.Expected) << c.Source;
    for (const BrokenModel& c : values) EXPECT_EQ(Outcome(c.Source), c.Expected) << c.Source;
    for (const BrokenModel& c : names) EXPECT_EQ(Outcome(c.Source), c.Expected) << c.Source;
    for (const BrokenModel& c : links) EXPECT_EQ(Outcome(c.Source), c.Expected) << c.Source;
    for (const BrokenModel& c : empty) EXPECT_EQ(Outcome(c.Source), c.Expected) << c.Source;
}

TEST_F(LocationTest, IncludesAreFoundBesideTheirFileAndErrorsNameTheChain) {
    dir.Write("cells.tv", "class Cell : Neuron { }\n");
    dir.Write("bad.tv", "\n  Net n { Foo x { } }\n");
    TempDir elsewhere;
    CurrentDirectory here(elsewhere.File(""));
    // Not in the current directory: found next to the including file.
    EXPECT_EQ(Outcome("include \"cells.tv\"\nModel m { Net n { Cell c { } } }\n"), "ok");
    EXPECT_EQ(Outcome("Model m {\n  include \"bad.tv\"\n}\n"), "401|Foo|bad.tv:2:11: Foo\n  included from main.tv:2");
    // Both places named: the current directory, then beside main.tv (the same name once stripped).
    EXPECT_EQ(Outcome("Model m {\n  include \"none.tv\"\n}\n"),
              "111|none.tv (искали none.tv и none.tv)|main.tv:2:3: include \"none.tv\"");
    // The current directory comes first.
    elsewhere.Write("cells.tv", "class Cell : Nope { }\n");
    EXPECT_EQ(Outcome("include \"cells.tv\"\nModel m { }\n"), "401|Nope|cells.tv:1:1: Nope\n  included from main.tv:1");
}

// The records of components already built are dropped while their container is still being built:
// a failure after them must still name its own record, and the model built from what is left must
// be the whole model.
TEST_F(LocationTest, FailuresAfterBuiltComponentsNameTheirOwnPlace) {
    const BrokenModel cases[] = {
        {"Model m {\n  Net n {\n    Neuron a { }\n    Neuron b { }\n    link a:b.zz;\n  }\n}\n",
         "414|m.n: link a:b.zz - второй конец 'b.zz' не найден|main.tv:5:10: link a:b.zz"},
        {"Model m {\n  Net n {\n    Neuron a { }\n    Net inner { Neuron c { } }\n    Neuron b { parameter Nope = 1; }\n  }\n}\n",
         "402|класс/объект m.n.b: нет параметра 'Nope'; параметров у объекта нет|main.tv:5:26: Nope"},
        {"Model m {\n  Net n { Neuron a { } }\n  TimeWatch w { }\n  link n.a:w.nope;\n}\n",
         "414|m: link n.a:w.nope - второй конец 'w.nope' не найден|main.tv:4:8: link n.a:w.nope"},
    };
    for (const BrokenModel& c : cases) EXPECT_EQ(Outcome(c.Source), c.Expected) << c.Source;
    ASSERT_EQ(Outcome("Model m {\n  Net n {\n    Neuron a { }\n    Net inner { Neuron c { IonUnit u { Synapse s { } } } link c:c.u.s; }\n"
                      "    Neuron b { IonUnit u { Synapse s { } } }\n    link a:b.u.s;\n  }\n}\n"),
              "ok");
    NLinksMap inner, outer;
    static_cast<NNet*>(env.GetModel()->GetComponent("n.inner"))->GetLinks(inner);
    static_cast<NNet*>(env.GetModel()->GetComponent("n"))->GetLinks(outer);
    EXPECT_EQ(inner, (NLinksMap{{"c", "c.u.s"}}));
    EXPECT_EQ(outer, (NLinksMap{{"a", "b.u.s"}}));
}

TEST_F(LocationTest, ABinaryFileLoadedOnItsOwnNamesItsOwnLine) {
    ASSERT_EQ(Outcome("Model m {\n  Net n {\n    Neuron a { parameter Nope = 1; }\n  }\n}\n"),
              "402|класс/объект m.n.a: нет параметра 'Nope'; параметров у объекта нет|main.tv:3:26: Nope");
    // Another environment did not compile it: the binary file and the record's line.
    NEnvironment other;
    RegisterBuiltinClasses(other);
    EXPECT_FALSE(other.LoadModel(dir.File("main.btv")));
    EXPECT_EQ(FormatErrorLocation(GetLastErrorLocation()), dir.File("main.btv") + ":8: 3 Nope 1");
    // Nor does this one trust its map once the file has changed.
    dir.Write("main.btv", "checksum\n2 m Model\n8\n2 x Foo\n8\n9\n9\n");
    EXPECT_FALSE(env.LoadModel(dir.File("main.btv")));
    EXPECT_EQ(FormatErrorLocation(GetLastErrorLocation()), dir.File("main.btv") + ":4: 2 x Foo");
}

TEST_F(LocationTest, AByteOrderMarkIsSkippedAndColumnsCountAfterIt) {
    EXPECT_EQ(Outcome("\xEF\xBB\xBFModel m { }\n"), "ok");
    EXPECT_EQ(Outcome("\xEF\xBB\xBF" "Foo m { }\n"), "401|Foo|main.tv:1:1: Foo");
}

TEST_F(LocationTest, BlockCommentsKeepColumnsOfWhatFollowsThem) {
    EXPECT_EQ(Outcome("Model m { /* a\n b */ Foo x { } }\n"), "401|Foo|main.tv:2:7: Foo");
    EXPECT_EQ(Outcome("/* x */ Model m { Foo y { } }\n"), "401|Foo|main.tv:1:19: Foo");
}

} // namespace
} // namespace talvero
