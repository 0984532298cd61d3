// A generated 1,000-neuron network, compiled and loaded through the environment, must compute
// bit for bit what it computed before the step was made fast: the checksums below were taken
// from the straightforward implementation.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "LanguageTestSupport.h"
#include "bench/BenchModel.h"
#include "elements/NLTZone.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"
#include "kernel/NUnitDescription.h"

namespace talvero {
namespace {

// FNV-1a, 64 bits.
class Checksum {
public:
    void Add(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            Value ^= bytes[i];
            Value *= 0x100000001b3ULL;
        }
    }
    template <class T>
    void AddValue(T value) {
        Add(&value, sizeof(value));
    }
    std::uint64_t Get() const { return Value; }

private:
    std::uint64_t Value = 0xcbf29ce484222325ULL;
};

// Every X and Y of every out gate, in order, with the point counts.
std::uint64_t WatchChecksum(const NModel& model) {
    Checksum sum;
    for (auto gate = model.GetOutGatesBegin(); gate != model.GetOutGatesEnd(); ++gate) {
        sum.AddValue((*gate)->GetDataSize());
        for (auto x = (*gate)->GetXBegin(); x != (*gate)->GetXEnd(); ++x) sum.AddValue(*x);
        for (auto y = (*gate)->GetYBegin(); y != (*gate)->GetYEnd(); ++y) sum.AddValue(*y);
    }
    return sum.Get();
}

// The saved state, the outputs and the zone's filters of every object below `object`: catches a
// difference in the last bit that has not yet moved a pulse.
void AddStates(NBasicDescription* object, Checksum& sum) {
    std::vector<char> state(static_cast<std::size_t>(object->GetStateSize()));
    object->SaveState(state.data());
    sum.Add(state.data(), state.size());
    if (auto* unit = dynamic_cast<NUnitDescription*>(object)) {
        std::vector<double> outputs(unit->GetOutputsCount());
        unit->GetOutputs(outputs.data(), 0);
        sum.Add(outputs.data(), outputs.size() * sizeof(double));
    }
    if (auto* zone = dynamic_cast<NLTZone*>(object)) {
        for (double v : {zone->GetFilter1(), zone->GetFilter2(), zone->GetMembrane()}) sum.AddValue(v);
        sum.AddValue(zone->GetPulseCounter());
    }
    NStringList names;
    object->GetComponentsList(names);
    for (const std::string& name : names) AddStates(object->GetComponent(name.c_str()), sum);
}

TEST(BenchIdentityTest, GeneratedNetworkComputesBitForBitAsBefore) {
    test::TempDir dir;
    const std::string source = dir.Write("bench.tv", bench::GenerateBenchModel(1000, 20));
    const std::string binary = dir.File("bench.btv");
    NEnvironment environment;
    RegisterBuiltinClasses(environment);
    ASSERT_TRUE(environment.Compile(source, binary)) << PeekLastErrorCode() << " " << GetLastErrorInfo();
    ASSERT_TRUE(environment.LoadModel(binary)) << PeekLastErrorCode() << " " << GetLastErrorInfo();
    NModel* model = environment.GetModel();
    ASSERT_EQ(model->GetOutGatesCount(), 100);

    SetActiveModel(model);
    ResetActiveModel();
    for (int i = 0; i < 2000; ++i) StepActiveModel();

    std::size_t points = 0;
    for (auto gate = model->GetOutGatesBegin(); gate != model->GetOutGatesEnd(); ++gate)
        points += (*gate)->GetDataSize();
    Checksum states;
    AddStates(model, states);
    SetActiveModel(nullptr);

    // The network is busy: the watches see many pulses, not a silent net.
    EXPECT_GT(points, 2000u);
    EXPECT_EQ(WatchChecksum(*model), 0xcf37640f1259e97eULL);
    EXPECT_EQ(states.Get(), 0x760e627b2d3868bbULL);
}

} // namespace
} // namespace talvero
