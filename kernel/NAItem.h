#pragma once
// Analog item: computes at its own interval and feeds analog connectors every step.

#include "kernel/NAbstractItem.h"
#include "kernel/NAnalogAddition.h"

namespace talvero {

class NAItem : public virtual NAbstractItem, public NAnalogAddition {
public:
    NAItem(NBasicDescription* owner, const char* name) : NAbstractItem(owner, name) {}
    bool Connect(NAbstractConnector* connector) override;
    NAItem* AsAnalogItem() final { return this; }
    // Copies at most count outputs (0: none) into values; returns values.
    virtual double* GetOutputs(double* values, unsigned count) = 0;
    void Reset() override;
    void Calculate() override;
    void SaveStepState(NStateWriter& out) override { SaveCountDown(out); }
    bool LoadStepState(NStateReader& in) override { return LoadCountDown(in); }
};

// Analog object without connectors (muscles).
class NAObject : public NObject, public NAnalogAddition {
public:
    NAObject(NBasicDescription* owner, const char* name) : NObject(owner, name) {}
    void Reset() override { NAnalogAddition::Reset(); }
    void Calculate() override { NAnalogAddition::Calculate(); }
    void SaveStepState(NStateWriter& out) override { SaveCountDown(out); }
    bool LoadStepState(NStateReader& in) override { return LoadCountDown(in); }
};

} // namespace talvero
