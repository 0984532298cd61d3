// A step of a loaded model must not touch the heap once it runs: no allocation on the per-step
// path of any element. Watches are kept from recording, as what they record grows by design. The
// test program counts its allocations (support/CountingAllocator.cpp).

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "LanguageTestSupport.h"
#include "bench/BenchModel.h"
#include "elements/NNeuron.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"
#include "kernel/NNet.h"
#include "support/CountingAllocator.h"

namespace talvero {
namespace {

class StepAllocationTest : public ::testing::Test {
protected:
    void SetUp() override { RegisterBuiltinClasses(Environment); }
    void TearDown() override { SetActiveModel(nullptr); }

    // Compiles and loads the description, keeps every watch from recording, resets the model
    // and runs it until its steps are steady.
    NModel* Load(const std::string& description) {
        const std::string source = Dir.Write("model.tv", description);
        const std::string binary = Dir.File("model.btv");
        if (!Environment.Compile(source, binary) || !Environment.LoadModel(binary)) {
            ADD_FAILURE() << PeekLastErrorCode() << " " << GetLastErrorInfo();
            return nullptr;
        }
        NModel* model = Environment.GetModel();
        SetActiveModel(model);
        ResetActiveModel();
        // A start in the future switches recording off (a reset would start it again at once).
        for (auto gate = model->GetOutGatesBegin(); gate != model->GetOutGatesEnd(); ++gate)
            (*gate)->SetParameter("StartTime", 1e6);
        for (int i = 0; i < 300; ++i) StepActiveModel();
        return model;
    }

    static std::size_t AllocationsDuring(int steps) {
        return test::CountAllocations([steps] {
            for (int i = 0; i < steps; ++i) StepActiveModel();
        });
    }

    test::TempDir Dir;
    NEnvironment Environment;
};

TEST_F(StepAllocationTest, GeneratedNetworkStepsWithoutAllocating) {
    NModel* model = Load(bench::GenerateBenchModel(200, 20));
    ASSERT_NE(model, nullptr);
    std::vector<NNeuron*> neurons;
    auto* net = dynamic_cast<NNet*>(model->GetNet());
    ASSERT_NE(net, nullptr);
    for (auto object = net->GetObjectsBegin(); object != net->GetObjectsEnd(); ++object)
        neurons.push_back(dynamic_cast<NNeuron*>(object->get()));
    int pulses = 0;
    EXPECT_EQ(test::CountAllocations([&] {
                  for (int i = 0; i < 2000; ++i) {
                      StepActiveModel();
                      for (NNeuron* neuron : neurons) pulses += neuron->IsPulse() ? 1 : 0;
                  }
              }),
              0u);
    EXPECT_GT(pulses, 1000);  // the net is busy, pulses travel through every kind of synapse
}

TEST_F(StepAllocationTest, EveryClassStepsWithoutAllocating) {
    const char* root = std::getenv("TALVERO_SOURCE_DIR");
    ASSERT_NE(root, nullptr);
    std::ifstream in(std::string(root) + "/examples/all_classes.tv", std::ios::binary);
    const std::string description((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(description.empty());
    ASSERT_NE(Load(description), nullptr);
    EXPECT_EQ(AllocationsDuring(3000), 0u);
}

} // namespace
} // namespace talvero
