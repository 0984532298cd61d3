// The engine chosen in the computation options: kept with the project, computing what the exact
// engine computes through pauses and parameter changes, and saying so when it cannot.

#include <vector>

#include "kernel/NModel.h"
#include "tests/modeler/ModelerTestSupport.h"

namespace talvero::testing {
namespace {

class EngineChoiceTest : public ModelerTest {
protected:
    void Choose(bool fast) {
        Ui.ComputationOptions.Script.push_back([fast](VComputationOptionsFields& f) { f.FastEngine = fast; });
        Modeler->EditComputationOptions();
    }
    // The cell's pulse record after ticks with a pause and a changed synapse in between.
    std::vector<double> Run(bool fast, int dir) {
        CreateFromText("prj" + std::to_string(dir) + "/", "P", kNeuronModel);
        Choose(fast);
        Modeler->SetAsFastAsPossible(false);
        Modeler->SetPace(0);  // a fixed number of steps per tick
        Modeler->SetStepsPerTick(100);
        Modeler->StartComputation();
        EXPECT_EQ(Modeler->IsFastEngineComputing(), fast);
        for (int tick = 0; tick < 30; ++tick) Modeler->ComputeTick();
        Modeler->PauseComputation();
        EXPECT_TRUE(Modeler->SetModelParameter("net1.cell.u1.s1", "K", 0.2));
        Modeler->StartComputation();
        for (int tick = 0; tick < 30; ++tick) Modeler->ComputeTick();
        // And while running.
        EXPECT_TRUE(Modeler->SetModelParameter("net1.cell.u1", "R", 1.6e7));
        for (int tick = 0; tick < 30; ++tick) Modeler->ComputeTick();
        const NAbstractOutGate* gate = Modeler->GetEnvironment()->GetModel()->GetOutGate("cellwatch");
        std::vector<double> points(gate->GetXBegin(), gate->GetXEnd());
        points.insert(points.end(), gate->GetYBegin(), gate->GetYEnd());
        Modeler->CloseProject(false);
        return points;
    }
};

TEST_F(EngineChoiceTest, FastComputationGivesTheExactRecordThroughPausesAndParameterChanges) {
    const std::vector<double> exact = Run(false, 1);
    const std::vector<double> fast = Run(true, 2);
    EXPECT_GT(exact.size(), 20u);
    EXPECT_EQ(exact, fast);
}

TEST_F(EngineChoiceTest, TheChoiceIsSavedWithTheProjectAndAFallbackIsShown) {
    CreateFromText("prj/", "P");
    EXPECT_EQ(Modeler->GetEngineKind(), NEngineKind::Exact);  // a new project's default
    Choose(true);
    EXPECT_TRUE(Modeler->IsProjectModified());
    Modeler->CloseProject(true);
    EXPECT_EQ(ReadIni(At("prj/P.tvp"))->ReadString("Computation", "Engine", ""), "fast");
    Modeler->SetEngineKind(NEngineKind::Exact);
    ASSERT_TRUE(Modeler->LoadProject(At("prj/"), "P.tvp"));
    EXPECT_EQ(Modeler->GetEngineKind(), NEngineKind::Fast);
    Ui.ComputationOptions.Script.push_back([](VComputationOptionsFields& f) { EXPECT_TRUE(f.FastEngine); });
    Modeler->EditComputationOptions();
    Modeler->CloseProject(false);

    // An unknown name computes exactly.
    auto ini = ReadIni(At("prj/P.tvp"));
    ini->WriteString("Computation", "Engine", "warp");
    ASSERT_TRUE(ini->UpdateFile());
    ASSERT_TRUE(Modeler->LoadProject(At("prj/"), "P.tvp"));
    EXPECT_EQ(Modeler->GetEngineKind(), NEngineKind::Exact);
    Modeler->CloseProject(false);

    // A model the fast engine has no faithful form of runs exactly, and the user is told.
    CreateFromText("prj2/", "Q", "Model m { Net n { Neuron a { IonUnit u { Synapse leg { parameter K = 1e-310; } } } } }");
    Choose(true);
    Ui.Messages.Messages.clear();
    Modeler->StartComputation();
    EXPECT_TRUE(Modeler->IsRunning());
    EXPECT_FALSE(Modeler->IsFastEngineComputing());
    ASSERT_EQ(Ui.Messages.Messages.size(), 1u);
    EXPECT_NE(Ui.Messages.Messages[0].Text.find("leg"), std::string::npos) << Ui.Messages.Messages[0].Text;
    Modeler->ComputeTick();
    EXPECT_GT(GetCurrentTime(), 0);
    Modeler->CloseProject(false);
}

} // namespace
} // namespace talvero::testing
