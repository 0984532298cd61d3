// "Сменить модель": another model file replaces the open project's model.

#include "tests/modeler/ModelerTestSupport.h"

namespace talvero::testing {
namespace {

class ChangeModelTest : public ModelerTest {
protected:
    void SetUp() override {
        ModelerTest::SetUp();
        CreateFromText("p/", "p");
        ASSERT_TRUE(Modeler->GetEnvironment()->IsModelLoaded());
        ASSERT_FALSE(Modeler->IsProjectModified());
        Ui.ObjectsList.Model = nullptr;
    }
    void Choose(const std::string& path) { Ui.FileOpen.Script.push_back(path); }
};

TEST_F(ChangeModelTest, ADescriptionIsCompiledIntoTheProjectAndLoaded) {
    WriteText(At("leg.TV"), kNeuronModel);
    Choose(At("leg.TV"));
    Modeler->ChangeModel();
    EXPECT_EQ(Ui.FileOpen.LastFilter, Cp("Файл описания модели (*.tv)|*.tv|Двоичный файл модели (*.btv)|*.btv"));
    EXPECT_EQ(Ui.FileOpen.LastExtension, "tv");
    EXPECT_TRUE(Exists(At("p/leg.btv")));
    EXPECT_EQ(Modeler->GetEnvironment()->GetModelFileName(), "leg.btv");
    EXPECT_NE(Modeler->GetEnvironment()->GetModel()->GetOutGate("cellwatch"), nullptr);
    EXPECT_TRUE(Modeler->IsProjectModified());
    EXPECT_EQ(Ui.ObjectsList.Model, Modeler->GetEnvironment()->GetModel());
    EXPECT_TRUE(Ui.Messages.Messages.empty());

    ASSERT_TRUE(Modeler->SaveProjectFile());
    EXPECT_EQ(ReadIni(At("p/p.tvp"))->ReadString("System", "ModelFileName", ""), "leg.btv");
}

TEST_F(ChangeModelTest, ABinaryFileIsCopied) {
    ASSERT_TRUE(Modeler->GetEnvironment()->Compile(At("arm.tv"), At("ready.btv")));
    Choose(At("ready.btv"));
    Modeler->ChangeModel();
    EXPECT_TRUE(Exists(At("p/ready.btv")));
    EXPECT_EQ(Modeler->GetEnvironment()->GetModelFileName(), "ready.btv");
    EXPECT_TRUE(Modeler->IsProjectModified());
}

TEST_F(ChangeModelTest, ComputationStopsAndWatchWindowsStay) {
    ASSERT_TRUE(Modeler->AddWatchWindow("0"));
    Modeler->StartComputation();
    WriteText(At("leg.tv"), kNeuronModel);
    Choose(At("leg.tv"));
    Modeler->ChangeModel();
    EXPECT_FALSE(Modeler->IsRunning());
    EXPECT_NE(Modeler->GetWatchWindow("0"), nullptr);
}

TEST_F(ChangeModelTest, ACancelledChoiceResumesAndChangesNothing) {
    Modeler->StartComputation();
    Modeler->ChangeModel();  // the file dialog is cancelled
    EXPECT_TRUE(Modeler->IsRunning());
    EXPECT_FALSE(Modeler->IsPaused());
    EXPECT_FALSE(Modeler->IsProjectModified());
    EXPECT_EQ(Modeler->GetEnvironment()->GetModelFileName(), "arm.btv");
}

TEST_F(ChangeModelTest, AnotherEndingIsRefused) {
    WriteText(At("leg.txt"), kNeuronModel);
    Choose(At("leg.txt"));
    Modeler->ChangeModel();
    ASSERT_EQ(Ui.Messages.Messages.size(), 1u);
    EXPECT_EQ(Ui.Messages.Messages[0].Text, Cp("Имя файла модели имеет недопустимое расширение!"));
    EXPECT_EQ(Modeler->GetEnvironment()->GetModelFileName(), "arm.btv");
    EXPECT_FALSE(Modeler->IsProjectModified());
}

TEST_F(ChangeModelTest, AFailedCompileKeepsTheLoadedModel) {
    WriteText(At("bad.tv"), "Model m {\n");
    Choose(At("bad.tv"));
    Modeler->ChangeModel();
    ASSERT_EQ(Ui.Messages.Messages.size(), 1u);
    // The compiler's own message and where, not a disk problem.
    EXPECT_EQ(Ui.Messages.Messages[0].Text, Cp("Синтаксическая ошибка: пропущен завершающий символ ';' описания") +
                                                Cp("\nнет '}': блок m, открытый в bad.tv:1, не закрыт\n") +
                                                At("bad.tv") + ":1:1: m {");
    EXPECT_TRUE(Modeler->GetEnvironment()->IsModelLoaded());
    EXPECT_EQ(Modeler->GetEnvironment()->GetModelFileName(), "arm.btv");
    EXPECT_FALSE(Modeler->IsProjectModified());
}

TEST_F(ChangeModelTest, AModelThatDoesNotLoadLeavesTheProjectWithoutModel) {
    WriteText(At("unknown.tv"), "Model m {\n  Foo a { }\n}\n");
    Choose(At("unknown.tv"));
    Modeler->ChangeModel();
    ASSERT_EQ(Ui.Messages.Messages.size(), 1u);
    // Where in the description the loaded record came from.
    EXPECT_EQ(Ui.Messages.Messages[0].Text, Cp("Не удалось загрузить модель") + "\n" + At("p/unknown.btv") + "\n" +
                                                Cp("Тип объекта не найден") + "\nFoo\n" + At("unknown.tv") + ":2:3: Foo");
    EXPECT_FALSE(Modeler->GetEnvironment()->IsModelLoaded());
    EXPECT_TRUE(Modeler->IsProjectModified());
}

} // namespace
} // namespace talvero::testing
