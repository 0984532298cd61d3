#pragma once
// Loading a model from text and recording what two engines computed, for the agreement tests.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "environment/LanguageTestSupport.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "fast/NEngine.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"

namespace talvero::test {

// The model of a description file (its includes found beside it).
inline std::unique_ptr<NEnvironment> LoadFile(const std::string& source) {
    TempDir dir;
    auto environment = std::make_unique<NEnvironment>();
    RegisterBuiltinClasses(*environment);
    const std::string binary = dir.File("m.btv");
    if (!environment->Compile(source, binary) || !environment->LoadModel(binary)) {
        ADD_FAILURE() << source << " does not load: " << PeekLastErrorCode() << " " << GetLastErrorInfo();
        return nullptr;
    }
    return environment;
}

inline std::unique_ptr<NEnvironment> LoadText(const std::string& text) {
    TempDir dir;
    return LoadFile(dir.Write("m.tv", text));
}

// The pulse onsets each out gate recorded, in gate order.
inline std::vector<std::vector<double>> Onsets(const NModel& model) {
    std::vector<std::vector<double>> all;
    for (auto gate = model.GetOutGatesBegin(); gate != model.GetOutGatesEnd(); ++gate) {
        std::vector<double> onsets;
        double before = 0;
        auto x = (*gate)->GetXBegin();
        for (auto y = (*gate)->GetYBegin(); y != (*gate)->GetYEnd(); ++y, ++x) {
            if (*y != 0 && before == 0) onsets.push_back(*x);
            before = *y;
        }
        all.push_back(std::move(onsets));
    }
    return all;
}

// A run of `steps` with samples of `probe` every `every` steps (after End, so the objects are
// up to date under either engine).
struct RunRecord {
    std::vector<std::vector<double>> Onsets;
    std::vector<std::vector<double>> Samples;
};

inline RunRecord RunWith(NModel& model, NEngineKind kind, long long steps, int every,
                         const std::function<std::vector<double>(NModel&)>& probe, bool expectFast = true) {
    RunRecord record;
    SetActiveModel(&model);
    ResetActiveModel();
    std::string notice;
    std::unique_ptr<NEngine> engine = MakeEngine(model, kind, notice);
    if (expectFast) {
        EXPECT_EQ(engine->Kind(), kind) << notice;
    }
    engine->Begin();
    for (long long i = 1; i <= steps; ++i) {
        engine->Step();
        if (probe && i % every == 0) {
            engine->End();
            record.Samples.push_back(probe(model));
        }
    }
    engine->End();
    record.Onsets = Onsets(model);
    SetActiveModel(nullptr);
    return record;
}

inline bool Close(double a, double b, double relative = 1e-9) {
    return a == b || std::fabs(a - b) <= relative * std::max(std::fabs(a), std::fabs(b)) + 1e-300;
}

} // namespace talvero::test
