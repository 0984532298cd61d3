#pragma once
// Base of every observation point. The model keeps out gates in their own list and computes them last.

#include "kernel/NBasicDescription.h"

namespace talvero {

class NAbstractOutGate : public NObject {
public:
    NAbstractOutGate(NBasicDescription* owner, const char* name) : NObject(owner, name) {}
};

} // namespace talvero
