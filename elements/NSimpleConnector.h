#pragma once
// Pulse input port: its output is 1 while a pulse that reached it is in progress.

#include "elements/NComponentSlots.h"
#include "kernel/NElementSupport.h"
#include "kernel/NUnitDescription.h"

namespace talvero {

class NSimpleConnector
    : public NWithoutParameters<NSimpleConnector, NWithoutComponents<NSimpleConnector, NConnector>> {
public:
    NSimpleConnector(NBasicDescription* owner, const char* name);

    NBasicDescription* New(NBasicDescription* owner, const char* name) override;

    int GetStateSize() override { return sizeof(double); }
    char* SaveState(char* buffer) override;
    bool LoadState(const char* buffer) override;

    void Reset() override;
    void Calculate() override;

    // Whether the last step found a pulse in progress.
    bool IsActive() const { return Output0 != 0; }

private:
    double Output0 = 0;
};

} // namespace talvero
