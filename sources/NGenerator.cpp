#include "sources/NGenerator.h"

#include <cmath>
#include <limits>

#include "kernel/Cp1251.h"
#include "kernel/NParameterRefusal.h"
#include "kernel/NTimeStepLimit.h"
#include "sources/NParameterAccessors.h"

namespace talvero {
namespace {

// The period must hold two pulses; the limit itself is admitted. 80-bit, the product in this order.
bool FitsPulseDuration(double frequency, NTime duration) { return !(static_cast<NTime>(frequency) * duration * 2 > 1); }

bool CheckGeneratorPulseDuration(NBasicDescription& source, NTime duration, std::string& detail) {
    const auto* generator = dynamic_cast<NGenerator*>(&source);
    if (!generator || FitsPulseDuration(generator->GetFrequency(), duration)) return true;
    const double f = generator->GetFrequency();
    detail = Utf8ToCp1251("длительность импульса ") + FormatParameterNumber(static_cast<double>(duration)) +
             Utf8ToCp1251(" с слишком велика для ") + generator->FullName() + " (Frequency = " + FormatParameterNumber(f) +
             Utf8ToCp1251(" Гц): период должен вмещать два импульса, длительность не более 1 / (2 x ") +
             FormatParameterNumber(f) + ") = " + FormatParameterNumber(static_cast<double>(1 / (2 * static_cast<NTime>(f)))) +
             Utf8ToCp1251(" с");
    return false;
}

const bool PulseDurationCheckRegistered = RegisterPulseDurationCheck(&CheckGeneratorPulseDuration);

} // namespace

NGenerator::NGenerator(NBasicDescription* owner, const char* name)
    : NAbstractItem(owner, name), NWithParameterAccessors(owner, name) {}

const NParameterAccessors<NGenerator>& NGenerator::ParameterAccessors() {
    static const NParameterAccessors<NGenerator> table{
        {"Frequency", [](const NGenerator& g) { return g.GetFrequency(); },
         [](NGenerator& g, double v) { return g.SetFrequency(v); }, "Hz",
         ">= 0, at most 1 / (2 x pulse duration) with that limit included (just below 500 at the default 0.001 s)"},
    };
    return table;
}

bool NGenerator::CopyParameters(NBasicDescription* target) {
    if (!NSource::CopyParameters(target)) return false;
    auto* generator = dynamic_cast<NGenerator*>(target);
    if (!generator) return ReportError(5);
    return generator->SetFrequency(Params.Frequency);
}

NBasicDescription* NGenerator::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
    return new NGenerator(owner, name);
}

bool NGenerator::SetFrequency(double f) {
    // NaN passes both comparisons and would make the period meaningless.
    (void)PulseDurationCheckRegistered;
    // The model's pulse duration, not the clock's: the clock holds it only while the model runs.
    if (std::isnan(f) || f < 0 || !FitsPulseDuration(f, PulseDurationFor(*this))) return ReportError(21, FullName());
    Params.Frequency = f;
    Reset();
    return true;
}

void NGenerator::Reset() {
    if (Params.Frequency != 0) {
        // The period is 1 / Frequency whatever the pulse duration; (0.001 × 1000) is that 1 as the
        // periods have always been computed, rounding and all.
        const NTime one = static_cast<NTime>(kDefaultPulseDuration) * 1000;
        const NTime steps = std::trunc(one / static_cast<NTime>(Params.Frequency) / GetTimeStep());
        // A frequency so low that the period overflows the counter never fires again anyway.
        constexpr NTime kMaxSteps = std::numeric_limits<std::int32_t>::max();
        State.PeriodSteps = steps >= kMaxSteps ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int32_t>(steps);
    }
    State.StepsLeft = 0;
}

void NGenerator::Calculate() {
    if (!BeginStep()) return;
    if (State.StepsLeft != 0) {
        --State.StepsLeft;
        return;
    }
    if (Params.Frequency == 0) return;
    State.StepsLeft = State.PeriodSteps;
    TransferToConnectors();
}

bool NGenerator::IsPulse() {
    const std::uint32_t sinceEmission = static_cast<std::uint32_t>(State.PeriodSteps) - static_cast<std::uint32_t>(State.StepsLeft);
    return sinceEmission < GetPulseDuration() / GetTimeStep();
}

} // namespace talvero
