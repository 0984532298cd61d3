#include "elements/NSimpleAConnector.h"

#include <algorithm>
#include <cstring>

namespace talvero {

NSimpleAConnector::NSimpleAConnector(NBasicDescription* owner, const char* name, std::uint32_t channels)
    : NWithoutParameters(owner, name, channels, channels) {}

NBasicDescription* NSimpleAConnector::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
    return new NSimpleAConnector(owner, name, InputsCount);
}

char* NSimpleAConnector::SaveState(char* buffer) {
    const double value = OutputsCount ? Outputs()[0] : 0.0;
    std::memcpy(buffer, &value, sizeof(double));
    return buffer;
}

bool NSimpleAConnector::LoadState(const char* buffer) {
    if (OutputsCount) std::memcpy(&Outputs()[0], buffer, sizeof(double));
    return true;
}

void NSimpleAConnector::Reset() {
    std::fill_n(Inputs(), InputsCount, 0.0);
    std::fill_n(Outputs(), OutputsCount, 0.0);
}

void NSimpleAConnector::Calculate() {
    const std::uint32_t common = std::min(InputsCount, OutputsCount);
    double* out = Outputs();
    const double* in = Inputs();
    for (std::uint32_t i = 0; i < common; ++i) out[i] = in[i];
    for (std::uint32_t i = common; i < OutputsCount; ++i) out[i] = 0.0;
}

} // namespace talvero
