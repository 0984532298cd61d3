#pragma once
// Items: model objects whose output other objects take through connectors.

#include <vector>

#include "kernel/NBasicDescription.h"

namespace talvero {

class NAbstractConnector;
class NItem;
class NAItem;

class NAbstractItem : public NObject {
public:
    using ConnectorList = std::vector<NAbstractConnector*>;

    NAbstractItem(NBasicDescription* owner, const char* name) : NObject(owner, name) {}
    ~NAbstractItem() override;

    virtual bool Connect(NAbstractConnector* connector) = 0;
    virtual void RemoveConnector(NAbstractConnector* connector);
    virtual int GetConnectorsCount() const;
    virtual bool DisconnectConnector(const char* name);
    virtual void DisconnectAll();
    virtual ConnectorList::const_iterator GetConnectorsBegin() const;
    virtual ConnectorList::const_iterator GetConnectorsEnd() const;
    virtual NAbstractConnector* GetConnector(const char* name);
    virtual void TransferToConnectors();
    // The item as each kind, or null: what dynamic_cast tells, without its search of the class
    // hierarchy by type names, which linking a large model would pay once per link.
    virtual NItem* AsPulseItem() { return nullptr; }
    virtual NAItem* AsAnalogItem() { return nullptr; }
    NAbstractItem* AsItem() final { return this; }

protected:
    // The checks shared by both item kinds; Accepts tells whether the connector is of the right kind.
    bool ConnectChecked(NAbstractConnector* connector, bool rightKind);

    ConnectorList Connectors;
};

// Pulse item.
class NItem : public virtual NAbstractItem {
public:
    NItem(NBasicDescription* owner, const char* name) : NAbstractItem(owner, name) {}
    bool Connect(NAbstractConnector* connector) override;
    NItem* AsPulseItem() final { return this; }
    virtual bool IsPulse() = 0;
};

} // namespace talvero
