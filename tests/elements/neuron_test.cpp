#include <cmath>

#include "ElementsTestSupport.h"
#include "elements/NNeuron.h"

namespace talvero::test {
namespace {

NIonUnit* AddUnit(NNeuron* neuron, const char* name, double maxIntensity = 1.0) {
    auto* unit = new NIonUnit(neuron, name);
    EXPECT_TRUE(unit->SetParameter("MaxIntensity", maxIntensity));
    EXPECT_TRUE(neuron->AddIonUnit(unit));
    return unit;
}

NSynapse* AddSynapse(NIonUnit* unit, const char* name) {
    auto* synapse = new NSynapse(unit, name);
    EXPECT_TRUE(unit->AddSynapse(synapse));
    return synapse;
}

TEST(Neuron, OneDefaultIonUnitPulsesAtTheKnownSteps) {
    TestModel t;
    auto* neuron = t.Add<NNeuron>("n");
    NIonUnit* unit = AddUnit(neuron, "u");
    auto* probe = t.Add<Probe>("probe");
    ASSERT_TRUE(t.Link("n", "probe.pulses"));
    double firstOutput = 0;
    probe->OnStep = [&](int step) {
        if (step == 1) firstOutput = unit->Output(0);
    };
    t.Reset();
    t.Run(2000);
    const std::vector<int>& pulses = probe->Pulses->Steps;
    ASSERT_GE(pulses.size(), 7u);
    EXPECT_EQ(std::vector<int>(pulses.begin(), pulses.begin() + 7), (std::vector<int>{23, 84, 117, 148, 176, 202, 227}));
    EXPECT_EQ(pulses.size(), 93u);
    // The unit's first step from rest.
    EXPECT_DOUBLE_EQ(firstOutput, 0.0001 / (0.02 + 0.00005));
    EXPECT_EQ(neuron->GetPositivePotential(), unit->Output(0));
    EXPECT_EQ(neuron->GetNegativePotential(), 0);

    // A reset run repeats itself exactly.
    t.Reset();
    t.Run(240);
    EXPECT_EQ(probe->Pulses->Steps, (std::vector<int>{23, 84, 117, 148, 176, 202, 227}));
}

TEST(Neuron, WithoutIonUnitsItStaysSilent) {
    TestModel t;
    auto* neuron = t.Add<NNeuron>("n");
    auto* probe = t.Add<Probe>("probe");
    ASSERT_TRUE(t.Link("n", "probe.pulses"));
    t.Reset();
    t.Run(500);
    EXPECT_TRUE(probe->Pulses->Steps.empty());
    EXPECT_EQ(neuron->GetPotential(), 0);
}

TEST(Neuron, PotentialsAreMeansBySignAndZeroOutputsDoNotDilute) {
    TestModel t;
    auto* neuron = t.Add<NNeuron>("n");
    NIonUnit* neg = AddUnit(neuron, "neg", -0.5);
    NIonUnit* zero = AddUnit(neuron, "zero", 0.0);
    NIonUnit* pos1 = AddUnit(neuron, "pos1", 0.2);
    NIonUnit* pos2 = AddUnit(neuron, "pos2", 0.6);
    t.Reset();
    t.Run(1);
    EXPECT_LT(neg->Output(0), 0);
    EXPECT_EQ(zero->Output(0), 0);
    EXPECT_DOUBLE_EQ(neuron->GetNegativePotential(), neg->Output(0));
    EXPECT_DOUBLE_EQ(neuron->GetPositivePotential(), (pos1->Output(0) + pos2->Output(0)) / 2);
    EXPECT_DOUBLE_EQ(neuron->GetPotential(), neuron->GetNegativePotential() + neuron->GetPositivePotential());
    // The zone got the two potentials as its inputs.
    EXPECT_EQ(neuron->GetLTZone()->InputsData()[0], neuron->GetNegativePotential());
    EXPECT_EQ(neuron->GetLTZone()->InputsData()[1], neuron->GetPositivePotential());

    // Saved state: the two potentials.
    ASSERT_EQ(neuron->GetStateSize(), 16);
    double saved[2];
    neuron->SaveState(reinterpret_cast<char*>(saved));
    EXPECT_EQ(saved[0], neuron->GetNegativePotential());
    EXPECT_EQ(saved[1], neuron->GetPositivePotential());
}

TEST(Neuron, OnePulsePerSwitchingOnForEveryConnector) {
    TestModel t;
    auto* neuron = t.Add<NNeuron>("n");
    AddUnit(neuron, "u");
    auto* p1 = t.Add<Probe>("p1");
    auto* p2 = t.Add<Probe>("p2");
    ASSERT_TRUE(t.Link("n", "p1.pulses"));
    ASSERT_TRUE(t.Link("n", "p2.pulses"));
    int activeSteps = 0;
    p1->OnStep = [&](int) { activeSteps += neuron->IsPulse(); };
    t.Reset();
    t.Run(100);
    EXPECT_EQ(p1->Pulses->Steps, (std::vector<int>{23, 84}));
    EXPECT_EQ(p2->Pulses->Steps, p1->Pulses->Steps);
    EXPECT_EQ(activeSteps, 20);  // ten steps of output per pulse, one transfer each
}

// Two neurons, each with a default unit shunted by a synapse from the other. Whoever comes first
// in the net hands its pulse to the other's synapse within the same step; the reverse direction
// arrives one step later.
TEST(Neuron, MutualSynapsesFollowTheNetOrder) {
    for (bool aFirst : {true, false}) {
        SCOPED_TRACE(aFirst ? "a before b" : "b before a");
        TestModel t;
        NNeuron* a = aFirst ? t.Add<NNeuron>("a") : nullptr;
        auto* b = t.Add<NNeuron>("b");
        if (!a) a = t.Add<NNeuron>("a");
        NSynapse* intoA = AddSynapse(AddUnit(a, "u"), "s");
        NSynapse* intoB = AddSynapse(AddUnit(b, "u"), "s");
        auto* probe = t.Add<Probe>("probe");
        ASSERT_TRUE(t.Link("b", "a.u.s"));
        ASSERT_TRUE(t.Link("a", "b.u.s"));
        ASSERT_TRUE(t.Link("a", "probe.pulses"));
        int aReached = 0, bReached = 0;
        probe->OnStep = [&](int step) {
            if (!aReached && intoA->GetTransmitter() > 0) aReached = step;
            if (!bReached && intoB->GetTransmitter() > 0) bReached = step;
        };
        t.Reset();
        t.Run(40);
        // Both fire first in step 23 (their own units alone bring them there).
        ASSERT_FALSE(probe->Pulses->Steps.empty());
        EXPECT_EQ(probe->Pulses->Steps.front(), 23);
        EXPECT_EQ(intoA->GetPulseStartTime(), intoB->GetPulseStartTime());
        if (aFirst) {
            EXPECT_EQ(bReached, 23);
            EXPECT_EQ(aReached, 24);
        } else {
            EXPECT_EQ(aReached, 23);
            EXPECT_EQ(bReached, 24);
        }
    }
}

TEST(Neuron, SynapseFromItselfTakesItsOwnPulseNextStep) {
    TestModel t;
    auto* n = t.Add<NNeuron>("n");
    NSynapse* self = AddSynapse(AddUnit(n, "u"), "s");
    ASSERT_TRUE(t.Link("n", "n.u.s"));
    auto* probe = t.Add<Probe>("probe");
    int reached = 0;
    probe->OnStep = [&](int step) {
        if (!reached && self->GetTransmitter() > 0) reached = step;
    };
    t.Reset();
    t.Run(30);
    EXPECT_EQ(reached, 24);
}

TEST(Neuron, ComponentLookupsAndRefusals) {
    TestModel t;
    auto* n = t.Add<NNeuron>("cell1");
    auto* n10 = t.Add<NNeuron>("cell10");
    NIonUnit* u = AddUnit(n10, "u1");
    NSynapse* s = AddSynapse(u, "s1");

    EXPECT_EQ(t.Net->GetComponent("cell10.u1.s1"), s);
    EXPECT_EQ(t.Net->GetComponent("cell10.LTZone"), n10->GetLTZone());
    EXPECT_EQ(n10->GetComponent("LTZone.x"), nullptr);
    EXPECT_EQ(TakeCode(), 3u);

    NStringList names;
    n10->GetComponentsList(names);
    EXPECT_EQ(names, (NStringList{"LTZone", "u1"}));

    EXPECT_FALSE(n10->DelComponent("LTZone"));
    EXPECT_EQ(TakeCode(), 3u);
    EXPECT_NE(n10->GetLTZone(), nullptr);

    // A unit made for another neuron is refused and destroyed; the same unit twice is kept once.
    const int before = NBasicDescription::GetInstanceCount();
    EXPECT_FALSE(n->AddIonUnit(new NIonUnit(n10, "stray")));
    EXPECT_EQ(TakeCode(), 14u);
    EXPECT_EQ(NBasicDescription::GetInstanceCount(), before);
    EXPECT_FALSE(n10->AddIonUnit(u));
    EXPECT_EQ(TakeCode(), 11u);
    EXPECT_EQ(n10->GetIonUnitsCount(), 1);

    // The zone's name is taken; a zone of another name replaces the old one.
    EXPECT_FALSE(n->CheckName("LTZone"));
    EXPECT_EQ(n->GetLTZone()->New(n, "LTZone"), nullptr);
    EXPECT_EQ(TakeCode(), 2u);
    NBasicDescription* zone = n->GetLTZone()->New(n, "Z");
    ASSERT_NE(zone, nullptr);
    ASSERT_TRUE(n->AddComponent(zone));
    EXPECT_EQ(n->GetLTZone(), zone);
    EXPECT_TRUE(n->CheckName("LTZone"));
    EXPECT_FALSE(n->CheckName("Z"));
    EXPECT_TRUE(n->SetLTZone(n->GetLTZone()));  // its own zone again: nothing changes
    EXPECT_EQ(n->GetLTZone(), zone);
}

TEST(Neuron, CloneCopiesUnitsSynapsesAndZoneParameters) {
    TestModel t;
    auto* n = t.Add<NNeuron>("n");
    NIonUnit* u = AddUnit(n, "u", -0.7);
    NSynapse* s = AddSynapse(u, "s");
    ASSERT_TRUE(s->SetParameter("K", 0.25));
    ASSERT_TRUE(n->GetLTZone()->SetParameter("PT2", 0.07));
    auto* src = t.Add<PulseSource>("src");
    ASSERT_TRUE(t.Link("src", "n.u.s"));

    std::unique_ptr<NBasicDescription> copy(n->Clone(t.Net, "copy"));
    ASSERT_NE(copy, nullptr);
    auto* c = dynamic_cast<NNeuron*>(copy.get());
    ASSERT_NE(c, nullptr);
    NStringList names;
    c->GetComponentsList(names);
    EXPECT_EQ(names, (NStringList{"LTZone", "u"}));
    EXPECT_EQ(c->GetComponent("u")->GetParameter("MaxIntensity"), -0.7);
    auto* cs = dynamic_cast<NSynapse*>(c->GetComponent("u.s"));
    ASSERT_NE(cs, nullptr);
    EXPECT_EQ(cs->GetParameter("K"), 0.25);
    EXPECT_EQ(cs->GetItem(), nullptr);  // connections are the net's business
    // The zone is the copy's own "LTZone", carrying the parameters of the original.
    EXPECT_EQ(c->GetLTZone()->GetParameter("PT2"), 0.07);
    EXPECT_EQ(src->GetConnectorsCount(), 1);
}

} // namespace
} // namespace talvero::test
