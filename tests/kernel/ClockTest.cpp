// The active model and the clock caches.

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "TestElements.h"

namespace talvero::test {
namespace {

class ClockTest : public KernelTest {};

NTime SumOfSteps(double step, int count) {
    NTime t = 0;
    for (int i = 0; i < count; ++i) t = t + static_cast<NTime>(step);
    return t;
}

TEST_F(ClockTest, DefaultsWithoutAnActiveModel) {
    EXPECT_EQ(GetActiveModel(), nullptr);
    EXPECT_EQ(GetTimeStep(), static_cast<NTime>(0.0001));
    EXPECT_EQ(GetCurrentTime(), 0);
    EXPECT_EQ(GetPulseDuration(), static_cast<NTime>(0.001));
    StepActiveModel();  // nothing to step, nothing to fail
    ResetActiveModel();
    EXPECT_EQ(GetCurrentTime(), 0);
}

TEST_F(ClockTest, StepsAccumulateIn80BitsAndResetReturnsToZero) {
    NModel model("m");
    SetActiveModel(&model);
    for (int i = 0; i < 3; ++i) StepActiveModel();
    EXPECT_EQ(GetCurrentTime(), SumOfSteps(0.0001, 3));
    EXPECT_EQ(model.GetCurrentTime(), GetCurrentTime());
    for (int i = 0; i < 7; ++i) StepActiveModel();
    EXPECT_EQ(GetCurrentTime(), SumOfSteps(0.0001, 10));
    ResetActiveModel();
    EXPECT_EQ(GetCurrentTime(), 0);
    EXPECT_EQ(model.GetCurrentTime(), 0);
}

TEST_F(ClockTest, SetActiveModelNeitherResetsNorStepsAndNullRestoresDefaults) {
    NModel model("m");
    model.Calculate();
    model.Calculate();
    ASSERT_TRUE(model.SetPulseDuration(0.002));  // resets the (inactive) model
    model.Calculate();
    SetActiveModel(&model);
    EXPECT_EQ(GetCurrentTime(), static_cast<NTime>(0.0001));
    EXPECT_EQ(GetPulseDuration(), static_cast<NTime>(0.002));
    SetActiveModel(nullptr);
    EXPECT_EQ(GetCurrentTime(), 0);
    EXPECT_EQ(GetPulseDuration(), static_cast<NTime>(0.001));
}

TEST_F(ClockTest, NonPositiveOrUndefinedStepIsRefusedAndChangesNothing) {
    NModel model("m");
    SetActiveModel(&model);
    StepActiveModel();
    // Infinity, and a positive extended value that vanishes as a double, are no step either.
    for (NTime bad : {NTime(0), NTime(-1), std::nanl(""), std::numeric_limits<NTime>::infinity(),
                      std::numeric_limits<NTime>::denorm_min()}) {
        EXPECT_FALSE(SetTimeStep(bad));
        EXPECT_EQ(LastCode(), 21u);
        EXPECT_EQ(GetLastErrorInfo(), "");
    }
    EXPECT_EQ(GetTimeStep(), static_cast<NTime>(0.0001));
    EXPECT_EQ(GetCurrentTime(), static_cast<NTime>(0.0001));
    EXPECT_EQ(model.GetTimeStep(), static_cast<NTime>(0.0001));
    EXPECT_FALSE(model.SetPulseDuration(std::nanl("")));
    EXPECT_FALSE(model.SetPulseDuration(std::numeric_limits<NTime>::infinity()));
    EXPECT_EQ(GetPulseDuration(), static_cast<NTime>(0.001));
}

TEST_F(ClockTest, NewStepOfTheActiveModelIsRoundedToDoubleAndResetsIt) {
    NModel model("m");
    auto* net = new NNet(&model, "net");
    model.AddComponent(net);
    auto* element = new TestElement(net, "e");
    net->AddObject(element);
    SetActiveModel(&model);
    StepActiveModel();
    ASSERT_EQ(element->Steps, 1);

    ASSERT_TRUE(SetTimeStep(0.0005L));
    EXPECT_EQ(model.GetTimeStep(), static_cast<NTime>(0.0005));  // the double, not the 80-bit argument
    EXPECT_EQ(GetTimeStep(), static_cast<NTime>(0.0005));
    EXPECT_NE(GetTimeStep(), 0.0005L);
    EXPECT_EQ(GetCurrentTime(), 0);
    EXPECT_EQ(element->Steps, 0);
}

TEST_F(ClockTest, StepSetWithoutAModelIsTakenByTheNextModel) {
    ASSERT_TRUE(SetTimeStep(0.0002));
    EXPECT_EQ(GetTimeStep(), static_cast<NTime>(0.0002));
    NModel model("m");
    EXPECT_EQ(model.GetTimeStep(), static_cast<NTime>(0.0002));
    SetActiveModel(nullptr);
    EXPECT_EQ(GetTimeStep(), static_cast<NTime>(0.0001));
    NModel later("later");
    EXPECT_EQ(later.GetTimeStep(), static_cast<NTime>(0.0001));
}

TEST_F(ClockTest, TimeEqualsUsesATenthOfTheStepWithBoundsIncluded) {
    EXPECT_TRUE(TimeEquals(1.000005, 1.0));
    EXPECT_TRUE(TimeEquals(0.999995, 1.0));
    EXPECT_FALSE(TimeEquals(1.00002, 1.0));
    EXPECT_FALSE(TimeEquals(0.99998, 1.0));

    // A step of 1/16 makes the tolerance 0.1/16 exactly, so the bounds can be hit on the dot.
    ASSERT_TRUE(SetTimeStep(0.0625));
    const double bound = 0.1 / 16;
    EXPECT_TRUE(TimeEquals(bound, 0));
    EXPECT_TRUE(TimeEquals(-bound, 0));
    EXPECT_FALSE(TimeEquals(std::nextafter(bound, 1.0), 0));
    EXPECT_FALSE(TimeEquals(std::nextafter(-bound, -1.0), 0));
}

TEST_F(ClockTest, PulseLengthComesFromTheExtendedQuotientAndFollowsTheClock) {
    NModel model("m");
    TestCell item(nullptr, "item");
    TestConnector connector(nullptr, "c");
    ASSERT_TRUE(item.Connect(&connector));
    SetActiveModel(&model);

    const struct {
        double Step;
        int Counter;
    } cases[] = {{0.0001, 10}, {0.0002, 5}, {0.0003, 4}, {0.0001, 10}};
    for (const auto& c : cases) {
        ASSERT_TRUE(SetTimeStep(c.Step));
        item.TransferToConnectors();
        EXPECT_EQ(connector.GetPulseCounter(), c.Counter) << c.Step;
    }
    ASSERT_TRUE(model.SetPulseDuration(0.002));  // 0.002 / 0.0001 is just below 20
    item.TransferToConnectors();
    EXPECT_EQ(connector.GetPulseCounter(), 20);
    ASSERT_TRUE(model.SetPulseDuration(1e30));  // far past the counter's range: lasts for good
    item.TransferToConnectors();
    EXPECT_EQ(connector.GetPulseCounter(), INT_MAX);
    SetActiveModel(nullptr);
    item.TransferToConnectors();
    EXPECT_EQ(connector.GetPulseCounter(), 10);
}

// Both forms give back every bit of the value: sums of two doubles, values no pair holds (zero,
// beyond the double range, infinities), and the sign of zero.
TEST(SplitTimeTest, GivesBackTheExactValueInEitherForm) {
    const NTime values[] = {
        0.0001L,                                  // one double
        NTime(0.0001) / 2 + 0.05,                 // a pair
        1.0L / 3,                                 // 64 significant bits, still a pair
        -NTime(0.1),
        0.0L, -0.0L,                              // no pair: zero
        1e4000L, -1e-4000L,                       // beyond the double range
        std::numeric_limits<NTime>::infinity(),
        std::numeric_limits<NTime>::denorm_min(),
        std::numeric_limits<NTime>::max(),
    };
    for (const NTime value : values) {
        const NTime got = NSplitTime(value).Get();
        EXPECT_EQ(std::memcmp(&got, &value, 10), 0) << static_cast<double>(value);
    }
    EXPECT_TRUE(std::isnan(NSplitTime(std::numeric_limits<NTime>::quiet_NaN()).Get()));
    static constinit NSplitTime step(kDefaultTimeStep);
    EXPECT_EQ(step.Get(), NTime(kDefaultTimeStep));
}

TEST_F(ClockTest, DestroyingTheActiveModelFallsBackToDefaults) {
    auto* model = new NModel("m");
    SetActiveModel(model);
    ASSERT_TRUE(SetTimeStep(0.0005));
    ASSERT_TRUE(model->SetPulseDuration(0.003));
    StepActiveModel();
    delete model;
    EXPECT_EQ(GetActiveModel(), nullptr);
    EXPECT_EQ(GetTimeStep(), static_cast<NTime>(0.0001));
    EXPECT_EQ(GetCurrentTime(), 0);
    EXPECT_EQ(GetPulseDuration(), static_cast<NTime>(0.001));
    StepActiveModel();  // must not touch the destroyed model
    EXPECT_EQ(GetCurrentTime(), 0);
}

TEST_F(ClockTest, DestroyingAnInactiveModelLeavesTheActiveOne) {
    NModel active("a");
    SetActiveModel(&active);
    { NModel other("b"); }
    EXPECT_EQ(GetActiveModel(), &active);
}

} // namespace
} // namespace talvero::test
