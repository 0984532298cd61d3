#include "sources/NASource.h"

#include "kernel/NStateStream.h"

namespace talvero {

NASource::NASource(NBasicDescription* owner, const char* name)
    : NAbstractItem(owner, name), NAbstractSource(owner, name), NAItem(owner, name) {}

void NASource::Rewind() {
    NAbstractSource::Rewind();
    NAnalogAddition::Reset();
}

void NASource::SaveStepState(NStateWriter& out) {
    NAbstractSource::SaveStepState(out);
    NAItem::SaveStepState(out);
}

bool NASource::LoadStepState(NStateReader& in) {
    return NAbstractSource::LoadStepState(in) && NAItem::LoadStepState(in);
}

} // namespace talvero
