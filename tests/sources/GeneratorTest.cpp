// Pulse generator: switching, period in whole steps, emission schedule, pulse output.

#include "SourcesTestSupport.h"
#include "sources/NASinusGenerator.h"
#include "sources/NGenerator.h"
#include "sources/NTimeWatch.h"

namespace talvero::test {
namespace {

class GeneratorTest : public ModelTest {
protected:
    void SetUp() override {
        Generator = Add<NGenerator>("g");
        Watch = Add<NTimeWatch>("w");
        Link("g", "w.input");
    }

    NGenerator* Generator = nullptr;
    NTimeWatch* Watch = nullptr;
};

TEST_F(GeneratorTest, PeriodIsTruncatedFromExtendedQuotient) {
    Start();
    const struct {
        double Frequency;
        int Steps;
    } cases[] = {{1, 9999}, {2, 4999}, {5, 1999}, {10, 999}, {20, 499}, {25, 399},
                 {40, 249}, {50, 199}, {100, 99}, {200, 49}, {300, 33}};
    for (const auto& c : cases) {
        ASSERT_TRUE(Generator->SetFrequency(c.Frequency));
        EXPECT_EQ(Generator->GetPeriodSteps(), c.Steps) << c.Frequency << " Hz";
    }
}

TEST_F(GeneratorTest, FrequencyLimitIsTwicePulseDuration) {
    Start();
    ASSERT_TRUE(Generator->SetFrequency(10));
    EXPECT_FALSE(Generator->SetFrequency(500));
    EXPECT_EQ(LastCode(), 21u);
    EXPECT_EQ(GetLastErrorInfo(), "m.g");
    EXPECT_EQ(Generator->GetFrequency(), 10);
    EXPECT_EQ(Generator->GetPeriodSteps(), 999);
    EXPECT_TRUE(Generator->SetFrequency(499.99));

    EXPECT_FALSE(Generator->SetParameter("Frequency", -1));
    EXPECT_EQ(LastCode(), 21u);
    EXPECT_FALSE(Generator->SetFrequency(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(Generator->GetFrequency(), 499.99);

    // 0 silences the generator but keeps the last period.
    const int period = Generator->GetPeriodSteps();
    EXPECT_TRUE(Generator->SetFrequency(0));
    EXPECT_EQ(Generator->GetPeriodSteps(), period);
}

TEST_F(GeneratorTest, EmitsEveryPeriodPlusOneStepsWithTenPulseSteps) {
    ASSERT_TRUE(Generator->SetParameter("Frequency", 10));
    Start();
    int pulseSteps = 0;
    std::vector<int> emissions;
    for (int k = 0; k < 3000; ++k) {
        Step();
        if (Generator->GetStepsLeft() == Generator->GetPeriodSteps()) emissions.push_back(k);
        if (Generator->IsPulse()) ++pulseSteps;
    }
    EXPECT_EQ(emissions, (std::vector<int>{0, 1000, 2000}));
    EXPECT_EQ(pulseSteps, 30);
    // The connector downstream holds each pulse for the same ten steps.
    const std::vector<double> starts = PulseStarts(*Watch);
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_EQ(starts[1], TimeOfStep(1000));
    const std::vector<double> x = Xs(*Watch), y = Ys(*Watch);
    EXPECT_EQ(x[0], 0);
    EXPECT_EQ(x[1], TimeOfStep(1));
    EXPECT_EQ(x[2], TimeOfStep(9));  // the last step of the first pulse
    EXPECT_EQ(y[2], 1);
    EXPECT_EQ(y[3], 0);
}

TEST_F(GeneratorTest, ThreeHundredHertzRepeatsEvery34Steps) {
    ASSERT_TRUE(Generator->SetFrequency(300));
    Start();
    Step(69);
    EXPECT_EQ(PulseStarts(*Watch), (std::vector<double>{0, TimeOfStep(34), TimeOfStep(68)}));
}

TEST_F(GeneratorTest, StopTimeEndsTheTrain) {
    ASSERT_TRUE(Generator->SetFrequency(10));
    ASSERT_TRUE(Generator->SetParameter("StopTime", 0.25));
    Start();
    Step(2600);
    const std::vector<double> starts = PulseStarts(*Watch);
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_NEAR(starts[0], 0.0, 1e-12);
    EXPECT_NEAR(starts[1], 0.1, 1e-12);
    EXPECT_NEAR(starts[2], 0.2, 1e-12);
    EXPECT_FALSE(Generator->IsActive());
    EXPECT_EQ(Generator->GetParameter("StopTime"), TimeOfStep(2500));
    EXPECT_EQ(Generator->GetParameter("StartTime"), 0);
}

TEST_F(GeneratorTest, StartBetweenTwoStepsNeverFires) {
    ASSERT_TRUE(Generator->SetFrequency(100));
    ASSERT_TRUE(Generator->SetParameter("StartTime", 0.00015));
    Start();
    Step(200);
    EXPECT_FALSE(Generator->IsActive());
    EXPECT_TRUE(PulseStarts(*Watch).empty());
}

TEST_F(GeneratorTest, StartOnAStepSwitchesOnThenAndNotBefore) {
    ASSERT_TRUE(Generator->SetFrequency(100));
    ASSERT_TRUE(Generator->SetStartTime(0.05));
    Start();
    Step(500);
    EXPECT_FALSE(Generator->IsActive());
    Step();
    EXPECT_TRUE(Generator->IsActive());
    EXPECT_EQ(static_cast<double>(Generator->GetStartTime()), TimeOfStep(500));
    EXPECT_EQ(PulseStarts(*Watch), (std::vector<double>{TimeOfStep(500)}));
}

TEST_F(GeneratorTest, SilentGeneratorSwitchesOnAndReportsPulseOutput) {
    Start();
    EXPECT_FALSE(Generator->IsActive());
    Step();
    EXPECT_TRUE(Generator->IsActive());
    // Period and counter both 0: the quirk of an unset generator.
    for (int k = 0; k < 20; ++k) {
        EXPECT_TRUE(Generator->IsPulse());
        Step();
    }
    EXPECT_TRUE(PulseStarts(*Watch).empty());
}

TEST_F(GeneratorTest, SwitchingTimesFollowTheRules) {
    Start();
    Step(20);  // on since t = 0; now at t = 20 steps
    ASSERT_TRUE(Generator->IsActive());

    Generator->SetStopTime(0.001);
    Generator->SetStartTime(0.0005);  // a start in the past keeps it on
    EXPECT_TRUE(Generator->IsActive());
    EXPECT_EQ(Generator->GetStopTime(), NTime(0.001));

    Generator->SetStartTime(0.005);  // a start in the future switches it off; the stamped stop is cleared
    EXPECT_FALSE(Generator->IsActive());
    EXPECT_EQ(Generator->GetStartTime(), NTime(0.005));
    EXPECT_EQ(Generator->GetStopTime(), 0);

    Generator->SetStopTime(0.005);
    Generator->SetStartTime(0.005);  // an equal stop stays
    EXPECT_EQ(Generator->GetStopTime(), NTime(0.005));

    // Switching on an active source changes nothing.
    Generator->SetActive(true);
    const NTime start = Generator->GetStartTime();
    Generator->SetActive(true);
    EXPECT_EQ(Generator->GetStartTime(), start);
}

TEST_F(GeneratorTest, ModelResetKeepsActivityAndClearsCounters) {
    ASSERT_TRUE(Generator->SetFrequency(10));
    Start();
    Step(5);
    EXPECT_NE(Generator->GetStepsLeft(), 0);
    ResetActiveModel();
    EXPECT_TRUE(Generator->IsActive());
    EXPECT_EQ(Generator->GetStepsLeft(), 0);
}

TEST_F(GeneratorTest, ParametersAndComponents) {
    NStringList names;
    Generator->GetParametersList(names);
    EXPECT_EQ(names, (NStringList{"StartTime", "StopTime", "Frequency"}));

    EXPECT_FALSE(Generator->SetParameter("Amplitude", 1));
    EXPECT_EQ(LastCode(), 20u);
    EXPECT_EQ(GetLastErrorInfo(), "");
    EXPECT_EQ(Generator->GetParameter("Amplitude"), 0);
    EXPECT_EQ(LastCode(), 20u);
    EXPECT_TRUE(Generator->SetParameter("StartTime", -3));  // no range on times
    EXPECT_EQ(Generator->GetParameter("StartTime"), -3);

    const int before = NBasicDescription::GetInstanceCount();
    EXPECT_FALSE(Generator->AddComponent(new NGenerator(&Model, "x")));
    EXPECT_EQ(LastCode(), 10u);
    EXPECT_EQ(NBasicDescription::GetInstanceCount(), before);
    EXPECT_EQ(Generator->GetComponent("x"), nullptr);
    EXPECT_EQ(LastCode(), 3u);
    EXPECT_EQ(Generator->GetComponent(""), nullptr);
    EXPECT_EQ(LastCode(), 1u);

    EXPECT_EQ(Generator->New(nullptr, "n"), nullptr);
    EXPECT_EQ(LastCode(), 4u);
    EXPECT_EQ(Generator->New(Watch->GetInput(), "n"), nullptr);
    EXPECT_EQ(LastCode(), 12u);
    EXPECT_EQ(Generator->New(&Model, "w"), nullptr);
    EXPECT_EQ(LastCode(), 2u);
}

TEST_F(GeneratorTest, CloneCarriesParametersAndCopyChecksTheClass) {
    ASSERT_TRUE(Generator->SetFrequency(40));
    Generator->SetStartTime(0.5);
    Generator->SetStopTime(0.7);
    std::unique_ptr<NBasicDescription> copy(Generator->Clone(&Model, "g2"));
    auto* clone = dynamic_cast<NGenerator*>(copy.get());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->GetFrequency(), 40);
    EXPECT_EQ(clone->GetPeriodSteps(), 249);
    EXPECT_EQ(clone->GetStartTime(), Generator->GetStartTime());
    EXPECT_EQ(clone->GetStopTime(), Generator->GetStopTime());
    EXPECT_FALSE(clone->IsActive());

    NASinusGenerator sine(&Model, "s");
    EXPECT_FALSE(Generator->CopyParameters(&sine));
    EXPECT_EQ(LastCode(), 5u);
    EXPECT_EQ(sine.GetStartTime(), Generator->GetStartTime());  // the times went over first
    EXPECT_FALSE(Generator->CopyParameters(Watch));
    EXPECT_EQ(LastCode(), 5u);
    EXPECT_FALSE(Generator->CopyParameters(nullptr));
    EXPECT_EQ(LastCode(), 4u);
}

TEST_F(GeneratorTest, OnlyPulseConnectorsAttach) {
    NASinusGenerator sine(&Model, "s");
    EXPECT_FALSE(sine.Connect(Watch->GetInput()));
    EXPECT_EQ(LastCode(), 32u);
    EXPECT_FALSE(Generator->Connect(Watch->GetInput()));  // already linked
    EXPECT_EQ(LastCode(), 31u);
}

TEST_F(GeneratorTest, VeryLowFrequencySaturatesThePeriod) {
    Start();
    ASSERT_TRUE(Generator->SetFrequency(1e-300));
    EXPECT_EQ(Generator->GetPeriodSteps(), std::numeric_limits<std::int32_t>::max());
    Step(3);
    EXPECT_EQ(PulseStarts(*Watch), (std::vector<double>{0}));
}

} // namespace
} // namespace talvero::test
