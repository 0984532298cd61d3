#include "elements/NAfferentNeuron.h"

#include <cmath>
#include <cstring>

namespace talvero {

NAfferentNeuron::NAfferentNeuron(NBasicDescription* owner, const char* name)
    : NAbstractItem(owner, name), NWithParameters(owner, name), LTZone(new NLTZone(this, "ltzone")) {}

NAfferentNeuron::~NAfferentNeuron() = default;

const NParameterTable<NAfferentNeuronParameters>& NAfferentNeuron::ParameterTable() {
    using P = NAfferentNeuronParameters;
    static const NParameterTable<P> table{{"Sensitivity", &P::Sensitivity, NRange::NonNegative(), false}};
    return table;
}

bool NAfferentNeuron::CheckName(const char* name) { return name && std::strcmp(name, LTZone->GetName()) != 0; }

NBasicDescription* NAfferentNeuron::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
    return new NAfferentNeuron(owner, name);
}

NBasicDescription* NAfferentNeuron::GetComponent(const char* path) {
    if (!path || !*path) {
        ReportError(1);
        return nullptr;
    }
    NBasicDescription* found = nullptr;
    if (LookupFixed(Input.get(), path, true, found) || LookupFixed(LTZone.get(), path, true, found)) return found;
    ReportError(3, path);
    return nullptr;
}

bool NAfferentNeuron::AddComponent(NBasicDescription* component) {
    if (auto* zone = dynamic_cast<NLTZone*>(component)) return SetLTZone(zone);
    return NADConvertor::AddComponent(component);
}

void NAfferentNeuron::GetComponentsList(NStringList& names) {
    NADConvertor::GetComponentsList(names);
    names.emplace_back(LTZone->GetName());
}

bool NAfferentNeuron::CopyComponents(NBasicDescription* target) {
    if (!NADConvertor::CopyComponents(target)) return false;
    if (auto* other = dynamic_cast<NAfferentNeuron*>(target))
        return CopyFixedComponent<NLTZone>(LTZone.get(), other->LTZone.get(), other,
                                           [other](NLTZone* zone) { return other->SetLTZone(zone); });
    return true;
}

void NAfferentNeuron::Reset() {
    LTZone->Reset();
    Input->Reset();
}

void NAfferentNeuron::Calculate() {
    Input->Calculate();
    const double x = Input->Output(0);
    const double a = 1 - std::exp(-Params.Sensitivity * x);
    const bool wasFiring = LTZone->IsFiring();
    LTZone->SetInputPair(a, 0);
    LTZone->Step(PulseLengthInSteps());
    if (LTZone->IsFiring() && !wasFiring) TransferToConnectors();
}

} // namespace talvero
