#pragma once
// A model built in code, made active and reset, advanced step by step.

#include <gtest/gtest.h>

#include <vector>

#include "kernel/NAbstractOutGate.h"
#include "kernel/NClock.h"
#include "kernel/NError.h"
#include "kernel/NModel.h"

namespace talvero::test {

class ModelTest : public ::testing::Test {
protected:
    ModelTest() : Model("m") {}
    ~ModelTest() override { SetActiveModel(nullptr); }

    template <class T>
    T* Add(const char* name) {
        auto* object = new T(&Model, name);
        EXPECT_TRUE(Model.AddComponent(object));
        return object;
    }

    void Link(const char* item, const char* connector) { ASSERT_TRUE(Model.CreateLink(item, connector)); }

    void Start() {
        SetActiveModel(&Model);
        ResetActiveModel();
    }

    void Step(int count = 1) {
        for (int i = 0; i < count; ++i) StepActiveModel();
    }

    // Model time of step k after a reset, as the elements see it (80-bit sum of k steps).
    static double TimeOfStep(int k) {
        NTime t = 0;
        for (int i = 0; i < k; ++i) t = t + static_cast<NTime>(kDefaultTimeStep);
        return static_cast<double>(t);
    }

    NModel Model;
};

inline std::vector<double> Xs(const NAbstractOutGate& gate) { return {gate.GetXBegin(), gate.GetXEnd()}; }
inline std::vector<double> Ys(const NAbstractOutGate& gate) { return {gate.GetYBegin(), gate.GetYEnd()}; }

// Times at which a recorded pulse train (0/1 points) rises to 1.
inline std::vector<double> PulseStarts(const NAbstractOutGate& gate) {
    std::vector<double> starts;
    const std::vector<double> x = Xs(gate), y = Ys(gate);
    for (std::size_t i = 0; i < y.size(); ++i)
        if (y[i] == 1 && (i == 0 || y[i - 1] == 0)) starts.push_back(x[i]);
    return starts;
}

inline std::uint32_t LastCode() { return TakeLastError().GetCode(); }

} // namespace talvero::test
