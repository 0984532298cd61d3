#include "elements/NSynapse.h"

#include <cmath>
#include <cstring>

#include "elements/NIonUnit.h"

namespace talvero {

NSynapse::NSynapse(NBasicDescription* owner, const char* name) : NWithParameters(owner, name, 1) {
    ParameterChanged();
    Reset();
}

const NParameterTable<NSynapseParameters>& NSynapse::ParameterTable() {
    using P = NSynapseParameters;
    static const NParameterTable<P> table{
        {"SecretionTC", &P::SecretionTC, NRange::Positive(), true},
        {"DissociationTC", &P::DissociationTC, NRange::Positive(), true},
        {"K", &P::K, NRange::NonNegative(), true},
        {"Ri", &P::Ri, NRange::NonNegative(), true},
        {"Rs", &P::Rs, NRange::NonNegative(), true},
    };
    return table;
}

NBasicDescription* NSynapse::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NIonUnit>(owner, name)) return nullptr;
    return new NSynapse(owner, name);
}

bool NSynapse::CopyParameters(NBasicDescription* target) {
    if (!NWithParameters::CopyParameters(target)) return false;
    target->Reset();
    return true;
}

void NSynapse::ParameterChanged() { Inert = Params.K == 0 || Params.Rs == 0; }

char* NSynapse::SaveState(char* buffer) {
    const double values[3] = {Outputs[0], State.CurrentTC, State.Transmitter};
    std::memcpy(buffer, values, sizeof(values));
    return buffer;
}

bool NSynapse::LoadState(const char* buffer) {
    double values[3];
    std::memcpy(values, buffer, sizeof(values));
    Outputs[0] = values[0];
    State.CurrentTC = values[1];
    State.Transmitter = values[2];
    return true;
}

void NSynapse::Transfer() {
    NConnector::Transfer();
    State.CurrentTC = Params.SecretionTC;
}

void NSynapse::Reset() {
    NConnector::Reset();
    Outputs[0] = 0;
    State.CurrentTC = Params.DissociationTC;
    State.Transmitter = 0;
}

} // namespace talvero
