// talvero-batch's refusals say what was refused and why, in words a model author can act on.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"

#include "BatchTestSupport.h"

namespace fs = std::filesystem;
using batch_test::Result;

namespace {

class BatchMessagesTest : public batch_test::BatchFolderTest {
protected:
    Result Run(const std::string& args) { return RunCommand("cd '" + Dir.string() + "' &&", args); }

    fs::path Write(const std::string& name, const std::string& text) {
        const fs::path path = Dir / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // A failed run (status 1) whose message holds every one of `parts` and none of `absent`.
    void ExpectRefusal(const std::string& args, const std::vector<std::string>& parts,
                       const std::vector<std::string>& absent = {}) {
        const Result r = Run(args);
        EXPECT_EQ(r.Status, 1) << args << "\n" << r.Err;
        for (const std::string& part : parts) EXPECT_NE(r.Err.find(part), std::string::npos) << args << ": " << part << "\n" << r.Err;
        for (const std::string& part : absent) EXPECT_EQ(r.Err.find(part), std::string::npos) << args << ": " << part << "\n" << r.Err;
    }
};

const char* const kSources =
    "Model m {\n"
    "  Generator drive { parameter Frequency = 40; }\n"
    "  FrequencyWatch fw { }\n"
    "  ATimeWatch aw { }\n"
    "}\n";

TEST_F(BatchMessagesTest, RefusedParametersNameObjectParameterValueAndAdmissibleValues) {
    Write("m.tv", kSources);
    const struct {
        const char* Args;
        std::vector<std::string> Parts;
    } cases[] = {
        {"--set drive.Nope=1", {"Ошибка 20 ", "m.drive", "нет параметра 'Nope'", "StartTime, StopTime, Frequency"}},
        {"--set a.b..K=1", {"Ошибка 3 ", "a.b.", "не найден"}},
        // What the reference admits and what the code takes agree: these limits are in both.
        {"--set fw.FrequencyStep=1e-4", {"Ошибка 21 ", "m.fw.FrequencyStep = 0.0001", "a million bins"}},
        {"--set aw.LastOutIndex=1e5", {"Ошибка 21 ", "m.aw.LastOutIndex = 100000", "1024 channels"}},
        {"--set aw.WatchStep=-1", {"m.aw.WatchStep = -1", ">= 0"}},
        {"--set drive.Frequency=600", {"m.drive.Frequency = 600", "1 / (2 x pulse duration)", "импульса 0.001 с"}},
        // Checked against the pulse duration of the run, set before the values.
        {"--pulse 0.01 --set drive.Frequency=60", {"m.drive.Frequency = 60", "импульса 0.01 с"}},
        {"--pulse 1", {"Ошибка 21 ", "длительность импульса 1 с", "m.drive", "Frequency = 40", "0.0125"}},
        {"--pulse 0.05", {"длительность импульса 0.05 с", "m.drive"}},
    };
    for (const auto& c : cases) ExpectRefusal(std::string(c.Args) + " -n 10 m.tv", c.Parts, {"[  ]"});
    EXPECT_EQ(Run("--pulse 0.01 -n 10 m.tv").Status, 0);
    EXPECT_EQ(Run("--pulse 0.012 --set drive.Frequency=39 -n 10 m.tv").Status, 0);
}

TEST_F(BatchMessagesTest, ATimeStepAMuscleCannotTakeIsNamedWithTheLargestOneItTakes) {
    Write("leg.tv", "Model m {\n  Net n { Muscle leg { } }\n}\n");
    const Result refused = Run("--dt 1 -n 1 leg.tv");
    ASSERT_EQ(refused.Status, 1) << refused.Err;
    const std::string marker = "наибольший допустимый шаг ";
    const auto at = refused.Err.find(marker);
    ASSERT_NE(at, std::string::npos) << refused.Err;
    EXPECT_NE(refused.Err.find("шаг по времени 1 с"), std::string::npos) << refused.Err;
    EXPECT_NE(refused.Err.find("m.n.leg"), std::string::npos) << refused.Err;
    const std::string largest = refused.Err.substr(at + marker.size(), refused.Err.find(' ', at + marker.size()) - at - marker.size());
    // The step offered is one the model takes, and not far below the first it refuses.
    EXPECT_EQ(Run("--dt " + largest + " -n 1 leg.tv").Status, 0) << largest;
    ExpectRefusal("--dt " + std::to_string(std::strtod(largest.c_str(), nullptr) * 1.01) + " -n 1 leg.tv", {marker});
}

TEST_F(BatchMessagesTest, NamesAndClassesDeclaredTwiceAreRefusedWithBothPlaces) {
    const struct {
        const char* Source;
        std::vector<std::string> Parts;
    } cases[] = {
        {"Model m {\n  TimeWatch w { }\n  TimeWatch w { }\n}\n",
         {"Ошибка 403 ", "имя w уже занято", "main.tv:2:3", "main.tv:3:3: w"}},
        {"Model m {\n  Net n {\n    Neuron a { }\n    Neuron b { }\n    Neuron a { }\n  }\n}\n",
         {"Ошибка 403 ", "m.n: имя a уже занято", "main.tv:3:5", "main.tv:5:5: a"}},
        {"class A : Neuron { }\nclass A : Net { }\nModel m { }\n", {"Ошибка 403 ", "класс A уже есть", "main.tv:1:1", "main.tv:2:1: A"}},
        {"class Neuron : Net { }\nModel m { }\n", {"Ошибка 403 ", "класс Neuron уже есть", "встроенный класс", "main.tv:1:1"}},
    };
    for (const auto& c : cases) {
        Write("main.tv", c.Source);
        ExpectRefusal("-n 1 main.tv", c.Parts, {"401"});
        ExpectRefusal("--classes main.tv", c.Parts);
    }
}

TEST_F(BatchMessagesTest, DetailsShowWordsOfAUtf8DescriptionAsWritten) {
    Write("ru.tv", "Model m {\n  Net мотонейрон{ }\n}\n");
    ExpectRefusal("-n 1 ru.tv", {"[ мотонейрон{ ]", "ru.tv:2:7: мотонейрон"}, {"Рј"});
}

TEST_F(BatchMessagesTest, AnIncludedFileThatIsNoModelIsNamedButNotShown) {
    Write("secret.txt", "root:topsecret:0:0\nmore lines\n");
    Write("main.tv", "Model m {\n  include \"secret.txt\"\n}\n");
    ExpectRefusal("-n 1 main.tv", {"secret.txt", "main.tv:2: include"}, {"topsecret", "root"});
    // A model file included is still shown where it is wrong.
    Write("cells.tv", "Net n { }\nNeuron a {\n  parameter x;\n}\n");
    Write("main.tv", "Model m {\n  include \"cells.tv\"\n}\n");
    ExpectRefusal("-n 1 main.tv", {"cells.tv:3", "included from"});
}

TEST_F(BatchMessagesTest, TheIncludeDepthLimitIsNamed) {
    for (int i = 0; i < 70; ++i)
        Write("f" + std::to_string(i) + ".tv", "include \"f" + std::to_string(i + 1) + ".tv\"\n");
    Write("f70.tv", "Model m { }\n");
    ExpectRefusal("-n 1 f0.tv", {"Ошибка 201 ", "64"});
}

TEST_F(BatchMessagesTest, AnAbsoluteModelFileNameInAProjectIsUsedAsItIs) {
    const fs::path source = Write("models/m.tv", kSources);
    const fs::path binary = Dir / "models" / "m.btv";
    talvero::NEnvironment environment;
    talvero::RegisterBuiltinClasses(environment);
    ASSERT_TRUE(environment.Compile(source.string(), binary.string()));
    Write("projects/p.tvp", "[System]\nModelFileName=" + binary.string() + "\n");
    const Result r = Run("-n 10 projects/p.tvp");
    EXPECT_EQ(r.Status, 0) << r.Err;
}

} // namespace
