#pragma once
// Analog source: a source whose item part feeds analog connectors, computing at its own interval.

#include "kernel/NAItem.h"
#include "kernel/NAbstractSource.h"

namespace talvero {

class NASource : public NAbstractSource, public NAItem {
public:
    NASource(NBasicDescription* owner, const char* name);
};

} // namespace talvero
