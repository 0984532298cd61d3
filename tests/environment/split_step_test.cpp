// The step on several threads computes what the step on one computes, to the last bit, for every
// model: the examples, random nets, and nets made so that a pulse must reach objects that already
// took the parallel part of their step.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "LanguageTestSupport.h"
#include "ModelChecksum.h"
#include "bench/BenchModel.h"
#include "elements/NNeuron.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"
#include "kernel/NNet.h"
#include "kernel/NSplitStep.h"
#include "kernel/NThreadPool.h"
#include "sources/NTimeWatch.h"

namespace talvero {
namespace {

struct RunResult {
    std::uint64_t Watches = 0;
    std::uint64_t States = 0;
    std::size_t Points = 0;
    int MostThreadsUsed = 0;
    bool operator==(const RunResult& o) const { return Watches == o.Watches && States == o.States && Points == o.Points; }
};

struct Options {
    int Steps = 600;
    int ChangeStepAt = -1;  // the time step halves before this step
};

// Loads the compiled model anew and computes it on `threads` threads.
RunResult RunModel(const std::string& binary, int threads, const Options& options) {
    NEnvironment environment;
    RegisterBuiltinClasses(environment);
    EXPECT_TRUE(environment.LoadModel(binary)) << PeekLastErrorCode() << " " << GetLastErrorInfo();
    NModel* model = environment.GetModel();
    RunResult result;
    if (!model) return result;
    SetComputeThreads(threads);
    SetActiveModel(model);
    ResetActiveModel();
    for (int i = 0; i < options.Steps; ++i) {
        if (i == options.ChangeStepAt) model->SetTimeStep(model->GetTimeStep() / 2);
        StepActiveModel();
        result.MostThreadsUsed = std::max(result.MostThreadsUsed, GetThreadsInUse());
    }
    for (auto gate = model->GetOutGatesBegin(); gate != model->GetOutGatesEnd(); ++gate)
        result.Points += (*gate)->GetDataSize();
    result.Watches = test::WatchChecksum(*model);
    test::Checksum states;
    test::AddStates(model, states);
    result.States = states.Get();
    SetActiveModel(nullptr);
    return result;
}

class SplitStepTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetSplitStepWorkPerThread(1);  // split however small the model
        Unforeseen = split_step_detail::UnforeseenArrivals;
    }
    void TearDown() override {
        SetComputeThreads(0);
        SetSplitStepWorkPerThread(0);
        EXPECT_EQ(split_step_detail::UnforeseenArrivals, Unforeseen) << "a pulse the plan did not foresee";
    }

    std::string Compile(const std::string& name, const std::string& text) {
        const std::string source = text.empty() ? name : dir.Write(name + ".tv", text);
        const std::string binary = dir.File(std::to_string(++Compiled) + ".btv");
        NEnvironment environment;
        RegisterBuiltinClasses(environment);
        EXPECT_TRUE(environment.Compile(source, binary)) << name << ": " << PeekLastErrorCode() << " " << GetLastErrorInfo();
        return binary;
    }

    // Every thread count gives the single thread's bits, wherever the walk taken in order ends;
    // returns the single thread's result.
    RunResult ExpectSameOnAllThreadCounts(const std::string& name, const std::string& binary, const Options& options,
                                          bool splits = true) {
        const RunResult one = RunModel(binary, 1, options);
        EXPECT_EQ(one.MostThreadsUsed, 1) << name;
        const struct {
            int Threads;
            std::size_t InOrderChunks;
        } runs[] = {{2, SIZE_MAX}, {2, 0}, {3, 1}, {4, SIZE_MAX}, {8, 0}};
        for (const auto& run : runs) {
            SetSplitStepInOrderChunks(run.InOrderChunks);
            const RunResult many = RunModel(binary, run.Threads, options);
            SetSplitStepInOrderChunks(SIZE_MAX);
            EXPECT_EQ(many, one) << name << " on " << run.Threads << " threads, " << run.InOrderChunks << " chunks in order";
            if (splits) {
                EXPECT_GT(many.MostThreadsUsed, 1) << name << " on " << run.Threads << " threads never split";
            }
        }
        return one;
    }

    test::TempDir dir;
    int Compiled = 0;
    unsigned long long Unforeseen = 0;
};

TEST_F(SplitStepTest, ExamplesComputeTheSameOnAnyNumberOfThreads) {
    const char* root = std::getenv("TALVERO_SOURCE_DIR");
    ASSERT_NE(root, nullptr);
    // The muscle examples hold one neuron at most: nothing to split, but nothing may change either.
    const struct {
        const char* file;
        bool splits;
    } examples[] = {{"all_classes.tv", false}, {"eye_muscle.tv", false}, {"reflex_arc.tv", false},
                    {"user_classes.tv", true}};
    for (const auto& e : examples) {
        const std::string path = std::string(root) + "/examples/" + e.file;
        const RunResult one = ExpectSameOnAllThreadCounts(e.file, Compile(path, ""), {1500}, e.splits);
        EXPECT_GT(one.Points, 0u) << e.file;
    }
}

// A follower fires when its synapse "in" is hit; a pacemaker fires by itself.
const char* const kCells = R"(
class Pacemaker : Neuron {
  IonUnit drive { parameter MaxIntensity = 0.8; Synapse in { } }
}
class Follower : Neuron {
  IonUnit exc { }
  IonUnit inh { parameter MaxIntensity = -1; Synapse in { parameter DissociationTC = 0.01; } Synapse in2 { } }
}
)";

std::string Chain(int length, bool forward) {
    std::string text = kCells;
    text += "Model chain {\nNet n {\nPacemaker p { }\n";
    for (int k = 0; k < length; ++k) {
        const int i = forward ? k : length - 1 - k;
        text += "Follower f" + std::to_string(i) + " { }\n";
    }
    text += "link p:f0.inh.in;\n";
    for (int i = 1; i < length; ++i) text += "link f" + std::to_string(i - 1) + ":f" + std::to_string(i) + ".inh.in;\n";
    text += "}\nTimeWatch last { }\nlink n.f" + std::to_string(length - 1) + ":last.input;\n}\n";
    return text;
}

// A chain of neurons of no class of their own, with nothing else in the net: their turns are taken
// on all threads. A follower's zone and synapse are fast, so each pulse makes the next link fire a
// step later, and every pulse reaches its receiver after the receiver stepped ahead.
std::string PlainChain(int length) {
    const std::string follower =
        " { LTZone zone { parameter PT1 = 0.00001; parameter PT2 = 0.00001; } IonUnit exc { parameter MaxIntensity = 0.5; }"
        " IonUnit inh { parameter MaxIntensity = -0.5; Synapse in { parameter SecretionTC = 0.00001; parameter K = 1;"
        " parameter Rs = 1e5; } } }\n";
    std::string text = "Model plain {\nNet n {\nNeuron p { IonUnit drive { parameter MaxIntensity = 0.8; Synapse in { } } }\n";
    for (int i = 0; i < length; ++i) text += "Neuron f" + std::to_string(i) + follower;
    text += "link p:f0.inh.in;\n";
    for (int i = 1; i < length; ++i) text += "link f" + std::to_string(i - 1) + ":f" + std::to_string(i) + ".inh.in;\n";
    text += "}\nTimeWatch last { }\nlink n.f" + std::to_string(length - 1) + ":last.input;\n}\n";
    return text;
}

// Pulses cross nested nets, nerve fibres, a muscle and its afferent neuron, in and against the order.
const char* const kMixed = R"(
Model mixed {
  Net outer {
    Pacemaker p { }
    Follower a { }
    Net inner {
      Follower b { }
      NerveFibre fibre { parameter TimeDelay = 0.0001; }
      Follower c { }
      link b:fibre.input;
      link fibre:c.inh.in;
    }
    Follower d { }
    Muscle leg { }
    AfferentNeuron spindle { parameter Sensitivity = 5; }
    Follower e { }
    link p:a.inh.in;
    link a:inner.b.inh.in;
    link inner.c:d.inh.in;
    link d:leg.input;
    link leg.vereteno1:spindle.input;
    link spindle:e.inh.in;
    link e:a.inh.in2;
    link spindle:inner.b.inh.in2;
  }
  Generator drive { parameter Frequency = 50; }
  TimeWatch ep { }
  ATimeWatch length { }
  link drive:outer.p.drive.in;
  link outer.e:ep.input;
  link outer.leg.length:length.input;
}
)";

TEST_F(SplitStepTest, PulsesThatMustArriveWithinTheStepDoSo) {
    const std::uint64_t retakesBefore = split_step_detail::Retakes;
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"forward chain", Chain(25, true)},  // every pulse runs down the chain in one step
        {"backward chain", Chain(25, false)},
        {"forward chain of plain neurons", PlainChain(25)},
        {"mixed", std::string(kCells) + kMixed},
    };
    for (const auto& c : cases) {
        const RunResult one = ExpectSameOnAllThreadCounts(c.name, Compile(c.name, c.text), {800});
        EXPECT_GT(one.Points, 0u) << c.name << ": no pulse reached the watch";
    }
    EXPECT_GT(split_step_detail::Retakes, retakesBefore) << "no pulse arrived after the parallel part";
}

// Random nets: neurons of one to three units, synapses from anywhere, a nested net, fibres; or,
// `neuronsOnly`, neurons alone, whose turns are taken on all threads.
std::string RandomNet(std::uint32_t seed, int neurons, bool neuronsOnly = false) {
    std::mt19937 rng(seed);
    auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
    std::vector<std::string> items, synapses;
    std::string body;
    auto neuron = [&](const std::string& prefix, int i) {
        const std::string name = "c" + std::to_string(i);
        std::string text = "Neuron " + name + " {\n";
        const int units = 1 + static_cast<int>(rng() % 3);
        for (int u = 0; u < units; ++u) {
            const double intensity = chance(60) ? 0.5 + (rng() % 50) / 100.0 : -(0.3 + (rng() % 70) / 100.0);
            text += "IonUnit u" + std::to_string(u) + " { parameter MaxIntensity = " + std::to_string(intensity) + ";\n";
            const int count = static_cast<int>(rng() % 6);
            for (int s = 0; s < count; ++s) {
                text += "Synapse s" + std::to_string(s);
                text += chance(30) ? " { parameter DissociationTC = 0.002; }\n" : " { }\n";
                synapses.push_back(prefix + name + ".u" + std::to_string(u) + ".s" + std::to_string(s));
            }
            text += "}\n";
        }
        items.push_back(prefix + name);
        return text + "}\n";
    };
    std::string inner;
    for (int i = 0; i < neurons; ++i) {
        if (i % 7 == 3 && !neuronsOnly) {
            inner += neuron("inner.", i);
        } else {
            body += neuron("", i);
            if (chance(10) && !neuronsOnly) {
                const std::string fibre = "fb" + std::to_string(i);
                body += "NerveFibre " + fibre + " { parameter TimeDelay = 0.0002; }\n";
                body += "link " + items.back() + ":" + fibre + ".input;\n";
                items.push_back(fibre);
            }
        }
    }
    std::string text = "Model random {\nNet n {\n" + body;
    if (!inner.empty()) text += "Net inner {\n" + inner + "}\n";
    std::string modelLinks;
    for (const std::string& s : synapses) {
        if (chance(15)) modelLinks += "link drive:n." + s + ";\n";
        else text += "link " + items[rng() % items.size()] + ":" + s + ";\n";
    }
    text += "}\nGenerator drive { parameter Frequency = 80; }\nTimeWatch w { }\nTimeWatch v { }\n";
    text += modelLinks;
    text += "link n." + items[0] + ":w.input;\nlink n." + items.back() + ":v.input;\n}\n";
    return text;
}

TEST_F(SplitStepTest, RandomNetsComputeTheSameOnAnyNumberOfThreads) {
    for (const bool neuronsOnly : {false, true})
        for (std::uint32_t seed = 1; seed <= 5; ++seed) {
            const std::string name = std::string(neuronsOnly ? "neurons" : "random") + std::to_string(seed);
            const int neurons = 20 + 15 * static_cast<int>(seed);
            ExpectSameOnAllThreadCounts(name, Compile(name, RandomNet(seed, neurons, neuronsOnly)), {500});
        }
}

TEST_F(SplitStepTest, ChangingTheTimeStepDuringARunChangesNothingElse) {
    const std::string binary = Compile("bench", bench::GenerateBenchModel(200, 10));
    const RunResult one = ExpectSameOnAllThreadCounts("bench with a new step", binary, {500, 250});
    EXPECT_GT(one.Points, 0u);
}

// Many short runs, the pool going from one thread count to another between them.
TEST_F(SplitStepTest, ManyShortModelsOnManyThreads) {
    std::mt19937 rng(7);
    for (int run = 0; run < 30; ++run) {
        const std::string binary = Compile("short", RandomNet(1000 + run, 10 + run));
        const Options options{40 + static_cast<int>(rng() % 60)};
        const RunResult one = RunModel(binary, 1, options);
        const int threads = 2 + static_cast<int>(rng() % 7);
        EXPECT_EQ(RunModel(binary, threads, options), one) << "run " << run << " on " << threads << " threads";
    }
}

TEST_F(SplitStepTest, SmallModelsKeepOneThreadUnlessTheyAreLargeEnough) {
    SetSplitStepWorkPerThread(0);
    const std::string small = Compile("small", bench::GenerateBenchModel(100, 20));
    const std::string large = Compile("large", bench::GenerateBenchModel(2000, 20));
    EXPECT_EQ(RunModel(small, 8, {5}).MostThreadsUsed, 1);
    EXPECT_EQ(RunModel(large, 2, {5}).MostThreadsUsed, 2);
    // Two threads gained a few per cent at 200 neurons for twice the CPU, a fifth at 500.
    EXPECT_EQ(RunModel(Compile("200", bench::GenerateBenchModel(200, 20)), 2, {5}).MostThreadsUsed, 1);
    EXPECT_EQ(RunModel(Compile("500", bench::GenerateBenchModel(500, 20)), 2, {5}).MostThreadsUsed, 2);
    // Automatic: the machine's cores for a net of neurons only; one thread for a net whose ordered
    // walk would make more threads slower, however large.
    EXPECT_EQ(RunModel(large, 0, {5}).MostThreadsUsed, std::min(2, NThreadPool::MachineCores()));
    SetSplitStepWorkPerThread(1);
    const std::string mixed = Compile("mixed", std::string(kCells) + kMixed);
    EXPECT_EQ(RunModel(mixed, 0, {5}).MostThreadsUsed, 1);
    EXPECT_GT(RunModel(mixed, 2, {5}).MostThreadsUsed, 1);
}

// A watch and a neuron whose steps fail as a full memory makes them fail, once told to.
bool FailNow = false;

class FailingWatch final : public NTimeWatch {
public:
    using NTimeWatch::NTimeWatch;
    void CollectData() override {
        if (FailNow) throw std::bad_alloc();
        NTimeWatch::CollectData();
    }
};

class FailingNeuron final : public NNeuron {
public:
    FailingNeuron(NBasicDescription* owner, const char* name) : NAbstractItem(owner, name), NNeuron(owner, name) {}
    bool CanSplitStep() const override { return true; }
    bool StepAhead() override {
        if (FailNow) throw std::bad_alloc();
        return NNeuron::StepAhead();
    }
    bool StepInTurn() override {
        if (FailNow) throw std::bad_alloc();
        return NNeuron::StepInTurn();
    }
};

// What an object throws on any thread of the step reaches the caller, as on one thread, instead of
// ending the process from a worker or leaving the others waiting for it; the next steps run.
TEST_F(SplitStepTest, AnObjectThatFailsOnAnyThreadFailsTheStepForTheCaller) {
    const std::string binary = Compile("bench", bench::GenerateBenchModel(300, 10));
    for (const bool inGates : {true, false}) {
        NEnvironment environment;
        RegisterBuiltinClasses(environment);
        ASSERT_TRUE(environment.LoadModel(binary));
        NModel* model = environment.GetModel();
        if (inGates) {
            // Gates by ranges on both threads.
            for (int i = 0; i < 200; ++i)
                ASSERT_TRUE(model->AddComponent(new FailingWatch(model, ("fails" + std::to_string(i)).c_str())));
        } else {
            // Last in the walk: the first the thread stepping ahead from its end meets.
            auto* net = dynamic_cast<NNet*>(model->GetNet());
            ASSERT_NE(net, nullptr);
            ASSERT_TRUE(net->AddObject(new FailingNeuron(net, "fails")));
        }
        SetComputeThreads(2);
        SetActiveModel(model);
        ResetActiveModel();
        for (int i = 0; i < 30; ++i) StepActiveModel();
        ASSERT_EQ(GetThreadsInUse(), 2);
        FailNow = true;
        EXPECT_THROW(StepActiveModel(), std::bad_alloc) << (inGates ? "gates" : "neuron");
        FailNow = false;
        for (int i = 0; i < 5; ++i) EXPECT_NO_THROW(StepActiveModel());
        EXPECT_EQ(GetThreadsInUse(), 2);
        SetActiveModel(nullptr);
    }
}

} // namespace
} // namespace talvero
