#pragma once
// Base of every signal source. The model keeps sources in its own list and computes them first.

#include "kernel/NAbstractItem.h"

namespace talvero {

class NAbstractSource : public virtual NAbstractItem {
public:
    NAbstractSource(NBasicDescription* owner, const char* name) : NAbstractItem(owner, name) {}
};

} // namespace talvero
