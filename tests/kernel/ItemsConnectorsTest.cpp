// Items, connectors and the analog sub-stepping.

#include <cmath>
#include <utility>
#include <vector>

#include "TestElements.h"

namespace talvero::test {
namespace {

class ItemsTest : public KernelTest {};
class AnalogAdditionTest : public KernelTest {};

TEST_F(ItemsTest, ConnectRefusesNullWrongKindAndDuplicatesWithoutChangingTheList) {
    TestCell pulse(nullptr, "p");
    TestAnalogItem analog(nullptr, "a");
    TestConnector pc(nullptr, "pc");
    TestAConnector ac(nullptr, "ac");

    EXPECT_FALSE(pulse.Connect(nullptr));
    EXPECT_EQ(LastCode(), 4u);
    EXPECT_FALSE(pulse.Connect(&ac));
    EXPECT_EQ(LastCode(), 32u);
    EXPECT_FALSE(analog.Connect(&pc));
    EXPECT_EQ(LastCode(), 32u);
    EXPECT_EQ(ac.GetItem(), nullptr);
    EXPECT_EQ(pc.GetItem(), nullptr);

    ASSERT_TRUE(pulse.Connect(&pc));
    EXPECT_FALSE(pulse.Connect(&pc));
    EXPECT_EQ(LastCode(), 31u);
    EXPECT_EQ(pulse.GetConnectorsCount(), 1);

    // The connector side refuses the other kind and a second item on its own.
    EXPECT_FALSE(pc.Connect(&analog));
    EXPECT_EQ(LastCode(), 32u);
    EXPECT_FALSE(ac.Connect(nullptr));
    EXPECT_EQ(LastCode(), 4u);
}

TEST_F(ItemsTest, ConnectorAttachedElsewhereIsRefusedByTheConnector) {
    TestCell first(nullptr, "first");
    TestCell second(nullptr, "second");
    TestConnector c(nullptr, "c");
    ASSERT_TRUE(first.Connect(&c));
    EXPECT_FALSE(second.Connect(&c));
    EXPECT_EQ(LastCode(), 30u);
    EXPECT_EQ(second.GetConnectorsCount(), 0);
    EXPECT_EQ(c.GetItem(), &first);
    EXPECT_EQ(first.GetConnectorsCount(), 1);
}

TEST_F(ItemsTest, DisconnectingByNameAllAndByDestruction) {
    TestCell item(nullptr, "item");
    TestConnector a(nullptr, "a"), b(nullptr, "b"), c(nullptr, "c");
    for (TestConnector* x : {&a, &b, &c}) ASSERT_TRUE(item.Connect(x));
    EXPECT_EQ(item.GetConnector("b"), &b);
    EXPECT_EQ(item.GetConnector("zz"), nullptr);
    EXPECT_EQ(LastCode(), 3u);
    EXPECT_EQ(GetLastErrorInfo(), "zz");
    EXPECT_EQ(item.GetConnector(""), nullptr);
    EXPECT_EQ(LastCode(), 1u);
    EXPECT_FALSE(item.DisconnectConnector(nullptr));
    EXPECT_EQ(LastCode(), 1u);

    EXPECT_TRUE(item.DisconnectConnector("b"));
    EXPECT_EQ(b.GetItem(), nullptr);
    EXPECT_EQ(std::vector<NAbstractConnector*>(item.GetConnectorsBegin(), item.GetConnectorsEnd()),
              (std::vector<NAbstractConnector*>{&a, &c}));

    ASSERT_TRUE(item.Connect(&b));
    item.DisconnectAll();
    EXPECT_EQ(item.GetConnectorsCount(), 0);
    for (TestConnector* x : {&a, &b, &c}) EXPECT_EQ(x->GetItem(), nullptr);

    // Either end may go first.
    auto* doomedConnector = new TestConnector(nullptr, "d");
    ASSERT_TRUE(item.Connect(doomedConnector));
    ASSERT_TRUE(item.Connect(&a));
    delete doomedConnector;
    EXPECT_EQ(std::vector<NAbstractConnector*>(item.GetConnectorsBegin(), item.GetConnectorsEnd()),
              (std::vector<NAbstractConnector*>{&a}));
    auto* doomedItem = new TestCell(nullptr, "gone");
    ASSERT_TRUE(doomedItem->Connect(&b));
    delete doomedItem;
    EXPECT_EQ(b.GetItem(), nullptr);
}

TEST_F(ItemsTest, PulseArmsTheCounterAndStampsTheTime) {
    NModel model("m");
    SetActiveModel(&model);
    TestCell item(nullptr, "item");
    TestConnector c(nullptr, "c");
    ASSERT_TRUE(item.Connect(&c));
    EXPECT_EQ(c.GetActivePulseStart(), 0);
    StepActiveModel();
    StepActiveModel();
    item.TransferToConnectors();
    const NTime arrival = GetCurrentTime();
    EXPECT_EQ(c.GetPulseCounter(), 10);
    EXPECT_EQ(c.GetPulseStartTime(), arrival);
    EXPECT_EQ(c.GetActivePulseStart(), arrival);

    int active = 0;
    for (int i = 0; i < 15; ++i) {
        c.Calculate();
        active += c.Output(0) != 0;
    }
    EXPECT_EQ(active, 10);
    EXPECT_EQ(c.GetActivePulseStart(), 0);

    item.TransferToConnectors();
    c.Reset();
    EXPECT_EQ(c.GetPulseCounter(), 0);
    EXPECT_EQ(c.GetActivePulseStart(), 0);
    EXPECT_EQ(c.GetPulseStartTime(), arrival);
}

TEST_F(ItemsTest, UnitVectorsAndOutputCopyLimits) {
    TestConnector pulse(nullptr, "p");
    EXPECT_EQ(pulse.GetInputsCount(), 0u);
    EXPECT_EQ(pulse.InputsData(), nullptr);
    EXPECT_EQ(pulse.GetOutputsCount(), 1u);

    TestAConnector unit(nullptr, "u", 3);
    const double in[3] = {1, 2, 3};
    unit.SetInputs(in);
    unit.Calculate();
    const std::pair<unsigned, int> cases[] = {{0, 3}, {2, 2}, {5, 3}, {3, 3}};
    for (const auto& [count, copied] : cases) {
        double out[5] = {-1, -1, -1, -1, -1};
        EXPECT_EQ(unit.GetOutputs(out, count), out);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(out[i], i < copied ? in[i] : -1) << count << " " << i;
    }
}

TEST_F(ItemsTest, AnalogItemFeedsItsConnectorsInEveryStep) {
    TestAnalogItem item(nullptr, "a");
    item.SetCalcStep(0.0003);
    item.Reset();
    TestAConnector c(nullptr, "c");
    TestAConnector narrow(nullptr, "narrow", 1);
    ASSERT_TRUE(item.Connect(&c));
    ASSERT_TRUE(item.Connect(&narrow));
    for (int step = 1; step <= 5; ++step) {
        const double junk[2] = {-7, -7};
        c.SetInputs(junk);
        item.Calculate();  // runs only in steps 1 and 4
        c.Calculate();
        double out[2];
        c.GetOutputs(out, 2);
        EXPECT_EQ(out[0], item.Runs) << step;
        EXPECT_EQ(out[1], 2.0 * item.Runs) << step;
        EXPECT_EQ(narrow.InputsData()[0], item.Runs) << step;
    }
    EXPECT_EQ(item.Runs, 2);
}

// Steps (1-based) in which ACalculate ran, over `steps` calls of Calculate.
std::vector<int> Schedule(NAnalogAddition& a, int& runs, int steps) {
    std::vector<int> ran;
    for (int step = 1; step <= steps; ++step) {
        const int before = runs;
        a.Calculate();
        if (runs != before) ran.push_back(step);
    }
    return ran;
}

TEST_F(AnalogAdditionTest, LongerIntervalsRunOnTheirSchedule) {
    const struct {
        double Interval;
        std::vector<int> Steps;
    } cases[] = {
        {0.0002, {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25}},
        {0.0003, {1, 4, 7, 10, 13, 16, 19, 22, 25}},
        {0.0005, {1, 7, 13, 19, 25}},  // every sixth: the subtraction leaves a positive rest
        {0.001, {1, 11, 21}},
    };
    for (const auto& c : cases) {
        TestAObject object(nullptr, "o");
        object.SetCalcStep(c.Interval);
        object.Reset();
        EXPECT_EQ(Schedule(object, object.Runs, 25), c.Steps) << c.Interval;
    }
}

TEST_F(AnalogAdditionTest, ShorterIntervalsCountTheRunningSumsNotAboveTheStep) {
    const struct {
        double Interval;
        int Calls;
    } cases[] = {{0.0001, 1}, {0.0001 / 2, 3}, {0.0001 / 3, 4}, {0.0001 / 7, 7}, {0.0001 / 5, 6}};
    for (const auto& c : cases) {
        TestAObject object(nullptr, "o");
        object.SetCalcStep(c.Interval);
        for (int step = 1; step <= 3; ++step) {
            object.Runs = 0;
            object.Calculate();
            EXPECT_EQ(object.Runs, c.Calls) << c.Interval << " step " << step;
        }
    }
}

TEST_F(AnalogAdditionTest, ResetRestartsTheScheduleThroughEitherBase) {
    TestAObject object(nullptr, "o");
    object.SetCalcStep(0.0003);
    NBasicDescription& asDescription = object;
    NAnalogAddition& asAddition = object;
    asDescription.Calculate();
    asAddition.Calculate();
    EXPECT_EQ(object.Runs, 1);
    asDescription.Reset();
    EXPECT_EQ(object.GetCountDown(), 0);
    asDescription.Calculate();
    EXPECT_EQ(object.Runs, 2);
    asAddition.Reset();
    asAddition.Calculate();
    EXPECT_EQ(object.Runs, 3);
    EXPECT_EQ(object.GetCalcStep(), 0.0003);  // Reset never touches the interval
}

TEST_F(AnalogAdditionTest, IntervalStartsAtTheCachedStepAndIgnoresNonPositiveValues) {
    {
        TestAObject object(nullptr, "o");
        EXPECT_EQ(object.GetCalcStep(), 0.0001);
    }
    ASSERT_TRUE(SetTimeStep(0.0005));
    TestAObject object(nullptr, "o");
    EXPECT_EQ(object.GetCalcStep(), 0.0005);
    object.SetCalcStep(0);
    object.SetCalcStep(-1);
    object.SetCalcStep(std::nan(""));
    EXPECT_EQ(object.GetCalcStep(), 0.0005);
}

} // namespace
} // namespace talvero::test
