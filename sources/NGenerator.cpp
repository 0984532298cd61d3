#include "sources/NGenerator.h"

#include <cmath>
#include <limits>

#include "sources/NParameterAccessors.h"

namespace talvero {

NGenerator::NGenerator(NBasicDescription* owner, const char* name)
    : NAbstractItem(owner, name), NWithParameterAccessors(owner, name) {}

const NParameterAccessors<NGenerator>& NGenerator::ParameterAccessors() {
    static const NParameterAccessors<NGenerator> table{
        {"Frequency", [](const NGenerator& g) { return g.GetFrequency(); },
         [](NGenerator& g, double v) { return g.SetFrequency(v); }, "Hz", ">= 0, at most 1 / (2 x pulse duration)"},
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
    if (std::isnan(f) || f < 0 || static_cast<NTime>(f) * GetPulseDuration() * 2 > 1) return ReportError(21, FullName());
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
