#include <cmath>
#include <cstring>

#include "ElementsTestSupport.h"
#include "elements/NNeuron.h"

namespace talvero::test {
namespace {

// A source in the net ahead of a neuron whose one unit has one synapse "s" fed by the source.
struct SynapseBench {
    TestModel t;
    PulseSource* Source;
    NNeuron* Neuron;
    NIonUnit* Unit;
    NSynapse* Synapse;

    explicit SynapseBench(std::set<int> pulses) {
        Source = t.Add<PulseSource>("src", std::move(pulses));
        Neuron = t.Add<NNeuron>("n");
        Unit = new NIonUnit(Neuron, "u");
        EXPECT_TRUE(Neuron->AddIonUnit(Unit));
        Synapse = new NSynapse(Unit, "s");
        EXPECT_TRUE(Unit->AddSynapse(Synapse));
        EXPECT_TRUE(t.Link("src", "n.u.s"));
        t.Reset();
    }
};

TEST(Synapse, TransmitterAndConductanceThroughOnePulse) {
    SynapseBench b({1});
    b.t.Run(1);
    EXPECT_NEAR(b.Synapse->GetTransmitter(), 1 / 10.5, 1e-7);
    EXPECT_NEAR(b.Synapse->GetConductance(), 1.904762e-8, 1e-14);
    EXPECT_EQ(b.Synapse->GetCurrentTC(), 0.001);
    b.t.Run(8);
    EXPECT_NEAR(b.Synapse->GetTransmitter(), 0.593736, 1e-6);
    EXPECT_NEAR(b.Synapse->GetConductance(), 1.2535e-9, 1e-13);
    EXPECT_EQ(b.Synapse->GetPulseCounter(), 1);

    // The last pulse step aims at 0.5 and hands over to dissociation.
    const double m9 = b.Synapse->GetTransmitter();
    b.t.Run(1);
    EXPECT_EQ(b.Synapse->GetCurrentTC(), 0.005);
    EXPECT_EQ(b.Synapse->GetPulseCounter(), 0);
    EXPECT_NEAR(b.Synapse->GetTransmitter(), m9 + (0.5 - m9) / 50.5, 1e-12);

    // Decay with D = 50.5; the conductance passes its maximum 1e-7 as m falls through 0.5.
    double previous = b.Synapse->GetTransmitter();
    double peak = 0;
    for (int i = 0; i < 300; ++i) {
        b.t.Run(1);
        const double m = b.Synapse->GetTransmitter();
        EXPECT_NEAR(m, previous - previous / 50.5, 1e-15);
        previous = m;
        peak = std::max(peak, b.Synapse->GetConductance());
    }
    EXPECT_GT(peak, 0.98e-7);  // sampled once per step near the top
    EXPECT_LE(peak, 1e-7);
}

TEST(Synapse, NoPulseNoTransmitter) {
    SynapseBench b({});
    b.t.Run(100);
    EXPECT_EQ(b.Synapse->GetTransmitter(), 0);
    EXPECT_EQ(b.Synapse->GetConductance(), 0);
}

TEST(Synapse, SecondPulseRestartsTheCount) {
    SynapseBench b({1, 6});
    b.t.Run(6);
    EXPECT_EQ(b.Synapse->GetPulseCounter(), 9);  // restarted at 10, one step consumed
    EXPECT_EQ(b.Synapse->GetCurrentTC(), 0.001);
    b.t.Run(8);
    EXPECT_EQ(b.Synapse->GetCurrentTC(), 0.001);
    b.t.Run(1);
    EXPECT_EQ(b.Synapse->GetCurrentTC(), 0.005);
}

TEST(Synapse, SettingAParameterDropsThePulse) {
    SynapseBench b({1});
    b.t.Run(3);
    ASSERT_GT(b.Synapse->GetTransmitter(), 0);
    ASSERT_TRUE(b.Synapse->SetParameter("Ri", 4e9));
    EXPECT_EQ(b.Synapse->GetTransmitter(), 0);
    EXPECT_EQ(b.Synapse->GetPulseCounter(), 0);
    EXPECT_EQ(b.Synapse->GetCurrentTC(), 0.005);
    EXPECT_EQ(b.Synapse->GetItem(), b.Source);  // still connected
}

TEST(Synapse, TimeConstantsMustBePositiveWhileZeroLevelsPass) {
    SynapseBench b({});
    EXPECT_FALSE(b.Synapse->SetParameter("SecretionTC", 0));
    EXPECT_EQ(TakeCode(), 21u);
    EXPECT_EQ(b.Synapse->GetParameter("SecretionTC"), 0.001);
    EXPECT_TRUE(b.Synapse->SetParameter("K", 0));
    EXPECT_TRUE(b.Synapse->SetParameter("Rs", 0));
}

// A zero K or Rs has no finite conductance: such a synapse conducts nothing, so its unit and
// neuron behave as without it, and nothing non-finite reaches the model.
TEST(Synapse, ZeroKOrRsConductsNothing) {
    std::set<int> train;
    for (int step = 1; step <= 2000; step += 37) train.insert(step);
    for (const char* name : {"K", "Rs"}) {
        SCOPED_TRACE(name);
        SynapseBench b(train);
        auto* probe = b.t.Add<Probe>("probe");
        ASSERT_TRUE(b.t.Link("n", "probe.pulses"));
        ASSERT_TRUE(b.Synapse->SetParameter(name, 0));
        bool finite = true;
        double peakTransmitter = 0;
        probe->OnStep = [&](int) {
            finite = finite && std::isfinite(b.Synapse->GetConductance()) && std::isfinite(b.Unit->Output(0)) &&
                     std::isfinite(b.Neuron->GetPotential());
            EXPECT_EQ(b.Synapse->GetConductance(), 0);
            peakTransmitter = std::max(peakTransmitter, b.Synapse->GetTransmitter());
        };
        b.t.Reset();
        b.t.Run(2000);
        EXPECT_TRUE(finite);
        EXPECT_GT(peakTransmitter, 0.5);  // the transmitter still follows the pulses
        EXPECT_EQ(probe->Pulses->Steps.size(), 93u);  // as the lone default unit
    }
}

TEST(Synapse, SubnormalKOrRsStaysFinite) {
    for (const char* name : {"K", "Rs"}) {
        SCOPED_TRACE(name);
        SynapseBench b({1, 40});
        ASSERT_TRUE(b.Synapse->SetParameter(name, 5e-324));
        for (int i = 0; i < 100; ++i) {
            b.t.Run(1);
            ASSERT_TRUE(std::isfinite(b.Synapse->GetConductance()));
            ASSERT_TRUE(std::isfinite(b.Unit->Output(0)));
        }
    }
}

TEST(Synapse, SavedStateIsOutputTimeConstantAndTransmitter) {
    SynapseBench b({1});
    b.t.Run(4);
    ASSERT_EQ(b.Synapse->GetStateSize(), 24);
    double saved[3];
    b.Synapse->SaveState(reinterpret_cast<char*>(saved));
    EXPECT_EQ(saved[0], b.Synapse->GetConductance());
    EXPECT_EQ(saved[1], 0.001);
    EXPECT_EQ(saved[2], b.Synapse->GetTransmitter());
    b.t.Reset();
    ASSERT_TRUE(b.Synapse->LoadState(reinterpret_cast<const char*>(saved)));
    EXPECT_EQ(b.Synapse->GetTransmitter(), saved[2]);
    EXPECT_EQ(b.Synapse->GetCurrentTC(), 0.001);
    EXPECT_EQ(b.Synapse->GetPulseCounter(), 0);  // not part of the saved state
}

TEST(IonUnit, FirstStepAndSteadyOutputs) {
    SynapseBench b({});
    b.t.Run(1);
    EXPECT_DOUBLE_EQ(b.Unit->Output(0), 0.0001 / (0.02 + 0.00005));
    b.t.Run(1999);
    EXPECT_NEAR(b.Unit->Output(0), 1.0 - std::exp(-10.0), 1e-6);  // ten time constants RC

    // A conductance held at 1e-7 (m = K, a synapse that no longer decays): a = 1.8.
    ASSERT_TRUE(b.Synapse->SetParameter("DissociationTC", 1e300));
    const double state[3] = {0, 1e300, 0.5};
    ASSERT_TRUE(b.Synapse->LoadState(reinterpret_cast<const char*>(state)));
    b.t.Run(2000);
    EXPECT_DOUBLE_EQ(b.Synapse->GetConductance(), 1e-7);
    EXPECT_NEAR(b.Unit->Output(0), 1 / 1.8, 1e-12);
}

TEST(IonUnit, NegativeIntensityFeedsTheNegativePotential) {
    SynapseBench b({});
    ASSERT_TRUE(b.Unit->SetParameter("MaxIntensity", -1));
    b.t.Run(50);
    EXPECT_LT(b.Unit->Output(0), 0);
    EXPECT_EQ(b.Neuron->GetNegativePotential(), b.Unit->Output(0));
    EXPECT_EQ(b.Neuron->GetPositivePotential(), 0);
}

TEST(IonUnit, ParameterRangesAndResets) {
    SynapseBench b({1});
    NIonUnit* u = b.Unit;
    EXPECT_FALSE(u->SetParameter("MaxIntensity", -1.0001));
    EXPECT_EQ(TakeCode(), 21u);
    EXPECT_TRUE(u->SetParameter("MaxIntensity", -1));

    b.t.Run(5);
    ASSERT_NE(u->Output(0), 0);
    ASSERT_GT(b.Synapse->GetTransmitter(), 0);
    EXPECT_TRUE(u->SetParameter("C", 5e-9));  // resets the unit and its synapses
    EXPECT_EQ(u->Output(0), 0);
    EXPECT_EQ(b.Synapse->GetTransmitter(), 0);
    EXPECT_DOUBLE_EQ(u->GetRC(), 0.04);
}

TEST(IonUnit, SynapseListOperations) {
    SynapseBench b({});
    NIonUnit* u = b.Unit;
    const int before = NBasicDescription::GetInstanceCount();
    auto* other = new NIonUnit(b.Neuron, "u2");
    ASSERT_TRUE(b.Neuron->AddIonUnit(other));
    EXPECT_FALSE(u->AddSynapse(new NSynapse(other, "x")));
    EXPECT_EQ(TakeCode(), 14u);
    EXPECT_EQ(NBasicDescription::GetInstanceCount(), before + 1);
    EXPECT_FALSE(u->AddSynapse(b.Synapse));
    EXPECT_EQ(TakeCode(), 11u);
    EXPECT_EQ(u->GetSynapsesCount(), 1);

    // A copy of the unit carries copies of its synapses, unconnected.
    std::unique_ptr<NBasicDescription> copy(u->Clone(b.Neuron, "u3"));
    ASSERT_NE(copy, nullptr);
    auto* cs = dynamic_cast<NSynapse*>(copy->GetComponent("s"));
    ASSERT_NE(cs, nullptr);
    EXPECT_EQ(cs->GetItem(), nullptr);
    EXPECT_EQ(b.Synapse->GetItem(), b.Source);

    // Deleting a connected synapse takes it off its item's list.
    EXPECT_EQ(b.Source->GetConnectorsCount(), 1);
    EXPECT_TRUE(u->DelComponent("s"));
    EXPECT_EQ(b.Source->GetConnectorsCount(), 0);
}

// A unit with many synapses finds them through its name index: after additions, renames,
// deletions and repeated names it must answer as the list in order would.
TEST(IonUnit, ManySynapsesAreFoundByNameAsTheListWouldFindThem) {
    NNeuron neuron(nullptr, "n");
    auto* u = new NIonUnit(&neuron, "u");
    ASSERT_TRUE(neuron.AddIonUnit(u));
    std::vector<NSynapse*> made;
    for (int i = 0; i < 200; ++i) {
        std::string name = "s";
        name += std::to_string((i * 37) % 200);  // out of name order
        made.push_back(new NSynapse(u, name.c_str()));
        ASSERT_TRUE(u->AddSynapse(made.back()));
    }
    auto listFind = [u](const std::string& name) -> NSynapse* {
        for (auto it = u->GetSynapsesBegin(); it != u->GetSynapsesEnd(); ++it)
            if (name == (*it)->GetName()) return it->get();
        return nullptr;
    };
    auto agrees = [&](const std::string& name) {
        NSynapse* expected = listFind(name);
        NBasicDescription* component = u->GetComponent(name.c_str());
        return component == expected && u->CheckName(name.c_str()) == (expected == nullptr);
    };
    for (int i = 0; i < 210; ++i) {
        std::string name = "s";
        name += std::to_string(i);
        ASSERT_TRUE(agrees(name)) << name;
    }
    EXPECT_FALSE(u->AddSynapse(made[150]));
    EXPECT_EQ(TakeCode(), 11u);

    ASSERT_TRUE(made[10]->SetName("renamed"));
    EXPECT_EQ(u->GetSynapse("renamed"), made[10]);
    EXPECT_TRUE(agrees(std::string("s") + std::to_string((10 * 37) % 200)));
    EXPECT_FALSE(made[11]->SetName("renamed"));  // taken
    EXPECT_EQ(TakeCode(), 2u);

    // Deleting shifts the later synapses' places; all are still found.
    ASSERT_TRUE(u->DelSynapse("s0"));
    ASSERT_TRUE(u->DelSynapse("renamed"));
    EXPECT_EQ(u->GetSynapsesCount(), 198);
    EXPECT_EQ(u->GetSynapse("s0"), nullptr);
    EXPECT_EQ(TakeCode(), 3u);
    for (int i = 1; i < 200; ++i) {
        std::string name = "s";
        name += std::to_string(i);
        ASSERT_TRUE(agrees(name)) << name;
    }
    // A repeated name (made directly, not through a check): the first in the list answers and
    // goes first.
    auto* twin = new NSynapse(u, "s77");
    ASSERT_TRUE(u->AddSynapse(twin));
    NSynapse* first = u->GetSynapse("s77");
    EXPECT_NE(first, twin);
    ASSERT_TRUE(u->DelSynapse("s77"));
    EXPECT_EQ(u->GetSynapse("s77"), twin);
    // Dotted paths reach through the index as well.
    EXPECT_EQ(u->GetComponent("s77.nothing"), nullptr);
    EXPECT_EQ(TakeCode(), 3u);

    u->DelAllSynapses();
    EXPECT_EQ(u->GetSynapse("s5"), nullptr);
    TakeCode();
    ASSERT_TRUE(u->AddSynapse(new NSynapse(u, "s5")));
    EXPECT_NE(u->GetSynapse("s5"), nullptr);
}

} // namespace
} // namespace talvero::test
