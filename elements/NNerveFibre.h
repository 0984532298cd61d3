#pragma once
// Nerve fibre: re-emits the pulses found at its input after a fixed delay, rounded down to whole
// time steps, and stays refractory for one pulse length after each emission.

#include <cstdint>
#include <memory>

#include "elements/NComponentSlots.h"
#include "elements/NSimpleConnector.h"
#include "kernel/NAbstractItem.h"
#include "kernel/NElementSupport.h"

namespace talvero {

struct NNerveFibreParameters {
    double TimeDelay = 0;  // seconds, >= 0
};

class NNerveFibre
    : public NWithParameters<NNerveFibre, NWithInput<NNerveFibre, NItem, NSimpleConnector>, NNerveFibreParameters> {
public:
    NNerveFibre(NBasicDescription* owner, const char* name, double delay = 0);
    ~NNerveFibre() override;

    static const NParameterTable<NNerveFibreParameters>& ParameterTable();

    bool IsPulse() override { return PulseCounter != 0; }

    bool CheckName(const char* name) override;
    NBasicDescription* New(NBasicDescription* owner, const char* name) override;

    // "TimeDelay" goes through SetTimeDelay; no reset follows.
    bool SetParameter(const char* name, double value) override;
    bool CopyParameters(NBasicDescription* target) override;

    virtual double GetTimeDelay() const { return Params.TimeDelay; }
    virtual bool SetTimeDelay(double value);

    // Pulse counter, position and cell count as 4-byte integers, then one byte per cell.
    int GetStateSize() override { return 12 + CellsCount; }
    char* SaveState(char* buffer) override;
    bool LoadState(const char* buffer) override;
    bool CheckState(const char* buffer, int size) override;

    void Reset() override;
    void Calculate() override;

    std::int32_t GetCellsCount() const { return CellsCount; }
    std::int32_t GetPosition() const { return Position; }
    std::int32_t GetPulseCounter() const { return PulseCounter; }

    // Cells beyond this would not fit the saved-state size.
    static constexpr std::int32_t kMaxCells = 0x7fffffff - 12;

private:
    // trunc(delay / dt) in extended precision; -1 when it does not fit kMaxCells.
    static std::int64_t CellsFor(double delay);
    // Takes n cells (a buffer only with a delay), keeping the values at the indices both
    // buffers have and 0 elsewhere; false when the cells cannot be had.
    bool Resize(std::int32_t cells, bool withBuffer);

    std::int32_t PulseCounter = 0;
    std::int32_t Position = -1;
    std::int32_t CellsCount = 0;
    std::unique_ptr<std::uint8_t[]> DelayBuffer;  // none without delay
};

} // namespace talvero
