// The model: its components, lookups, step order and clock, copies.

#include "TestElements.h"
#include "kernel/NTimeStepLimit.h"

namespace talvero::test {
namespace {

class ModelTest : public KernelTest {
protected:
    // Model m: source "src" (fires in step 1), net "net1" with cell1 (synapse s1), gate "gate".
    struct Built {
        NModel Model{"m"};
        TestSource* Source;
        NNet* Net;
        TestCell* Cell;
        TestOutGate* Gate;
    };
    static std::unique_ptr<Built> Build() {
        auto b = std::make_unique<Built>();
        b->Source = new TestSource(&b->Model, "src");
        b->Source->SetParameter("Period", 1000);
        EXPECT_TRUE(b->Model.AddComponent(b->Source));
        b->Net = new NNet(&b->Model, "net1");
        EXPECT_TRUE(b->Model.AddComponent(b->Net));
        b->Cell = new TestCell(b->Net, "cell1");
        b->Cell->AddSynapse("s1");
        b->Cell->AddSynapse("s2");
        EXPECT_TRUE(b->Net->AddObject(b->Cell));
        b->Gate = new TestOutGate(&b->Model, "gate");
        EXPECT_TRUE(b->Model.AddComponent(b->Gate));
        return b;
    }
    static NAbstractItem* ItemOf(NBasicDescription* connector) {
        return static_cast<NAbstractConnector*>(connector)->GetItem();
    }
};

TEST_F(ModelTest, NewRefusesAnOwnerAndAFreshModelHasTheDefaultClock) {
    NModel prototype("proto");
    TestElement owner(nullptr, "o");
    EXPECT_EQ(prototype.New(&owner, "m"), nullptr);
    EXPECT_EQ(LastCode(), 41u);
    EXPECT_EQ(GetLastErrorInfo(), "");
    std::unique_ptr<NBasicDescription> made(prototype.New(nullptr, "made"));
    ASSERT_NE(dynamic_cast<NModel*>(made.get()), nullptr);
    EXPECT_STREQ(made->GetName(), "made");
    EXPECT_EQ(made->GetOwner(), nullptr);

    NModel fresh("fresh");
    EXPECT_EQ(fresh.GetTimeStep(), static_cast<NTime>(0.0001));
    EXPECT_EQ(fresh.GetCurrentTime(), 0);
    EXPECT_EQ(fresh.GetPulseDuration(), static_cast<NTime>(0.001));
    EXPECT_EQ(fresh.GetNet(), nullptr);
}

TEST_F(ModelTest, TimeAdvancesByExtendedAdditionAndRefusalsKeepTheClock) {
    NModel model("m");
    NTime expected = 0;
    for (int i = 0; i < 10; ++i) {
        model.Calculate();
        expected = expected + static_cast<NTime>(0.0001);
    }
    EXPECT_EQ(model.GetCurrentTime(), expected);
    EXPECT_FALSE(model.SetTimeStep(0));
    EXPECT_EQ(LastCode(), 21u);
    EXPECT_FALSE(model.SetPulseDuration(-0.001));
    EXPECT_EQ(LastCode(), 21u);
    EXPECT_EQ(model.GetTimeStep(), static_cast<NTime>(0.0001));
    EXPECT_EQ(model.GetCurrentTime(), expected);  // a refusal does not reset either
    model.Reset();
    EXPECT_EQ(model.GetCurrentTime(), 0);
}

TEST_F(ModelTest, OneNetOnlyAndForeignNetsAreDestroyed) {
    auto b = Build();
    NModel& m = b->Model;
    ASSERT_TRUE(m.CreateLink("net1.cell1", "gate.input"));
    const int live = NBasicDescription::GetInstanceCount();

    auto* second = new NNet(&m, "net2");
    EXPECT_FALSE(m.AddComponent(second));
    EXPECT_EQ(LastCode(), 40u);
    EXPECT_EQ(GetLastErrorInfo(), "m.net1");
    EXPECT_EQ(m.GetNet(), b->Net);
    EXPECT_STREQ(second->GetName(), "net2");  // the caller still owns it
    delete second;

    NModel other("other");
    EXPECT_FALSE(m.SetNet(new NNet(&other, "foreign")));
    EXPECT_EQ(LastCode(), 14u);
    EXPECT_EQ(GetLastErrorInfo(), "other.foreign");
    EXPECT_EQ(NBasicDescription::GetInstanceCount(), live + 1);  // only `other` is new
    EXPECT_EQ(m.GetNet(), b->Net);

    EXPECT_TRUE(m.SetNet(b->Net));  // its own net again: kept, not destroyed
    EXPECT_EQ(m.GetComponent("net1.cell1"), b->Cell);

    EXPECT_FALSE(m.SetNet(nullptr));
    EXPECT_EQ(LastCode(), 4u);
    auto* replacement = new NNet(&m, "net3");
    EXPECT_TRUE(m.SetNet(replacement));  // the previous net is destroyed with its objects
    EXPECT_EQ(m.GetNet(), replacement);
    EXPECT_EQ(ItemOf(b->Gate->GetComponent("input")), nullptr);
}

TEST_F(ModelTest, SourcesAndGatesKeepUniqueNames) {
    auto b = Build();
    NModel& m = b->Model;
    const int live = NBasicDescription::GetInstanceCount();
    EXPECT_FALSE(m.AddSource(b->Source));
    EXPECT_EQ(LastCode(), 11u);
    EXPECT_EQ(GetLastErrorInfo(), "m.src");
    EXPECT_FALSE(m.AddComponent(new TestSource(&m, "src")));
    EXPECT_EQ(LastCode(), 2u);
    EXPECT_EQ(GetLastErrorInfo(), "m.src");
    EXPECT_FALSE(m.AddOutGate(new TestOutGate(&m, "gate")));
    EXPECT_EQ(LastCode(), 2u);
    EXPECT_FALSE(m.AddComponent(new TestElement(&m, "plain")));
    EXPECT_EQ(LastCode(), 10u);
    EXPECT_EQ(GetLastErrorInfo(), "m.plain");
    EXPECT_EQ(NBasicDescription::GetInstanceCount(), live);
    EXPECT_EQ(m.GetSourcesCount(), 1);
    EXPECT_EQ(m.GetOutGatesCount(), 1);

    EXPECT_FALSE(m.CheckName(nullptr));
    EXPECT_FALSE(m.CheckName("src"));
    EXPECT_FALSE(m.CheckName("cell1"));  // an object of the net
    EXPECT_FALSE(m.CheckName("gate"));
    EXPECT_FALSE(m.CheckName(""));       // the net refuses it
    EXPECT_TRUE(m.CheckName("net1"));    // the net's own name is free for a source
    NModel empty("e");
    EXPECT_TRUE(empty.CheckName(""));
}

// Names are found through an index: it must follow additions, deletions and renames, and an
// entry owned by another (whose renames the model does not hear of) must still be found.
TEST_F(ModelTest, SourcesAndGatesAreFoundByNameAfterRenamesAndDeletions) {
    NModel m("m");
    for (int i = 0; i < 300; ++i) {
        const std::string number = std::to_string(i);
        ASSERT_TRUE(m.AddSource(new TestSource(&m, std::string("s").append(number).c_str())));
        ASSERT_TRUE(m.AddOutGate(new TestOutGate(&m, std::string("g").append(number).c_str())));
    }
    EXPECT_EQ(m.GetSource("s123")->GetName(), std::string("s123"));
    EXPECT_EQ(m.GetComponent("g299")->GetName(), std::string("g299"));
    EXPECT_FALSE(m.CheckName("s7"));
    EXPECT_TRUE(m.CheckName("s300"));

    NAbstractSource* renamed = m.GetSource("s5");
    ASSERT_TRUE(renamed->SetName("fresh"));
    EXPECT_EQ(m.GetSource("fresh"), renamed);
    EXPECT_EQ(m.GetSource("s5"), nullptr);
    EXPECT_EQ(LastCode(), 3u);
    EXPECT_TRUE(m.CheckName("s5"));
    EXPECT_TRUE(m.AddSource(new TestSource(&m, "s5")));
    EXPECT_NE(m.GetSource("s5"), renamed);

    NAbstractOutGate* gate = m.GetOutGate("g9");
    ASSERT_TRUE(gate->SetName("gate9"));
    EXPECT_EQ(m.GetComponent("gate9"), gate);
    EXPECT_TRUE(m.DelOutGate("gate9"));
    EXPECT_EQ(m.GetOutGate("gate9"), nullptr);
    EXPECT_TRUE(m.CheckName("gate9"));
    EXPECT_FALSE(m.DelSource("s300"));
    EXPECT_EQ(LastCode(), 3u);

    // Owned by nobody: its rename is not reported to the model.
    auto* stray = new TestSource(nullptr, "stray");
    ASSERT_TRUE(m.AddSource(stray));
    ASSERT_TRUE(stray->SetName("wanderer"));
    EXPECT_EQ(m.GetSource("wanderer"), stray);
    EXPECT_EQ(m.GetSource("stray"), nullptr);
    EXPECT_FALSE(m.CheckName("wanderer"));
    EXPECT_TRUE(m.DelSource("wanderer"));
    // Gone again: found through the index once more, renames heard.
    ASSERT_TRUE(m.GetSource("s6")->SetName("six"));
    EXPECT_NE(m.GetSource("six"), nullptr);
    EXPECT_EQ(m.GetSource("s6"), nullptr);

    m.DelAllSources();
    EXPECT_EQ(m.GetSource("s1"), nullptr);
    EXPECT_TRUE(m.AddSource(new TestSource(&m, "s1")));
    EXPECT_NE(m.GetSource("s1"), nullptr);
}

TEST_F(ModelTest, UndottedLookupFindsTheNetFirstDottedTheSourcesFirst) {
    auto b = Build();
    NModel& m = b->Model;
    auto* namesake = new TestSource(&m, "net1");
    ASSERT_TRUE(m.AddComponent(namesake));
    EXPECT_EQ(m.GetComponent("net1"), b->Net);
    EXPECT_EQ(m.GetComponent("net1.cell1.s1"), nullptr);  // the source has no components
    EXPECT_EQ(LastCode(), 3u);
    EXPECT_TRUE(m.DelSource("net1"));

    EXPECT_EQ(m.GetComponent("net1.cell1.s1"), b->Cell->GetComponent("s1"));
    EXPECT_EQ(m.GetComponent("src"), b->Source);
    EXPECT_EQ(m.GetComponent("gate.input"), &b->Gate->Input);
    EXPECT_EQ(m.GetComponent("cell1"), nullptr);  // net objects only through the net
    EXPECT_EQ(LastCode(), 3u);
    EXPECT_EQ(GetLastErrorInfo(), "cell1");
    EXPECT_EQ(m.GetComponent(""), nullptr);
    EXPECT_EQ(LastCode(), 1u);
    EXPECT_EQ(m.GetSource("gate"), nullptr);
    EXPECT_EQ(LastCode(), 3u);
    EXPECT_EQ(m.GetOutGate("gate"), b->Gate);

    NStringList names;
    m.GetComponentsList(names);
    EXPECT_EQ(names, (NStringList{"src", "gate", "net1"}));
}

TEST_F(ModelTest, DelComponentTriesSourcesGatesThenTheNet) {
    auto b = Build();
    NModel& m = b->Model;
    EXPECT_FALSE(m.DelComponent("nothing"));
    EXPECT_EQ(LastCode(), 3u);
    EXPECT_FALSE(m.DelComponent(nullptr));
    EXPECT_TRUE(m.DelComponent("gate"));
    EXPECT_EQ(m.GetOutGatesCount(), 0);
    EXPECT_TRUE(m.DelComponent("net1"));
    EXPECT_EQ(m.GetNet(), nullptr);
    m.Calculate();  // without a net
    m.DelAllComponents();
    EXPECT_EQ(m.GetSourcesCount(), 0);
}

TEST_F(ModelTest, StepRunsSourcesNetGatesAllAtTheSameTime) {
    auto b = Build();
    NModel& m = b->Model;
    ASSERT_TRUE(m.CreateLink("src", "net1.cell1.s1"));
    ASSERT_TRUE(m.CreateLink("net1.cell1", "gate.input"));
    b->Cell->SetParameter("Period", 2);
    auto* second = new TestElement(b->Net, "e");
    b->Net->AddObject(second);

    SetActiveModel(&m);
    ResetActiveModel();
    std::vector<std::string> log;
    CallLog = &log;
    StepActiveModel();
    StepActiveModel();
    EXPECT_EQ(log, (std::vector<std::string>{"m.src@0.000000", "m.net1.cell1@0.000000", "m.net1.e@0.000000",
                                             "m.gate@0.000000", "m.src@0.000100", "m.net1.cell1@0.000100",
                                             "m.net1.e@0.000100", "m.gate@0.000100"}));
    EXPECT_EQ(GetCurrentTime(), static_cast<NTime>(0.0001) + static_cast<NTime>(0.0001));
    EXPECT_EQ(b->Gate->LastTime, static_cast<NTime>(0.0001));
    EXPECT_EQ(b->Cell->GetState().FirstInputStep, 1);  // sources deliver before the net computes
    EXPECT_EQ(b->Gate->PulseSteps, 2);                  // and the net before the gates

    ResetActiveModel();
    EXPECT_EQ(GetCurrentTime(), 0);
    EXPECT_EQ(b->Gate->Steps, 0);
    EXPECT_EQ(b->Source->Steps, 0);
    EXPECT_EQ(second->Steps, 0);
}

TEST_F(ModelTest, CloneCopiesComponentsInnerLinksAndClockButNoModelLinks) {
    auto b = Build();
    NModel& m = b->Model;
    auto* src2 = new TestCell(b->Net, "cell2");
    src2->AddSynapse("s1");
    b->Net->AddObject(src2);
    ASSERT_TRUE(b->Net->CreateLink("cell1", "cell2.s1"));
    ASSERT_TRUE(m.CreateLink("src", "net1.cell1.s1"));
    ASSERT_TRUE(m.CreateLink("net1.cell2", "gate.input"));
    ASSERT_TRUE(m.SetTimeStep(0.0002));
    ASSERT_TRUE(m.SetPulseDuration(0.003));
    m.Calculate();
    m.Calculate();

    std::unique_ptr<NBasicDescription> made(m.Clone(nullptr, "copy"));
    auto* copy = dynamic_cast<NModel*>(made.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetTimeStep(), m.GetTimeStep());
    EXPECT_EQ(copy->GetCurrentTime(), m.GetCurrentTime());
    EXPECT_EQ(copy->GetPulseDuration(), m.GetPulseDuration());
    NStringList names;
    copy->GetComponentsList(names);
    EXPECT_EQ(names, (NStringList{"src", "gate", "net1"}));
    EXPECT_EQ(copy->GetSource("src")->GetOwner(), copy);
    EXPECT_EQ(copy->GetSource("src")->GetParameter("Period"), 1000);

    // The net's own link is remade between the copies ...
    EXPECT_EQ(ItemOf(copy->GetComponent("net1.cell2.s1")), copy->GetComponent("net1.cell1"));
    // ... the model's are not, and the original keeps all of its links.
    EXPECT_EQ(ItemOf(copy->GetComponent("net1.cell1.s1")), nullptr);
    EXPECT_EQ(ItemOf(copy->GetComponent("gate.input")), nullptr);
    EXPECT_EQ(copy->GetSource("src")->GetConnectorsCount(), 0);
    NLinksMap links;
    copy->GetLinks(links);
    EXPECT_TRUE(links.empty());
    EXPECT_EQ(ItemOf(m.GetComponent("gate.input")), m.GetComponent("net1.cell2"));
    EXPECT_EQ(b->Source->GetConnectorsCount(), 1);

    TestElement notAModel(nullptr, "x");
    EXPECT_FALSE(m.CopyComponents(&notAModel));
    EXPECT_EQ(LastCode(), 5u);
    EXPECT_FALSE(m.CopyParameters(nullptr));
    EXPECT_EQ(LastCode(), 4u);
    EXPECT_EQ(m.Clone(&notAModel, "owned"), nullptr);
    EXPECT_EQ(LastCode(), 41u);
}

TEST_F(ModelTest, DestroyingTheActiveModelDetachesEverything) {
    auto b = Build();
    TestConnector outside(nullptr, "outside");
    ASSERT_TRUE(b->Source->Connect(&outside));
    SetActiveModel(&b->Model);
    ASSERT_TRUE(SetTimeStep(0.0003));
    StepActiveModel();
    b.reset();
    EXPECT_EQ(GetActiveModel(), nullptr);
    EXPECT_EQ(GetTimeStep(), static_cast<NTime>(0.0001));
    EXPECT_EQ(GetCurrentTime(), 0);
    EXPECT_EQ(outside.GetItem(), nullptr);
}

// A binary model may name an object with a dot inside, which a lookup by name takes for a path:
// the time step check must reach such an object all the same.
TEST_F(ModelTest, TheTimeStepCheckReachesEveryAnalogObjectWhateverItsName) {
    for (const char* name : {"plain", "with.dot"}) {
        auto b = Build();
        EXPECT_EQ(FindOverloadedAnalogElement(&b->Model, 0.0001), nullptr);
        auto* analog = new TestAObject(b->Net, name);
        analog->SetCalcStep(1e-9);  // 100,001 runs in a step of 0.1 ms
        ASSERT_TRUE(b->Net->AddObject(analog));
        EXPECT_EQ(FindOverloadedAnalogElement(&b->Model, 0.0001), analog) << name;
        EXPECT_FALSE(b->Model.SetTimeStep(0.0001)) << name;
        EXPECT_EQ(FindOverloadedAnalogElement(&b->Model, 1e-6), nullptr) << name;
    }
}

} // namespace
} // namespace talvero::test
