// End-to-end tests of talvero-batch, run as a user runs it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"

#include "BatchTestSupport.h"

namespace fs = std::filesystem;
using batch_test::ReadFile;
using batch_test::Result;

namespace {

class BatchTest : public batch_test::BatchFolderTest {
protected:
    // Runs the command in `cwd` with the given argument text (already quoted where needed).
    Result Run(const std::string& args, const fs::path& cwd = {}) {
        return RunCommand(cwd.empty() ? std::string() : "cd '" + cwd.string() + "' &&", args);
    }

    fs::path Write(const std::string& name, const std::string& text) {
        const fs::path path = Dir / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// gate -> list of (x, y); fails the test on a malformed or non-finite line.
std::map<std::string, std::vector<std::pair<double, double>>> ParseCsv(const std::string& text) {
    std::map<std::string, std::vector<std::pair<double, double>>> data;
    const auto lines = Lines(text);
    EXPECT_FALSE(lines.empty());
    if (lines.empty()) return data;
    EXPECT_EQ(lines[0], "gate,x,y");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto c1 = lines[i].find(',');
        const auto c2 = lines[i].find(',', c1 + 1);
        EXPECT_NE(c2, std::string::npos) << lines[i];
        if (c2 == std::string::npos) continue;
        std::size_t used = 0;
        const std::string xs = lines[i].substr(c1 + 1, c2 - c1 - 1);
        const std::string ys = lines[i].substr(c2 + 1);
        const double x = std::stod(xs, &used);
        EXPECT_EQ(used, xs.size()) << lines[i];
        const double y = std::stod(ys, &used);
        EXPECT_EQ(used, ys.size()) << lines[i];
        EXPECT_TRUE(std::isfinite(x) && std::isfinite(y)) << lines[i];
        data[lines[i].substr(0, c1)].emplace_back(x, y);
    }
    return data;
}

// Steps (1-based) in which a pulse time watch's value rises to 1, at time step dt.
std::vector<long> PulseSteps(const std::vector<std::pair<double, double>>& points, double dt) {
    std::vector<long> steps;
    double previous = 0;
    for (const auto& [x, y] : points) {
        if (y != 0 && previous == 0) steps.push_back(std::lround(x / dt) + 1);
        previous = y;
    }
    return steps;
}

const char* kOneNeuron =
    "Model m {\n"
    "Net net {\n"
    "Neuron cell { IonUnit u1 { Synapse s1 { } } }\n"
    "}\n"
    "TimeWatch w { }\n"
    "link net.cell:w.input;\n"
    "}\n";

} // namespace

TEST_F(BatchTest, EveryExampleChecksAndRunsWithFiniteWellFormedOutput) {
    const fs::path examples = TALVERO_EXAMPLES;
    int count = 0;
    for (const auto& entry : fs::directory_iterator(examples)) {
        if (entry.path().extension() != ".tv") continue;
        const std::string text = ReadFile(entry.path());
        if (text.find("Model ") == std::string::npos) continue;  // an include-only file
        ++count;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string name = "'" + entry.path().filename().string() + "'";
        Result check = Run("--check " + name, examples);
        EXPECT_EQ(check.Status, 0) << check.Err;
        EXPECT_EQ(check.Out, "OK\n");
        Result run = Run("-q -n 3000 " + name, examples);
        ASSERT_EQ(run.Status, 0) << run.Err;
        const auto data = ParseCsv(run.Out);
        EXPECT_FALSE(data.empty());
    }
    EXPECT_GE(count, 4);
}

TEST_F(BatchTest, DefaultNeuronPulsesAtTheKnownSteps) {
    const fs::path model = Write("one.tv", kOneNeuron);
    Result r = Run("-q -n 300 '" + model.string() + "'");
    ASSERT_EQ(r.Status, 0) << r.Err;
    const auto steps = PulseSteps(ParseCsv(r.Out)["w"], 0.0001);
    ASSERT_GE(steps.size(), 7u);
    EXPECT_EQ(std::vector<long>(steps.begin(), steps.begin() + 7), (std::vector<long>{23, 84, 117, 148, 176, 202, 227}));
}

TEST_F(BatchTest, SetReachesASynapseInsideANeuronOfANet) {
    const fs::path model = Write("one.tv", kOneNeuron);
    Result r = Run("--tree --set net.cell.u1.s1.K=0.7 --set net.cell.u1.MaxIntensity=-0.25 '" + model.string() + "'");
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("net.cell.u1.s1 SecretionTC=0.001 DissociationTC=0.005 K=0.7 Ri=5e+09 Rs=1e+07"),
              std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("net.cell.u1 R=8e+06 C=2.5e-09 MaxIntensity=-0.25"), std::string::npos) << r.Out;

    // A refused value and an unknown object are model errors with the kernel's message.
    Result refused = Run("--set net.cell.u1.MaxIntensity=2 '" + model.string() + "'");
    EXPECT_EQ(refused.Status, 1);
    EXPECT_EQ(Lines(refused.Err).at(0).rfind("Ошибка 21 Kernel Level 1: ", 0), 0u) << refused.Err;
    EXPECT_EQ(Lines(refused.Err).at(1), "[ m.net.cell.u1.MaxIntensity = 2: значение вне допустимых (-1 to 1) ]");
    Result missing = Run("--set net.nobody.K=1 '" + model.string() + "'");
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(Lines(missing.Err).at(0).rfind("Ошибка 3 Kernel Level 1: ", 0), 0u) << missing.Err;
}

TEST_F(BatchTest, AProjectsChangedParametersApplyBeforeSet) {
    const fs::path model = Write("one.tv", kOneNeuron);
    fs::create_directories(Dir / "proj");
    {
        talvero::NEnvironment environment;
        ASSERT_TRUE(environment.Compile(model.string(), (Dir / "proj" / "one.btv").string()));
    }
    const auto project = [&](const std::string& parameters) {
        const fs::path path = Dir / "proj" / "one.tvp";
        std::ofstream(path) << "[System]\nModelFileName=one.btv\n[Parameters]\n" << parameters;
        return "'" + path.string() + "'";
    };
    Result r = Run("--tree --set net.cell.u1.MaxIntensity=-0.25 " +
                   project("net.cell.u1.s1.K=0.7\nnet.cell.u1.MaxIntensity=0.5\n"));
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find(" K=0.7 "), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("MaxIntensity=-0.25"), std::string::npos) << r.Out;

    Result refused = Run("--check " + project("net.cell.u1.MaxIntensity=2\n"));
    EXPECT_EQ(refused.Status, 1);
    EXPECT_NE(refused.Err.find("net.cell.u1.MaxIntensity"), std::string::npos) << refused.Err;
}

TEST_F(BatchTest, TreeListsObjectsDepthFirstWithParametersInClassOrder) {
    const fs::path model = Write("one.tv", kOneNeuron);
    Result r = Run("--tree '" + model.string() + "'");
    ASSERT_EQ(r.Status, 0) << r.Err;
    const auto lines = Lines(r.Out);
    ASSERT_EQ(lines.size(), 8u) << r.Out;
    EXPECT_EQ(lines[0], "m");
    EXPECT_EQ(lines[1], "w WatchState=1 StartTime=0 StopTime=0 WatchInterval=0");
    EXPECT_EQ(lines[2], "w.input");
    EXPECT_EQ(lines[3], "net");
    EXPECT_EQ(lines[4], "net.cell");
    EXPECT_EQ(lines[5].rfind("net.cell.LTZone PT1=", 0), 0u);
    EXPECT_EQ(lines[6], "net.cell.u1 R=8e+06 C=2.5e-09 MaxIntensity=1");
    EXPECT_EQ(lines[7], "net.cell.u1.s1 SecretionTC=0.001 DissociationTC=0.005 K=0.5 Ri=5e+09 Rs=1e+07");
}

TEST_F(BatchTest, BrokenModelExitsOneWithTheTwoLineMessage) {
    const fs::path model = Write("broken.tv", "Model m {\n}\n}\n");
    Result r = Run("'" + model.string() + "'");
    EXPECT_EQ(r.Status, 1);
    const auto lines = Lines(r.Err);
    ASSERT_EQ(lines.size(), 3u) << r.Err;
    EXPECT_EQ(lines[0],
              "Ошибка 202 Environment - Preprocessor: Синтаксическая ошибка: закрывающая скобка '}' не имеет пары");
    EXPECT_EQ(lines[1], "[ } ]");
    // The third line in the form editors jump to.
    EXPECT_EQ(lines[2], model.string() + ":3:1: }");
    EXPECT_TRUE(r.Out.empty());

    Result unknownType = Run("'" + Write("foo.tv", "Model m { Foo x { } }").string() + "'");
    EXPECT_EQ(unknownType.Status, 1);
    EXPECT_EQ(Lines(unknownType.Err).at(0), "Ошибка 401 Environment - Processor: Тип объекта не найден");
    EXPECT_EQ(Lines(unknownType.Err).at(1), "[ Foo ]");

    Result missingFile = Run("'" + (Dir / "absent.btv").string() + "'");
    EXPECT_EQ(missingFile.Status, 1);
    EXPECT_EQ(Lines(missingFile.Err).at(0).rfind("Ошибка 111 Environment: ", 0), 0u) << missingFile.Err;
}

TEST_F(BatchTest, ClassesListEveryBuiltinClassAndAModelsOwn) {
    Result builtins = Run("--classes");
    ASSERT_EQ(builtins.Status, 0) << builtins.Err;
    talvero::NEnvironment environment;
    // Every parameter of every class, in the class's order.
    for (const std::string& name : talvero::BuiltinClassNames()) {
        const auto start = builtins.Out.find("### " + name + "\n");
        ASSERT_NE(start, std::string::npos) << name;
        const std::string section = builtins.Out.substr(start, builtins.Out.find("### ", start + 4) - start);
        std::unique_ptr<talvero::NBasicDescription> prototype(talvero::MakeBuiltinPrototype(name, environment.GetModel()));
        ASSERT_NE(prototype, nullptr) << name;
        talvero::NStringList parameters;
        prototype->GetParametersList(parameters);
        std::size_t at = 0;
        for (const std::string& parameter : parameters) {
            at = section.find("| `" + parameter + "` |", at);
            EXPECT_NE(at, std::string::npos) << name << "." << parameter;
        }
    }
    EXPECT_NE(builtins.Out.find("| `MaxIntensity` | 1 | - | -1 to 1 |"), std::string::npos) << builtins.Out;
    EXPECT_NE(builtins.Out.find("| `Frequency` | 0 | Hz | >= 0 |"), std::string::npos);

    // Run from elsewhere: its include is found beside it.
    Result own = Run("--classes '" + (fs::path(TALVERO_EXAMPLES) / "user_classes.tv").string() + "'", Dir);
    ASSERT_EQ(own.Status, 0) << own.Err;
    EXPECT_NE(own.Out.find("### FastFibre\n\nUser class; parent: NerveFibre.\n\nComponents: `input` (SimpleConnector)."
                           "\n\n| parameter | default | unit | admissible values |\n|---|---|---|---|\n"
                           "| `TimeDelay` | 0.002 | s | >= 0 |"),
              std::string::npos)
        << own.Out;
    EXPECT_NE(own.Out.find("`exc` (IonUnit), `inh` (IonUnit)"), std::string::npos);
}

// Regenerate with scripts/update-language-doc.sh.
TEST_F(BatchTest, TheLanguageDocumentHoldsTheCurrentClassReference) {
    const std::string doc = ReadFile(TALVERO_DOCS "/language.md");
    const std::string begin = "<!-- classes:begin -->\n";
    const auto from = doc.find(begin);
    const auto to = doc.find("<!-- classes:end -->");
    ASSERT_TRUE(from != std::string::npos && to != std::string::npos);
    Result classes = Run("--classes");
    ASSERT_EQ(classes.Status, 0) << classes.Err;
    EXPECT_EQ(doc.substr(from + begin.size(), to - from - begin.size()), classes.Out)
        << "docs/language.md is out of date: run scripts/update-language-doc.sh";
}

TEST_F(BatchTest, WrongCommandLinesExitTwoWithAUsageHint) {
    const fs::path model = Write("one.tv", kOneNeuron);
    for (const std::string& args : {"--bogus '" + model.string() + "'", std::string("--dt 0 '") + model.string() + "'",
                                   std::string("--pulse -1 '") + model.string() + "'",
                                   std::string("--set net.cell.u1.R '") + model.string() + "'",
                                   std::string("-n abc '") + model.string() + "'", std::string(""),
                                   std::string("-n 5 -t 1 '") + model.string() + "'",
                                   std::string("--threads -1 '") + model.string() + "'",
                                   std::string("--threads 257 '") + model.string() + "'",
                                   std::string("--threads 2.5 '") + model.string() + "'",
                                   std::string("'") + Write("model.txt", "").string() + "'"}) {
        SCOPED_TRACE(args);
        Result r = Run(args);
        EXPECT_EQ(r.Status, 2);
        EXPECT_NE(r.Err.find("usage: talvero-batch"), std::string::npos) << r.Err;
    }
    EXPECT_EQ(Run("--help").Status, 0);
    EXPECT_EQ(Run("--version").Status, 0);
}

TEST_F(BatchTest, TimeAndStepsAgreeAndTheTimeStepApplies) {
    const fs::path model = Write("one.tv", kOneNeuron);
    Result bySteps = Run("-q -n 1000 '" + model.string() + "'");
    Result byTime = Run("-q -t 0.1 '" + model.string() + "'");
    ASSERT_EQ(bySteps.Status, 0);
    EXPECT_EQ(bySteps.Out, byTime.Out);

    Result coarse = Run("-q -t 0.1 --dt 0.0002 '" + model.string() + "'");
    Result coarseSteps = Run("-q -n 500 --dt 0.0002 '" + model.string() + "'");
    ASSERT_EQ(coarse.Status, 0);
    EXPECT_EQ(coarse.Out, coarseSteps.Out);
    EXPECT_NE(coarse.Out, byTime.Out);
}

TEST_F(BatchTest, OutDirectoryWatchFilterAndProjectFiles) {
    const fs::path model = Write("two.tv",
                                 "Model m {\n"
                                 "Net net { Neuron a { IonUnit u { } } Neuron b { IonUnit u { } } }\n"
                                 "TimeWatch wa { }\nTimeWatch wb { }\n"
                                 "link net.a:wa.input;\nlink net.b:wb.input;\n}\n");
    const fs::path out = Dir / "csv";
    Result r = Run("-q -n 200 --watch wb -o '" + out.string() + "' '" + model.string() + "'");
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(r.Out.empty());
    EXPECT_FALSE(fs::exists(out / "wa.csv"));
    const std::string wb = ReadFile(out / "wb.csv");
    EXPECT_EQ(wb.rfind("x,y\n0,0\n", 0), 0u) << wb;

    Result unknownWatch = Run("-q --watch nope '" + model.string() + "'");
    EXPECT_EQ(unknownWatch.Status, 1);

    // A project: its model file (beside the project file) and its time step are used.
    fs::create_directories(Dir / "proj");
    {
        talvero::NEnvironment environment;
        ASSERT_TRUE(environment.Compile(model.string(), (Dir / "proj" / "two.btv").string()));
    }
    const fs::path project = Dir / "proj" / "two.tvp";
    std::ofstream(project) << "[System]\nProjectName=two\nModelFileName=two.btv\n"
                              "[Computation]\nTimeStep=0,0002\nTimerCallStep=30\nCalcPerTimerCall=20\n";
    Result fromProject = Run("-q -n 400 --watch wa '" + project.string() + "'");
    Result direct = Run("-q -n 400 --dt 0.0002 --watch wa '" + model.string() + "'");
    Result binary = Run("-q -n 400 --dt 0.0002 --watch wa '" + (Dir / "proj" / "two.btv").string() + "'");
    ASSERT_EQ(fromProject.Status, 0) << fromProject.Err;
    EXPECT_EQ(fromProject.Out, direct.Out);
    EXPECT_EQ(binary.Out, direct.Out);

    std::ofstream(Dir / "proj" / "empty.tvp") << "[System]\nProjectName=empty\n";
    EXPECT_EQ(Run("'" + (Dir / "proj" / "empty.tvp").string() + "'").Status, 1);
}

TEST_F(BatchTest, MalformedSweepFilesExitTwoNamingTheLineAndRunNothing) {
    const fs::path model = Write("one.tv", kOneNeuron);
    const struct {
        const char* Text;
        const char* Reason;
    } cases[] = {
        {"net.cell.u1.s1.K\n", ":1: no runs"},
        {"K\n0.5\n", ":1: a column needs OBJECT.PARAMETER"},
        {"net.cell.u1.s1.K,net.cell.u1.R\n0.5,1\n0.7\n", ":3: 1 values for 2 columns"},
        {"net.cell.u1.s1.K\n\n0.5x\n", ":3: '0.5x' is not a number"},
        {"net.cell.u1.s1.K\nnan\n", ":2: 'nan' is not a number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        const fs::path table = Write("study.csv", c.Text);
        Result r = Run("--sweep '" + table.string() + "' -o '" + (Dir / "out").string() + "' '" + model.string() + "'");
        EXPECT_EQ(r.Status, 2);
        EXPECT_NE(r.Err.find(c.Reason), std::string::npos) << r.Err;
        EXPECT_FALSE(fs::exists(Dir / "out"));
    }
    EXPECT_EQ(Run("--sweep '" + Write("study.csv", "net.cell.u1.s1.K\n0.5\n").string() + "' '" + model.string() + "'").Status, 2);
}

namespace {

// The object paths (nodes and net frames carrying an object id) and the links of a --graph text.
struct GraphText {
    std::vector<std::string> Objects;
    std::set<std::pair<std::string, std::string>> Links;
    std::size_t LinkCount = 0;
};

GraphText ParseGraph(const std::string& dot) {
    static const std::regex node(R"re(^\s*"([^"]*)" \[id="o\d+")re");
    static const std::regex cluster(R"re(^\s*subgraph "cluster ([^"]*)" \{)re");
    static const std::regex edge(R"re(^\s*"([^"]*)" -> "([^"]*)" \[color)re");
    GraphText graph;
    std::string lastCluster;
    for (const std::string& line : Lines(dot)) {
        std::smatch m;
        if (std::regex_search(line, m, node)) {
            graph.Objects.push_back(m[1]);
        } else if (std::regex_search(line, m, cluster)) {
            lastCluster = m[1];
            continue;
        } else if (std::regex_search(line, m, edge) && m[1].str().rfind("legend ", 0) != 0) {
            graph.Links.emplace(m[1], m[2]);
            ++graph.LinkCount;
        } else if (!lastCluster.empty() && line.find("id=\"o") != std::string::npos) {
            graph.Objects.push_back(lastCluster);  // a net: a frame that is an object
        }
        lastCluster.clear();
    }
    return graph;
}

} // namespace

TEST_F(BatchTest, GraphHasExactlyTheTreesObjectsAndTheDescribedLinks) {
    using Links = std::set<std::pair<std::string, std::string>>;
    const std::pair<const char*, Links> rows[] = {
        {"reflex_arc.tv",
         {{"arc.motor", "arc.muscle.input"}, {"arc.muscle.vereteno1", "arc.spindle.input"},
          {"arc.spindle", "arc.motor.inh.feedback"}, {"drive", "arc.motor.inh.drive"},
          {"arc.motor", "motorPulses.input"}, {"arc.spindle", "spindlePulses.input"},
          {"arc.muscle.length", "muscleLength.input"}, {"arc.spindle", "spindleRate.input"}}},
        {"eye_muscle.tv", {{"burst", "orbit.rectus.input"}, {"orbit.rectus.length", "length.input"}}},
        {"all_classes.tv",
         {{"body.cell", "body.fibre.input"}, {"body.fibre", "body.leg.input"}, {"body.cell", "body.eye.input"},
          {"body.relay", "body.sensor.input"}, {"pacer", "body.cell.inh.fromGenerator"},
          {"wave", "body.relay.input"}, {"pedestal", "pedestalLevel.input"}, {"body.fibre", "fibrePulses.probe"},
          {"body.leg.length", "legLength.probe"}, {"body.sensor", "sensorRate.input"}}},
        {"user_classes.tv",
         {{"cells.leader", "cells.first.inh.in"}, {"cells.first", "cells.axon.input"},
          {"cells.axon", "cells.second.inh.in"}, {"cells.leader", "leaderPulses.input"},
          {"cells.second", "secondPulses.input"}}},
    };
    const fs::path examples = TALVERO_EXAMPLES;
    for (const auto& [file, links] : rows) {
        SCOPED_TRACE(file);
        const Result tree = Run(std::string("--tree ") + file, examples);
        ASSERT_EQ(tree.Status, 0) << tree.Err;
        std::vector<std::string> expected;
        const auto lines = Lines(tree.Out);
        for (std::size_t i = 1; i < lines.size(); ++i) expected.push_back(lines[i].substr(0, lines[i].find(' ')));
        std::sort(expected.begin(), expected.end());

        const Result dot = Run(std::string("--graph ") + file, examples);
        ASSERT_EQ(dot.Status, 0) << dot.Err;
        EXPECT_EQ(dot.Err, "");
        GraphText graph = ParseGraph(dot.Out);
        std::sort(graph.Objects.begin(), graph.Objects.end());
        EXPECT_EQ(graph.Objects, expected);  // each object once
        EXPECT_EQ(graph.Links, links);
        EXPECT_EQ(graph.LinkCount, links.size());

        const fs::path svg = Dir / "graph.svg";
        const Result drawn = Run(std::string("--graph-format svg -o '") + svg.string() + "' " + file, examples);
        if (drawn.Err.find("without the Graphviz library") != std::string::npos) continue;
        EXPECT_EQ(drawn.Status, 0) << drawn.Err;
        EXPECT_EQ(drawn.Err, "");  // Graphviz said nothing: the text parsed and laid out cleanly
        EXPECT_EQ(drawn.Out, "");
        EXPECT_NE(ReadFile(svg).find("<svg"), std::string::npos);
    }
    EXPECT_EQ(Run("--graph --tree reflex_arc.tv", examples).Status, 2);
    EXPECT_EQ(Run("--graph-format gif reflex_arc.tv", examples).Status, 2);
}
