// Remembering and restoring the computation state from the main window's commands.

#include "environment/NEnvironment.h"
#include "kernel/NAbstractOutGate.h"
#include "kernel/NModel.h"
#include "tests/modeler/ModelerTestSupport.h"

namespace talvero::testing {
namespace {

class StateTest : public ModelerTest {
protected:
    void SetUp() override {
        ModelerTest::SetUp();
        CreateFromText("prj/", "P", kNeuronModel);
        Modeler->SetAsFastAsPossible(false);
        Modeler->SetPace(0);  // a fixed number of steps per tick
        ASSERT_TRUE(Modeler->GetEnvironment()->IsModelLoaded());
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) Modeler->ComputeTick();
    }
    NModel* Model() { return Modeler->GetEnvironment()->GetModel(); }
    // Every recorded point of every gate.
    std::vector<double> Points() {
        std::vector<double> points;
        for (auto g = Model()->GetOutGatesBegin(); g != Model()->GetOutGatesEnd(); ++g) {
            points.insert(points.end(), (*g)->GetXBegin(), (*g)->GetXEnd());
            points.insert(points.end(), (*g)->GetYBegin(), (*g)->GetYEnd());
        }
        return points;
    }
};

TEST_F(StateTest, ARememberedStateIsRestoredAndTheNextStartGoesOnFromIt) {
    Modeler->StartComputation();
    Ticks(30);
    Ui.NameInput.Script.push_back("warm");
    Modeler->RememberComputationState();
    EXPECT_TRUE(Modeler->IsRunning());
    EXPECT_FALSE(Modeler->IsPaused());
    ASSERT_TRUE(Exists(At("prj/warm.tvs")));
    EXPECT_EQ(Modeler->GetProjectFile()->ReadString("State", "File", ""), "warm.tvs");
    Ticks(25);
    const std::vector<double> later = Points();
    const long double laterTime = Model()->GetCurrentTime();
    Modeler->StopComputation();

    // The last file is offered; the series go on from its time, not from zero.
    Ui.NameInput.Script.push_back("warm.tvs");
    Modeler->RestoreComputationState();
    EXPECT_EQ(Ui.NameInput.Requests.back().InitialText, "warm.tvs");
    EXPECT_EQ(Model()->GetStepCount(), 30u * 20u);
    Modeler->StartComputation();
    Ticks(25);
    EXPECT_EQ(Model()->GetCurrentTime(), laterTime);
    EXPECT_TRUE(Points() == later);

    // A stop forgets the restore: the next start begins at zero again.
    Modeler->StopComputation();
    Modeler->StartComputation();
    EXPECT_EQ(Model()->GetCurrentTime(), 0);

    Modeler->ShowComputationState();
    ASSERT_FALSE(Ui.Messages.Messages.empty());
    EXPECT_NE(Ui.Messages.Messages.back().Text.find("warm.tvs"), std::string::npos);
}

TEST_F(StateTest, AFileOutsideTheProjectFolderOrAForeignStateIsRefused) {
    const auto shown = Ui.Messages.Messages.size();
    Ui.NameInput.Script.push_back("../outside.tvs");
    Modeler->RememberComputationState();
    EXPECT_FALSE(Exists(At("outside.tvs")));
    EXPECT_EQ(Ui.Messages.Messages.size(), shown + 1);

    WriteText(At("prj/junk.tvs"), "not a state");
    Modeler->StartComputation();
    Ticks(3);
    const long double now = Model()->GetCurrentTime();
    Ui.NameInput.Script.push_back("junk.tvs");
    Modeler->RestoreComputationState();
    EXPECT_EQ(Model()->GetCurrentTime(), now);
    EXPECT_GT(Ui.Messages.Messages.size(), shown + 1);
}

} // namespace
} // namespace talvero::testing
