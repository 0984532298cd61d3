// A step of a loaded model must not touch the heap once it runs: no allocation on the per-step
// path of any element. Watches are kept from recording, as what they record grows by design. The
// global allocation functions of this test program are replaced by counting ones that forward to
// malloc/free (every form that can pair with another, so the sanitizer build sees matching pairs).

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>
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

// The replacements below pair operator new with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::size_t Allocations = 0;
bool Counting = false;

void* Allocate(std::size_t size) {
    if (Counting) ++Allocations;
    return std::malloc(size ? size : 1);
}
} // namespace

void* operator new(std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

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
        Allocations = 0;
        Counting = true;
        for (int i = 0; i < steps; ++i) StepActiveModel();
        Counting = false;
        return Allocations;
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
    Allocations = 0;
    Counting = true;
    for (int i = 0; i < 2000; ++i) {
        StepActiveModel();
        for (NNeuron* neuron : neurons) pulses += neuron->IsPulse() ? 1 : 0;
    }
    Counting = false;
    EXPECT_EQ(Allocations, 0u);
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
