#pragma once
// Analog source: a source whose item part feeds analog connectors, computing at its own interval.

#include "kernel/NAItem.h"
#include "kernel/NAbstractSource.h"

namespace talvero {

class NASource : public NAbstractSource, public NAItem {
public:
    NASource(NBasicDescription* owner, const char* name);
    // The sub-stepping countdown too: a source's own Reset leaves it.
    void Rewind() override;
    void SaveStepState(NStateWriter& out) override;
    bool LoadStepState(NStateReader& in) override;
};

} // namespace talvero
