#include "kernel/NClock.h"

#include <cmath>
#include <limits>

#include "kernel/NError.h"
#include "kernel/NModel.h"

namespace talvero {

unsigned long long clock_detail::Generation = 0;
constinit NSplitTime clock_detail::SplitTimeStep(kDefaultTimeStep);
NTime clock_detail::CurrentTime = 0;

namespace {

NModel* ActiveModel = nullptr;
NTime CachedTimeStep = kDefaultTimeStep;
NTime CachedPulseDuration = kDefaultPulseDuration;
int CachedPulseLength = 0;  // derived from the two values above; 0 = not yet computed

void SetCaches(NTime step, NTime now, NTime pulse) {
    // NaN never equals itself: a change is counted in that case too.
    if (!(step == CachedTimeStep) || !(pulse == CachedPulseDuration)) {
        CachedPulseLength = 0;
        clock_detail::SplitTimeStep = NSplitTime(step);
        ++clock_detail::Generation;
    }
    CachedTimeStep = step;
    clock_detail::CurrentTime = now;
    CachedPulseDuration = pulse;
}

void RefreshFromModel() {
    if (ActiveModel)
        SetCaches(ActiveModel->GetTimeStep(), ActiveModel->GetCurrentTime(), ActiveModel->GetPulseDuration());
    else
        SetCaches(kDefaultTimeStep, 0, kDefaultPulseDuration);
}

} // namespace

NModel* GetActiveModel() { return ActiveModel; }

void SetActiveModel(NModel* model) {
    ActiveModel = model;
    RefreshFromModel();
}

NTime GetTimeStep() { return CachedTimeStep; }
NTime GetPulseDuration() { return CachedPulseDuration; }

bool SetTimeStep(NTime step) {
    if (!(step > 0) || !(static_cast<double>(step) > 0) || !std::isfinite(step)) return ReportError(21);
    if (ActiveModel) return ActiveModel->SetTimeStep(step);
    SetCaches(step, clock_detail::CurrentTime, CachedPulseDuration);
    return true;
}

void ResetActiveModel() {
    // Elements derive values from the step and the pulse duration in their Reset (delay cells,
    // membrane time constant): let them see the model's values, also right after these changed.
    if (ActiveModel) {
        RefreshFromModel();
        ActiveModel->Reset();
    }
    RefreshFromModel();
}

void StepActiveModel() {
    if (!ActiveModel) return;
    ActiveModel->Calculate();
    clock_detail::CurrentTime = ActiveModel->GetCurrentTime();
}

bool TimeEquals(double a, double b) { return NTimeWindow(b).Contains(a); }

NTimeWindow::NTimeWindow(double b) {
    const NTime tolerance = 0.1 * CachedTimeStep;
    const NTime lb = b;
    Low = lb - tolerance;
    High = lb + tolerance;
}


int PulseLengthInSteps() {
    if (CachedPulseLength == 0) {
        // A quotient past the counter's range means "for good", not an undefined conversion.
        const NTime steps = std::trunc(CachedPulseDuration / CachedTimeStep);
        CachedPulseLength = steps < std::numeric_limits<int>::max() ? static_cast<int>(steps) + 1
                                                                     : std::numeric_limits<int>::max();
    }
    return CachedPulseLength;
}

} // namespace talvero
