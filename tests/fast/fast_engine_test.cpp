// The fast engine against the exact one: the same pulses at the same steps, analog values within
// a relative 1e-9, across parameters, continued runs, changes between runs and state hand-overs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>
#include <string>
#include <vector>

#include "FastTestSupport.h"
#include "bench/BenchModel.h"
#include "elements/NIonUnit.h"
#include "elements/NNeuron.h"
#include "fast/NFastEngine.h"

namespace talvero {
namespace {

using test::Close;
using test::LoadText;
using test::RunWith;

// Two neurons driven by two generators, watched: `a` drives `b` forward in the net's order and
// `b` drives `a` back, so pulses arrive within the step and in the next one. The placeholders
// take the parameters of a case.
std::string TwoNeurons(const std::string& zone, const std::string& exc, const std::string& s1, const std::string& s2,
                       const std::string& generator) {
    return "Model m {\nNet net {\n"
           "Neuron a {\nLTZone zone { " + zone + " }\n"
           "IonUnit exc { " + exc + "\nSynapse s1 { " + s1 + " }\nSynapse s2 { " + s2 + " }\nSynapse back { } }\n"
           "IonUnit inh { parameter MaxIntensity = -0.5;\nSynapse s1 { } }\n}\n"
           "Neuron b {\nIonUnit exc { Synapse s { " + s1 + " } }\nIonUnit inh { parameter MaxIntensity = -0.2;\nSynapse s { } } }\n"
           "link a:b.exc.s;\nlink b:a.exc.back;\n}\n"
           "Generator g { " + generator + " }\n"
           "Generator h { parameter Frequency = 15;\nparameter StartTime = 0.1;\nparameter StopTime = 0.6; }\n"
           "TimeWatch wa { }\nTimeWatch wb { }\nTimeWatch wg { }\n"
           "link g:net.a.exc.s1;\nlink g:net.a.exc.s2;\nlink h:net.a.inh.s1;\nlink h:net.b.inh.s;\n"
           "link net.a:wa.input;\nlink net.b:wb.input;\nlink g:wg.input;\n}\n";
}

std::vector<double> Potentials(NModel& model) {
    std::vector<double> values;
    for (const char* path : {"net.a", "net.b"}) {
        auto* neuron = dynamic_cast<NNeuron*>(model.GetComponent(path));
        values.push_back(neuron->GetNegativePotential());
        values.push_back(neuron->GetPositivePotential());
        values.push_back(neuron->GetLTZone()->GetMembrane());
    }
    auto* unit = dynamic_cast<NIonUnit*>(model.GetComponent("net.a.exc"));
    for (auto s = unit->GetSynapsesBegin(); s != unit->GetSynapsesEnd(); ++s) values.push_back((*s)->GetConductance());
    return values;
}

void ExpectAgreement(const test::RunRecord& exact, const test::RunRecord& fast, const std::string& label) {
    ASSERT_EQ(exact.Onsets.size(), fast.Onsets.size());
    for (std::size_t g = 0; g < exact.Onsets.size(); ++g) EXPECT_EQ(exact.Onsets[g], fast.Onsets[g]) << label << ", gate " << g;
    ASSERT_EQ(exact.Samples.size(), fast.Samples.size());
    for (std::size_t i = 0; i < exact.Samples.size(); ++i)
        for (std::size_t k = 0; k < exact.Samples[i].size(); ++k)
            ASSERT_TRUE(Close(exact.Samples[i][k], fast.Samples[i][k]))
                << label << ", sample " << i << ", value " << k << ": " << exact.Samples[i][k] << " vs " << fast.Samples[i][k];
}

struct Case {
    const char* Label;
    std::string Zone, Exc, S1, S2, Generator;
    double TimeStep = 0.0001;
    double PulseDuration = 0.001;
};

TEST(FastEngineTest, SmallNetsAgreeWithTheExactEngineForEachParameterKind) {
    const std::string g40 = "parameter Frequency = 40;";
    const std::vector<Case> cases = {
        {"defaults", "", "", "", "", g40},
        {"strong synapses above the maximal level", "", "parameter R = 2e7;", "parameter K = 0.25;", "parameter K = 0.25;", g40},
        {"no resistance above the level", "", "", "parameter K = 0.1;\nparameter Ri = 0;", "", g40},
        {"synapses of one unit with different constants", "", "", "parameter SecretionTC = 0.002;",
         "parameter DissociationTC = 0.02;\nparameter Rs = 3e6;", g40},
        {"a zone of other constants", "parameter PT1 = 0.01;\nparameter PT2 = 0.03;\nparameter AT1 = 0.02;\nparameter K = 2;",
         "", "", "", g40},
        {"a fast generator", "", "", "", "", "parameter Frequency = 400;"},
        {"a generator that starts late and stops", "", "", "", "",
         "parameter Frequency = 60;\nparameter StartTime = 0.25;\nparameter StopTime = 0.75;"},
        {"a silent synapse (K = 0)", "", "", "parameter K = 0;", "", g40},
        {"another time step and pulse duration", "", "", "", "", g40, 0.00005, 0.0015},
    };
    for (const Case& c : cases) {
        auto exactEnv = LoadText(TwoNeurons(c.Zone, c.Exc, c.S1, c.S2, c.Generator));
        auto fastEnv = LoadText(TwoNeurons(c.Zone, c.Exc, c.S1, c.S2, c.Generator));
        ASSERT_TRUE(exactEnv && fastEnv) << c.Label;
        for (NModel* model : {exactEnv->GetModel(), fastEnv->GetModel()}) {
            ASSERT_TRUE(model->SetTimeStep(c.TimeStep));
            ASSERT_TRUE(model->SetPulseDuration(c.PulseDuration));
        }
        const long long steps = std::llround(1.0 / c.TimeStep);
        const auto exact = RunWith(*exactEnv->GetModel(), NEngineKind::Exact, steps, 97, Potentials);
        const auto fast = RunWith(*fastEnv->GetModel(), NEngineKind::Fast, steps, 97, Potentials);
        EXPECT_GT(exact.Onsets[0].size(), 1u) << c.Label << ": the case must make the neuron fire";
        ExpectAgreement(exact, fast, c.Label);
    }
}

// Units whose synapses all share one set keep those that only decay in a pool. Pulses reach pooled
// and stepping synapses of a later neuron within the step (two in one unit) and of an earlier one
// in the next; the cases move the level where the conductance bends, and the quiet stretches
// long enough for the pool's factor to leave the range of doubles without its rescaling.
TEST(FastEngineTest, PooledSynapsesAgreeWithTheExactEngine) {
    struct PoolCase {
        const char* Label;
        std::string Synapse, Generator;
        double Seconds = 1, PulseDuration = 0.001;
    };
    const std::vector<PoolCase> cases = {
        {"defaults", "", "parameter Frequency = 40;"},
        {"mostly above the bend", "parameter K = 0.25;", "parameter Frequency = 40;"},
        {"never above the bend", "parameter K = 4;", "parameter Frequency = 200;"},
        {"fast decay through long quiet stretches", "parameter DissociationTC = 0.0003;", "parameter Frequency = 1.5;", 2},
        {"a pulse of one step", "", "parameter Frequency = 40;", 1, 0.0001},
        {"a decay that ends within one step", "parameter DissociationTC = 0.00005;", "parameter Frequency = 40;"},
        {"a decay that overshoots zero each step", "parameter DissociationTC = 0.00004;", "parameter Frequency = 40;"},
    };
    for (const PoolCase& c : cases) {
        const std::string& p = c.Synapse;
        const std::string text =
            "Model m {\nNet net {\n"
            "Neuron a {\nIonUnit exc { Synapse s1 { " + p + " }\nSynapse s2 { " + p + " }\nSynapse back { " + p + " } }\n"
            "IonUnit inh { parameter MaxIntensity = -0.5;\nSynapse s1 { " + p + " } } }\n"
            "Neuron b {\nIonUnit exc { Synapse s { " + p + " }\nSynapse t { " + p + " } } }\n"
            "link a:b.exc.s;\nlink a:b.exc.t;\nlink b:a.exc.back;\n}\n"
            "Generator g { " + c.Generator + " }\nTimeWatch wa { }\nTimeWatch wb { }\n"
            "link g:net.a.exc.s1;\nlink g:net.a.exc.s2;\nlink g:net.a.inh.s1;\n"
            "link net.a:wa.input;\nlink net.b:wb.input;\n}\n";
        auto exactEnv = LoadText(text);
        auto fastEnv = LoadText(text);
        ASSERT_TRUE(exactEnv && fastEnv) << c.Label;
        for (NModel* model : {exactEnv->GetModel(), fastEnv->GetModel()})
            ASSERT_TRUE(model->SetPulseDuration(c.PulseDuration)) << c.Label;
        const long long steps = std::llround(c.Seconds / 0.0001);
        const auto exact = RunWith(*exactEnv->GetModel(), NEngineKind::Exact, steps, 97, Potentials);
        const auto fast = RunWith(*fastEnv->GetModel(), NEngineKind::Fast, steps, 97, Potentials);
        EXPECT_GT(exact.Onsets[0].size(), 1u) << c.Label << ": the case must make the neuron fire";
        EXPECT_GT(exact.Onsets[1].size(), 1u) << c.Label << ": the pulses must reach the later neuron";
        ExpectAgreement(exact, fast, c.Label);
    }
}

// The active list keeps a pooled unit's constant set in 16 bits: a unit whose set lies beyond
// that range steps its synapses itself. Here a neuron before the others holds a synapse of its own
// constants for each of the first 65,536 sets.
TEST(FastEngineTest, UnitsBeyondTheSetsTheActiveListCanNameAgree) {
    std::string filler = "Neuron filler {\nIonUnit u {\n";
    for (int i = 0; i < 65536; ++i)
        filler += "Synapse s" + std::to_string(i) + " { parameter K = " + std::to_string(0.8 + i * 1e-6) + "; }\n";
    filler += "} }\n";
    std::string text = TwoNeurons("", "", "", "", "parameter Frequency = 40;");
    text.insert(text.find("Neuron a"), filler);
    auto exactEnv = LoadText(text);
    auto fastEnv = LoadText(text);
    ASSERT_TRUE(exactEnv && fastEnv);
    const auto exact = RunWith(*exactEnv->GetModel(), NEngineKind::Exact, 1000, 97, Potentials);
    const auto fast = RunWith(*fastEnv->GetModel(), NEngineKind::Fast, 1000, 97, Potentials);
    EXPECT_GT(exact.Onsets[0].size(), 1u);
    ExpectAgreement(exact, fast, "beyond 65,536 sets");
}

// Changes made between runs (a parameter, the time step) reach the fast engine at Begin, and a
// run goes on where the last one stopped.
TEST(FastEngineTest, ContinuedRunsSeeChangesMadeBetweenThem) {
    struct Change {
        const char* Label;
        void (*Apply)(NModel&);
    };
    const Change changes[] = {
        {"nothing", [](NModel&) {}},
        {"a synapse parameter", [](NModel& m) { ASSERT_TRUE(m.GetComponent("net.a.exc.s1")->SetParameter("K", 0.2)); }},
        {"an ion unit parameter", [](NModel& m) { ASSERT_TRUE(m.GetComponent("net.a.exc")->SetParameter("R", 1.5e7)); }},
        {"a zone parameter", [](NModel& m) { ASSERT_TRUE(m.GetComponent("net.b.LTZone")->SetParameter("PT1", 0.01)); }},
        {"a generator frequency", [](NModel& m) { ASSERT_TRUE(m.GetComponent("g")->SetParameter("Frequency", 90)); }},
        {"the time step", [](NModel& m) { ASSERT_TRUE(m.SetTimeStep(0.00005)); }},
    };
    for (const Change& change : changes) {
        test::RunRecord records[2];
        std::unique_ptr<NEnvironment> environments[2];
        for (int e = 0; e < 2; ++e) {
            const NEngineKind kind = e == 0 ? NEngineKind::Exact : NEngineKind::Fast;
            environments[e] = LoadText(TwoNeurons("", "", "", "", "parameter Frequency = 40;"));
            ASSERT_TRUE(environments[e]);
            NModel& model = *environments[e]->GetModel();
            SetActiveModel(&model);
            ResetActiveModel();
            std::string notice;
            auto engine = MakeEngine(model, kind, notice);
            for (int run = 0; run < 3; ++run) {
                engine->Begin();
                for (int i = 0; i < 2500; ++i) engine->Step();
                engine->End();
                records[e].Samples.push_back(Potentials(model));
                if (run == 0) change.Apply(model);
            }
            records[e].Onsets = test::Onsets(model);
            SetActiveModel(nullptr);
        }
        ExpectAgreement(records[0], records[1], change.Label);
    }
}

// The state the fast engine writes back is complete: the exact engine goes on from it as the
// fast engine does, pulses in flight included, and the fast engine takes a state up again.
TEST(FastEngineTest, StateHandedOverMidPulseContinuesUnderEitherEngine) {
    const std::string text = TwoNeurons("", "", "", "", "parameter Frequency = 40;");
    // Hand over at several phases of the 25 ms period, inside and between pulses.
    for (const int first : {2500, 2503, 2512, 2640}) {
        test::RunRecord records[2];
        std::unique_ptr<NEnvironment> environments[2];
        for (int e = 0; e < 2; ++e) {
            environments[e] = LoadText(text);
            NModel& model = *environments[e]->GetModel();
            SetActiveModel(&model);
            ResetActiveModel();
            std::string notice;
            auto fast = MakeEngine(model, NEngineKind::Fast, notice);
            auto exact = MakeEngine(model, NEngineKind::Exact, notice);
            // e = 0: fast, then exact; e = 1: exact, then fast.
            NEngine& before = e == 0 ? *fast : *exact;
            NEngine& after = e == 0 ? *exact : *fast;
            before.Begin();
            for (int i = 0; i < first; ++i) before.Step();
            before.End();
            after.Begin();
            for (int i = 0; i < 3000; ++i) {
                after.Step();
                if (i % 50 == 0) {
                    after.End();
                    records[e].Samples.push_back(Potentials(model));
                }
            }
            after.End();
            records[e].Onsets = test::Onsets(model);
            SetActiveModel(nullptr);
        }
        ExpectAgreement(records[0], records[1], "hand-over after " + std::to_string(first) + " steps");
    }
}

// A model the fast engine cannot compute faithfully (constants whose reciprocals overflow a
// double) is computed by the exact engine, and the notice names the object.
TEST(FastEngineTest, ModelsBeyondDoublePrecisionFallBackToTheExactEngineNamingTheObject) {
    struct Refusal {
        const char* Model;
        const char* Object;
    };
    const Refusal refusals[] = {
        {"Model m { Net net { Neuron a { IonUnit u { Synapse tiny { parameter K = 1e-310; } } } Muscle leg { } "
         "link a:leg.input; } }", "tiny"},
        {"Model m { Net net { Neuron a { IonUnit u { Synapse s { } Synapse leak { parameter Rs = 1e-310; } } } } "
         "ASinusGenerator wave { } }", "leak"},
    };
    for (const Refusal& r : refusals) {
        auto environment = LoadText(r.Model);
        ASSERT_TRUE(environment) << r.Model;
        NModel& model = *environment->GetModel();
        SetActiveModel(&model);
        ResetActiveModel();
        std::string notice;
        auto engine = MakeEngine(model, NEngineKind::Fast, notice);
        EXPECT_EQ(engine->Kind(), NEngineKind::Exact) << r.Model;
        EXPECT_NE(notice.find(r.Object), std::string::npos) << notice;
        engine->Begin();
        for (int i = 0; i < 10; ++i) engine->Step();
        engine->End();
        EXPECT_GT(model.GetCurrentTime(), 0) << r.Model;
        SetActiveModel(nullptr);
    }
}

// The generated benchmark network over 1 s: every pulse of the first 100 ms at the same step,
// each watch's count within 1 %.
TEST(FastEngineTest, GeneratedNetworkAgreesWithTheExactEngine) {
    const std::string text = bench::GenerateBenchModel(1000, 20);
    auto exactEnv = LoadText(text);
    auto fastEnv = LoadText(text);
    ASSERT_TRUE(exactEnv && fastEnv);
    const auto exact = RunWith(*exactEnv->GetModel(), NEngineKind::Exact, 10000, 0, nullptr);
    const auto fast = RunWith(*fastEnv->GetModel(), NEngineKind::Fast, 10000, 0, nullptr);
    ASSERT_EQ(exact.Onsets.size(), 100u);
    std::size_t total = 0;
    for (std::size_t g = 0; g < exact.Onsets.size(); ++g) {
        auto early = [](const std::vector<double>& onsets) {
            return std::vector<double>(onsets.begin(), std::lower_bound(onsets.begin(), onsets.end(), 0.1));
        };
        EXPECT_EQ(early(exact.Onsets[g]), early(fast.Onsets[g])) << "watch " << g;
        const double a = static_cast<double>(exact.Onsets[g].size());
        const double b = static_cast<double>(fast.Onsets[g].size());
        EXPECT_LE(std::fabs(a - b), 0.01 * a) << "watch " << g;
        total += exact.Onsets[g].size();
    }
    EXPECT_GT(total, 1000u) << "the network must be busy";
}

// Runs of paired neurons take their turns four side by side. A pulse from one of the four reaches
// the next ones in the same step, as one by one; a neuron of other constants breaks a run; a fast
// decay brings pools back to scale within a group. Every way gives the same bits.
TEST(FastEngineTest, NeuronsSideBySideGiveTheSameNumbersAsOneByOne) {
    std::string chain = "Model m {\nNet net {\n";
    for (int i = 0; i < 13; ++i) {
        const std::string synapse = i >= 7 ? "parameter DissociationTC = 0.0003;" : "";
        const std::string inhibition = i == 6 ? "-0.4" : "-0.5";  // other constants: no run of four here
        chain += "Neuron n" + std::to_string(i) + " {\nIonUnit exc { Synapse s { " + synapse + " }\nSynapse t { " +
                 synapse + " } }\nIonUnit inh { parameter MaxIntensity = " + inhibition + ";\nSynapse s { } } }\n";
        if (i > 0) chain += "link n" + std::to_string(i - 1) + ":n" + std::to_string(i) + ".exc.s;\n";
        if (i > 1) chain += "link n" + std::to_string(i) + ":n" + std::to_string(i - 2) + ".inh.s;\n";
    }
    chain += "}\nGenerator g { parameter Frequency = 30;\nparameter StopTime = 0.5; }\n"
             "link g:net.n0.exc.s;\nlink g:net.n0.exc.t;\n";
    for (int i = 0; i < 13; ++i) {
        const std::string n = std::to_string(i);
        chain += "TimeWatch w" + n + " { }\nlink net.n" + n + ":w" + n + ".input;\n";
    }
    chain += "}\n";
    const std::pair<const char*, std::string> models[] = {
        {"a chain within one step", chain},
        {"a generated net", bench::GenerateBenchModel(300, 20)},
    };
    auto potentials = [](NModel& model) {
        std::vector<double> values;
        std::function<bool(NBasicDescription*)> visit = [&](NBasicDescription* object) {
            if (auto* neuron = dynamic_cast<NNeuron*>(object)) {
                values.push_back(neuron->GetNegativePotential());
                values.push_back(neuron->GetPositivePotential());
                values.push_back(neuron->GetLTZone()->GetMembrane());
            }
            return object->ForEachComponent(visit);
        };
        model.ForEachComponent(visit);
        return values;
    };
    using Lanes = NFastEngine::NeuronLanes;
    for (const auto& [label, text] : models) {
        std::vector<test::RunRecord> runs;
        for (Lanes lanes : {Lanes::OneByOne, Lanes::Baseline, Lanes::Best}) {
            NFastEngine::SetNeuronLanes(lanes);
            auto environment = LoadText(text);
            ASSERT_TRUE(environment) << label;
            runs.push_back(RunWith(*environment->GetModel(), NEngineKind::Fast, 20000, 97, potentials));
        }
        NFastEngine::SetNeuronLanes(Lanes::Best);
        std::size_t pulses = 0;
        for (const auto& onsets : runs[0].Onsets) pulses += onsets.size();
        EXPECT_GT(pulses, 100u) << label << ": the net must be busy";
        for (std::size_t r = 1; r < runs.size(); ++r) {
            EXPECT_EQ(runs[0].Onsets, runs[r].Onsets) << label << ", way " << r;
            ASSERT_EQ(runs[0].Samples.size(), runs[r].Samples.size());
            for (std::size_t i = 0; i < runs[0].Samples.size(); ++i)
                ASSERT_EQ(0, std::memcmp(runs[0].Samples[i].data(), runs[r].Samples[i].data(),
                                         runs[0].Samples[i].size() * sizeof(double)))
                    << label << ", way " << r << ", sample " << i;
        }
    }
}

} // namespace
} // namespace talvero
