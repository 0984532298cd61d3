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

// A model's objects are of a few classes, each met many times in a row: the failing cross-cast
// of every synapse cost more than the rest of the walk.
class AnalogCast {
public:
    NAnalogAddition* operator()(NBasicDescription* object) {
        const std::type_info* type = &typeid(*object);
        if (type != LastType) {
            LastType = type;
            LastIsAnalog = dynamic_cast<NAnalogAddition*>(object) != nullptr;
        }
        return LastIsAnalog ? dynamic_cast<NAnalogAddition*>(object) : nullptr;
    }

private:
    const std::type_info* LastType = nullptr;
    bool LastIsAnalog = false;
};

// `outer` holds the sub-steps of the nearest analog ancestor; `culprit` the outermost one.
NBasicDescription* Search(NBasicDescription* object, NTime step, long double outer, NBasicDescription* culprit,
                          AnalogCast& analogOf) {
    long double runs = outer;
    if (NAnalogAddition* analog = analogOf(object)) {
        runs *= SubStepsPerStep(step, analog->GetCalcStep());
        if (!culprit) culprit = object;
        if (!(runs <= kMaxSubStepsPerStep)) return culprit;
    }
    NBasicDescription* found = nullptr;
    object->ForEachComponent([&](NBasicDescription* component) {
        found = Search(component, step, runs, runs > 1 ? culprit : nullptr, analogOf);
        return found == nullptr;
    });
    return found;
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
    AnalogCast analogOf;
    return Search(root, step, 1, nullptr, analogOf);
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
