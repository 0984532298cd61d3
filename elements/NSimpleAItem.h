#pragma once
// Analog relay: offers the value found at its input port as its own output.

#include "elements/NComponentSlots.h"
#include "elements/NSimpleAConnector.h"
#include "kernel/NAItem.h"

namespace talvero {

class NSimpleAItem
    : public NWithoutParameters<NSimpleAItem, NWithInput<NSimpleAItem, NAItem, NSimpleAConnector, false>> {
public:
    NSimpleAItem(NBasicDescription* owner, const char* name);

    double* GetOutputs(double* values, unsigned count) override;

    bool CheckName(const char*) override { return true; }
    NBasicDescription* New(NBasicDescription* owner, const char* name) override;

    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }

    void Reset() override;
    // NAItem::Calculate: ACalculate as the interval requires, then every attached connector pulls.
    void ACalculate() override;
};

} // namespace talvero
