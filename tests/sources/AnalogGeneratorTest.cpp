// Analog generators: the raised sine with its 6.282 factor, the step window, delivery to analog items.

#include <cmath>

#include "SourcesTestSupport.h"
#include "elements/NSimpleAItem.h"
#include "kernel/NNet.h"
#include "sources/NASinusGenerator.h"
#include "sources/NAStepGenerator.h"
#include "sources/NATimeWatch.h"

namespace talvero::test {
namespace {

class AnalogGeneratorTest : public ModelTest {
protected:
    // source -> net.relay -> watch, so the value travels through an analog item of the net.
    template <class G>
    G* BuildChain() {
        auto* generator = Add<G>("gen");
        auto* net = Add<NNet>("net");
        EXPECT_TRUE(net->AddComponent(new NSimpleAItem(net, "relay")));
        Watch = Add<NATimeWatch>("w");
        Link("gen", "net.relay.input");
        Link("net.relay", "w.input");
        return generator;
    }

    NATimeWatch* Watch = nullptr;
};

TEST_F(AnalogGeneratorTest, SineStartsAtHalfAmplitudeAndUsesFactor6282) {
    auto* sine = BuildChain<NASinusGenerator>();
    ASSERT_TRUE(sine->SetParameter("Frequency", 10));
    ASSERT_TRUE(sine->SetParameter("Amplitude", 2));
    Start();
    Step(1001);
    const std::vector<double> y = Ys(*Watch);
    ASSERT_EQ(y.size(), 1001u);
    EXPECT_DOUBLE_EQ(y[0], 1.0);
    EXPECT_NEAR(y[250], 2.0, 1e-6);
    EXPECT_NEAR(y[750], 0.0, 1e-6);
    EXPECT_GT(y[1], y[0]);  // rises first
    for (double v : y) {
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 2.0);
    }
    // With 2*pi the value would be back at 1 after 0.1 s; 6.282 leaves it clearly short of that.
    EXPECT_NEAR(y[1000], 1 + std::sin(0.1 * 6.282 * 10), 1e-9);
    EXPECT_LT(y[1000], 0.999);
}

TEST_F(AnalogGeneratorTest, SineWithoutFrequencyOutputsZero) {
    auto* sine = BuildChain<NASinusGenerator>();
    Start();
    Step(10);
    EXPECT_TRUE(sine->IsActive());
    for (double v : Ys(*Watch)) EXPECT_EQ(v, 0.0);
}

TEST_F(AnalogGeneratorTest, StepGeneratorWindow) {
    auto* step = BuildChain<NAStepGenerator>();
    ASSERT_TRUE(step->SetParameter("StartTime", 0.01));
    ASSERT_TRUE(step->SetParameter("StopTime", 0.02));
    ASSERT_TRUE(step->SetParameter("Amplitude", 3));
    Start();
    Step(300);
    const std::vector<double> y = Ys(*Watch);
    ASSERT_EQ(y.size(), 300u);
    for (int k = 0; k < 300; ++k) EXPECT_EQ(y[k], (k >= 100 && k < 200) ? 3.0 : 0.0) << "step " << k;
    EXPECT_FALSE(step->IsActive());
    EXPECT_EQ(step->GetParameter("StopTime"), TimeOfStep(200));
}

TEST_F(AnalogGeneratorTest, NegativeValuesAreRefused) {
    NASinusGenerator sine(&Model, "s");
    EXPECT_FALSE(sine.SetParameter("Amplitude", -1));
    EXPECT_EQ(LastCode(), 21u);
    EXPECT_EQ(GetLastErrorInfo(), "m.s");
    EXPECT_EQ(sine.GetAmplitude(), 1);
    EXPECT_FALSE(sine.SetFrequency(-0.5));
    EXPECT_TRUE(sine.SetParameter("Amplitude", 0));
    NStringList names;
    sine.GetParametersList(names);
    EXPECT_EQ(names, (NStringList{"StartTime", "StopTime", "Frequency", "Amplitude"}));
}

TEST_F(AnalogGeneratorTest, ResetClearsOutputButNotCountdown) {
    // An interval longer than the step: the countdown survives a reset of the generator.
    auto* step = Add<NAStepGenerator>("gen");
    step->SetCalcStep(0.0003);
    Start();
    Step(2);
    const double countdown = step->GetCountDown();
    EXPECT_GT(countdown, 0);
    step->Reset();
    EXPECT_EQ(step->GetOutputValue(), 0);
    EXPECT_EQ(step->GetCountDown(), countdown);
}

TEST_F(AnalogGeneratorTest, CopyParametersChecksClassAfterTimes) {
    NAStepGenerator step(&Model, "t");
    NASinusGenerator sine(&Model, "s");
    step.SetStartTime(0.3);
    ASSERT_TRUE(step.SetAmplitude(7));
    EXPECT_FALSE(step.CopyParameters(&sine));
    EXPECT_EQ(LastCode(), 5u);
    EXPECT_EQ(sine.GetStartTime(), NTime(0.3));
    EXPECT_EQ(sine.GetAmplitude(), 1);
}

} // namespace
} // namespace talvero::test
