#include <cstring>

#include "ElementsTestSupport.h"
#include "elements/NIonUnit.h"
#include "elements/NNeuron.h"
#include "elements/NSimpleAConnector.h"
#include "elements/NSimpleAItem.h"
#include "elements/NSimpleConnector.h"

namespace talvero::test {
namespace {

std::vector<int> Outputs(NSimpleConnector& c, int steps) {
    std::vector<int> out;
    for (int i = 0; i < steps; ++i) {
        c.Calculate();
        out.push_back(static_cast<int>(c.Output(0)));
    }
    return out;
}

TEST(SimpleConnector, PulsesLastTenStepsAndOverlapsMerge) {
    PulseSource src(nullptr, "src");
    NSimpleConnector c(nullptr, "c");
    ASSERT_TRUE(src.Connect(&c));
    EXPECT_EQ(Outputs(c, 3), (std::vector<int>{0, 0, 0}));

    src.TransferToConnectors();
    std::vector<int> out = Outputs(c, 5);
    src.TransferToConnectors();
    const std::vector<int> rest = Outputs(c, 12);
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_EQ(out, (std::vector<int>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0}));

    // A reset in the middle of a pulse drops it.
    src.TransferToConnectors();
    Outputs(c, 2);
    c.Reset();
    EXPECT_EQ(Outputs(c, 1), (std::vector<int>{0}));
    EXPECT_EQ(c.GetActivePulseStart(), 0);
}

TEST(SimpleConnector, SavedStateAndOwner) {
    NNeuron owner(nullptr, "owner");
    NSimpleConnector c(&owner, "c");
    ASSERT_EQ(c.GetStateSize(), 8);
    c.Transfer();
    c.Calculate();
    double saved = 0;
    c.SaveState(reinterpret_cast<char*>(&saved));
    EXPECT_EQ(saved, 1.0);
    c.Reset();
    EXPECT_EQ(c.Output(0), 0);
    ASSERT_TRUE(c.LoadState(reinterpret_cast<const char*>(&saved)));
    EXPECT_EQ(c.Output(0), 1.0);

    NIonUnit unit(&owner, "u");
    EXPECT_EQ(c.New(&unit, "x"), nullptr);  // a unit is no object of a net
    EXPECT_EQ(TakeCode(), 12u);
}

TEST(SimpleAConnector, CopiesItsInputsAndKeepsItsWidthInNew) {
    NNeuron owner(nullptr, "owner");
    NSimpleAConnector c(&owner, "c", 3);
    const double in[3] = {1.5, -2, 7};
    c.SetInputs(in);
    c.Calculate();
    double out[3] = {};
    c.GetOutputs(out, 0);
    EXPECT_EQ(std::vector<double>(out, out + 3), (std::vector<double>{1.5, -2, 7}));
    ASSERT_EQ(c.GetStateSize(), 8);
    double saved = 0;
    c.SaveState(reinterpret_cast<char*>(&saved));
    EXPECT_EQ(saved, 1.5);

    std::unique_ptr<NBasicDescription> made(c.New(&owner, "d"));
    auto* d = dynamic_cast<NSimpleAConnector*>(made.get());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->GetInputsCount(), 3u);
    EXPECT_EQ(d->GetOutputsCount(), 3u);

    c.Reset();
    EXPECT_EQ(c.InputsData()[2], 0);
    EXPECT_EQ(c.Output(2), 0);
}

TEST(SimpleAItem, RelaysEveryStepAndRefreshesOnItsOwnInterval) {
    TestModel t;
    auto* driver = t.Add<Probe>("driver");
    auto* src = t.Add<AnalogSource>("src");
    auto* relay = t.Add<NSimpleAItem>("relay");
    auto* probe = t.Add<Probe>("probe");
    ASSERT_TRUE(t.Link("src", "relay.input"));
    ASSERT_TRUE(t.Link("relay", "probe.values"));
    driver->OnStep = [&](int step) { src->Value = step; };
    relay->SetCalcStep(0.0003);
    t.Reset();
    double out = -1;
    relay->GetOutputs(&out, 1);
    EXPECT_EQ(out, 0);  // nothing before the first step
    t.Run(8);
    EXPECT_EQ(probe->Values->Values, (std::vector<double>{1, 1, 1, 4, 4, 4, 7, 7}));

    relay->SetCalcStep(0.0001);
    t.Reset();
    t.Run(3);
    EXPECT_EQ(probe->Values->Values, (std::vector<double>{1, 2, 3}));
    double none = -1;
    relay->GetOutputs(&none, 0);
    EXPECT_EQ(none, -1);
}

TEST(SimpleAItem, ComponentHandling) {
    TestModel t;
    auto* relay = t.Add<NSimpleAItem>("relay");
    NSimpleAConnector* input = relay->GetInput();
    EXPECT_EQ(relay->GetComponent("input"), input);
    EXPECT_EQ(relay->GetComponent("input.x"), nullptr);
    EXPECT_EQ(TakeCode(), 3u);
    EXPECT_FALSE(relay->DelComponent("input"));
    EXPECT_EQ(TakeCode(), 3u);

    // Replacing the input: a connector of another owner is refused and destroyed.
    auto* other = t.Add<NSimpleAItem>("other");
    const int before = NBasicDescription::GetInstanceCount();
    EXPECT_FALSE(relay->SetInput(new NSimpleAConnector(other, "in2")));
    EXPECT_EQ(TakeCode(), 14u);
    EXPECT_EQ(NBasicDescription::GetInstanceCount(), before);
    EXPECT_TRUE(relay->AddComponent(new NSimpleAConnector(relay, "in2")));
    EXPECT_EQ(relay->GetComponent("in2"), relay->GetInput());
    EXPECT_EQ(NBasicDescription::GetInstanceCount(), before);

    std::unique_ptr<NBasicDescription> copy(relay->Clone(t.Net, "copy"));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->GetComponent("in2"), nullptr);
}

} // namespace
} // namespace talvero::test
