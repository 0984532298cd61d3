#include "kernel/NUnitDescription.h"

#include <algorithm>
#include <cstring>

#include "kernel/NAItem.h"
#include "kernel/NStateStream.h"

namespace talvero {

NUnitDescription::NUnitDescription(NBasicDescription* owner, const char* name, std::uint32_t inputs,
                                   std::uint32_t outputs)
    : NUnitDescription(owner, name, inputs, outputs,
                       std::size_t(inputs) + outputs ? new double[std::size_t(inputs) + outputs]() : nullptr) {
    OwnsValues = OutputValues != nullptr;
}

NUnitDescription::NUnitDescription(NBasicDescription* owner, const char* name, std::uint32_t inputs,
                                   std::uint32_t outputs, double* storage)
    : NBasicDescription(owner, name), InputsCount(inputs), OutputsCount(outputs), OwnsValues(false),
      OutputValues(storage ? storage + inputs : nullptr) {}

NUnitDescription::~NUnitDescription() {
    if (OwnsValues) delete[] (OutputValues - InputsCount);
}

void NUnitDescription::SetInputs(const double* values) {
    if (InputsCount) std::memcpy(Inputs(), values, InputsCount * sizeof(double));
}

double* NUnitDescription::GetOutputs(double* values, std::uint32_t count) const {
    const std::uint32_t n = (count != 0 && count < OutputsCount) ? count : OutputsCount;
    if (n) std::memcpy(values, Outputs(), n * sizeof(double));
    return values;
}

NAbstractConnector::~NAbstractConnector() { Disconnect(); }

void NAbstractConnector::Disconnect() {
    if (!Item) return;
    Item->RemoveConnector(this);
    Item = nullptr;
}

bool NAbstractConnector::ConnectChecked(NAbstractItem* item, bool rightKind) {
    if (!item) return ReportError(4);
    if (!rightKind) return ReportError(32);
    if (Item) return ReportError(30);
    Item = item;
    return true;
}

bool NConnector::Connect(NAbstractItem* item) {
    return ConnectChecked(item, item && item->AsPulseItem() != nullptr);
}

void NConnector::Transfer() {
    PulseCounter = PulseLengthInSteps();
    StampPulseStart();
}

bool NAConnector::Connect(NAbstractItem* item) {
    NAItem* analog = item ? item->AsAnalogItem() : nullptr;
    if (!ConnectChecked(item, analog != nullptr)) return false;
    AnalogItem = analog;
    return true;
}

void NAConnector::Transfer() {
    if (Item) AnalogItem->GetOutputs(Inputs(), InputsCount);
}

void NUnitDescription::SaveStepState(NStateWriter& out) {
    if (InputsCount) out.PutBytes(Inputs(), InputsCount * sizeof(double));
    if (OutputsCount) out.PutBytes(Outputs(), OutputsCount * sizeof(double));
}

bool NUnitDescription::LoadStepState(NStateReader& in) {
    if (InputsCount && !in.GetBytes(Inputs(), InputsCount * sizeof(double))) return false;
    return !OutputsCount || in.GetBytes(Outputs(), OutputsCount * sizeof(double));
}

void NConnector::SaveStepState(NStateWriter& out) {
    NUnitDescription::SaveStepState(out);
    out.Put(PulseCounter);
    out.PutBytes(PulseStartTime, kTimeBytes);
}

bool NConnector::LoadStepState(NStateReader& in) {
    return NUnitDescription::LoadStepState(in) && in.Get(PulseCounter) && in.GetBytes(PulseStartTime, kTimeBytes);
}

} // namespace talvero
