#pragma once
// Analog input port: its outputs are a copy of the values it last received from its item.

#include <cstdint>

#include "elements/NComponentSlots.h"
#include "kernel/NElementSupport.h"
#include "kernel/NUnitDescription.h"

namespace talvero {

class NSimpleAConnector
    : public NWithoutParameters<NSimpleAConnector, NWithoutComponents<NSimpleAConnector, NAConnector>> {
public:
    // channels: number of inputs and of outputs.
    NSimpleAConnector(NBasicDescription* owner, const char* name, std::uint32_t channels = 1);

    // The new connector has as many channels as this one.
    NBasicDescription* New(NBasicDescription* owner, const char* name) override;

    // Output 0 only.
    int GetStateSize() override { return sizeof(double); }
    char* SaveState(char* buffer) override;
    bool LoadState(const char* buffer) override;

    void Reset() override;
    void Calculate() override;
};

} // namespace talvero
