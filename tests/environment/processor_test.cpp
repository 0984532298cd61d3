// Building user classes and the model's object tree from records.

#include <gtest/gtest.h>

#include <string>

#include "elements/NNeuron.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "environment/NPreprocessor.h"
#include "kernel/Cp1251.h"
#include "kernel/NUnitDescription.h"
#include "sources/NASinusGenerator.h"

namespace talvero {
namespace {

class ProcessorTest : public ::testing::Test {
protected:
    void SetUp() override { RegisterBuiltinClasses(env); }

    // Parses a one-line description and runs both processor stages on it, as LoadModel does.
    bool Build(const std::string& description) {
        env.Clear();
        NParserRecordList records;
        if (!Parse(description, records)) {
            ADD_FAILURE() << "description does not parse: " << description;
            return false;
        }
        return env.BuildClasses(records) && env.BuildObjects(records);
    }

    void ExpectFailure(std::uint32_t code, const std::string& information) {
        EXPECT_EQ(PeekLastErrorCode(), code);
        EXPECT_EQ(KernelTextToUtf8(GetLastErrorInfo()), information);
    }

    NModel& model() { return *env.GetModel(); }
    int ModelComponents() {
        NStringList names;
        model().GetComponentsList(names);
        return static_cast<int>(names.size());
    }
    double Parameter(const char* path, const char* name) {
        NBasicDescription* object = model().GetComponent(path);
        return object ? object->GetParameter(name) : -1;
    }

    NEnvironment env;
};

TEST_F(ProcessorTest, BuildsNestedObjectsIntoTheModel) {
    ASSERT_TRUE(Build("Model m { Net net1 { Neuron cellA { IonUnit u1 { Synapse s1 { } } } } }"));
    EXPECT_STREQ(model().GetName(), "m");
    ASSERT_NE(model().GetNet(), nullptr);
    EXPECT_STREQ(model().GetNet()->GetName(), "net1");
    EXPECT_NE(dynamic_cast<NNeuron*>(model().GetComponent("net1.cellA")), nullptr);
    EXPECT_NE(model().GetComponent("net1.cellA.u1.s1"), nullptr);
    EXPECT_EQ(model().GetComponent("net1.cellA")->GetOwner(), model().GetNet());
}

TEST_F(ProcessorTest, LinksTakeEffectWhenTheirBlockCloses) {
    // The link stands before both of its ends are declared.
    ASSERT_TRUE(Build("Model m { link gen:net1.cellA.u1.s1 ; Generator gen { parameter Frequency = 10 ; } "
                      "Net net1 { Neuron cellA { IonUnit u1 { Synapse s1 { } } } "
                      "Neuron cellB { IonUnit u1 { Synapse s1 { } } } link cellA:cellB.u1.s1 ; } }"));
    auto* outer = dynamic_cast<NAbstractConnector*>(model().GetComponent("net1.cellA.u1.s1"));
    auto* inner = dynamic_cast<NAbstractConnector*>(model().GetComponent("net1.cellB.u1.s1"));
    ASSERT_NE(outer, nullptr);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(dynamic_cast<NBasicDescription*>(outer->GetItem()), model().GetComponent("gen"));
    EXPECT_EQ(dynamic_cast<NBasicDescription*>(inner->GetItem()), model().GetComponent("net1.cellA"));
    EXPECT_DOUBLE_EQ(Parameter("gen", "Frequency"), 10);
}

TEST_F(ProcessorTest, UnknownTypeFailsWith401AndEmptiesTheModel) {
    EXPECT_FALSE(Build("Model m { Net net1 { } Foo x { } }"));
    ExpectFailure(401, "Foo");
    EXPECT_EQ(ModelComponents(), 0);
    EXPECT_STREQ(model().GetName(), "m");
}

TEST_F(ProcessorTest, RefusedParameterFailsWith402) {
    const int before = NBasicDescription::GetInstanceCount();
    EXPECT_FALSE(Build("Model m { ASinusGenerator gen { parameter NoSuch = 1 ; } }"));
    ExpectFailure(402, "класс/объект m.gen: нет параметра 'NoSuch'; есть: StartTime, StopTime, Frequency, Amplitude");
    EXPECT_EQ(ModelComponents(), 0);
    EXPECT_EQ(NBasicDescription::GetInstanceCount(), before);
}

TEST_F(ProcessorTest, LinkFailuresAre404OutsideNetsAnd414ForUnknownEnds) {
    EXPECT_FALSE(Build("Model m { ASinusGenerator gen { link a:b ; } }"));
    ExpectFailure(404, "m.gen");
    EXPECT_EQ(ModelComponents(), 0);
    EXPECT_FALSE(Build("Model m { Net net1 { Neuron a { } link a:nowhere ; } }"));
    ExpectFailure(414, "m.net1: link a:nowhere - второй конец 'nowhere' не найден");
    EXPECT_EQ(ModelComponents(), 0);
}

TEST_F(ProcessorTest, RefusedComponentFailsWith403NamingTheDestroyedChild) {
    // The neuron destroys the refused neuron; its name must have been taken before.
    EXPECT_FALSE(Build("Model m { Net net1 { Neuron a { Neuron b { } } } }"));
    ExpectFailure(403, "класс/объект m.net1.a, компонент b (m.net1.a.b)");
    EXPECT_EQ(ModelComponents(), 0);
}

TEST_F(ProcessorTest, SecondNetFailsWith403WithoutLeakingIt) {
    const int before = NBasicDescription::GetInstanceCount();
    EXPECT_FALSE(Build("Model m { Net net1 { } Net net2 { Neuron a { } } }"));
    ExpectFailure(403, "класс/объект m, компонент net2 (m.net1)");
    EXPECT_EQ(model().GetNet(), nullptr);
    EXPECT_EQ(NBasicDescription::GetInstanceCount(), before);
}

TEST_F(ProcessorTest, UserClassCopiesItsParentsParameters) {
    ASSERT_TRUE(Build("class SlowSine : ASinusGenerator { parameter Frequency = 2 ; } "
                      "class SlowerSine : SlowSine { parameter Amplitude = 3 ; } "
                      "Model m { SlowSine s1 { } SlowerSine s2 { } }"));
    EXPECT_DOUBLE_EQ(Parameter("s1", "Frequency"), 2);
    EXPECT_DOUBLE_EQ(Parameter("s2", "Frequency"), 2);
    EXPECT_DOUBLE_EQ(Parameter("s2", "Amplitude"), 3);
    EXPECT_NE(dynamic_cast<NASinusGenerator*>(model().GetComponent("s2")), nullptr);
    ASSERT_EQ(env.GetUserClasses().size(), 2u);
    EXPECT_STREQ(env.GetUserClasses()[1]->GetName(), "SlowerSine");
}

TEST_F(ProcessorTest, ValueThatIsNoNumberSetsZero) {
    // Only a binary file written by hand holds such values: the preprocessor refuses them.
    NParserRecordList records;
    ASSERT_TRUE(Parse("class SlowSine : ASinusGenerator { parameter Frequency = 2 ; } "
                      "Model m { SlowSine s1 { parameter Frequency = 1 ; } SlowSine s2 { parameter Frequency = 1 ; } }",
                      records));
    const char* values[] = {"abc", "2.5e0x"};
    int next = 0;
    for (auto& record : records)
        if (record->GetKind() == ParserKindParameter && record->GetArgument() == "1")
            record = std::make_unique<NParserParameter>("Frequency", values[next++]);
    ASSERT_TRUE(env.BuildClasses(records) && env.BuildObjects(records));
    EXPECT_DOUBLE_EQ(Parameter("s1", "Frequency"), 0);
    EXPECT_DOUBLE_EQ(Parameter("s2", "Frequency"), 2.5);
}

TEST_F(ProcessorTest, ClassesAreFoundFromAnywhereButDeriveOnlyFromEarlierOnes) {
    ASSERT_TRUE(Build("Model m { Later s1 { } } class Later : ASinusGenerator { parameter Frequency = 4 ; }"));
    EXPECT_DOUBLE_EQ(Parameter("s1", "Frequency"), 4);

    EXPECT_FALSE(Build("class Early : Later { } class Later : ASinusGenerator { } Model m { }"));
    ExpectFailure(401, "Later");
    EXPECT_TRUE(env.GetUserClasses().empty());
}

// Decisions on what the language leaves open.

TEST_F(ProcessorTest, TopLevelObjectOfAnotherTypeIsAddedToTheModel) {
    ASSERT_TRUE(Build("Net net1 { Neuron a { } } Generator gen { parameter Frequency = 5 ; }"));
    ASSERT_NE(model().GetNet(), nullptr);
    EXPECT_NE(model().GetComponent("net1.a"), nullptr);
    EXPECT_DOUBLE_EQ(Parameter("gen", "Frequency"), 5);

    // One the model cannot hold is refused like a component of the Model block.
    EXPECT_FALSE(Build("Neuron a { }"));
    ExpectFailure(403, "класс/объект Empty, компонент a (Empty.a)");
    EXPECT_EQ(ModelComponents(), 0);
}

TEST_F(ProcessorTest, ClassDerivedFromTheModelIsRefused) {
    EXPECT_FALSE(Build("class World : Model { Net net1 { } } Model m { }"));
    ExpectFailure(401, "Model");
    EXPECT_TRUE(env.GetUserClasses().empty());
    EXPECT_STREQ(model().GetName(), "Empty");
    EXPECT_EQ(ModelComponents(), 0);
}

TEST_F(ProcessorTest, ModelNestedInABlockIsRefused) {
    EXPECT_FALSE(Build("Model m { Net net1 { Model inner { } } }"));
    ExpectFailure(401, "Model");
    EXPECT_STREQ(model().GetName(), "m");
    EXPECT_FALSE(Build("class Box : Net { Model inner { } } Model m { }"));
    ExpectFailure(401, "Model");
    EXPECT_EQ(ModelComponents(), 0);
}

TEST_F(ProcessorTest, BlockLeftOpenAtTheEndFailsWith300) {
    // The grammar check refuses such texts; a binary file can still hold them.
    NParserRecordList records;
    records.push_back(std::make_unique<NParserObjectHdr>("m", "Model"));
    records.push_back(std::make_unique<NParserBlockOpen>());
    records.push_back(std::make_unique<NParserObjectHdr>("net1", "Net"));
    records.push_back(std::make_unique<NParserBlockOpen>());
    records.push_back(std::make_unique<NParserBlockClose>());
    records.push_back(std::make_unique<NParserObjectHdr>("a", "Generator"));
    records.push_back(std::make_unique<NParserBlockOpen>());
    EXPECT_FALSE(env.BuildObjects(records));
    ExpectFailure(300, "a");
    EXPECT_EQ(ModelComponents(), 0);

    records.clear();
    records.push_back(std::make_unique<NParserClassHdr>("Open", "Net"));
    records.push_back(std::make_unique<NParserBlockOpen>());
    EXPECT_FALSE(env.BuildClasses(records));
    ExpectFailure(300, "Open");
    EXPECT_TRUE(env.GetUserClasses().empty());
}

TEST_F(ProcessorTest, NestingBeyondTheBoundFailsInsteadOfExhaustingTheStack) {
    env.SetMaxNestingDepth(20);
    auto nets = [](int count) {
        std::string open, close;
        for (int i = 0; i < count; ++i) {
            open += "Net n" + std::to_string(i) + " { ";
            close += "} ";
        }
        return std::make_pair(open, close);
    };
    auto [open10, close10] = nets(10);
    EXPECT_TRUE(Build("Model m { " + open10 + close10 + "}"));
    auto [open40, close40] = nets(40);
    // Not reported as a damaged file: the description is sound, only too deep.
    EXPECT_FALSE(Build("Model m { " + open40 + close40 + "}"));
    EXPECT_EQ(PeekLastErrorCode(), 403u);
    EXPECT_NE(KernelTextToUtf8(GetLastErrorInfo()).find("вложенность глубже 20 уровней"), std::string::npos)
        << KernelTextToUtf8(GetLastErrorInfo());
    EXPECT_EQ(ModelComponents(), 0);

    // Depth reached through classes counts as well.
    EXPECT_FALSE(Build("class Deep : Net { " + open10 + close10 + "} class Deeper : Net { Deep d { } } "
                       "Model m { Net top { " + open10 + "Deeper x { } " + close10 + "} }"));
    EXPECT_EQ(PeekLastErrorCode(), 403u);
}

TEST_F(ProcessorTest, ClassesDoublingInSizeAreStoppedAtTheObjectBound) {
    env.SetMaxLiveObjects(static_cast<std::size_t>(NBasicDescription::GetInstanceCount()) + 5000);
    std::string text = "class C0 : Net { Neuron a { } Neuron b { } } ";
    for (int i = 1; i < 40; ++i)
        text += "class C" + std::to_string(i) + " : Net { C" + std::to_string(i - 1) + " a { } C" +
                std::to_string(i - 1) + " b { } } ";
    EXPECT_FALSE(Build(text + "Model m { C39 top { } }"));
    EXPECT_EQ(PeekLastErrorCode(), 403u);
    EXPECT_TRUE(env.GetUserClasses().empty());
}

TEST_F(ProcessorTest, BuildClassesRemovesTheClassDeclarations) {
    NParserRecordList records;
    ASSERT_TRUE(Parse("class A : Net { Neuron x { } } Model m { A a1 { } }", records));
    ASSERT_TRUE(env.BuildClasses(records));
    // The class's block close stays behind; everything before it went.
    ASSERT_EQ(records.size(), 7u);
    EXPECT_EQ(records.front()->GetKind(), ParserKindBlockClose);
    EXPECT_EQ((*std::next(records.begin()))->GetName(), "m");
}

} // namespace
} // namespace talvero
