#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "ElementsTestSupport.h"
#include "elements/NAfferentNeuron.h"
#include "elements/NNerveFibre.h"

namespace talvero::test {
namespace {

// Source -> fibre -> probe, in that net order.
struct FibreBench {
    TestModel t;
    PulseSource* Source;
    NNerveFibre* Fibre;
    Probe* Out;

    FibreBench(std::set<int> pulses, double delay) {
        Source = t.Add<PulseSource>("src", std::move(pulses));
        Fibre = t.Add<NNerveFibre>("f", delay);
        Out = t.Add<Probe>("probe");
        EXPECT_TRUE(t.Link("src", "f.input"));
        EXPECT_TRUE(t.Link("f", "probe.pulses"));
        t.Reset();
    }
    std::vector<int> Run(int steps) {
        t.Run(steps);
        return Out->Pulses->Steps;
    }
};

TEST(NerveFibre, DelaysInWholeSteps) {
    EXPECT_EQ(FibreBench({7}, 0).Run(30), (std::vector<int>{7}));
    FibreBench five({7}, 0.005);
    EXPECT_EQ(five.Fibre->GetCellsCount(), 49);
    EXPECT_EQ(five.Run(100), (std::vector<int>{7 + 49}));
    FibreBench one({7}, 0.001);
    EXPECT_EQ(one.Fibre->GetCellsCount(), 9);
    EXPECT_EQ(one.Run(100), (std::vector<int>{16}));
}

TEST(NerveFibre, OneOutputPulsePerRefractoryPeriod) {
    // One input pulse, one output pulse.
    EXPECT_EQ(FibreBench({5}, 0.001).Run(60), (std::vector<int>{14}));
    // Pulses five steps apart merge at the input into one run of 15 active steps. The refractory
    // time ends inside that run, and the first active cell read then emits again.
    EXPECT_EQ(FibreBench({5, 10}, 0).Run(60), (std::vector<int>{5, 15}));
    EXPECT_EQ(FibreBench({5, 10}, 0.005).Run(100), (std::vector<int>{54, 64}));
    EXPECT_EQ(FibreBench({5, 12}, 0.001).Run(60), (std::vector<int>{14, 24}));
    // Inside the refractory time nothing is emitted.
    EXPECT_EQ(FibreBench({5, 30}, 0.001).Run(60), (std::vector<int>{14, 39}));
}

TEST(NerveFibre, CellsFollowTheTimeStepAtReset) {
    FibreBench b({3}, 0.005);
    ASSERT_TRUE(SetTimeStep(0.0005));  // resets the active model with the new step
    EXPECT_EQ(b.Fibre->GetCellsCount(), 10);  // not the 49 cells of the old step
    EXPECT_EQ(b.Run(30), (std::vector<int>{13}));
}

TEST(NerveFibre, IsPulseWhileEmitting) {
    FibreBench b({3}, 0.001);
    int active = 0;
    b.Out->OnStep = [&](int) { active += b.Fibre->IsPulse(); };
    b.Run(40);
    EXPECT_EQ(active, 10);
}

TEST(NerveFibre, TimeDelayParameter) {
    FibreBench b({2}, 0.001);
    NNerveFibre* f = b.Fibre;
    b.t.Run(4);  // a recorded pulse sits in the cells
    EXPECT_FALSE(f->SetTimeDelay(-0.001));
    EXPECT_EQ(TakeCode(), 21u);
    EXPECT_EQ(f->GetTimeDelay(), 0.001);
    EXPECT_FALSE(f->SetParameter("TimeDelay", std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(TakeCode(), 21u);
    // A delay that no buffer could hold is refused rather than wrapped around.
    EXPECT_FALSE(f->SetParameter("TimeDelay", 1e300));
    EXPECT_EQ(TakeCode(), 21u);
    EXPECT_EQ(f->GetCellsCount(), 9);

    // Setting the parameter keeps the cells that still fit and restarts the position, no reset.
    const int before = b.Fibre->GetInput()->GetPulseCounter();
    ASSERT_TRUE(f->SetParameter("TimeDelay", 0.0005));
    EXPECT_EQ(f->GetCellsCount(), 4);
    EXPECT_EQ(f->GetPosition(), -1);
    EXPECT_EQ(b.Fibre->GetInput()->GetPulseCounter(), before);
    std::vector<char> state(static_cast<std::size_t>(f->GetStateSize()));
    ASSERT_EQ(state.size(), 16u);
    f->SaveState(state.data());
    EXPECT_EQ(std::vector<char>(state.begin() + 12, state.end()), (std::vector<char>{0, 1, 1, 1}));

    ASSERT_TRUE(f->SetParameter("TimeDelay", 0));
    EXPECT_EQ(f->GetStateSize(), 12);
}

TEST(NerveFibre, SavedStateRoundTripAndUnsafeStatesRefused) {
    FibreBench b({2}, 0.001);
    b.t.Run(5);
    NNerveFibre* f = b.Fibre;
    std::vector<char> state(static_cast<std::size_t>(f->GetStateSize()));
    ASSERT_EQ(state.size(), 9u + 12u);
    f->SaveState(state.data());
    std::int32_t head[3];
    std::memcpy(head, state.data(), sizeof(head));
    EXPECT_EQ(head[1], 4);  // position of step 5
    EXPECT_EQ(head[2], 9);

    b.t.Reset();
    b.Source->Steps.clear();
    ASSERT_TRUE(f->LoadState(state.data()));
    EXPECT_EQ(f->GetPosition(), 4);
    b.t.Run(20);
    // The pulse recorded in step 2 was due in step 11, six steps after the save.
    EXPECT_EQ(b.Out->Pulses->Steps, (std::vector<int>{6}));

    // A position outside the cells would make the next step read past the buffer.
    const std::int32_t bad[3] = {0, 9, 9};
    std::vector<char> badState(21, 0);
    std::memcpy(badState.data(), bad, sizeof(bad));
    EXPECT_FALSE(f->LoadState(badState.data()));
    EXPECT_EQ(TakeCode(), 21u);
    const std::int32_t negative[3] = {0, -1, -5};
    EXPECT_FALSE(f->LoadState(reinterpret_cast<const char*>(negative)));
    EXPECT_EQ(f->GetCellsCount(), 9);
}

TEST(NerveFibre, ComponentsAndCopies) {
    FibreBench b({}, 0.002);
    NNerveFibre* f = b.Fibre;
    EXPECT_FALSE(f->DelComponent("input"));
    EXPECT_EQ(TakeCode(), 3u);
    EXPECT_EQ(f->GetComponent("input"), f->GetInput());
    EXPECT_EQ(f->GetComponent("input.x"), nullptr);
    EXPECT_EQ(TakeCode(), 3u);
    EXPECT_EQ(f->New(f, "input"), nullptr);  // the name is the input's
    EXPECT_EQ(TakeCode(), 2u);

    // A copy has its own "input" and the delay; no error is left behind.
    ReportError(0);
    std::unique_ptr<NBasicDescription> copy(f->Clone(b.t.Net, "copy"));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(PeekLastErrorCode(), 0u);
    auto* c = dynamic_cast<NNerveFibre*>(copy.get());
    EXPECT_EQ(c->GetTimeDelay(), 0.002);
    EXPECT_EQ(c->GetCellsCount(), 19);
    ASSERT_NE(c->GetInput(), nullptr);
    EXPECT_STREQ(c->GetInput()->GetName(), "input");
    EXPECT_EQ(c->GetInput()->GetItem(), nullptr);

    // The input can be replaced, not deleted; the new one keeps its name.
    auto* newInput = new NSimpleConnector(f, "in2");
    ASSERT_TRUE(f->AddComponent(newInput));
    EXPECT_EQ(b.Source->GetConnectorsCount(), 0);  // the old input went with its link
    EXPECT_EQ(f->GetComponent("in2"), newInput);
}

// Analog source -> afferent neuron -> probe.
struct AfferentBench {
    TestModel t;
    AnalogSource* Source;
    NAfferentNeuron* Neuron;
    Probe* Out;

    explicit AfferentBench(double x) {
        Source = t.Add<AnalogSource>("src", x);
        Neuron = t.Add<NAfferentNeuron>("aff");
        Out = t.Add<Probe>("probe");
        EXPECT_TRUE(t.Link("src", "aff.input"));
        EXPECT_TRUE(t.Link("aff", "probe.pulses"));
        t.Reset();
    }
    std::size_t Pulses(int steps) {
        t.Run(steps);
        return Out->Pulses->Steps.size();
    }
};

TEST(AfferentNeuron, FiresFasterForLargerInputs) {
    EXPECT_EQ(AfferentBench(0).Pulses(2000), 0u);
    EXPECT_EQ(AfferentBench(-1).Pulses(2000), 0u);
    const std::size_t weak = AfferentBench(0.5).Pulses(2000);
    const std::size_t strong = AfferentBench(3).Pulses(2000);
    EXPECT_GT(weak, 0u);
    EXPECT_GT(strong, weak);

    AfferentBench b(-1);
    b.t.Run(1);
    // The zone's first input is the compressed value: 1 - e for x = -1.
    EXPECT_DOUBLE_EQ(b.Neuron->GetLTZone()->InputsData()[0], 1 - std::exp(1.0));
    EXPECT_EQ(b.Neuron->GetLTZone()->InputsData()[1], 0);

    AfferentBench off(5);
    ASSERT_TRUE(off.Neuron->SetParameter("Sensitivity", 0));
    EXPECT_EQ(off.Pulses(2000), 0u);
}

TEST(AfferentNeuron, ComponentsParametersAndCopies) {
    AfferentBench b(1);
    NAfferentNeuron* n = b.Neuron;
    ReportError(0);
    EXPECT_EQ(n->GetComponent("ltzone"), n->GetLTZone());
    EXPECT_EQ(PeekLastErrorCode(), 0u);
    EXPECT_EQ(n->GetComponent("input"), n->GetInput());
    EXPECT_EQ(n->GetComponent("ltzone.PT1"), nullptr);
    EXPECT_EQ(TakeCode(), 3u);
    EXPECT_FALSE(n->DelComponent("ltzone"));
    EXPECT_EQ(TakeCode(), 3u);

    // A copy carries the sensitivity and the zone's parameters, in its own "ltzone".
    ASSERT_TRUE(n->SetParameter("Sensitivity", 2.5));
    ASSERT_TRUE(n->GetLTZone()->SetParameter("PT1", 0.03));
    ReportError(0);
    std::unique_ptr<NBasicDescription> copy(n->Clone(b.t.Net, "copy"));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(PeekLastErrorCode(), 0u);
    auto* c = dynamic_cast<NAfferentNeuron*>(copy.get());
    EXPECT_EQ(c->GetParameter("Sensitivity"), 2.5);
    EXPECT_EQ(c->GetLTZone()->GetParameter("PT1"), 0.03);
    EXPECT_STREQ(c->GetLTZone()->GetName(), "ltzone");

    // A zone of another name replaces the current one.
    auto* zone = new NLTZone(n, "z2");
    ASSERT_TRUE(n->AddComponent(zone));
    EXPECT_EQ(n->GetLTZone(), zone);
    EXPECT_EQ(n->GetComponent("z2"), zone);
}

} // namespace
} // namespace talvero::test
