// Muscle and eye muscle: the block diagram's numbers, the fixed components, sub-stepping, and a
// muscle working inside a model between a pulse source and an afferent neuron.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <vector>

#include "elements/ElementsTestSupport.h"
#include "elements/NAfferentNeuron.h"
#include "elements/NEyeMuscle.h"
#include "elements/NMuscle.h"
#include "elements/NSimpleAConnector.h"
#include "elements/NSimpleAItem.h"
#include "elements/NSimpleConnector.h"
#include "kernel/NClock.h"
#include "kernel/NError.h"

namespace talvero {
namespace {

using test::CurrentStep;
using test::TakeCode;
using test::TestModel;

double Out(NSimpleAItem* item) {
    double v = -1;
    item->GetOutputs(&v, 1);
    return v;
}

// Analog connector that logs the step of every value handed to it.
struct StepLog : NSimpleAConnector {
    using NSimpleAConnector::NSimpleAConnector;
    void Transfer() override {
        NSimpleAConnector::Transfer();
        Steps.push_back(CurrentStep());
    }
    std::vector<int> Steps;
};

std::set<int> EveryNthStep(int n, int last) {
    std::set<int> steps;
    for (int k = 1; k <= last; k += n) steps.insert(k);
    return steps;
}

class MuscleTest : public ::testing::Test {
protected:
    void SetUp() override { SetActiveModel(nullptr); }  // default clock: step 0.0001
    NMuscle m{nullptr, "m"};
    const double* s = m.GetState().Signals;
};

TEST_F(MuscleTest, ComponentsAreFixedAndReachableByPath) {
    NStringList names;
    m.GetComponentsList(names);
    EXPECT_EQ(names, (NStringList{"input", "length", "vereteno1", "vereteno2", "goldgi", "power", "activepower"}));
    EXPECT_EQ(m.GetComponent("goldgi"), m.GetGoldgi());
    EXPECT_EQ(m.GetComponent("length.input"), m.GetLength()->GetInput());
    EXPECT_EQ(m.GetComponent("input.x"), nullptr);
    EXPECT_EQ(TakeCode(), 3u);
    EXPECT_EQ(m.GetComponent(""), nullptr);
    EXPECT_EQ(TakeCode(), 1u);
    EXPECT_FALSE(m.CheckName("power"));
    EXPECT_FALSE(m.GetPower()->SetName("length"));  // a component cannot take a sibling's name
    EXPECT_EQ(TakeCode(), 2u);

    const int before = NBasicDescription::GetInstanceCount();
    EXPECT_FALSE(m.AddComponent(new NSimpleConnector(&m, "extra")));
    EXPECT_EQ(TakeCode(), 10u);
    EXPECT_EQ(NBasicDescription::GetInstanceCount(), before);
    EXPECT_FALSE(m.DelComponent("length"));
    EXPECT_EQ(TakeCode(), 3u);

    NEyeMuscle eye(nullptr, "e");
    EXPECT_FALSE(m.CopyComponents(&eye));
    EXPECT_EQ(TakeCode(), 5u);
    EXPECT_EQ(m.New(nullptr, "x"), nullptr);
    EXPECT_EQ(TakeCode(), 4u);
    EXPECT_EQ(m.New(m.GetInput(), "x"), nullptr);
    EXPECT_EQ(TakeCode(), 12u);

    ASSERT_TRUE(m.SetParameter("Mass", 2.5));
    std::unique_ptr<NBasicDescription> copy(m.Clone(&eye, "copy"));
    auto* c = dynamic_cast<NMuscle*>(copy.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetParameter("Mass"), 2.5);
    EXPECT_EQ(c->GetInput()->GetOwner(), c);
    EXPECT_NE(c->GetInput(), m.GetInput());
}

TEST_F(MuscleTest, ParametersDefaultsAndRanges) {
    NStringList names;
    m.GetParametersList(names);
    ASSERT_EQ(names.size(), 28u);
    EXPECT_EQ(names[3] + names[20] + names[21] + names[27], "MultiplicationFactor1MultiplicationFactor18Param1Threshold");
    EXPECT_EQ(m.GetParameter("T2"), 0.001513);
    EXPECT_EQ(m.GetParameter("MultiplicationFactor9"), 30);
    EXPECT_EQ(m.GetParameter("Param4"), 1.719);
    EXPECT_EQ(m.GetParameter("G"), 9.8);

    for (const char* name : {"T1", "T2", "T3", "G"}) {
        const double old = m.GetParameter(name);
        EXPECT_FALSE(m.SetParameter(name, 0)) << name;
        EXPECT_EQ(TakeCode(), 21u);
        EXPECT_EQ(m.GetParameter(name), old);
    }
    EXPECT_FALSE(m.SetParameter("Mass", -0.5));
    EXPECT_EQ(TakeCode(), 21u);
    EXPECT_TRUE(m.SetParameter("Threshold", -3));
    EXPECT_FALSE(m.SetParameter("Speed", 1));
    EXPECT_EQ(TakeCode(), 20u);

    m.Reset();
    m.ACalculate();
    EXPECT_TRUE(m.SetParameter("MultiplicationFactor8", 40));  // no Reset follows
    EXPECT_DOUBLE_EQ(s[13], 0.007104);
}

TEST_F(MuscleTest, FirstRunsOfTheBlockDiagram) {
    for (int pass = 0; pass < 2; ++pass) {  // the second pass checks that Reset restores everything
        m.Reset();
        m.ACalculate();
        EXPECT_DOUBLE_EQ(s[12], 0.192);
        EXPECT_DOUBLE_EQ(s[13], 0.007104);
        EXPECT_EQ(Out(m.GetLength()), 0);
        EXPECT_DOUBLE_EQ(Out(m.GetVereteno1()), 0.0007104);
        EXPECT_EQ(Out(m.GetVereteno2()) + Out(m.GetGoldgi()) + Out(m.GetPower()) + Out(m.GetActivePower()), 0);

        m.ACalculate();
        EXPECT_DOUBLE_EQ(Out(m.GetPower()), 0.007104);
        EXPECT_DOUBLE_EQ(Out(m.GetGoldgi()), 0.0007104);
        EXPECT_DOUBLE_EQ(s[10], 0.00098);
        EXPECT_EQ(Out(m.GetLength()), 0);  // held: passive force above the largest active force (0)

        m.GetInput()->Transfer();
        for (int i = 0; i < 500; ++i) m.ACalculate();
        EXPECT_GT(m.GetState().MaxActiveForce, 0);
    }
}

TEST_F(MuscleTest, WithoutPulsesTheLengthIsHeldWhileTheVelocityGrows) {
    m.Reset();
    for (int i = 0; i < 1000; ++i) m.ACalculate();
    EXPECT_EQ(s[11], 0);
    EXPECT_EQ(s[3], 0);
    // h·(G − total force / Mass) per run, the total force being the passive force alone
    EXPECT_NEAR(s[10] - m.GetState().PrevSignals[10], 0.0001 * (9.8 - 0.007104), 1e-12);
    EXPECT_GT(s[10], 0.97);
}

// The gain blocks are pure gains: FirstCall never leaves 1, so the rate term never acts.
TEST_F(MuscleTest, GainBlocksArePureGainsUnderAPulseTrain) {
    EXPECT_EQ(MuscleGainBlock(2, 1, 0.5, 0.1, 0.01, true), 1);
    EXPECT_DOUBLE_EQ(MuscleGainBlock(2, 1, 0.5, 0.1, 0.01, false), 1 + 0.1 * 1 / 0.01);
    ASSERT_FALSE(NMuscle::kGainBlocksUseRate);

    m.Reset();
    bool lengthMoved = false;
    for (int i = 0; i < 12000; ++i) {
        if (i % 50 == 0) m.GetInput()->Transfer();
        m.ACalculate();
        ASSERT_EQ(m.GetState().FirstCall, 1);
        ASSERT_EQ(s[4], 0.6 * s[3]);
        ASSERT_EQ(Out(m.GetGoldgi()), 0.1 * s[7]);
        ASSERT_EQ(Out(m.GetVereteno1()), 0.1 * s[13]);
        ASSERT_EQ(Out(m.GetVereteno2()), 0.1 * s[14]);
        ASSERT_EQ(Out(m.GetActivePower()), s[3]);
        ASSERT_EQ(Out(m.GetLength()), s[11]);
        lengthMoved = lengthMoved || s[11] > 0;
    }
    EXPECT_TRUE(lengthMoved);
}

// Mass 0 would divide by zero: the load then has no finite motion and the length is held.
TEST_F(MuscleTest, MasslessLoadHoldsTheLengthAndKeepsOutputsFinite) {
    NSimpleAItem* outs[] = {m.GetLength(), m.GetVereteno1(), m.GetVereteno2(), m.GetGoldgi(), m.GetPower(), m.GetActivePower()};
    auto run = [&](int runs, bool held) {
        for (int i = 0; i < runs; ++i) {
            const double length = s[11];
            if (i % 50 == 0) m.GetInput()->Transfer();
            m.ACalculate();
            for (NSimpleAItem* o : outs) ASSERT_TRUE(std::isfinite(Out(o))) << o->GetName() << " run " << i;
            if (held) {
                ASSERT_EQ(s[11], length);
            }
        }
    };
    EXPECT_TRUE(m.SetParameter("Mass", 0));
    m.Reset();
    run(3000, true);
    EXPECT_EQ(s[11], 0);
    EXPECT_GT(Out(m.GetActivePower()), 0);

    m.SetParameter("Mass", 1);  // give the muscle a length, then take the mass away
    run(8000, false);
    ASSERT_GT(s[11], 0);
    m.SetParameter("Mass", 0);
    run(3000, true);
    EXPECT_GT(Out(m.GetPower()), 0);
}

TEST(EyeMuscle, ComponentsParametersAndInterval) {
    NEyeMuscle e(nullptr, "e");
    EXPECT_EQ(e.GetCalcStep(), 0.001);
    NStringList names, params;
    e.GetComponentsList(names);
    e.GetParametersList(params);
    EXPECT_EQ(names, (NStringList{"input", "length"}));
    EXPECT_EQ(params, (NStringList{"T1", "T2", "T3", "MultiplicationFactor1", "MultiplicationFactor2",
                                   "MultiplicationFactor3", "K"}));
    EXPECT_EQ(e.GetParameter("MultiplicationFactor3"), 0.0015);
    EXPECT_FALSE(e.SetParameter("T2", 0));
    EXPECT_EQ(TakeCode(), 21u);
    EXPECT_EQ(e.GetParameter("T2"), 1.0);
    EXPECT_EQ(e.GetComponent("length.input"), e.GetLength()->GetInput());
    EXPECT_FALSE(e.CheckName("input"));
    EXPECT_TRUE(e.SetParameter("K", -1));
    e.Reset();
    e.GetInput()->Transfer();
    e.ACalculate();
    EXPECT_DOUBLE_EQ(Out(e.GetLength()), -0.5);  // inverted: K·y3 with y3 = 0.5
}

TEST(EyeMuscle, FirstRunsAndTheBoundedGain) {
    SetActiveModel(nullptr);
    NEyeMuscle e(nullptr, "e");
    const NEyeMuscleState& st = e.GetState();
    e.Reset();
    for (int i = 0; i < 20; ++i) e.ACalculate();  // no pulse: nothing moves
    EXPECT_EQ(st.LengthValue, 0);
    EXPECT_EQ(st.Gain, 0.5);

    e.Reset();
    e.GetInput()->Transfer();
    e.ACalculate();
    EXPECT_DOUBLE_EQ(st.Y3, 0.5);
    EXPECT_DOUBLE_EQ(Out(e.GetLength()), 0.1);
    e.ACalculate();
    EXPECT_DOUBLE_EQ(st.Gain, 0.53995);
    EXPECT_DOUBLE_EQ(st.Y1, 0.8392);
    EXPECT_DOUBLE_EQ(st.Y2, 1.2792);
    EXPECT_DOUBLE_EQ(st.Y3, 1.7792);
    EXPECT_DOUBLE_EQ(Out(e.GetLength()), 0.35584);

    // Large lengths of either sign pull g down through −0.005·L²; a positive K lifts it first.
    for (double k : {5.0, -5.0}) {
        e.SetParameter("K", k);
        e.Reset();
        bool reachedOne = false;
        for (int i = 0; i < 200; ++i) {
            if (i % 5 == 0) e.GetInput()->Transfer();
            e.ACalculate();
            ASSERT_GE(st.Gain, 0);
            ASSERT_LE(st.Gain, 1);
            reachedOne = reachedOne || st.Gain == 1;
        }
        EXPECT_EQ(reachedOne, k > 0);
        EXPECT_EQ(st.Gain, 0);
    }
}

// Output items are stepped only inside the run, so their connectors hear of it only then.
TEST(EyeMuscle, RunsInSteps1_11_21AndFeedsItsLengthOnlyThen) {
    TestModel model;
    model.Add<test::PulseSource>("pulses", EveryNthStep(5, 40));
    auto* e = model.Add<NEyeMuscle>("eye");
    auto* m = model.Add<NMuscle>("muscle");  // at twice the time step: steps its input only when it runs
    m->SetCalcStep(0.0002);
    StepLog eyeLog(nullptr, "eyeLog"), muscleLog(nullptr, "muscleLog");
    ASSERT_TRUE(model.Link("pulses", "eye.input"));
    ASSERT_TRUE(model.Link("pulses", "muscle.input"));
    ASSERT_TRUE(e->GetLength()->Connect(&eyeLog));
    ASSERT_TRUE(m->GetPower()->Connect(&muscleLog));
    model.Reset();
    model.Run(35);
    EXPECT_EQ(eyeLog.Steps, (std::vector<int>{1, 11, 21, 31}));
    EXPECT_GT(e->GetState().LengthValue, 0);
    ASSERT_GE(muscleLog.Steps.size(), 3u);
    EXPECT_EQ(std::vector<int>(muscleLog.Steps.begin(), muscleLog.Steps.begin() + 3), (std::vector<int>{1, 3, 5}));
    // The last pulse came in step 31; the muscle has consumed it in its runs of steps 31, 33, 35.
    EXPECT_EQ(m->GetInput()->GetPulseCounter(), PulseLengthInSteps() - 3);
}

// Pulse source -> muscle input; muscle vereteno1 -> afferent neuron.
TEST(MuscleInModel, PulsesLiftTheLengthAndTheSpindleDrivesAnAfferentNeuron) {
    for (int period : {0, 50}) {
        TestModel model;
        model.Add<test::PulseSource>("motor", period ? EveryNthStep(period, 15000) : std::set<int>{});
        auto* m = model.Add<NMuscle>("muscle");
        auto* aff = model.Add<NAfferentNeuron>("aff");
        test::TransferLog spikes(nullptr, "spikes");
        ASSERT_TRUE(model.Link("motor", "muscle.input"));
        ASSERT_TRUE(model.Link("muscle.vereteno1", "aff.input"));
        ASSERT_TRUE(aff->Connect(&spikes));
        model.Reset();
        model.Run(15000);
        if (period == 0) {
            EXPECT_EQ(Out(m->GetLength()), 0);
            EXPECT_TRUE(spikes.Steps.empty());
        } else {
            EXPECT_GT(Out(m->GetLength()), 1);
            EXPECT_FALSE(spikes.Steps.empty());
        }
    }
}

} // namespace
} // namespace talvero
