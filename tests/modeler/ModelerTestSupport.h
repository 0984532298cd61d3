#pragma once
// A controller over the fake UI in a temporary directory, with small model descriptions.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

#include "environment/NEnvironment.h"
#include "kernel/NClock.h"
#include "kernel/NError.h"
#include "kernel/NModel.h"
#include "modeler/VIniFile.h"
#include "modeler/VModeler.h"
#include "tests/modeler/FakeUi.h"
#include "tests/modeler/FakeWatchWindow.h"

namespace talvero::testing {

// A pulse generator observed by a time watch.
inline const char* const kGeneratorModel =
    "// a generator and its time watch\n"
    "Model arm {\n"
    "Generator gen {\n"
    "parameter Frequency = 100;\n"
    "}\n"
    "TimeWatch watch {\n"
    "}\n"
    "link gen:watch.input;\n"
    "}\n";

// A neuron driven by a generator through a synapse, with time watches on both.
inline const char* const kNeuronModel =
    "Model leg {\n"
    "Generator drive {\n"
    "parameter Frequency = 50;\n"
    "}\n"
    "Net net1 {\n"
    "Neuron cell {\n"
    "IonUnit u1 {\n"
    "Synapse s1 {\n"
    "}\n"
    "}\n"
    "}\n"
    "}\n"
    "TimeWatch drivewatch {\n"
    "}\n"
    "TimeWatch cellwatch {\n"
    "}\n"
    "link drive:net1.cell.u1.s1;\n"
    "link drive:drivewatch.input;\n"
    "link net1.cell:cellwatch.input;\n"
    "}\n";

class ModelerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Root = std::filesystem::temp_directory_path() /
               ("talvero_modeler_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(Root);
        std::filesystem::create_directories(Root);
        Ui.WatchWindows.Make = [] { return std::make_unique<FakeWatchWindow>(); };
        Modeler = std::make_unique<VModeler>(Ui.Interface());
        TakeLastError();
    }
    void TearDown() override {
        Modeler.reset();
        std::filesystem::remove_all(Root);
    }

    // A path under the temporary directory; directories end with '/'.
    std::string At(const std::string& relative) const { return Root.string() + "/" + relative; }

    static void WriteText(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string ReadText(const std::string& path) {
        std::string text;
        ReadWholeFile(path, text);
        return text;
    }
    static bool Exists(const std::string& path) { return std::filesystem::exists(path); }
    static std::unique_ptr<VIniFile> ReadIni(const std::string& path) { return VIniFile::Open(path); }

    // Scripts the wizard for one CreateProject.
    void ScriptWizard(const std::string& projectFile, const std::string& name, const NStringList& description,
                      const std::string& modelFile, bool isSource = true) {
        Ui.Wizard.Script.push_back(FakeNewProjectWizard::Result{projectFile, name, description, modelFile, isSource});
    }

    // Creates project `name` in directory `dir` (relative) from a description text.
    void CreateFromText(const std::string& dir, const std::string& name, const char* model = kGeneratorModel) {
        const std::string source = At("arm.tv");
        WriteText(source, model);
        ScriptWizard(At(dir) + name + ".tvp", name, {"first line", "second line"}, source);
        Modeler->CreateProject();
    }

    FakeWatchWindow* Window(const std::string& key) const {
        return static_cast<FakeWatchWindow*>(Modeler->GetWatchWindow(key));
    }

    std::filesystem::path Root;
    FakeUi Ui;
    std::unique_ptr<VModeler> Modeler;
};

} // namespace talvero::testing
