#include "kernel/NUnitDescription.h"

#include <algorithm>
#include <cstring>

#include "kernel/NAItem.h"
#include "kernel/NStateStream.h"

namespace talvero {

NUnitDescription::NUnitDescription(NBasicDescription* owner, const char* name, std::uint32_t inputs,
                                   std::uint32_t outputs)
    : NBasicDescription(owner, name), InputsCount(inputs), OutputsCount(outputs) {
    const std::size_t total = std::size_t(inputs) + outputs;
    double* values = LocalValues;
    if (total > kLocalValues) values = HeapValues = new double[total]();
    if (inputs) Inputs.Data = values;
    if (outputs) Outputs.Data = values + inputs;
}

NUnitDescription::NUnitDescription(NBasicDescription* owner, const char* name, std::uint32_t inputs,
                                   std::uint32_t outputs, double* storage)
    : NBasicDescription(owner, name), InputsCount(inputs), OutputsCount(outputs) {
    if (OwnsHeapValues()) HeapValues = nullptr;
    if (inputs) Inputs.Data = storage;
    if (outputs) Outputs.Data = storage + inputs;
}

NUnitDescription::~NUnitDescription() {
    if (OwnsHeapValues()) delete[] HeapValues;
}

void NUnitDescription::SetInputs(const double* values) {
    if (InputsCount) std::memcpy(Inputs.get(), values, InputsCount * sizeof(double));
}

double* NUnitDescription::GetOutputs(double* values, std::uint32_t count) const {
    const std::uint32_t n = (count != 0 && count < OutputsCount) ? count : OutputsCount;
    if (n) std::memcpy(values, Outputs.get(), n * sizeof(double));
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
    if (Item) AnalogItem->GetOutputs(Inputs.get(), InputsCount);
}

void NUnitDescription::SaveStepState(NStateWriter& out) {
    if (Inputs) out.PutBytes(Inputs.get(), InputsCount * sizeof(double));
    if (Outputs) out.PutBytes(Outputs.get(), OutputsCount * sizeof(double));
}

bool NUnitDescription::LoadStepState(NStateReader& in) {
    if (Inputs && !in.GetBytes(Inputs.get(), InputsCount * sizeof(double))) return false;
    return !Outputs || in.GetBytes(Outputs.get(), OutputsCount * sizeof(double));
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
