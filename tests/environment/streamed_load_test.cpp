// Compile writes records as it parses them and LoadModel reads the binary file as it builds: both
// must give what the whole record list gives, keep the previous file when they fail, and report the
// errors of the file before those of the objects in it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>

#include "LanguageTestSupport.h"
#include "environment/NBinaryModelFile.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "environment/NPreprocessor.h"
#include "kernel/Cp1251.h"
#include "kernel/NError.h"
#include "kernel/NNet.h"

namespace talvero {
namespace {

using test::ForgetLastError;
using test::TempDir;

// Every object's path, class, parameters and a net's links, depth first.
void Describe(NBasicDescription* object, const std::string& path, std::ostringstream& out) {
    out << path << " " << typeid(*object).name();
    NStringList parameters;
    object->GetParametersList(parameters);
    for (const auto& name : parameters) out << " " << name << "=" << object->GetParameter(name.c_str());
    if (auto* net = dynamic_cast<NAbstractNet*>(object)) {
        NLinksMap links;
        net->GetLinks(links);
        for (const auto& [item, connector] : links) out << " " << item << ">" << connector;
    }
    out << "\n";
    NStringList components;
    object->GetComponentsList(components);
    for (const auto& name : components) Describe(object->GetComponent(name.c_str()), path + "." + name, out);
}

std::string Tree(NEnvironment& env) {
    std::ostringstream out;
    Describe(env.GetModel(), std::string(env.GetModel()->GetName()), out);
    for (const auto& prototype : env.GetUserClasses()) Describe(prototype.get(), std::string("class ") + prototype->GetName(), out);
    return out.str();
}

std::string Example(const std::string& name) {
    const char* root = std::getenv("TALVERO_SOURCE_DIR");
    return std::string(root ? root : ".") + "/examples/" + name;
}

// A class used before its declaration, classes of classes, links in nested nets and in the model.
const char* const kOutOfOrder =
    "Model m {\n"
    "  Net n { Cell a { } Twin b { } link a:b.u.s; }\n"
    "  TimeWatch w { }\n"
    "  link n.a:w.input;\n"
    "}\n"
    "class Cell : Neuron { IonUnit u { parameter MaxIntensity = 0.5; Synapse s { } } }\n"
    "class Twin : Cell { }\n"
    "TimeWatch w2 { }\n";

// Links among the objects of a block, so that the links read straight from the file end at a
// header as well as at a block close, and a block's last links before a class declaration.
const char* const kLinksAmongObjects =
    "Model m {\n"
    "  Net n {\n"
    "    Cell a { }\n"
    "    link a:b.u.s;\n"
    "    link a:c.u.s;\n"
    "    Cell b { IonUnit v { parameter MaxIntensity = 0.5; } }\n"
    "    link b:a.u.s;\n"
    "    Cell c { }\n"
    "    link c:b.u.s2;\n"
    "  }\n"
    "}\n"
    "class Cell : Neuron { IonUnit u { Synapse s { } Synapse s2 { } } }\n"
    "TimeWatch w { }\n";

TEST(StreamedLoad, CompileAndLoadGiveWhatTheWholeRecordListGives) {
    TempDir dir;
    const std::string sources[] = {Example("all_classes.tv"), Example("eye_muscle.tv"), Example("reflex_arc.tv"),
                                   Example("shared_cells.tv"), Example("user_classes.tv"),
                                   dir.Write("order.tv", kOutOfOrder), dir.Write("links.tv", kLinksAmongObjects)};
    for (const std::string& source : sources) {
        SCOPED_TRACE(source);
        // The file written record by record against the list written whole.
        std::string text;
        NParserRecordList records;
        ASSERT_TRUE(LoadText(source, text) && Parse(text, records));
        ASSERT_TRUE(WriteBinaryFile(records, dir.File("whole.btv")));
        NEnvironment streamed;
        RegisterBuiltinClasses(streamed);
        ASSERT_TRUE(streamed.Compile(source, dir.File("streamed.btv"))) << GetLastErrorInfo();
        EXPECT_EQ(dir.Read("streamed.btv"), dir.Read("whole.btv"));

        ASSERT_TRUE(streamed.LoadModel(dir.File("streamed.btv"))) << GetLastErrorInfo();
        NEnvironment whole;
        RegisterBuiltinClasses(whole);
        NParserRecordList read;
        ASSERT_TRUE(ReadBinaryFile(read, dir.File("whole.btv")) && whole.BuildClasses(read) && whole.BuildObjects(read));
        EXPECT_EQ(Tree(streamed), Tree(whole));
    }
}

TEST(StreamedLoad, AFailedCompileKeepsThePreviousFile) {
    TempDir dir;
    NEnvironment env;
    RegisterBuiltinClasses(env);
    ASSERT_TRUE(env.Compile(dir.Write("good.tv", kOutOfOrder), dir.File("m.btv")));
    const std::string good = dir.Read("m.btv");
    const struct {
        const char* Source;
        std::uint32_t Code;
    } broken[] = {
        {"Model m { Net n { Neuron a { } }\n", 206},                    // fails at the very end
        {"Model m { Neuron a { parameter P = x; } }\n", 205},           // fails in the middle
        {"// nothing but a comment\n", 400},                            // no record at all
    };
    for (const auto& c : broken) {
        ForgetLastError();
        EXPECT_FALSE(env.Compile(dir.Write("bad.tv", c.Source), dir.File("m.btv"))) << c.Source;
        EXPECT_EQ(PeekLastErrorCode(), c.Code) << c.Source;
        EXPECT_EQ(dir.Read("m.btv"), good) << c.Source;
    }
}

TEST(StreamedLoad, DamageAnywhereInTheFileIsReportedBeforeAnyObjectIsBuilt) {
    TempDir dir;
    // The first object fails to build (an unknown class); the damage comes after it.
    const std::string head = "checksum\n2 a Nope\n8\n9\n";
    const struct {
        std::string Tail;
        std::uint32_t Code;
        std::uint32_t Line;
    } damaged[] = {
        {"7 what\n2 b Neuron\n8\n9", 300, 5},
        {"2 b Neuron\n8\n3 " + std::string(1100, 'x') + " 1\n9", 300, 7},
        {"2 b Neuron\n8\n9", 0, 0},  // undamaged: the object's own error
    };
    for (const auto& c : damaged) {
        NEnvironment env;
        RegisterBuiltinClasses(env);
        ForgetLastError();
        EXPECT_FALSE(env.LoadModel(dir.Write("d.btv", head + c.Tail)));
        EXPECT_EQ(PeekLastErrorCode(), c.Code ? c.Code : 401u) << c.Tail.substr(0, 20);
        if (c.Code) {
            EXPECT_EQ(GetLastErrorLocation().Line, c.Line);
        }
        NStringList left;
        env.GetModel()->GetComponentsList(left);
        EXPECT_TRUE(left.empty());
    }
    NEnvironment env;
    RegisterBuiltinClasses(env);
    ForgetLastError();
    EXPECT_FALSE(env.LoadModel(dir.Write("c.btv", "sum\n2 a Nope\n8\n9")));
    EXPECT_EQ(PeekLastErrorCode(), 301u);
}

TEST(StreamedLoad, AFileJustCompiledIsStillCheckedForLinesTooLongToRead) {
    TempDir dir;
    NEnvironment env;
    RegisterBuiltinClasses(env);
    // The header's source line has the longest length a source line may have; its record's line,
    // "2 NAME TimeWatch", is one character longer than the reader takes.
    const std::string name(1011, 'w');
    dir.Write("m.tv", "Model m {\nTimeWatch " + name + " {\n}\n}\n");
    ASSERT_TRUE(env.Compile(dir.File("m.tv"), dir.File("m.btv"))) << GetLastErrorInfo();
    ForgetLastError();
    EXPECT_FALSE(env.LoadModel(dir.File("m.btv")));
    EXPECT_EQ(PeekLastErrorCode(), 300u);
    EXPECT_EQ(GetLastErrorLocation().Line, 4u);
}

TEST(StreamedLoad, ALoadErrorNamesTheSourceOnlyWhileTheSourceIsWhatWasCompiled) {
    TempDir dir;
    NEnvironment env;
    RegisterBuiltinClasses(env);
    const std::string model = "Model m {\n  ASinusGenerator g { parameter Frequency = -1; }\n}\n";
    const std::string source = dir.Write("m.tv", model);
    const struct {
        std::string Now;  // the source when the file is loaded
        std::string Where;
    } cases[] = {
        {model, source + ":2:33"},
        // Only a comment more: the text is the same, its lines are not.
        {"// moved\n" + model, dir.File("m.btv") + ":6"},
        {"", dir.File("m.btv") + ":6"},
    };
    for (const auto& c : cases) {
        dir.Write("m.tv", model);
        ASSERT_TRUE(env.Compile(source, dir.File("m.btv")));
        dir.Write("m.tv", c.Now);
        ForgetLastError();
        EXPECT_FALSE(env.LoadModel(dir.File("m.btv")));
        EXPECT_EQ(PeekLastErrorCode(), 402u);
        const NErrorLocation& at = GetLastErrorLocation();
        std::string where = at.File + ":" + std::to_string(at.Line);
        if (at.Column) where += ":" + std::to_string(at.Column);
        EXPECT_EQ(where, c.Where) << c.Now;
    }
}

TEST(StreamedLoad, ANameDeclaredTwiceNamesTheFirstDeclarationAsBefore) {
    TempDir dir;
    const struct {
        const char* Source;
        const char* Information;  // after "имя ... уже занято"
    } cases[] = {
        {"TimeWatch w { }\nTimeWatch w { }\nModel m { }\n", " объявлением в m.tv:1:1"},
        // A class declaration between the two hid the first from the processor, and still does.
        {"TimeWatch w { }\nclass C : Neuron { }\nTimeWatch w { }\nModel m { }\n", ""},
        {"Model m {\n Net n {\n  Neuron a { }\n  Neuron b { }\n  Neuron a { }\n }\n}\n", " объявлением в m.tv:3:3"},
        {"class K : Net { Neuron a { } Neuron a { } }\nModel m { }\n", " объявлением в m.tv:1:17"},
        {"Model m { TimeWatch w { } }\nTimeWatch w { }\n", ""},
    };
    for (const auto& c : cases) {
        NEnvironment env;
        RegisterBuiltinClasses(env);
        dir.Write("m.tv", c.Source);
        ForgetLastError();
        ASSERT_TRUE(env.Compile(dir.File("m.tv"), dir.File("m.btv")));
        EXPECT_FALSE(env.LoadModel(dir.File("m.btv")));
        EXPECT_EQ(PeekLastErrorCode(), 403u);
        std::string info = KernelTextToUtf8(GetLastErrorInfo());
        for (std::size_t at; (at = info.find(dir.File(""))) != std::string::npos;) info.erase(at, dir.File("").size());
        const std::string taken = "уже занято";
        ASSERT_NE(info.find(taken), std::string::npos) << info;
        EXPECT_EQ(info.substr(info.find(taken) + taken.size()), c.Information) << c.Source;
    }
}

} // namespace
} // namespace talvero
