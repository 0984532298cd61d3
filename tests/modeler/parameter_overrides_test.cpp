// Parameter values changed in the objects list: kept in the project file and applied on load.

#include "kernel/NModel.h"
#include "tests/modeler/ModelerTestSupport.h"

namespace talvero::testing {
namespace {

class ParameterOverridesTest : public ModelerTest {
protected:
    double Value(const char* object, const char* parameter) {
        NModel* model = Modeler->GetEnvironment()->GetModel();
        return model->GetComponent(object)->GetParameter(parameter);
    }
    void Reopen() {
        Modeler->CloseProject(true);
        ASSERT_TRUE(Modeler->LoadProject(At("prj/"), "Leg.tvp"));
    }
};

TEST_F(ParameterOverridesTest, AChangedValueIsSavedReappliedAndCanBeReverted) {
    CreateFromText("prj/", "Leg", kNeuronModel);
    const double described = Value("net1.cell.u1.s1", "K");
    ASSERT_NE(0.7, described);
    ASSERT_FALSE(Modeler->IsProjectModified());

    EXPECT_FALSE(Modeler->SetModelParameter("net1.cell.u1", "MaxIntensity", 2));  // refused: nothing kept
    EXPECT_EQ(21u, TakeLastError().GetCode());
    EXPECT_TRUE(Modeler->GetParameterOverrides().empty());
    ASSERT_TRUE(Modeler->SetModelParameter("net1.cell.u1.s1", "K", 0.7));
    EXPECT_TRUE(Modeler->IsProjectModified());
    EXPECT_EQ(1u, Modeler->GetParameterOverrides().size());

    Reopen();
    EXPECT_EQ("0.7", ReadIni(At("prj/Leg.tvp"))->ReadString("Parameters", "net1.cell.u1.s1.K", ""));
    EXPECT_EQ(0.7, Value("net1.cell.u1.s1", "K"));
    const VParameterOverride* entry = Modeler->FindParameterOverride("net1.cell.u1.s1", "K");
    ASSERT_NE(nullptr, entry);
    EXPECT_EQ(described, entry->Original);
    EXPECT_FALSE(Modeler->IsProjectModified());

    ASSERT_TRUE(Modeler->RevertModelParameter("net1.cell.u1.s1", "K"));
    EXPECT_FALSE(Modeler->RevertModelParameter("net1.cell.u1.s1", "K"));
    EXPECT_EQ(described, Value("net1.cell.u1.s1", "K"));
    EXPECT_TRUE(Modeler->IsProjectModified());
    Reopen();
    EXPECT_FALSE(ReadIni(At("prj/Leg.tvp"))->SectionExists("Parameters"));
    EXPECT_EQ(described, Value("net1.cell.u1.s1", "K"));
}

TEST_F(ParameterOverridesTest, StoredValuesThatNoLongerFitAreShownAndTheRestApply) {
    CreateFromText("prj/", "Leg", kNeuronModel);
    Modeler->CloseProject(true);
    auto ini = ReadIni(At("prj/Leg.tvp"));
    ini->WriteString("Parameters", "net1.nobody.K", "1");
    ini->WriteString("Parameters", "net1.cell.u1.MaxIntensity", "2");
    ini->WriteString("Parameters", "net1.cell.u1.s1.K", "0.3");
    ASSERT_TRUE(ini->UpdateFile());

    ASSERT_TRUE(Modeler->LoadProject(At("prj/"), "Leg.tvp"));
    EXPECT_EQ(0.3, Value("net1.cell.u1.s1", "K"));
    ASSERT_EQ(2u, Ui.Messages.Messages.size());
    EXPECT_NE(std::string::npos, Ui.Messages.Messages[0].Text.find("net1.nobody.K"));
    EXPECT_NE(std::string::npos, Ui.Messages.Messages[1].Text.find("net1.cell.u1.MaxIntensity"));
    EXPECT_EQ(1u, Modeler->GetParameterOverrides().size());
}

} // namespace
} // namespace talvero::testing
