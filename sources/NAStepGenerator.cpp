#include "sources/NAStepGenerator.h"

#include "sources/NParameterAccessors.h"

namespace talvero {
NAStepGenerator::NAStepGenerator(NBasicDescription* owner, const char* name)
    : NAbstractItem(owner, name), NWithParameterAccessors(owner, name) {}

const NParameterAccessors<NAStepGenerator>& NAStepGenerator::ParameterAccessors() {
    static const NParameterAccessors<NAStepGenerator> table{
        {"Amplitude", [](const NAStepGenerator& g) { return g.GetAmplitude(); },
         [](NAStepGenerator& g, double v) { return g.SetAmplitude(v); }, "", ">= 0"},
    };
    return table;
}

bool NAStepGenerator::CopyParameters(NBasicDescription* target) {
    if (!NASource::CopyParameters(target)) return false;
    auto* generator = dynamic_cast<NAStepGenerator*>(target);
    if (!generator) return ReportError(5);
    generator->SetAmplitude(Params.Amplitude);
    return true;
}

NBasicDescription* NAStepGenerator::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
    return new NAStepGenerator(owner, name);
}

bool NAStepGenerator::SetAmplitude(double a) {
    if (!NRange::NonNegative().Admits(a)) return ReportError(21, FullName());
    Params.Amplitude = a;
    Reset();
    return true;
}

void NAStepGenerator::Reset() { State.OutputValue = 0; }

void NAStepGenerator::ACalculate() {
    State.OutputValue = 0;
    if (!BeginStep()) return;
    State.OutputValue = Params.Amplitude;
}

double* NAStepGenerator::GetOutputs(double* values, unsigned count) {
    for (unsigned i = 0; i < count; ++i) values[i] = State.OutputValue;
    return values;
}

} // namespace talvero
