#include <cmath>

#include "ElementsTestSupport.h"
#include "elements/NLTZone.h"
#include "elements/NNeuron.h"

namespace talvero::test {
namespace {

// Pulse item whose zone sees fixed inputs in every step.
class ZoneDriver : public NWithoutParameters<ZoneDriver, NWithoutComponents<ZoneDriver, NItem>> {
public:
    ZoneDriver(NBasicDescription* owner, const char* name, double in0, double in1)
        : NAbstractItem(owner, name), NWithoutParameters(owner, name), Zone(this, "LTZone"), In0(in0), In1(in1) {}
    NBasicDescription* New(NBasicDescription* owner, const char* name) override { return new ZoneDriver(owner, name, 0, 0); }
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void Reset() override { Zone.Reset(); }
    void Calculate() override {
        const double inputs[2] = {In0, In1};
        const bool was = Zone.IsFiring();
        Zone.SetInputs(inputs);
        Zone.Calculate();
        if (Zone.IsFiring() && !was) TransferToConnectors();
    }
    bool IsPulse() override { return Zone.IsFiring(); }

    NLTZone Zone;
    double In0, In1;
};

struct ZoneRun {
    std::vector<int> Onsets;
    std::vector<int> Active;
};

ZoneRun RunZone(double in0, double in1, int steps) {
    TestModel t;
    auto* driver = t.Add<ZoneDriver>("driver", in0, in1);
    auto* probe = t.Add<Probe>("probe");
    EXPECT_TRUE(t.Link("driver", "probe.pulses"));
    ZoneRun run;
    probe->OnStep = [&](int step) {
        if (driver->IsPulse()) run.Active.push_back(step);
    };
    t.Reset();
    t.Run(steps);
    run.Onsets = probe->Pulses->Steps;
    return run;
}

TEST(LTZone, ConstantInputsFireAtTheKnownSteps) {
    const ZoneRun run = RunZone(0, 1, 110);
    EXPECT_EQ(run.Onsets, (std::vector<int>{4, 26, 45, 65, 85, 105}));
    // The first pulse holds the output at 1 for ten steps.
    std::vector<int> first(run.Active.begin(), run.Active.begin() + 10);
    EXPECT_EQ(first, (std::vector<int>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
    EXPECT_EQ(run.Active[10], 26);
}

TEST(LTZone, ZeroInputsNeverFire) {
    const ZoneRun run = RunZone(0, 0, 500);
    EXPECT_TRUE(run.Onsets.empty());
    EXPECT_TRUE(run.Active.empty());
}

TEST(LTZone, ParametersRefuseNonPositiveAndResetOnSuccess) {
    NNeuron owner(nullptr, "owner");
    NLTZone& zone = *owner.GetLTZone();
    const double inputs[2] = {0, 1};
    zone.SetInputs(inputs);
    zone.Calculate();
    const double membrane = zone.GetMembrane();
    ASSERT_NE(membrane, 0);

    EXPECT_FALSE(zone.SetParameter("PT1", 0));
    EXPECT_EQ(TakeCode(), 21u);
    EXPECT_EQ(GetLastErrorInfo(), "PT1");
    EXPECT_EQ(zone.GetParameter("PT1"), 0.05);
    EXPECT_EQ(zone.GetMembrane(), membrane);  // state untouched by a refusal

    EXPECT_TRUE(zone.SetParameter("PT1", 0.02));
    EXPECT_EQ(zone.GetParameter("PT1"), 0.02);
    EXPECT_EQ(zone.GetMembrane(), 0);
    EXPECT_EQ(zone.GetFilter2(), 0);
    EXPECT_EQ(zone.GetParameter("pt1"), 0);  // names are case-sensitive
    EXPECT_EQ(TakeCode(), 20u);
}

TEST(LTZone, MembraneTimeConstantFollowsThePulseDurationAtReset) {
    TestModel t;
    auto* neuron = t.Add<NNeuron>("n");
    NLTZone* zone = neuron->GetLTZone();
    EXPECT_NEAR(zone->GetMembraneTC(), 0.0014427, 1e-7);
    ASSERT_TRUE(t.Model->SetPulseDuration(0.002));  // resets the active model with the new value
    EXPECT_NEAR(zone->GetMembraneTC(), 0.0028854, 1e-7);
}

TEST(LTZone, PulseLengthIsReadWhenFiringStarts) {
    TestModel t;
    ASSERT_TRUE(t.Model->SetPulseDuration(0.0005));
    auto* driver = t.Add<ZoneDriver>("driver", 0.0, 1.0);
    t.Reset();
    std::vector<int> active;
    for (int step = 1; step <= 12; ++step) {
        t.Run(1);
        if (driver->IsPulse()) active.push_back(step);
    }
    // trunc(0.0005 / 0.0001) + 1 steps: the quotient falls just below 5. (The shorter membrane
    // time constant brings the first pulse forward to step 3.)
    EXPECT_EQ(active, (std::vector<int>{3, 4, 5, 6, 7}));
}

TEST(LTZone, CopyParametersCarriesTheThresholdAndResetsTheTarget) {
    NNeuron a(nullptr, "a"), b(nullptr, "b");
    ASSERT_TRUE(a.GetLTZone()->SetParameter("AT2", 0.3));
    const double inputs[2] = {0, 1};
    b.GetLTZone()->SetInputs(inputs);
    b.GetLTZone()->Calculate();
    ASSERT_TRUE(a.GetLTZone()->CopyParameters(b.GetLTZone()));
    EXPECT_EQ(b.GetLTZone()->GetParameter("AT2"), 0.3);
    EXPECT_EQ(b.GetLTZone()->GetMembrane(), 0);

}


} // namespace
} // namespace talvero::test
