// The environment: its error table, its life cycle through Compile, LoadModel, Clear and SetModel,
// and the built-in class registry.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <vector>

#include "LanguageTestSupport.h"
#include "elements/NSimpleAConnector.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/Cp1251.h"
#include "kernel/NClock.h"
#include "sources/NGenerator.h"

namespace talvero {
namespace {

using test::TempDir;

const char* const kSpontaneousModel =
    "Model m {\n"
    "  Net net1 { Neuron cellA { IonUnit u1 { } } }\n"
    "  TimeWatch w { }\n"
    "  link net1.cellA:w.input;\n"
    "}\n";

class EnvironmentTest : public ::testing::Test {
protected:
    void SetUp() override { RegisterBuiltinClasses(env); }

    // Compiles `description` into dir and returns the binary file's name.
    std::string CompileText(const std::string& description, const std::string& name = "model") {
        const std::string source = dir.Write(name + ".tv", description);
        const std::string binary = dir.File(name + ".btv");
        EXPECT_TRUE(env.Compile(source, binary)) << PeekLastErrorCode() << " " << GetLastErrorInfo();
        return binary;
    }

    int ModelComponents() {
        NStringList names;
        env.GetModel()->GetComponentsList(names);
        return static_cast<int>(names.size());
    }

    TempDir dir;
    NEnvironment env;
};

TEST(EnvironmentErrors, EveryRowIsRegisteredWithItsLevel) {
    NEnvironment env;
    const auto& table = GetErrorTable();
    std::vector<std::uint32_t> codes = {111, 112, 300, 301};
    for (std::uint32_t c = 200; c <= 221; ++c) codes.push_back(c);
    for (std::uint32_t c = 400; c <= 414; ++c) codes.push_back(c);
    for (std::uint32_t code : codes) {
        auto it = table.find(code);
        ASSERT_NE(it, table.end()) << code;
        const std::string& level = it->second.GetLevel();
        const char* expected = code < 200   ? "Environment"
                               : code < 300 ? "Environment - Preprocessor"
                               : code < 400 ? "Environment - BinaryModelFileAnalyzer"
                                            : "Environment - Processor";
        EXPECT_EQ(level, expected) << code;
        EXPECT_EQ(it->second.GetType(), 1) << code;
        EXPECT_EQ(it->second.GetMessage().empty(), code == 400) << code;
    }
    EXPECT_EQ(table.count(113), 0u);
    EXPECT_EQ(table.count(222), 0u);
    EXPECT_TRUE(table.at(400).GetMessage().empty());
    EXPECT_EQ(table.at(300).GetMessage(), Utf8ToCp1251("Двоичный файл описания модели повреждён"));
    EXPECT_EQ(table.at(200).GetMessage(), Utf8ToCp1251("Синтаксическая ошибка: пропущен обязателный пробел"));
    EXPECT_EQ(table.at(413).GetMessage(), Utf8ToCp1251("Невозможно объявить выход"));

    // A row that nothing reports can still be taken.
    ReportError(409, "x");
    const NError taken = TakeLastError();
    EXPECT_EQ(taken.GetCode(), 409u);
    EXPECT_EQ(taken.GetMessage(), Utf8ToCp1251("Невозможно объявить вход"));
}

TEST(BuiltinClasses, RegistryHoldsTheEighteenPrototypesInOrderWithTheirOwners) {
    NEnvironment env;
    RegisterBuiltinClasses(env);
    const NPrototypeList& registry = env.GetClassRegistry();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Net", ""},           {"Neuron", "Net"},          {"NerveFibre", "Net"},      {"AfferentNeuron", "Net"},
        {"LTZone", "Neuron"},  {"IonUnit", "Neuron"},      {"Synapse", "IonUnit"},     {"SimpleConnector", "Neuron"},
        {"Generator", "Net"},  {"TimeWatch", "Net"},       {"FrequencyWatch", "Net"},  {"SimpleAConnector", "Neuron"},
        {"SimpleAItem", "Net"}, {"ASinusGenerator", "Net"}, {"AStepGenerator", "Net"}, {"ATimeWatch", "Net"},
        {"Muscle", "Net"},     {"EyeMuscle", "Net"},
    };
    ASSERT_EQ(registry.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(registry[i]->GetName(), expected[i].first);
        const NBasicDescription* owner = registry[i]->GetOwner();
        if (expected[i].second.empty()) {
            EXPECT_EQ(owner, env.GetModel());
        } else {
            ASSERT_NE(owner, nullptr) << expected[i].first;
            EXPECT_EQ(owner, env.FindPrototype(expected[i].second)) << expected[i].first;
        }
    }
    std::vector<std::string> names;
    for (const auto& entry : expected) names.push_back(entry.first);
    EXPECT_EQ(BuiltinClassNames(), names);

    auto* analog = dynamic_cast<NSimpleAConnector*>(env.FindPrototype("SimpleAConnector"));
    ASSERT_NE(analog, nullptr);
    EXPECT_EQ(analog->GetInputsCount(), 1u);
    // The prototypes stand beside their owners, not inside them.
    EXPECT_EQ(env.GetModel()->GetNet(), nullptr);

    // Registering again adds nothing.
    RegisterBuiltinClasses(env);
    EXPECT_EQ(env.GetClassRegistry().size(), expected.size());
}

TEST_F(EnvironmentTest, CompiledDescriptionLoadsIntoAModelThatComputes) {
    const std::string binary = CompileText(kSpontaneousModel);
    ASSERT_TRUE(env.LoadModel(binary));
    EXPECT_TRUE(env.IsModelLoaded());
    EXPECT_EQ(env.GetModelFileName(), "model.btv");
    NModel* model = env.GetModel();
    EXPECT_STREQ(model->GetName(), "m");
    ASSERT_EQ(model->GetOutGatesCount(), 1);

    SetActiveModel(model);
    ResetActiveModel();
    // A neuron with one default ion unit fires on its own, first in step 23.
    for (int step = 0; step < 30; ++step) StepActiveModel();
    const NAbstractOutGate& watch = **model->GetOutGatesBegin();
    std::vector<double> x(watch.GetXBegin(), watch.GetXEnd());
    std::vector<double> y(watch.GetYBegin(), watch.GetYEnd());
    SetActiveModel(nullptr);
    ASSERT_EQ(x.size(), y.size());
    auto firstPulse = std::find(y.begin(), y.end(), 1.0);
    ASSERT_NE(firstPulse, y.end());
    EXPECT_NEAR(x[static_cast<std::size_t>(firstPulse - y.begin())], 22 * 0.0001, 1e-9);
}

TEST_F(EnvironmentTest, ModelFileNameDropsTheDirectoryAtEitherSeparator) {
    const std::string binary = CompileText(kSpontaneousModel);
    ASSERT_TRUE(env.LoadModel(binary));
    EXPECT_EQ(env.GetModelFileName(), "model.btv");

    // A backslash is an ordinary character of a name here, so the file really has this name.
    const std::string windowsLike = dir.Write("C:\\p\\model.btv", dir.Read("model.btv"));
    ASSERT_TRUE(env.LoadModel(windowsLike));
    EXPECT_EQ(env.GetModelFileName(), "model.btv");

    test::CurrentDirectory here(dir.Name());
    ASSERT_TRUE(env.LoadModel("model.btv"));
    EXPECT_EQ(env.GetModelFileName(), "model.btv");
}

// Loading again into the same model recorded every top-level link a second time.
TEST_F(EnvironmentTest, LoadingAgainRecordsEachLinkOnce) {
    const std::string binary = CompileText(kSpontaneousModel);
    for (int load = 0; load < 3; ++load) {
        ASSERT_TRUE(env.LoadModel(binary));
        NLinksMap links;
        env.GetModel()->GetLinks(links);
        EXPECT_EQ(links.size(), 1u) << "load " << load;
    }
}

TEST_F(EnvironmentTest, FailedLoadLeavesTheModelEmptyAndNotLoaded) {
    const std::string good = CompileText("class Slow : ASinusGenerator { parameter Frequency = 2; }\n"
                                         "Model m { Net net1 { Neuron a { } } Slow s { } }\n");
    ASSERT_TRUE(env.LoadModel(good));
    ASSERT_EQ(env.GetUserClasses().size(), 1u);

    EXPECT_FALSE(env.LoadModel(dir.File("missing.btv")));
    EXPECT_EQ(PeekLastErrorCode(), 111u);
    EXPECT_EQ(GetLastErrorInfo(), dir.File("missing.btv"));
    EXPECT_EQ(ModelComponents(), 0);
    EXPECT_FALSE(env.IsModelLoaded());
    EXPECT_EQ(env.GetModelFileName(), "");
    EXPECT_TRUE(env.GetUserClasses().empty());

    // A failure while building: the declared name stays, nothing else.
    ASSERT_TRUE(env.LoadModel(good));
    const std::string bad = CompileText("class Slow : ASinusGenerator { }\n"
                                        "Model broken { Net net1 { Neuron a { } } Slow s { parameter Nope = 1; } }\n",
                                        "bad");
    EXPECT_FALSE(env.LoadModel(bad));
    EXPECT_EQ(PeekLastErrorCode(), 402u);
    EXPECT_EQ(ModelComponents(), 0);
    EXPECT_STREQ(env.GetModel()->GetName(), "broken");
    EXPECT_FALSE(env.IsModelLoaded());
    EXPECT_TRUE(env.GetUserClasses().empty());
}

TEST_F(EnvironmentTest, CompileLeavesTheModelAlone) {
    ASSERT_TRUE(env.LoadModel(CompileText(kSpontaneousModel)));
    CompileText("Model other { }", "other");
    EXPECT_TRUE(env.IsModelLoaded());
    EXPECT_STREQ(env.GetModel()->GetName(), "m");

    const std::string source = dir.Write("unpaired.tv", "Model m { }\n}\n");
    EXPECT_FALSE(env.Compile(source, dir.File("unpaired.btv")));
    const NError error = TakeLastError();
    EXPECT_EQ(error.GetCode(), 202u);
    EXPECT_EQ(error.GetLevel(), "Environment - Preprocessor");
    EXPECT_TRUE(env.IsModelLoaded());
}

TEST_F(EnvironmentTest, ClearEmptiesTheModelButKeepsItsName) {
    NEnvironment fresh;
    EXPECT_STREQ(fresh.GetModel()->GetName(), "Empty");
    EXPECT_FALSE(fresh.IsModelLoaded());
    EXPECT_TRUE(fresh.GetClassRegistry().empty());

    ASSERT_TRUE(env.LoadModel(CompileText("class C : Net { }\nModel m { C net1 { } }\n")));
    NModel* model = env.GetModel();
    env.Clear();
    EXPECT_EQ(env.GetModel(), model);
    EXPECT_STREQ(model->GetName(), "m");
    EXPECT_EQ(ModelComponents(), 0);
    EXPECT_TRUE(env.GetUserClasses().empty());
    EXPECT_FALSE(env.IsModelLoaded());
    EXPECT_EQ(env.GetModelFileName(), "");
}

TEST_F(EnvironmentTest, SetModelRefusesNullAndKeepsThePrototypesOwned) {
    NModel* original = env.GetModel();
    EXPECT_FALSE(env.SetModel(nullptr));
    EXPECT_EQ(env.GetModel(), original);
    EXPECT_TRUE(env.SetModel(original));
    EXPECT_EQ(env.GetModel(), original);

    ASSERT_TRUE(env.LoadModel(CompileText("class Pair : Net { Neuron a { } }\nModel m { Pair net1 { } }\n")));
    auto* replacement = new NModel("replacement");
    ASSERT_TRUE(env.SetModel(replacement)) << PeekLastErrorCode() << " " << GetLastErrorInfo();
    EXPECT_EQ(env.GetModel(), replacement);
    EXPECT_FALSE(env.IsModelLoaded());
    EXPECT_TRUE(env.GetUserClasses().empty());
    NBasicDescription* net = env.FindPrototype("Net");
    EXPECT_EQ(net->GetOwner(), replacement);
    EXPECT_EQ(env.FindPrototype("Neuron")->GetOwner(), net);
    EXPECT_EQ(env.FindPrototype("Synapse")->GetOwner(), env.FindPrototype("IonUnit"));
    EXPECT_EQ(env.GetClassRegistry().size(), 18u);

    // Classes of nets take the new model as owner; loading works on the new model.
    ASSERT_TRUE(env.LoadModel(CompileText("class Pair : Net { Neuron a { } }\nModel again { Pair net1 { } }\n", "again")));
    EXPECT_EQ(env.GetModel(), replacement);
    EXPECT_EQ(env.GetUserClasses()[0]->GetOwner(), replacement);
    EXPECT_NE(replacement->GetComponent("net1.a"), nullptr);
}

TEST_F(EnvironmentTest, SetModelThatCannotHostAPrototypeChangesNothing) {
    // A prototype of no built-in class can only be cloned below the new model, and a model whose
    // source bears its name refuses that.
    env.GetClassRegistry().emplace_back(new NNet(env.GetModel(), "Custom"));
    auto replacement = std::make_unique<NModel>("replacement");
    ASSERT_TRUE(replacement->AddComponent(new NGenerator(replacement.get(), "Custom")));
    NModel* original = env.GetModel();
    NBasicDescription* net = env.FindPrototype("Net");
    EXPECT_FALSE(env.SetModel(replacement.get()));
    EXPECT_EQ(PeekLastErrorCode(), 2u);
    EXPECT_EQ(env.GetModel(), original);
    EXPECT_EQ(env.FindPrototype("Net"), net);
    EXPECT_EQ(net->GetOwner(), original);

    // Without the clash the custom prototype moves along.
    auto* accepting = new NModel("accepting");
    ASSERT_TRUE(env.SetModel(accepting));
    EXPECT_EQ(env.FindPrototype("Custom")->GetOwner(), accepting);
    EXPECT_NE(dynamic_cast<NNet*>(env.FindPrototype("Custom")), nullptr);
}

} // namespace
} // namespace talvero

namespace talvero {
namespace {

void ExpectNonFiniteRefused(NBasicDescription* object, int& checked) {
    NStringList parameters;
    object->GetParametersList(parameters);
    for (const std::string& name : parameters) {
        if (name == "WatchType") continue;  // read-only: refused whatever the value
        const double before = object->GetParameter(name.c_str());
        for (double value : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()}) {
            ReportError(0);
            EXPECT_FALSE(object->SetParameter(name.c_str(), value)) << object->FullName() << "." << name;
            EXPECT_EQ(PeekLastErrorCode(), 21u) << object->FullName() << "." << name;
            EXPECT_EQ(GetLastErrorInfo(), object->FullName()) << name;
            const double after = object->GetParameter(name.c_str());
            EXPECT_TRUE(after == before || (after != after && before != before)) << object->FullName() << "." << name;
        }
        ++checked;
    }
    NStringList components;
    object->GetComponentsList(components);
    for (const std::string& name : components) ExpectNonFiniteRefused(object->GetComponent(name.c_str()), checked);
}

TEST_F(EnvironmentTest, NoParameterOfAnyClassTakesAValueThatIsNotFinite) {
    const char* root = std::getenv("TALVERO_SOURCE_DIR");
    ASSERT_NE(root, nullptr);
    ASSERT_TRUE(env.Compile(std::string(root) + "/examples/all_classes.tv", dir.File("all.btv")));
    ASSERT_TRUE(env.LoadModel(dir.File("all.btv")));
    int checked = 0;
    ExpectNonFiniteRefused(env.GetModel(), checked);
    EXPECT_GT(checked, 60);
}

} // namespace
} // namespace talvero
