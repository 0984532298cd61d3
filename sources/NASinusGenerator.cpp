#include "sources/NASinusGenerator.h"

#include <cmath>

#include "sources/NParameterAccessors.h"

namespace talvero {
namespace {

// Not 2*pi: the output period is 2*pi / (6.282 * Frequency), slightly longer than 1 / Frequency.
constexpr double kAngularFactor = 6.282;

} // namespace

NASinusGenerator::NASinusGenerator(NBasicDescription* owner, const char* name)
    : NAbstractItem(owner, name), NWithParameterAccessors(owner, name) {}

const NParameterAccessors<NASinusGenerator>& NASinusGenerator::ParameterAccessors() {
    static const NParameterAccessors<NASinusGenerator> table{
        {"Frequency", [](const NASinusGenerator& g) { return g.GetFrequency(); },
         [](NASinusGenerator& g, double v) { return g.SetFrequency(v); }, "Hz", ">= 0"},
        {"Amplitude", [](const NASinusGenerator& g) { return g.GetAmplitude(); },
         [](NASinusGenerator& g, double v) { return g.SetAmplitude(v); }, "", ">= 0"},
    };
    return table;
}

bool NASinusGenerator::CopyParameters(NBasicDescription* target) {
    if (!NASource::CopyParameters(target)) return false;
    auto* generator = dynamic_cast<NASinusGenerator*>(target);
    if (!generator) return ReportError(5);
    generator->SetFrequency(Params.Frequency);
    generator->SetAmplitude(Params.Amplitude);
    return true;
}

NBasicDescription* NASinusGenerator::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
    return new NASinusGenerator(owner, name);
}

bool NASinusGenerator::SetFrequency(double f) {
    if (!NRange::NonNegative().Admits(f)) return ReportError(21, FullName());
    Params.Frequency = f;
    Reset();
    return true;
}

bool NASinusGenerator::SetAmplitude(double a) {
    if (!NRange::NonNegative().Admits(a)) return ReportError(21, FullName());
    Params.Amplitude = a;
    Reset();
    return true;
}

void NASinusGenerator::Reset() { State.OutputValue = 0; }

void NASinusGenerator::ACalculate() {
    State.OutputValue = 0;
    if (!BeginStep()) return;
    if (Params.Frequency == 0) return;
    const NTime phase = (GetCurrentTime() - GetStartTime()) * (static_cast<NTime>(kAngularFactor) * Params.Frequency);
    State.OutputValue = static_cast<double>((std::sin(phase) * 0.5L + 0.5L) * Params.Amplitude);
}

double* NASinusGenerator::GetOutputs(double* values, unsigned count) {
    for (unsigned i = 0; i < count; ++i) values[i] = State.OutputValue;
    return values;
}

} // namespace talvero
