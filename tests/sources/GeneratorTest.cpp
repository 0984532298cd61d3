// Pulse generator: switching, period in whole steps, emission schedule, pulse output.

#include "SourcesTestSupport.h"
#include "kernel/Cp1251.h"
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

TEST_F(GeneratorTest, PeriodDoesNotDependOnPulseDuration) {
    for (double duration : {0.001, 0.002}) {
        ASSERT_TRUE(Model.SetPulseDuration(duration));
        Start();
        ASSERT_TRUE(Generator->SetFrequency(10));
        EXPECT_EQ(Generator->GetPeriodSteps(), 999) << duration;
        Step(1001);
        EXPECT_EQ(PulseStarts(*Watch), (std::vector<double>{0, TimeOfStep(1000)})) << duration;
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

// The limit follows the model's pulse duration whether or not the model is the active one, and a
// pulse duration that an existing frequency cannot hold is refused with the generator named.
TEST_F(GeneratorTest, FrequencyLimitFollowsThePulseDurationInForce) {
    const struct {
        double Pulse;
        double Frequency;
        bool Accepted;
    } cases[] = {
        {1, 400, false}, {1, 0.5, true}, {0.05, 40, false}, {0.05, 9.99, true},
        {0.001, 500, false}, {0.001, 499.99, true}, {0.25, 2, true},  // 2 x 0.25 x 2 is exactly 1: included
    };
    for (bool active : {false, true}) {
        for (const auto& c : cases) {
            ASSERT_TRUE(Generator->SetFrequency(0));
            ASSERT_TRUE(Model.SetPulseDuration(c.Pulse));
            SetActiveModel(active ? &Model : nullptr);
            EXPECT_EQ(Generator->SetFrequency(c.Frequency), c.Accepted) << c.Pulse << " s, " << c.Frequency << " Hz";
        }
    }
    SetActiveModel(nullptr);
    ASSERT_TRUE(Model.SetPulseDuration(0.001));
    ASSERT_TRUE(Generator->SetFrequency(40));
    EXPECT_FALSE(Model.SetPulseDuration(0.05));
    EXPECT_EQ(LastCode(), 21u);
    const std::string detail = Cp1251ToUtf8(GetLastErrorInfo());
    EXPECT_NE(detail.find("m.g"), std::string::npos) << detail;
    EXPECT_NE(detail.find("0.0125"), std::string::npos) << detail;  // the longest pulse 40 Hz takes
    EXPECT_EQ(Model.GetPulseDuration(), static_cast<NTime>(0.001));
    EXPECT_TRUE(Model.SetPulseDuration(0.012));
}

TEST_F(GeneratorTest, EmitsEveryPeriodPlusOneStepsWithTenPulseSteps) {
    ASSERT_TRUE(Generator->SetParameter("Frequency", 10));
    Start();
    int pulseSteps = 0;
    for (int k = 0; k < 3000; ++k) {
        Step();
        if (Generator->IsPulse()) ++pulseSteps;
    }
    EXPECT_EQ(pulseSteps, 30);
    EXPECT_EQ(PulseStarts(*Watch), (std::vector<double>{0, TimeOfStep(1000), TimeOfStep(2000)}));
    // The connector downstream holds each pulse for the same ten steps.
    EXPECT_EQ(Xs(*Watch)[2], TimeOfStep(9));
    EXPECT_EQ(Ys(*Watch)[3], 0);
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

TEST_F(GeneratorTest, StartFiresOnlyOnItsOwnStep) {
    ASSERT_TRUE(Generator->SetFrequency(100));
    ASSERT_TRUE(Generator->SetParameter("StartTime", 0.00015));  // halfway between two steps
    Start();
    Step(200);
    EXPECT_FALSE(Generator->IsActive());
    EXPECT_TRUE(PulseStarts(*Watch).empty());

    ASSERT_TRUE(Generator->SetStartTime(0.05));
    ResetActiveModel();
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

TEST_F(GeneratorTest, CloneCarriesParametersAndCopyChecksTheClass) {
    ASSERT_TRUE(Generator->SetFrequency(40));
    Generator->SetStartTime(0.5);
    Generator->SetStopTime(0.7);
    std::unique_ptr<NBasicDescription> copy(Generator->Clone(&Model, "g2"));
    auto* clone = dynamic_cast<NGenerator*>(copy.get());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->GetPeriodSteps(), 249);
    EXPECT_EQ(clone->GetStartTime(), Generator->GetStartTime());
    EXPECT_EQ(clone->GetStopTime(), Generator->GetStopTime());

    NASinusGenerator sine(&Model, "s");
    EXPECT_FALSE(Generator->CopyParameters(&sine));
    EXPECT_EQ(LastCode(), 5u);
    EXPECT_EQ(sine.GetStartTime(), Generator->GetStartTime());  // the times went over first

    EXPECT_FALSE(Generator->SetParameter("Amplitude", 1));
    EXPECT_EQ(LastCode(), 20u);
    EXPECT_EQ(GetLastErrorInfo(), "");
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
