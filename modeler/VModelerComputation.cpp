// Computation control: start, pause, stop, one timer tick, and the computation options.

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <thread>

#include "environment/NEnvironment.h"
#include "kernel/NAbstractOutGate.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"
#include "kernel/NThreadPool.h"
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
// A tick that runs as fast as possible steps for this share of its period; the rest, and every
// moment the charts take beyond it, goes to the event loop, so input is never more than one
// period late.
constexpr double kStepShare = 0.95;
// Below this period a tick would spend more on the watch update than on the model.
constexpr std::int64_t kMinFastPeriodNs = 10'000'000;
// The clock is looked at about this often while stepping.
constexpr std::int64_t kLookIntervalNs = 200'000;
constexpr std::int64_t kSpeedWindowNs = 1'000'000'000;

} // namespace

void VModeler::StartComputation() {
    if (!ProjectOpen || !Environment->IsModelLoaded()) return;
    if (IsAtStopTime()) {
        // Starting again would step nothing and say nothing.
        const std::string question = modeler_text::Cp("Счёт дошёл до времени остановки ") + FormatFloat(RunUntil) +
                                     modeler_text::Cp(" с.\nПродолжить счёт дальше этого времени?");
        if (!Ui.Messages->Confirm(modeler_text::Cp("Время остановки"), question)) return;
        LimitPassed = true;
    }
    if (!Running && StateRestored) {
        // Goes on from the restored checkpoint, with its step and its series.
        StopReason.clear();
        SetActiveModel(Environment->GetModel());
        StateRestored = false;
        Speed = 0;
        BeginRecording();
    } else if (!Running) {
        StopReason.clear();
        LimitPassed = false;
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
        Speed = 0;
        std::string notice;
        Engine = MakeEngine(*model, EngineKind, notice);
        if (!notice.empty()) Ui.Messages->ShowMessage(modeler_text::Cp("Быстрый счёт"), notice);
        BeginRecording();
    }
    if (Engine) Engine->Begin();
    Running = true;
    Paused = false;
    SpeedSampleWall = -1;  // a pause must not count as slow computing
    PaceAnchorWall = -1;   // nor must it be made up for at the pace
    StepsPerLook = 1;      // learnt afresh: the model or the machine's load may have changed
}

void VModeler::PauseComputation() {
    if (!ProjectOpen || !Environment->IsModelLoaded() || !Running) return;
    if (Engine && !Paused) Engine->End();
    Paused = true;
}

void VModeler::StopComputation() {
    FinishRecording();
    StateRestored = false;
    if (!ProjectOpen || !Environment->IsModelLoaded() || !Running) return;
    if (Engine && !Paused) Engine->End();
    Engine.reset();  // it points into the model, which may go before the next start
    Running = false;
    Paused = false;
}

void VModeler::SuspendEngine() {
    if (Engine && Running && !Paused) Engine->End();
}

void VModeler::ResumeEngine() {
    if (Engine && Running && !Paused) Engine->Begin();
}

int VModeler::DefaultComputationThreads() { return talvero::NThreadPool::MachineCores(); }

void VModeler::ComputeTick() {
    if (!Running || Paused) return;
    if (!GetActiveModel()) {
        Running = false;
        Paused = false;
        return;
    }
    // All the machine's cores, the default, leaves the choice to the kernel: it uses them where they
    // make the step faster (a net of neurons only), and one thread elsewhere.
    talvero::SetComputeThreads(ThreadCount == DefaultComputationThreads() ? 0 : ThreadCount);
    const std::int64_t start = Clock();
    MeasureSpeed(start);
    const std::uint64_t limit = StepsBeforeLimit();
    if (AsFastAsPossible) {
        TickSteps = StepForBudget(limit, start);
    } else if (Pace > 0) {
        TickSteps = StepForPace(limit, start);
    } else {
        const std::uint64_t count = std::min<std::uint64_t>(StepsPerTickCount, limit);
        for (TickSteps = 0; TickSteps < count && Running; ++TickSteps) StepChecked();
    }
    if (WatchAccumulation) {
        const std::int64_t before = Clock();
        UpdateWatchWindows(static_cast<std::uint32_t>(std::min<std::uint64_t>(TickSteps, UINT32_MAX)));
        UpdateCostNs = Clock() - before;
    } else {
        UpdateCostNs = 0;
    }
    // Written before the gates drop what the windows have read.
    RecordTick();
    TrimRecordedResults();
    if (!Running) FinishRecording();
    if (Running && limit != UINT64_MAX && TickSteps == limit) {
        Paused = true;  // kept paused, not stopped: the time stays on view and a later limit continues
        SpeedSampleWall = -1;
        PaceAnchorWall = -1;
    }
}

// A model that has diverged stops at the step where it did, with the gate and time in the status line.
void VModeler::StepChecked() {
    if (Engine) Engine->Step();
    else StepActiveModel();
    const NAbstractOutGate* gate = FindNonFiniteGate(*GetActiveModel());
    if (!gate) return;
    if (Engine) Engine->End();
    StopReason = modeler_text::Cp("Счёт остановлен: наблюдение ") + gate->GetName() +
                 modeler_text::Cp(" получило не конечное значение в момент ") +
                 FormatFloat(static_cast<double>(*std::prev(gate->GetXEnd()))) + modeler_text::Cp(" с");
    Running = false;
    Paused = false;
}

std::uint64_t VModeler::StepsBeforeLimit() const {
    if (!(RunUntil > 0) || LimitPassed) return UINT64_MAX;
    const long double left = (static_cast<long double>(RunUntil) - GetCurrentTime()) / GetTimeStep();
    // Rounded like the batch runner's step count for a time, so both stop at the same step.
    return left > 0 ? static_cast<std::uint64_t>(std::llround(static_cast<double>(left))) : 0;
}

std::uint64_t VModeler::StepForBudget(std::uint64_t limit, std::int64_t tickStart) {
    const std::int64_t period = std::max<std::int64_t>(static_cast<std::int64_t>(TimerPeriodMs) * 1'000'000,
                                                       kMinFastPeriodNs);
    // The watch update of the last tick is taken out of this one's budget, but stepping keeps at
    // least a quarter of the period however slow the windows are.
    const std::int64_t budget =
        std::max<std::int64_t>(static_cast<std::int64_t>(period * kStepShare) - UpdateCostNs, period / 4);
    const std::int64_t start = Clock();
    std::uint64_t done = 0;
    while (done < limit) {
        const std::uint64_t batch = std::min<std::uint64_t>(StepsPerLook, limit - done);
        for (std::uint64_t i = 0; i < batch && Running; ++i, ++done) StepChecked();
        if (!Running) break;
        const std::int64_t now = Clock();
        const std::int64_t left = budget - (now - tickStart);
        // A step costs what the steps so far cost on average; the next batch must fit what is left.
        const double perStep = static_cast<double>(std::max<std::int64_t>(now - start, 1)) / static_cast<double>(done);
        if (perStep > static_cast<double>(left)) break;
        const double wanted = std::min<double>(kLookIntervalNs, static_cast<double>(left)) / perStep;
        // Growing at most twofold keeps a coarse clock from promising ever cheaper steps.
        StepsPerLook = static_cast<std::uint64_t>(std::clamp(wanted, 1.0, 2.0 * static_cast<double>(batch)));
    }
    return done;
}

std::uint64_t VModeler::StepForPace(std::uint64_t limit, std::int64_t tickStart) {
    const long double now = GetCurrentTime();
    if (PaceAnchorWall < 0) {
        PaceAnchorWall = tickStart;
        PaceAnchorModel = now;
        return 0;
    }
    const long double target =
        PaceAnchorModel + static_cast<long double>(Pace) * static_cast<long double>(tickStart - PaceAnchorWall) * 1e-9L;
    const long double due = (target - now) / GetTimeStep();
    // Never ahead of the pace: a step that is not wholly due waits for the next tick.
    const std::uint64_t steps = due >= 1 ? static_cast<std::uint64_t>(std::min<long double>(due + 1e-6L, 1e18L)) : 0;
    const std::uint64_t done = steps == 0 ? 0 : StepForBudget(std::min(steps, limit), tickStart);
    // A tick that could not do what was due drops the rest instead of piling up a debt that a
    // faster patch would later pay in a burst.
    if (done < std::min(steps, limit)) {
        PaceAnchorWall = Clock();
        PaceAnchorModel = GetCurrentTime();
    }
    return done;
}

void VModeler::MeasureSpeed(std::int64_t now) {
    const long double modelTime = GetCurrentTime();
    if (SpeedSampleWall < 0) {
        SpeedSampleWall = now;
        SpeedSampleModel = modelTime;
        return;
    }
    const std::int64_t wall = now - SpeedSampleWall;
    if (wall < kSpeedWindowNs) return;
    Speed = static_cast<double>((modelTime - SpeedSampleModel) * 1e9L / static_cast<long double>(wall));
    SpeedSampleWall = now;
    SpeedSampleModel = modelTime;
}

void VModeler::EditComputationOptions() {
    if (!ProjectOpen) return;
    VComputationOptionsFields fields;
    fields.TimeStep = FormatFloat(static_cast<double>(GetTimeStep()));
    fields.TimerPeriod = FormatInteger(TimerPeriodMs);
    fields.StepsPerTick = FormatInteger(StepsPerTickCount);
    fields.AsFastAsPossible = AsFastAsPossible;
    fields.RunUntil = RunUntil > 0 ? FormatFloat(RunUntil) : std::string();
    fields.Pace = Pace > 0 ? FormatFloat(Pace) : std::string();
    fields.FastEngine = EngineKind == NEngineKind::Fast;
    fields.Threads = FormatInteger(static_cast<std::uint32_t>(ThreadCount));
    fields.RecordToFile = RecordToFile;
    if (!Ui.ComputationOptionsDialog->Run(fields)) return;
    SetRecordingToFile(fields.RecordToFile);

    double pace = 0;
    if (fields.Pace.find_first_not_of(' ') != std::string::npos && !ParseFloat(fields.Pace, pace)) pace = Pace;
    if (!(pace > 0) || !std::isfinite(pace)) pace = 0;
    if (pace != Pace) {
        Modified = true;
        SetPace(pace);
    }

    const NEngineKind kind = fields.FastEngine ? NEngineKind::Fast : NEngineKind::Exact;
    if (kind != EngineKind) {
        Modified = true;
        EngineKind = kind;
        // A running computation changes engines where it stands.
        if (Running && GetActiveModel()) {
            if (Engine && !Paused) Engine->End();
            std::string notice;
            Engine = MakeEngine(*GetActiveModel(), EngineKind, notice);
            if (!notice.empty()) Ui.Messages->ShowMessage(modeler_text::Cp("Быстрый счёт"), notice);
            if (!Paused) Engine->Begin();
        }
    }

    // Empty: the machine's cores; a count out of range keeps the old one.
    std::uint32_t threads = 0;
    if (fields.Threads.find_first_not_of(' ') == std::string::npos) threads = static_cast<std::uint32_t>(DefaultComputationThreads());
    else if (!ParseCount(fields.Threads, threads) || threads < 1 || threads > kMaxComputationThreads) threads = static_cast<std::uint32_t>(ThreadCount);
    if (static_cast<int>(threads) != ThreadCount) {
        Modified = true;
        ThreadCount = static_cast<int>(threads);
    }

    if (fields.AsFastAsPossible != AsFastAsPossible) {
        Modified = true;
        AsFastAsPossible = fields.AsFastAsPossible;
    }
    double until = 0;
    if (fields.RunUntil.find_first_not_of(' ') != std::string::npos && !ParseFloat(fields.RunUntil, until)) until = RunUntil;
    if (!(until > 0)) until = 0;
    if (until != RunUntil) {
        Modified = true;
        SetRunUntilTime(until);
    }

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
