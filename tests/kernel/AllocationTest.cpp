// A step of a built model must not touch the heap. The test program counts its allocations
// (support/CountingAllocator.cpp).

#include "TestElements.h"
#include "support/CountingAllocator.h"

namespace talvero::test {
namespace {

using AllocationTest = KernelTest;

TEST_F(AllocationTest, CounterSeesAllocations) {
    static int* volatile kept = nullptr;  // keeps the compiler from eliding the pair
    EXPECT_EQ(CountAllocations([] { kept = new int(1); }), 1u);
    delete kept;
}

TEST_F(AllocationTest, SteadyStateStepsOfNetAndModelAllocateNothing) {
    NModel model("m");
    auto* source = new TestSource(&model, "src");
    source->SetParameter("Period", 7);
    model.AddComponent(source);
    auto* net = new NNet(&model, "net");
    model.AddComponent(net);
    for (const char* name : {"a", "b", "c"}) {
        auto* cell = new TestCell(net, name);
        cell->AddSynapse("s1");
        cell->AddSynapse("s2");
        cell->SetParameter("Period", 3);
        net->AddObject(cell);
    }
    auto* analog = new TestAnalogItem(net, "analog");
    analog->SetCalcStep(0.00005);
    net->AddObject(analog);
    auto* slow = new TestAObject(net, "slow");
    slow->SetCalcStep(0.0005);
    net->AddObject(slow);
    auto* inner = new NNet(net, "inner");
    net->AddObject(inner);
    inner->AddObject(new TestElement(inner, "e"));
    model.AddComponent(new TestOutGate(&model, "gate"));
    TestAConnector analogInput(nullptr, "analogInput");
    ASSERT_TRUE(analog->Connect(&analogInput));
    ASSERT_TRUE(net->CreateLink("a", "b.s1"));
    ASSERT_TRUE(net->CreateLink("b", "c.s1"));
    ASSERT_TRUE(net->CreateLink("c", "a.s2"));
    ASSERT_TRUE(model.CreateLink("src", "net.a.s1"));
    ASSERT_TRUE(model.CreateLink("net.c", "gate.input"));

    SetActiveModel(&model);
    ResetActiveModel();
    for (int i = 0; i < 20; ++i) StepActiveModel();

    EXPECT_EQ(CountAllocations([&] {
                  for (int i = 0; i < 1000; ++i) StepActiveModel();
                  for (int i = 0; i < 100; ++i) model.Calculate();
                  for (int i = 0; i < 100; ++i) net->Calculate();
              }),
              0u);
    EXPECT_GT(dynamic_cast<TestCell*>(net->GetObject("c"))->GetState().InputSteps, 0);
    EXPECT_GT(analog->Runs, 1000);
}

} // namespace
} // namespace talvero::test
