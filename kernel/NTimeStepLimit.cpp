#include "kernel/NTimeStepLimit.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <typeinfo>
#include <vector>

#include "kernel/Cp1251.h"
#include "kernel/NAnalogAddition.h"
#include "kernel/NModel.h"
#include "kernel/NParameterRefusal.h"

namespace talvero {
namespace {

// A model's objects are of a few classes, met over and over: the failing cross-cast of every
// synapse cost more than the rest of the walk. The answers for the last few classes are kept.
class AnalogCast {
public:
    NAnalogAddition* operator()(NBasicDescription* object) {
        const std::type_info* type = &typeid(*object);
        std::size_t i = 0;
        while (i < kKept && Types[i] != type) ++i;
        if (i == kKept) {
            i = Next;
            Next = (Next + 1) % kKept;
            Types[i] = type;
            Analog[i] = dynamic_cast<NAnalogAddition*>(object) != nullptr;
        }
        return Analog[i] ? dynamic_cast<NAnalogAddition*>(object) : nullptr;
    }

private:
    static constexpr std::size_t kKept = 8;
    const std::type_info* Types[kKept] = {};
    bool Analog[kKept] = {};
    std::size_t Next = 0;
};

struct SearchState {
    NTime Step;
    AnalogCast AnalogOf;
};

// `outer` holds the sub-steps of the nearest analog ancestor; `culprit` the outermost one.
NBasicDescription* Search(NBasicDescription* object, long double outer, NBasicDescription* culprit, SearchState& state) {
    long double runs = outer;
    if (NAnalogAddition* analog = state.AnalogOf(object)) {
        runs *= SubStepsPerStep(state.Step, analog->GetCalcStep());
        if (!culprit) culprit = object;
        if (!(runs <= kMaxSubStepsPerStep)) return culprit;
    }
    struct Visit {
        SearchState& State;
        long double Runs;
        NBasicDescription* Culprit;
        NBasicDescription* Found = nullptr;
    } visit{state, runs, runs > 1 ? culprit : nullptr};
    // One pointer captured: the callback then needs no memory of its own at every object.
    object->ForEachComponent([v = &visit](NBasicDescription* component) {
        v->Found = Search(component, v->Runs, v->Culprit, v->State);
        return v->Found == nullptr;
    });
    return visit.Found;
}

std::vector<NPulseDurationCheck>& PulseDurationChecks() {
    static std::vector<NPulseDurationCheck> checks;
    return checks;
}

// The shortest decimal text at most `limit` (so that the step offered is one the model takes).
std::string NumberNotAbove(double limit) {
    char buffer[40];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, limit);
        if (std::strtod(buffer, nullptr) <= limit) return buffer;
    }
    return FormatParameterNumber(limit);
}

} // namespace

long double SubStepsPerStep(NTime step, double interval) {
    if (!(step > interval)) return 1;
    // The number of running sums not above the step (rounding may add one).
    return std::floor(step / static_cast<NTime>(interval)) + 1;
}

NBasicDescription* FindOverloadedAnalogElement(NBasicDescription* root, NTime step) {
    if (!root) return nullptr;
    SearchState state{step, {}};
    return Search(root, 1, nullptr, state);
}

double LargestAdmissibleTimeStep(NBasicDescription* root) {
    double max = std::numeric_limits<double>::max();
    if (!FindOverloadedAnalogElement(root, max)) return max;
    // Sub-steps only grow with the step, and positive doubles are ordered as their bit patterns:
    // bisecting the patterns finds the last admitted double in 64 walks of the model.
    std::uint64_t lo = std::bit_cast<std::uint64_t>(std::numeric_limits<double>::denorm_min());
    std::uint64_t hi = std::bit_cast<std::uint64_t>(max);
    if (FindOverloadedAnalogElement(root, std::bit_cast<double>(lo))) return 0;
    while (hi - lo > 1) {
        const std::uint64_t mid = lo + (hi - lo) / 2;
        (FindOverloadedAnalogElement(root, std::bit_cast<double>(mid)) ? hi : lo) = mid;
    }
    return std::bit_cast<double>(lo);
}

bool CheckTimeStepLimit(NBasicDescription* model, NTime step) {
    const NBasicDescription* element = FindOverloadedAnalogElement(model, step);
    if (!element) return true;
    const double largest = LargestAdmissibleTimeStep(model);
    return ReportError(21, Utf8ToCp1251("шаг по времени ") + FormatParameterNumber(static_cast<double>(step)) +
                               Utf8ToCp1251(" с слишком велик для ") + element->FullName() +
                               Utf8ToCp1251(" (более ") +
                               FormatParameterNumber(static_cast<double>(kMaxSubStepsPerStep)) +
                               Utf8ToCp1251(" вычислений за шаг); наибольший допустимый шаг ") +
                               NumberNotAbove(largest) + Utf8ToCp1251(" с"));
}

bool RegisterPulseDurationCheck(NPulseDurationCheck check) {
    PulseDurationChecks().push_back(check);
    return true;
}

bool CheckPulseDurationLimit(const NModel& model, NTime duration) {
    std::string detail;
    for (auto it = model.GetSourcesBegin(); it != model.GetSourcesEnd(); ++it)
        for (NPulseDurationCheck check : PulseDurationChecks())
            if (!check(**it, duration, detail)) return ReportError(21, detail);
    return true;
}

NTime PulseDurationFor(const NBasicDescription& object) {
    for (const NBasicDescription* o = &object; o; o = o->GetOwner())
        if (const auto* model = dynamic_cast<const NModel*>(o)) return model->GetPulseDuration();
    return GetPulseDuration();
}

} // namespace talvero
