// Computation control: start, pause, stop, one timer tick, and the computation options.

#include <cmath>
#include <iterator>
#include <limits>

#include "environment/NEnvironment.h"
#include "kernel/NAbstractOutGate.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"
#include "kernel/NTimeStepLimit.h"
#include "modeler/VModeler.h"
#include "modeler/VModelerText.h"

namespace talvero {

namespace {

// The dialog has checked its fields; a text that still does not convert leaves the setting alone.
bool ParseCount(const std::string& text, std::uint32_t& value) {
    std::int64_t v = 0;
    if (!ParseInteger(text, v) || v < 0 || v > std::numeric_limits<std::uint32_t>::max()) return false;
    value = static_cast<std::uint32_t>(v);
    return true;
}

// The out gate whose newest point is not finite, or null. A value that has gone infinite or NaN
// stays so, and every step's point is at the back when it is recorded.
const NAbstractOutGate* FindNonFiniteGate(const NModel& model) {
    for (auto it = model.GetOutGatesBegin(); it != model.GetOutGatesEnd(); ++it) {
        const NAbstractOutGate& gate = **it;
        if (gate.GetDataSize() == 0) continue;
        const double x = *std::prev(gate.GetXEnd());
        const double y = *std::prev(gate.GetYEnd());
        if (!std::isfinite(x) || !std::isfinite(y)) return &gate;
    }
    return nullptr;
}

} // namespace

void VModeler::StartComputation() {
    if (!ProjectOpen || !Environment->IsModelLoaded()) return;
    if (!Running) {
        StopReason.clear();
        ResetWatchWindows();
        // Until a model is active the clock only caches the step the project set; the model
        // takes that step here, so the project's step governs from the very first start.
        const double step = static_cast<double>(GetTimeStep());
        NModel* model = Environment->GetModel();
        SetActiveModel(model);
        if (model->GetTimeStep() != step && !model->SetTimeStep(step)) {
            ShowLastError();
            return;
        }
        ResetActiveModel();
    }
    Running = true;
    Paused = false;
}

void VModeler::PauseComputation() {
    if (!ProjectOpen || !Environment->IsModelLoaded() || !Running) return;
    Paused = true;
}

void VModeler::StopComputation() {
    if (!ProjectOpen || !Environment->IsModelLoaded() || !Running) return;
    Running = false;
    Paused = false;
}

void VModeler::ComputeTick() {
    if (!Running || Paused) return;
    if (!GetActiveModel()) {
        Running = false;
        Paused = false;
        return;
    }
    const NModel& model = *GetActiveModel();
    for (std::uint32_t i = 0; i < StepsPerTickCount; ++i) {
        StepActiveModel();
        if (const NAbstractOutGate* gate = FindNonFiniteGate(model)) {
            StopReason = modeler_text::Cp("Счёт остановлен: наблюдение ") + gate->GetName() +
                         modeler_text::Cp(" получило не конечное значение в момент ") +
                         FormatFloat(static_cast<double>(*std::prev(gate->GetXEnd()))) + modeler_text::Cp(" с");
            Running = false;
            Paused = false;
            break;
        }
    }
    if (WatchAccumulation) UpdateWatchWindows(StepsPerTickCount);
}

void VModeler::EditComputationOptions() {
    if (!ProjectOpen) return;
    VComputationOptionsFields fields;
    fields.TimeStep = FormatFloat(static_cast<double>(GetTimeStep()));
    fields.TimerPeriod = FormatInteger(TimerPeriodMs);
    fields.StepsPerTick = FormatInteger(StepsPerTickCount);
    if (!Ui.ComputationOptionsDialog->Run(fields)) return;

    std::uint32_t period = 0;
    if (ParseCount(fields.TimerPeriod, period) && period != TimerPeriodMs) {
        Modified = true;
        TimerPeriodMs = period;
    }
    std::uint32_t steps = 0;
    if (ParseCount(fields.StepsPerTick, steps) && steps != StepsPerTickCount) {
        Modified = true;
        StepsPerTickCount = steps;
    }
    double step = 0;
    if (!ParseFloat(fields.TimeStep, step) || step == static_cast<double>(GetTimeStep())) return;
    if (Environment->IsModelLoaded() && step > 0 && !CheckTimeStepLimit(Environment->GetModel(), step)) {
        ShowLastError();
        return;
    }
    Modified = true;
    StopComputation();
    SetTimeStep(step);  // a step that is not positive is refused silently; the old one stays
}

} // namespace talvero
