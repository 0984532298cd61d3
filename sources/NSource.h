#pragma once
// Pulse source: a source whose item part feeds pulse connectors only.

#include "kernel/NAbstractSource.h"

namespace talvero {

class NSource : public NAbstractSource, public NItem {
public:
    NSource(NBasicDescription* owner, const char* name);
};

} // namespace talvero
