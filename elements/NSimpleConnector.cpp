#include "elements/NSimpleConnector.h"

#include <cstring>

namespace talvero {

NSimpleConnector::NSimpleConnector(NBasicDescription* owner, const char* name)
    : NWithoutParameters(owner, name, 1, &Output0) {}

NBasicDescription* NSimpleConnector::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
    return new NSimpleConnector(owner, name);
}

char* NSimpleConnector::SaveState(char* buffer) {
    std::memcpy(buffer, &Output0, sizeof(double));
    return buffer;
}

bool NSimpleConnector::LoadState(const char* buffer) {
    std::memcpy(&Output0, buffer, sizeof(double));
    return true;
}

void NSimpleConnector::Reset() {
    PulseCounter = 0;
    Output0 = 0;
}

void NSimpleConnector::Calculate() {
    if (PulseCounter != 0) {
        Output0 = 1.0;
        --PulseCounter;
    } else {
        Output0 = 0.0;
    }
}

} // namespace talvero
