#include "kernel/NNet.h"

#include <algorithm>
#include <cstring>

#include "kernel/NAbstractItem.h"
#include "kernel/NUnitDescription.h"

namespace talvero {

// ---- NAbstractNet: links ----

NBasicDescription* NAbstractNet::Clone(NBasicDescription* owner, const char* name) {
    NBasicDescription* copy = NBasicDescription::Clone(owner, name);
    if (!copy) return nullptr;
    if (auto* net = dynamic_cast<NAbstractNet*>(copy)) {
        NLinksMap links;
        GetLinks(links);
        net->SetLinks(links);
    }
    return copy;
}

bool NAbstractNet::CreateLink(const char* itemName, const char* connectorName) {
    auto* item = dynamic_cast<NAbstractItem*>(GetComponent(itemName));
    if (!item) return ReportError(3, itemName);
    auto* connector = dynamic_cast<NAbstractConnector*>(GetComponent(connectorName));
    if (!connector) return ReportError(3, connectorName);
    if (!item->Connect(connector)) return false;
    RecordLink(itemName, connectorName);
    return true;
}

bool NAbstractNet::SetLinks(const NLinksMap& links) {
    bool result = true;
    for (auto it = links.begin(); it != links.end();) {
        const std::string& key = it->first;
        const auto last = links.upper_bound(key);
        auto* item = dynamic_cast<NAbstractItem*>(GetComponent(key.c_str()));
        if (!item) {
            ReportError(3, key);
            result = false;
            it = last;
            continue;
        }
        for (; it != last; ++it) {
            auto* connector = dynamic_cast<NAbstractConnector*>(GetComponent(it->second.c_str()));
            if (!connector) {
                ReportError(3, it->second);
                result = false;
            } else if (item->Connect(connector)) {
                RecordLink(it->first, it->second);
            } else {
                result = false;
            }
        }
    }
    return result;
}

bool NAbstractNet::BreakLink(const char* name) {
    NBasicDescription* found = GetComponent(name);
    if (auto* connector = dynamic_cast<NAbstractConnector*>(found)) {
        connector->Disconnect();
        return true;
    }
    if (auto* item = dynamic_cast<NAbstractItem*>(found)) {
        item->DisconnectAll();
        return true;
    }
    return ReportError(3, name);
}

void NAbstractNet::BreakAllLinks() {
    const auto& links = OrderedLinks();
    for (std::size_t i = 0; i < links.size(); ++i)
        if (i == 0 || links[i].first != links[i - 1].first)
            if (auto* item = dynamic_cast<NAbstractItem*>(GetComponent(links[i].first.c_str()))) item->DisconnectAll();
}

void NAbstractNet::GetLinks(NLinksMap& links) const {
    links.clear();
    for (const auto& link : OrderedLinks()) links.emplace_hint(links.end(), link);
}

void NAbstractNet::RecordLink(std::string itemName, std::string connectorName) {
    if (!Links.empty() && LinksOrdered && itemName < Links.back().first) LinksOrdered = false;
    Links.emplace_back(std::move(itemName), std::move(connectorName));
}

const std::vector<std::pair<std::string, std::string>>& NAbstractNet::OrderedLinks() const {
    if (!LinksOrdered) {
        std::stable_sort(Links.begin(), Links.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        LinksOrdered = true;
    }
    return Links;
}

// ---- NNet ----

NNet::~NNet() { DelAllComponents(); }

NObject* NNet::FindObject(std::string_view name) const {
    auto it = Index.find(name);
    return it == Index.end() ? nullptr : it->second;
}

void NNet::IndexName(const std::string& name) {
    Index.erase(name);
    for (const auto& object : Objects)
        if (name == object->GetName()) {
            Index.emplace(name, object.get());
            return;
        }
}

void NNet::ComponentRenamed(NBasicDescription* component, const std::string& oldName) {
    if (std::none_of(Objects.begin(), Objects.end(), [&](const auto& o) { return o.get() == component; })) return;
    IndexName(oldName);
    IndexName(component->GetName());
}

bool NNet::CheckName(const char* name) {
    if (!name || !*name) return false;
    return FindObject(name) == nullptr;
}

NBasicDescription* NNet::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
    return new NNet(owner, name);
}

NBasicDescription* NNet::GetComponent(const char* name) {
    if (!name || !*name) {
        ReportError(1);
        return nullptr;
    }
    if (const char* dot = std::strchr(name, kNameSeparator)) {
        if (NObject* head = FindObject(std::string_view(name, static_cast<std::size_t>(dot - name))))
            return head->GetComponent(dot + 1);
        ReportError(3, name);
        return nullptr;
    }
    if (NObject* object = FindObject(name)) return object;
    ReportError(3, name);
    return nullptr;
}

bool NNet::AddComponent(NBasicDescription* component) {
    if (!component) return ReportError(4);
    auto* object = dynamic_cast<NObject*>(component);
    if (!object) {
        const std::string name = component->FullName();
        delete component;
        return ReportError(10, name);
    }
    return AddObject(object);
}

bool NNet::DelComponent(const char* name) { return DelObject(name); }

void NNet::GetComponentsList(NStringList& names) {
    for (const auto& object : Objects) names.emplace_back(object->GetName());
}

bool NNet::CopyComponents(NBasicDescription* target) {
    if (!target) return ReportError(4);
    auto* net = dynamic_cast<NNet*>(target);
    if (!net) return ReportError(5);
    for (const auto& object : Objects) {
        NBasicDescription* copy = object->Clone(net, object->GetName());
        if (!copy) continue;
        if (auto* copied = dynamic_cast<NObject*>(copy)) net->AddObject(copied);
        else delete copy;
    }
    return true;
}

double NNet::GetParameter(const char* name) {
    ReportError(20, name);
    return 0;
}

bool NNet::SetParameter(const char* name, double) { return ReportError(20, name); }

void NNet::GetParametersList(NStringList&) {}

bool NNet::CopyParameters(NBasicDescription* target) {
    if (!target) return ReportError(4);
    if (!dynamic_cast<NNet*>(target)) return ReportError(5);
    return true;
}

void NNet::Reset() {
    for (const auto& object : Objects) object->Reset();
}

void NNet::Calculate() {
    for (const auto& object : Objects) object->Calculate();
}

void NNet::DelAllComponents() { DelAllObjects(); }

int NNet::GetObjectsCount() const { return static_cast<int>(Objects.size()); }

bool NNet::AddObject(NObject* object) {
    if (!object) return ReportError(4);
    if (object->GetOwner() != this) {
        const std::string name = object->FullName();
        delete object;
        return ReportError(14, name);
    }
    // The index answers for the first object of a name; only a shared name needs the scan.
    const NObject* first = FindObject(object->GetName());
    if (first == object || (first && std::any_of(Objects.begin(), Objects.end(),
                                                 [&](const auto& o) { return o.get() == object; })))
        return ReportError(11, object->FullName());
    Objects.emplace_back(object);
    Index.emplace(object->GetName(), object);
    return true;
}

bool NNet::DelObject(const char* name) {
    if (!name || !*name) return ReportError(1);
    NObject* object = FindObject(name);
    if (!object) return ReportError(3, name);
    auto it = std::find_if(Objects.begin(), Objects.end(), [&](const auto& o) { return o.get() == object; });
    std::unique_ptr<NObject> doomed = std::move(*it);
    Objects.erase(it);
    IndexName(name);
    doomed.reset();
    return true;
}

void NNet::DelAllObjects() {
    // Destroy in list order; links to connectors elsewhere vanish with their ends.
    for (auto& object : Objects) object.reset();
    Objects.clear();
    Index.clear();
}

NNet::ObjectList::const_iterator NNet::GetObjectsBegin() const { return Objects.begin(); }

NNet::ObjectList::const_iterator NNet::GetObjectsEnd() const { return Objects.end(); }

NObject* NNet::GetObject(const char* name) {
    if (!name || !*name) {
        ReportError(1);
        return nullptr;
    }
    if (NObject* object = FindObject(name)) return object;
    ReportError(3, name);
    return nullptr;
}

} // namespace talvero
