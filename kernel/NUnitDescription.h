#pragma once
// Components with fixed input and output vectors: zones, ion units and every connector.

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

#include "kernel/NBasicDescription.h"
#include "kernel/NClock.h"

namespace talvero {

class NAbstractItem;
class NAItem;
class NConnector;
class NAConnector;

class NUnitDescription : public NBasicDescription {
public:
    NUnitDescription(NBasicDescription* owner, const char* name, std::uint32_t inputs, std::uint32_t outputs);
    // The same, with the values kept in `storage` (inputs + outputs of them, zero), which the
    // derived unit holds: a unit computed every step then has them at hand. A unit without inputs
    // may pass null and bind its outputs later.
    NUnitDescription(NBasicDescription* owner, const char* name, std::uint32_t inputs, std::uint32_t outputs,
                     double* storage);
    ~NUnitDescription() override;
    NUnitDescription(const NUnitDescription&) = delete;
    NUnitDescription& operator=(const NUnitDescription&) = delete;

    virtual std::uint32_t GetInputsCount() const { return InputsCount; }
    virtual std::uint32_t GetOutputsCount() const { return OutputsCount; }
    virtual void SetInputs(const double* values);
    virtual double* GetOutputs(double* values, std::uint32_t count) const;
    // The input and output values.
    void SaveStepState(NStateWriter& out) override;
    bool LoadStepState(NStateReader& in) override;

    // Direct access for the owner's per-step work (no copy).
    const double* InputsData() const { return Inputs(); }
    const double* OutputsData() const { return Outputs(); }
    double Output(std::uint32_t i) const { return OutputValues[i]; }

protected:
    // Null when there are none.
    double* Inputs() const { return InputsCount ? OutputValues - InputsCount : nullptr; }
    double* Outputs() const { return OutputsCount ? OutputValues : nullptr; }
    // Points the outputs of a unit without inputs at OutputsCount values kept elsewhere.
    void BindOutputs(double* values) { OutputValues = values; }
    double* BoundOutputs() const { return OutputValues; }

    std::uint32_t InputsCount;
    // A count fits in 31 bits: 2^31 values would take 16 GiB.
    std::uint32_t OutputsCount : 31;

private:
    // A unit's values lie one after the other, the inputs first: one pointer finds both, and the
    // outputs, read by the other units every step, without arithmetic. Every synapse is a unit:
    // each word here is a word of every synapse of a model.
    std::uint32_t OwnsValues : 1;  // allocated by this base, not kept by the derived unit
    double* OutputValues;          // just past the inputs
};

class NAbstractConnector : public NUnitDescription {
public:
    NAbstractConnector(NBasicDescription* owner, const char* name, std::uint32_t inputs, std::uint32_t outputs)
        : NUnitDescription(owner, name, inputs, outputs) {}
    NAbstractConnector(NBasicDescription* owner, const char* name, std::uint32_t inputs, std::uint32_t outputs,
                       double* storage)
        : NUnitDescription(owner, name, inputs, outputs, storage) {}
    ~NAbstractConnector() override;

    virtual NAbstractItem* GetItem() const { return Item; }
    virtual bool Connect(NAbstractItem* item) = 0;
    virtual void Disconnect();
    virtual void Transfer() = 0;
    // The connector as each kind, or null (see NAbstractItem::AsPulseItem).
    virtual NConnector* AsPulseConnector() { return nullptr; }
    virtual NAConnector* AsAnalogConnector() { return nullptr; }
    NAbstractConnector* AsConnector() final { return this; }

protected:
    bool ConnectChecked(NAbstractItem* item, bool rightKind);

    NAbstractItem* Item = nullptr;
};

// Pulse connector: a pulse acts for trunc(pulse duration / time step) + 1 of its steps.
class NConnector : public NAbstractConnector {
public:
    NConnector(NBasicDescription* owner, const char* name, std::uint32_t outputs)
        : NAbstractConnector(owner, name, 0, outputs) {}
    NConnector(NBasicDescription* owner, const char* name, std::uint32_t outputs, double* storage)
        : NAbstractConnector(owner, name, 0, outputs, storage) {}

    bool Connect(NAbstractItem* item) override;
    void Transfer() override;
    NConnector* AsPulseConnector() final { return this; }
    void Reset() override { PulseCounter = 0; }

    virtual NTime GetActivePulseStart() const { return PulseCounter ? GetPulseStartTime() : 0; }
    virtual NTime GetPulseStartTime() const {
        NTime time = 0;
        std::memcpy(&time, PulseStartTime, kTimeBytes);
        return time;
    }

    virtual std::int32_t GetPulseCounter() const { return PulseCounter; }
    void SaveStepState(NStateWriter& out) override;
    bool LoadStepState(NStateReader& in) override;

protected:
    friend struct NFastAccess;  // the fast engine copies pulse starts to and from its arrays
    // PulseStartTime := the cached current time.
    void StampPulseStart() { SetPulseStartTime(GetCurrentTime()); }
    void SetPulseStartTime(NTime time) { std::memcpy(PulseStartTime, &time, kTimeBytes); }

    std::int32_t PulseCounter = 0;
    // The bytes that hold an extended value: a connector then needs no 16-byte alignment, which
    // keeps the many synapses of a model smaller.
    static constexpr std::size_t kTimeBytes = std::numeric_limits<NTime>::digits == 64 ? 10 : sizeof(NTime);
    unsigned char PulseStartTime[kTimeBytes] = {};
};

// Analog connector: its inputs receive the driving analog item's outputs.
class NAConnector : public NAbstractConnector {
public:
    NAConnector(NBasicDescription* owner, const char* name, std::uint32_t inputs, std::uint32_t outputs)
        : NAbstractConnector(owner, name, inputs, outputs) {}

    bool Connect(NAbstractItem* item) override;
    void Transfer() override;
    NAConnector* AsAnalogConnector() final { return this; }

private:
    NAItem* AnalogItem = nullptr;  // Item seen as an analog item; set with it
};

} // namespace talvero
