#include "kernel/NAbstractItem.h"

#include <algorithm>
#include <cstring>

#include "kernel/NAItem.h"
#include "kernel/NStateStream.h"
#include "kernel/NClock.h"
#include "kernel/NElementSupport.h"
#include "kernel/NSplitStep.h"
#include "kernel/NUnitDescription.h"

namespace talvero {

NAbstractItem::~NAbstractItem() { DisconnectAll(); }

void NAbstractItem::RemoveConnector(NAbstractConnector* connector) {
    // A connector stands in the list once (Connect refuses a second time).
    const auto found = std::find(Connectors.begin(), Connectors.end(), connector);
    if (found != Connectors.end()) Connectors.erase(found);
    NoteStructureChange();
}

int NAbstractItem::GetConnectorsCount() const { return static_cast<int>(Connectors.size()); }

bool NAbstractItem::DisconnectConnector(const char* name) {
    NAbstractConnector* connector = GetConnector(name);
    if (!connector) return false;
    connector->Disconnect();
    return true;
}

void NAbstractItem::DisconnectAll() {
    // The list is taken out first: each Disconnect then finds nothing left to remove here, where
    // removing the entries one by one would take time quadratic in their number (a generator
    // may drive thousands of synapses).
    ConnectorList connectors;
    connectors.swap(Connectors);
    for (NAbstractConnector* connector : connectors) connector->Disconnect();
}

NAbstractItem::ConnectorList::const_iterator NAbstractItem::GetConnectorsBegin() const { return Connectors.begin(); }

NAbstractItem::ConnectorList::const_iterator NAbstractItem::GetConnectorsEnd() const { return Connectors.end(); }

NAbstractConnector* NAbstractItem::GetConnector(const char* name) {
    if (!name || !*name) {
        ReportError(1);
        return nullptr;
    }
    for (NAbstractConnector* c : Connectors)
        if (std::strcmp(c->GetName(), name) == 0) return c;
    ReportError(3, name);
    return nullptr;
}

void NAbstractItem::TransferToConnectors() {
    for (NAbstractConnector* c : Connectors) c->Transfer();
}

bool NAbstractItem::ConnectChecked(NAbstractConnector* connector, bool rightKind) {
    if (!connector) return ReportError(4);
    if (!rightKind) return ReportError(32);
    // A connector in the list is driven by this item: only such a one needs the scan, which keeps
    // linking an item to thousands of connectors linear.
    if (connector->GetItem() == this && std::find(Connectors.begin(), Connectors.end(), connector) != Connectors.end())
        return ReportError(31);
    if (!connector->Connect(this)) return false;
    ReserveOneMore(Connectors);
    Connectors.push_back(connector);
    NoteStructureChange();
    return true;
}

bool NItem::Connect(NAbstractConnector* connector) {
    return ConnectChecked(connector, connector && connector->AsPulseConnector() != nullptr);
}

bool NAItem::Connect(NAbstractConnector* connector) {
    return ConnectChecked(connector, connector && connector->AsAnalogConnector() != nullptr);
}

void NAItem::Reset() { NAnalogAddition::Reset(); }

void NAItem::Calculate() {
    NAnalogAddition::Calculate();
    TransferToConnectors();
}

NAnalogAddition::NAnalogAddition() : CalcStep(static_cast<double>(GetTimeStep())) {}

void NAnalogAddition::SetCalcStep(double value) {
    if (value > 0) CalcStep = value;
}

void NAnalogAddition::Reset() { CountDown = 0; }

void NAnalogAddition::SaveCountDown(NStateWriter& out) const { out.Put(CountDown); }

bool NAnalogAddition::LoadCountDown(NStateReader& in) { return in.Get(CountDown); }

void NAnalogAddition::Calculate() {
    const NTime dt = GetTimeStep();
    const NTime interval = CalcStep;
    if (dt < interval) {
        CountDown = static_cast<double>(CountDown - dt);
        if (CountDown > 0) return;
        CountDown = CalcStep;
        ACalculate();
    } else if (dt > interval) {
        // Once the running sum stops growing (a step 2^53 times the interval) it would never pass dt.
        for (double sum = 0; dt >= sum;) {
            ACalculate();
            const double next = sum + CalcStep;
            if (next == sum) break;
            sum = next;
        }
    } else {
        ACalculate();
    }
}

} // namespace talvero
