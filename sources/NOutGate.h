#pragma once
// Out gate with a pulse input: its "input" connector is attached to a pulse item by a model link.

#include "elements/NComponentSlots.h"
#include "elements/NSimpleConnector.h"
#include "kernel/NAbstractOutGate.h"

namespace talvero {

class NOutGate : public NWithInput<NOutGate, NAbstractOutGate, NSimpleConnector> {
public:
    NOutGate(NBasicDescription* owner, const char* name) : NWithInput(owner, name) {}

    // Every name but the input's is free.
    bool CheckName(const char* name) override;
    // Drops a pulse still running through the input, so a new run does not start inside an old pulse.
    void Reset() override;
};

} // namespace talvero
