// Fibres, afferent neurons, muscles, eye muscles, analog items and generators under the fast engine
// against the exact one, alone and in the examples: each watch's pulses of the first 100 ms at the
// same steps and its count within 1 % over 1 s, analog values within a relative 1e-9.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "FastTestSupport.h"
#include "environment/NCheckpoint.h"
#include "sources/NATimeWatch.h"
#include "sources/NFrequencyWatch.h"
#include "sources/NTimeWatch.h"

namespace talvero {
namespace {

using test::Close;
using test::LoadFile;
using test::LoadText;

std::string Example(const char* name) {
    const char* root = std::getenv("TALVERO_SOURCE_DIR");
    return std::string(root ? root : ".") + "/examples/" + name;
}

// What one engine left in every out gate.
struct Recorded {
    std::vector<std::vector<double>> Onsets;  // pulse watches
    std::vector<std::vector<double>> Analog;  // analog watches
    std::vector<double> Intervals;            // frequency watches
};

Recorded Record(const NModel& model) {
    Recorded r;
    std::size_t gate = 0;
    const auto onsets = test::Onsets(model);
    for (auto it = model.GetOutGatesBegin(); it != model.GetOutGatesEnd(); ++it, ++gate) {
        if (dynamic_cast<const NTimeWatch*>(it->get())) r.Onsets.push_back(onsets[gate]);
        else if (dynamic_cast<const NATimeWatch*>(it->get())) r.Analog.emplace_back((*it)->GetYBegin(), (*it)->GetYEnd());
        else if (auto* f = dynamic_cast<const NFrequencyWatch*>(it->get())) r.Intervals.push_back(f->GetIntervalsCount());
    }
    return r;
}

// `between` runs after the first `split` steps (a parameter change, a checkpoint), with the
// engine's state handed back to the objects, as the front ends do.
Recorded RunEngine(NModel& model, NEngineKind kind, long long steps, long long split = 0,
                   const std::function<void(NModel&)>& between = nullptr) {
    SetActiveModel(&model);
    ResetActiveModel();
    std::string notice;
    auto engine = MakeEngine(model, kind, notice);
    EXPECT_EQ(engine->Kind(), kind) << notice;
    for (int part = 0; part < 2; ++part) {
        engine->Begin();
        for (long long i = part == 0 ? 0 : split; i < (part == 0 ? split : steps); ++i) engine->Step();
        engine->End();
        if (part == 0 && between) between(model);
    }
    Recorded r = Record(model);
    SetActiveModel(nullptr);
    return r;
}

void ExpectAgreement(const Recorded& exact, const Recorded& fast, const std::string& label) {
    ASSERT_EQ(exact.Onsets.size(), fast.Onsets.size()) << label;
    for (std::size_t g = 0; g < exact.Onsets.size(); ++g) {
        const auto& a = exact.Onsets[g];
        const auto& b = fast.Onsets[g];
        auto early = [](const std::vector<double>& v) {
            return std::vector<double>(v.begin(), std::lower_bound(v.begin(), v.end(), 0.1));
        };
        EXPECT_EQ(early(a), early(b)) << label << ", pulse watch " << g;
        EXPECT_LE(std::fabs(double(a.size()) - double(b.size())), 0.01 * double(a.size())) << label << ", pulse watch " << g;
    }
    ASSERT_EQ(exact.Analog.size(), fast.Analog.size()) << label;
    for (std::size_t g = 0; g < exact.Analog.size(); ++g) {
        ASSERT_EQ(exact.Analog[g].size(), fast.Analog[g].size()) << label << ", analog watch " << g;
        for (std::size_t i = 0; i < exact.Analog[g].size(); ++i)
            ASSERT_TRUE(Close(exact.Analog[g][i], fast.Analog[g][i]))
                << label << ", analog watch " << g << ", point " << i << ": " << exact.Analog[g][i] << " vs "
                << fast.Analog[g][i];
    }
    ASSERT_EQ(exact.Intervals.size(), fast.Intervals.size()) << label;
    for (std::size_t g = 0; g < exact.Intervals.size(); ++g)
        EXPECT_LE(std::fabs(exact.Intervals[g] - fast.Intervals[g]), 0.01 * exact.Intervals[g]) << label << ", frequency watch " << g;
}

// Every watch saw something: a case that records nothing proves nothing.
void ExpectBusy(const Recorded& r, const std::string& label) {
    for (std::size_t g = 0; g < r.Onsets.size(); ++g) EXPECT_GT(r.Onsets[g].size(), 1u) << label << ", pulse watch " << g;
    for (std::size_t g = 0; g < r.Analog.size(); ++g)
        EXPECT_TRUE(std::any_of(r.Analog[g].begin(), r.Analog[g].end(), [](double v) { return v != 0; }))
            << label << ", analog watch " << g;
    for (std::size_t g = 0; g < r.Intervals.size(); ++g) EXPECT_GT(r.Intervals[g], 0) << label << ", frequency watch " << g;
}

void ExpectTextsAgree(const std::string& text, const std::string& label, bool busy = true) {
    auto exactEnv = LoadText(text);
    auto fastEnv = LoadText(text);
    ASSERT_TRUE(exactEnv && fastEnv) << label;
    const Recorded exact = RunEngine(*exactEnv->GetModel(), NEngineKind::Exact, 10000);
    const Recorded fast = RunEngine(*fastEnv->GetModel(), NEngineKind::Fast, 10000);
    if (busy) ExpectBusy(exact, label);
    ExpectAgreement(exact, fast, label);
}

// A neuron silent at rest that fires when its synapse "in" is hit.
std::string Follower(const char* name, const std::string& synapse = "") {
    return std::string("Neuron ") + name + " { IonUnit exc { parameter MaxIntensity = 1; }\n"
           "IonUnit inh { parameter MaxIntensity = -1;\nSynapse in { " + synapse + " } } }\n";
}

// A fibre between a generator and a neuron that stands after it in the net, and one from that
// neuron back to a neuron before it: pulses reach synapses in the step they leave and in the next.
std::string Fibres(const std::string& delay) {
    return std::string("Model m { Net net {\n") + Follower("first") +
                                 "NerveFibre ahead { parameter TimeDelay = " + delay + "; }\n" + Follower("second") +
                                 "NerveFibre back { parameter TimeDelay = " + delay + "; }\n"
                                 "link ahead:second.inh.in;\nlink second:back.input;\nlink back:first.inh.in; }\n"
                                 "Generator g { parameter Frequency = 35; }\n"
                                 "TimeWatch wFibre { }\nTimeWatch wFirst { }\nTimeWatch wSecond { }\n"
                                 "link g:net.ahead.input;\nlink net.ahead:wFibre.input;\n"
                                 "link net.first:wFirst.input;\nlink net.second:wSecond.input; }\n";
}

TEST(FastClassesTest, NerveFibresDelayPulsesAsUnderTheExactEngine) {
    for (const char* delay : {"0", "0.00015", "0.005", "0.0123"}) ExpectTextsAgree(Fibres(delay), std::string("delay ") + delay);
}

// The analog input reaches the afferent neuron from a source directly and through a relay item;
// its pulses drive a neuron.
TEST(FastClassesTest, AfferentNeuronsFollowTheirAnalogInput) {
    const std::string cases[][3] = {
        {"2", "parameter Frequency = 2;", ""},
        {"5", "parameter Frequency = 7;\nparameter Amplitude = 0.4;", "parameter PT1 = 0.01;\nparameter K = 2;"},
        {"0.5", "parameter Frequency = 3;\nparameter Amplitude = 3;\nparameter StartTime = 0.05;\nparameter StopTime = 0.8;",
         ""},
    };
    for (const auto& [sensitivity, wave, zone] : cases) {
        const std::string text = "Model m { Net net {\nSimpleAItem relay { }\n"
                                 "AfferentNeuron viaRelay { parameter Sensitivity = " + sensitivity + ";\n"
                                 "LTZone zone { " + zone + " } }\n"
                                 "AfferentNeuron direct { parameter Sensitivity = " + sensitivity + "; }\n" +
                                 Follower("driven") + "link relay:viaRelay.input;\nlink viaRelay:driven.inh.in; }\n"
                                 "ASinusGenerator wave { " + wave + " }\nAStepGenerator level { parameter Amplitude = 0.3; }\n"
                                 "TimeWatch wViaRelay { }\nTimeWatch wDirect { }\nTimeWatch wDriven { }\nATimeWatch wRelay { }\n"
                                 "FrequencyWatch rate { parameter RightRange = 200; }\n"
                                 "link wave:net.relay.input;\nlink level:net.direct.input;\nlink net.viaRelay:wViaRelay.input;\n"
                                 "link net.direct:wDirect.input;\nlink net.driven:wDriven.input;\nlink net.relay:wRelay.input;\n"
                                 "link net.viaRelay:rate.input; }\n";
        ExpectTextsAgree(text, std::string("sensitivity ") + sensitivity + ", " + wave);
    }
}

// Every output of a muscle, driven by a generator or by a neuron, with the load's mass and the
// activation chain's constants varied.
TEST(FastClassesTest, MusclesAndEyeMusclesGiveTheirOutputsWithinTheTolerance) {
    const std::string outputs[] = {"length", "vereteno1", "vereteno2", "goldgi", "power", "activepower"};
    const std::string muscleCases[][2] = {
        {"", "Generator g { parameter Frequency = 20; }\nlink g:net.leg.input;\n"},
        {"parameter Mass = 2;\nparameter T1 = 0.005;", "Generator g { parameter Frequency = 45; }\nlink g:net.motor.inh.in;\n"},
        {"parameter Mass = 0;", "Generator g { parameter Frequency = 20; }\nlink g:net.leg.input;\n"},
    };
    for (const auto& [params, drive] : muscleCases) {
        std::string text = "Model m { Net net {\n" + Follower("motor") + "Muscle leg { " + params + " }\n";
        if (drive.find("motor") != std::string::npos) text += "link motor:leg.input;\n";
        text += "}\n" + drive;
        for (const std::string& o : outputs) text += "ATimeWatch " + o + " { }\nlink net.leg." + o + ":" + o + ".input;\n";
        // A massless load does not move: its length stays 0.
        ExpectTextsAgree(text + "}\n", "muscle " + params, params != "parameter Mass = 0;");
    }
    for (const char* eye : {"", "parameter K = 0.5;\nparameter MultiplicationFactor1 = 0.3;", "parameter T2 = 1.01;"}) {
        const std::string text = "Model m { Net net {\n" + Follower("motor") + "EyeMuscle eye { " + eye + " }\n"
                                 "link motor:eye.input; }\n"
                                 "Generator g { parameter Frequency = 50;\nparameter StopTime = 0.5; }\n"
                                 "link g:net.motor.inh.in;\n"
                                 "ATimeWatch length { }\nlink net.eye.length:length.input; }\n";
        ExpectTextsAgree(text, std::string("eye muscle ") + eye);
    }
}

// Generators and watches may stand in a net, where they compute in the net's order: a pulse
// generator there drives a neuron before it and one after it, and the net's own watches record.
TEST(FastClassesTest, GeneratorsAndWatchesInsideANetAgree) {
    const std::string text = "Model m { Net net {\n" + Follower("before") + "Generator g { parameter Frequency = 30; }\n"
                             "ASinusGenerator wave { parameter Frequency = 4; }\nAfferentNeuron sensor { parameter Sensitivity = 3; }\n" +
                             Follower("after") + "TimeWatch inner { }\nATimeWatch innerWave { }\nFrequencyWatch innerRate { }\n"
                             "link g:before.inh.in;\nlink g:after.inh.in;\nlink wave:sensor.input;\nlink sensor:inner.input;\n"
                             "link wave:innerWave.input;\nlink after:innerRate.input; }\n"
                             "TimeWatch wBefore { }\nTimeWatch wAfter { }\nTimeWatch wSensor { }\n"
                             "link net.before:wBefore.input;\nlink net.after:wAfter.input;\nlink net.sensor:wSensor.input; }\n";
    auto exactEnv = LoadText(text);
    auto fastEnv = LoadText(text);
    ASSERT_TRUE(exactEnv && fastEnv);
    const Recorded exact = RunEngine(*exactEnv->GetModel(), NEngineKind::Exact, 10000);
    const Recorded fast = RunEngine(*fastEnv->GetModel(), NEngineKind::Fast, 10000);
    ExpectBusy(exact, "in a net");
    ExpectAgreement(exact, fast, "in a net");
    for (const char* watch : {"net.inner", "net.innerWave", "net.innerRate"}) {
        auto* a = dynamic_cast<NAbstractOutGate*>(exactEnv->GetModel()->GetComponent(watch));
        auto* b = dynamic_cast<NAbstractOutGate*>(fastEnv->GetModel()->GetComponent(watch));
        ASSERT_TRUE(a && b) << watch;
        const std::vector<double> ya(a->GetYBegin(), a->GetYEnd()), yb(b->GetYBegin(), b->GetYEnd());
        EXPECT_GT(ya.size(), 1u) << watch;
        EXPECT_EQ(ya, yb) << watch;
    }
}

TEST(FastClassesTest, TheExamplesAgreeWithTheExactEngine) {
    for (const char* name : {"reflex_arc.tv", "eye_muscle.tv", "all_classes.tv", "user_classes.tv"}) {
        auto exactEnv = LoadFile(Example(name));
        auto fastEnv = LoadFile(Example(name));
        ASSERT_TRUE(exactEnv && fastEnv) << name;
        const Recorded exact = RunEngine(*exactEnv->GetModel(), NEngineKind::Exact, 10000);
        const Recorded fast = RunEngine(*fastEnv->GetModel(), NEngineKind::Fast, 10000);
        ExpectAgreement(exact, fast, name);
    }
}

// A run continued after a change between its parts, under each engine, on the model that holds
// every class.
TEST(FastClassesTest, ChangesBetweenRunsReachEveryClass) {
    struct Change {
        const char* Path;
        const char* Name;
        double Value;
    };
    const Change changes[] = {
        {"body.fibre", "TimeDelay", 0.0021},   {"body.sensor", "Sensitivity", 4},
        {"body.sensor.ltzone", "PT1", 0.012},    {"body.leg", "Mass", 1.5},
        {"body.eye", "K", 0.4},                {"wave", "Frequency", 5},
        {"pedestal", "Amplitude", 2},          {"pacer", "Frequency", 25},
    };
    for (const Change& c : changes) {
        auto apply = [&c](NModel& model) {
            NBasicDescription* object = model.GetComponent(c.Path);
            ASSERT_TRUE(object && object->SetParameter(c.Name, c.Value)) << c.Path << "." << c.Name;
        };
        const std::string label = std::string(c.Path) + "." + c.Name;
        auto exactEnv = LoadFile(Example("all_classes.tv"));
        auto fastEnv = LoadFile(Example("all_classes.tv"));
        ASSERT_TRUE(exactEnv && fastEnv);
        ExpectAgreement(RunEngine(*exactEnv->GetModel(), NEngineKind::Exact, 10000, 3000, apply),
                        RunEngine(*fastEnv->GetModel(), NEngineKind::Fast, 10000, 3000, apply), label);
    }
    // A new time step, which the fibre's cells follow at the next reset only.
    auto dt = [](NModel& model) { ASSERT_TRUE(model.SetTimeStep(0.00005)); };
    auto exactEnv = LoadFile(Example("all_classes.tv"));
    auto fastEnv = LoadFile(Example("all_classes.tv"));
    ASSERT_TRUE(exactEnv && fastEnv);
    ExpectAgreement(RunEngine(*exactEnv->GetModel(), NEngineKind::Exact, 14000, 3000, dt),
                    RunEngine(*fastEnv->GetModel(), NEngineKind::Fast, 14000, 3000, dt), "time step");
}

// A checkpoint written while the fast engine computes holds the whole state: the exact engine goes
// on from it in a model loaded afresh as it goes on from its own run.
TEST(FastClassesTest, ACheckpointTakenUnderTheFastEngineRestoresUnderTheExactOne) {
    test::TempDir dir;
    // The fibres' model has pulses in flight in its delay lines most of the time.
    const std::string fibres = dir.Write("fibres.tv", Fibres("0.0123"));
    for (const std::string& name : {Example("all_classes.tv"), Example("reflex_arc.tv"), fibres}) {
        for (const long long at : {4000LL, 4007LL, 4150LL}) {
            std::string checkpoint;
            auto fastEnv = LoadFile(name);
            auto restoredEnv = LoadFile(name);
            auto exactEnv = LoadFile(name);
            ASSERT_TRUE(fastEnv && restoredEnv && exactEnv);
            RunEngine(*fastEnv->GetModel(), NEngineKind::Fast, at, at,
                [&checkpoint](NModel& model) { SaveCheckpoint(model, checkpoint); });

            NModel& restored = *restoredEnv->GetModel();
            SetActiveModel(&restored);
            ResetActiveModel();
            ASSERT_TRUE(RestoreCheckpoint(restored, checkpoint.data(), checkpoint.size())) << name;
            std::string notice;
            auto engine = MakeEngine(restored, NEngineKind::Exact, notice);
            engine->Begin();
            for (long long i = at; i < 10000; ++i) engine->Step();
            engine->End();
            const Recorded continued = Record(restored);
            SetActiveModel(nullptr);

            const Recorded exact = RunEngine(*exactEnv->GetModel(), NEngineKind::Exact, 10000);
            ExpectAgreement(exact, continued, name + " after " + std::to_string(at) + " steps");
        }
    }
}

} // namespace
} // namespace talvero
