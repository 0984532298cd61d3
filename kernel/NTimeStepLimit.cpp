#include "kernel/NTimeStepLimit.h"

#include <cmath>

#include "kernel/NAnalogAddition.h"

namespace talvero {
namespace {

// `outer` holds the sub-steps of the nearest analog ancestor; `culprit` the outermost one.
NBasicDescription* Search(NBasicDescription* object, NTime step, long double outer, NBasicDescription* culprit) {
    long double runs = outer;
    if (auto* analog = dynamic_cast<NAnalogAddition*>(object)) {
        runs *= SubStepsPerStep(step, analog->GetCalcStep());
        if (!culprit) culprit = object;
        if (!(runs <= kMaxSubStepsPerStep)) return culprit;
    }
    NStringList names;
    object->GetComponentsList(names);
    for (const std::string& name : names) {
        NBasicDescription* component = object->GetComponent(name.c_str());
        if (!component) continue;
        if (NBasicDescription* found = Search(component, step, runs, runs > 1 ? culprit : nullptr)) return found;
    }
    return nullptr;
}

} // namespace

long double SubStepsPerStep(NTime step, double interval) {
    if (!(step > interval)) return 1;
    // The number of running sums not above the step (rounding may add one).
    return std::floor(step / static_cast<NTime>(interval)) + 1;
}

NBasicDescription* FindOverloadedAnalogElement(NBasicDescription* root, NTime step) {
    if (!root) return nullptr;
    return Search(root, step, 1, nullptr);
}

bool CheckTimeStepLimit(NBasicDescription* model, NTime step) {
    const NBasicDescription* element = FindOverloadedAnalogElement(model, step);
    if (!element) return true;
    return ReportError(21, element->FullName());
}

} // namespace talvero
