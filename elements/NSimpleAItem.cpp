#include "elements/NSimpleAItem.h"

namespace talvero {

NSimpleAItem::NSimpleAItem(NBasicDescription* owner, const char* name)
    : NAbstractItem(owner, name), NWithoutParameters(owner, name) {}

double* NSimpleAItem::GetOutputs(double* values, unsigned count) {
    if (count != 0) Input->GetOutputs(values, count);
    return values;
}

NBasicDescription* NSimpleAItem::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
    return new NSimpleAItem(owner, name);
}

void NSimpleAItem::Reset() {
    NAItem::Reset();
    Input->Reset();
}

void NSimpleAItem::ACalculate() { Input->Calculate(); }

} // namespace talvero
