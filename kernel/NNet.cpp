#include "kernel/NNet.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "kernel/NAbstractItem.h"
#include "kernel/NElementSupport.h"
#include "kernel/NSplitStep.h"
#include "kernel/NUnitDescription.h"

namespace talvero {

namespace {

NAbstractItem* ItemOf(NBasicDescription* object) { return object ? object->AsItem() : nullptr; }
NAbstractConnector* ConnectorOf(NBasicDescription* object) { return object ? object->AsConnector() : nullptr; }

// A name as it was looked up: cut at a NUL (from a damaged file).
std::string_view LookedUpName(std::string_view name) { return name.substr(0, name.find('\0')); }

// A name as the record of links writes it after a link whose same name was `last`: how many
// leading characters the two share, then the rest.
struct NCodedName {
    // Up to 14 of either count fit in the header byte's half; 15 says the count follows, 7 bits a
    // byte, low first. Most names share all but a few characters with the one before, and a byte
    // for the count with a NUL after the rest had been two a name, a fifth of a large net's record.
    static constexpr std::size_t kInHeader = 15;

    NCodedName(std::string_view last, std::string_view name) : Name(name) {
        const std::size_t n = std::min(last.size(), name.size());
        Shared = static_cast<std::size_t>(std::mismatch(last.begin(), last.begin() + n, name.begin()).first - last.begin());
    }
    std::size_t Bytes() const {
        const std::size_t rest = Name.size() - Shared;
        return 1 + (Shared >= kInHeader ? CountBytes(Shared) : 0) + (rest >= kInHeader ? CountBytes(rest) : 0) + rest;
    }
    // Writes it and makes `last` the name.
    void Append(std::vector<char>& text, std::string& last) const {
        const std::size_t rest = Name.size() - Shared;
        text.push_back(static_cast<char>(std::min(Shared, kInHeader) << 4 | std::min(rest, kInHeader)));
        if (Shared >= kInHeader) AppendCount(text, Shared);
        if (rest >= kInHeader) AppendCount(text, rest);
        text.insert(text.end(), Name.begin() + static_cast<std::ptrdiff_t>(Shared), Name.end());
        last.resize(Shared);
        last.append(Name.substr(Shared));
    }

    static std::size_t CountBytes(std::size_t count) {
        std::size_t bytes = 1;
        for (; count >= 0x80; count >>= 7) ++bytes;
        return bytes;
    }
    static void AppendCount(std::vector<char>& text, std::size_t count) {
        for (; count >= 0x80; count >>= 7) text.push_back(static_cast<char>(0x80 | (count & 0x7f)));
        text.push_back(static_cast<char>(count));
    }

    std::string_view Name;
    std::size_t Shared;
};

std::size_t ReadCount(const char*& at) {
    std::size_t count = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*at++);
        count |= std::size_t(byte & 0x7f) << shift;
        if (!(byte & 0x80)) return count;
    }
}

// Reads a name written by NCodedName::Append over `name`, which holds the name before it.
void ReadCodedName(const char*& at, std::string& name) {
    const auto header = static_cast<unsigned char>(*at++);
    std::size_t shared = header >> 4, rest = header & 0x0f;
    if (shared == NCodedName::kInHeader) shared = ReadCount(at);
    if (rest == NCodedName::kInHeader) rest = ReadCount(at);
    name.resize(shared);
    name.append(at, rest);
    at += rest;
}

} // namespace

// ---- NAbstractNet: links ----

NBasicDescription* NAbstractNet::Clone(NBasicDescription* owner, const char* name) {
    NBasicDescription* copy = NBasicDescription::Clone(owner, name);
    if (!copy) return nullptr;
    if (auto* net = dynamic_cast<NAbstractNet*>(copy)) {
        const NDecodedLinks recorded = OrderedLinks();
        std::vector<std::pair<std::string_view, std::string_view>> links;
        links.reserve(recorded.Starts.size());
        for (std::size_t start : recorded.Starts) links.emplace_back(recorded.Item(start), recorded.Connector(start));
        net->MakeLinks(links);
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

template <class Links>
bool NAbstractNet::MakeLinks(const Links& links) {
    bool result = true;
    std::string key, value;  // the lookups take C strings
    for (auto it = links.begin(); it != links.end();) {
        key.assign(it->first);
        auto last = it;
        while (last != links.end() && std::string_view(last->first) == std::string_view(key)) ++last;
        auto* item = ItemOf(GetComponent(key.c_str()));
        if (!item) {
            ReportError(3, key);
            result = false;
            it = last;
            continue;
        }
        for (; it != last; ++it) {
            value.assign(it->second);
            auto* connector = ConnectorOf(GetComponent(value.c_str()));
            if (!connector) {
                ReportError(3, value);
                result = false;
            } else if (item->Connect(connector)) {
                RecordLink(key, value);
            } else {
                result = false;
            }
        }
    }
    return result;
}

bool NAbstractNet::SetLinks(const NLinksMap& links) { return MakeLinks(links); }

bool NAbstractNet::SetLinks(NLinkList links) { return MakeLinksInGivenOrder(links); }

bool NAbstractNet::SetLinks(const NLinkViewList& links) { return MakeLinksInGivenOrder(links); }

bool NAbstractNet::SetLinks(const NPackedLinks& links) { return MakeLinksInGivenOrder(links); }

bool NAbstractNet::SetLinks(NPackedLinks&& links) {
    const bool made = MakeLinksInGivenOrder(links, &links.Text);
    if (links.Text.empty()) links = NPackedLinks();
    return made;
}

template <class Links>
bool NAbstractNet::MakeLinksInGivenOrder(const Links& links, std::vector<char>* text) {
    // The names are looked up in the order given, where neighbouring links mostly reach into the
    // same objects, and the links are made in key order afterwards. Lookups change nothing but the
    // last error: when one fails, the plain algorithm runs instead, so errors come in its order.
    // The working arrays are the largest moment of loading a large net: positions take 32 bits
    // (a net of more links could not be held anyway), and each array goes when it has served.
    using Index = std::uint32_t;
    const std::size_t count = links.size();
    // Key order, stable: number the distinct keys, sort those, and place the links by their key's
    // rank; the links of the key of rank r are order[rankStart[r]] to order[rankStart[r + 1] - 1].
    std::vector<Index> order(count);
    std::vector<std::string_view> keys;  // by rank
    std::vector<Index> rankStart;
    if (count <= std::numeric_limits<Index>::max()) {
        std::vector<Index> keyOf(count);
        {
            std::unordered_map<std::string_view, Index> keyIds;
            for (std::size_t i = 0; i < count; ++i) {
                const auto [it, added] = keyIds.try_emplace(links[i].first, static_cast<Index>(keys.size()));
                if (added) keys.push_back(links[i].first);
                keyOf[i] = it->second;
            }
        }
        std::vector<Index> byName(keys.size());
        for (std::size_t id = 0; id < keys.size(); ++id) byName[id] = static_cast<Index>(id);
        std::sort(byName.begin(), byName.end(), [&keys](Index a, Index b) { return keys[a] < keys[b]; });
        std::vector<Index> next(keys.size() + 1, 0);
        for (std::size_t i = 0; i < count; ++i) ++next[keyOf[i] + 1];
        rankStart.assign(keys.size() + 1, 0);
        for (std::size_t r = 0; r < keys.size(); ++r) rankStart[r + 1] = rankStart[r] + next[byName[r] + 1];
        for (std::size_t r = 0; r < keys.size(); ++r) next[byName[r]] = rankStart[r];
        for (std::size_t i = 0; i < count; ++i) order[next[keyOf[i]]++] = static_cast<Index>(i);
        std::vector<std::string_view> ranked(keys.size());
        for (std::size_t r = 0; r < keys.size(); ++r) ranked[r] = keys[byName[r]];
        keys.swap(ranked);
    }
    // The plain algorithm, on the links in key order (stable): its errors come in its order.
    auto plain = [&] {
        NLinkViewList sorted;
        sorted.reserve(count);
        for (std::size_t i = 0; i < count; ++i) sorted.emplace_back(links[i].first, links[i].second);
        std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        return MakeLinks(sorted);
    };
    if (rankStart.empty() && count > 0) return plain();

    // The lookups take C strings; a name cut at a NUL is looked up as that C string.
    std::string name;
    NLinkEndMemo memo;
    auto find = [this, &name, &memo](std::string_view text) {
        name.assign(text.substr(0, text.find('\0')));
        return FindLinkEnd(name.c_str(), memo);
    };
    bool result = true;
    std::vector<bool> made(count);
    {
        std::vector<NAbstractConnector*> connectors(count);
        for (std::size_t i = 0; i < count; ++i)
            if (!(connectors[i] = ConnectorOf(find(links[i].second)))) return plain();
        // Each distinct item once, in key order.
        std::vector<NAbstractItem*> items(keys.size());
        for (std::size_t r = 0; r < keys.size(); ++r)
            if (!(items[r] = ItemOf(find(keys[r])))) return plain();
        // In key order the connectors come from anywhere in memory: each is asked for a few links
        // ahead (its place in the list twice as far), where waiting for it had cost as much as the
        // rest of making the link.
        constexpr Index ahead = 8;
        for (std::size_t r = 0; r < keys.size(); ++r)
            for (Index k = rankStart[r]; k < rankStart[r + 1]; ++k) {
                if (k + 2 * ahead < count) __builtin_prefetch(&connectors[order[k + 2 * ahead]]);
                if (k + ahead < count) __builtin_prefetch(connectors[order[k + ahead]]);
                if (items[r]->Connect(connectors[order[k]])) made[order[k]] = true;
                else result = false;
            }
    }
    order = {};
    rankStart = {};
    keys = {};
    // Recorded in the order given, which the key order keeps among equal keys: the recorded
    // links read the same. Room for all at once: grown step by step, the record held its old and
    // new copies together.
    std::size_t bytes = 0;
    {
        std::string_view item = LastItem, connector = LastConnector;
        for (std::size_t i = 0; i < count; ++i) {
            if (!made[i]) continue;
            const std::string_view nextItem = LookedUpName(links[i].first);
            const std::string_view nextConnector = LookedUpName(links[i].second);
            bytes += NCodedName(item, nextItem).Bytes() + NCodedName(connector, nextConnector).Bytes();
            item = nextItem;
            connector = nextConnector;
        }
    }
    LinkText.reserve(LinkText.size() + bytes);
    for (std::size_t i = 0; i < count; ++i)
        if (made[i]) RecordLink(links[i].first, links[i].second);
    // Every link is made and recorded: the caller's text of them may go.
    if (result && text) text->clear();
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
    std::string key;
    std::string_view previous;
    bool first = true;
    const NDecodedLinks recorded = OrderedLinks();
    for (std::size_t start : recorded.Starts) {
        if (!first && recorded.Item(start) == previous) continue;
        first = false;
        previous = recorded.Item(start);
        key.assign(previous);
        if (auto* item = dynamic_cast<NAbstractItem*>(GetComponent(key.c_str()))) item->DisconnectAll();
    }
}

void NAbstractNet::GetLinks(NLinksMap& links) const {
    links.clear();
    const NDecodedLinks recorded = OrderedLinks();
    for (std::size_t start : recorded.Starts)
        links.emplace_hint(links.end(), std::string(recorded.Item(start)), std::string(recorded.Connector(start)));
}

void NAbstractNet::RecordLink(std::string_view itemName, std::string_view connectorName) {
    // The ends were found by their C names; a NUL inside one (from a damaged file) would also
    // break the record.
    itemName = LookedUpName(itemName);
    connectorName = LookedUpName(connectorName);
    const NCodedName item(LastItem, itemName), connector(LastConnector, connectorName);
    const std::size_t length = item.Bytes() + connector.Bytes();
    if (LinkText.size() + length > LinkText.capacity())
        LinkText.reserve(LinkText.size() + std::max(length, LinkText.size() / 4));
    item.Append(LinkText, LastItem);
    connector.Append(LinkText, LastConnector);
}

NAbstractNet::NDecodedLinks NAbstractNet::OrderedLinks() const {
    NDecodedLinks decoded;
    std::string item, connector;
    for (const char *at = LinkText.data(), *end = at + LinkText.size(); at < end;) {
        ReadCodedName(at, item);
        ReadCodedName(at, connector);
        decoded.Starts.push_back(decoded.Text.size());
        decoded.Text.insert(decoded.Text.end(), item.begin(), item.end());
        decoded.Text.push_back('\0');
        decoded.Text.insert(decoded.Text.end(), connector.begin(), connector.end());
        decoded.Text.push_back('\0');
    }
    std::stable_sort(decoded.Starts.begin(), decoded.Starts.end(),
                     [&decoded](std::size_t a, std::size_t b) { return decoded.Item(a) < decoded.Item(b); });
    return decoded;
}

// ---- NNet ----

NNet::~NNet() { DelAllComponents(); }

NBasicDescription* NNet::FindLinkEnd(const char* name, NLinkEndMemo& memo) {
    const char* dot = name ? std::strchr(name, kNameSeparator) : nullptr;
    if (!dot) return GetComponent(name);
    const std::string_view head(name, static_cast<std::size_t>(dot - name));
    if (!memo.Object || head != memo.Head) {
        NObject* object = FindObject(head);
        if (!object) {
            ReportError(3, name);
            return nullptr;
        }
        memo.Head.assign(head);
        memo.Object = object;
    }
    return memo.Object->GetComponent(dot + 1);
}

NObject* NNet::FindObject(std::string_view name) const {
    const std::uint32_t position = FindPosition(name);
    return position == NNameIndex::kNone ? nullptr : Objects[position].get();
}

void NNet::IndexAt(std::uint32_t position) {
    Index.Add(position, NameAt(position), [this](std::uint32_t p) { return NameAt(p); });
}

void NNet::IndexFrom(std::size_t first) {
    for (std::size_t i = first; i < Objects.size(); ++i) IndexAt(static_cast<std::uint32_t>(i));
}

void NNet::ComponentRenamed(NBasicDescription* component, const std::string&) {
    if (std::none_of(Objects.begin(), Objects.end(), [&](const auto& o) { return o.get() == component; })) return;
    // Rare: the index is made again rather than taught which twin of each name is now first.
    Index.Clear();
    IndexFrom(0);
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

bool NNet::ForEachComponent(const std::function<bool(NBasicDescription*)>& visit) {
    for (const auto& object : Objects)
        if (!visit(object.get())) return false;
    return true;
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
    // Objects and their parts lie anywhere in memory. A neuron reads its own object, then its
    // list of units and its zone, then the units, then their synapse states: each level is
    // fetched one object earlier than the next, so that all have arrived when the object computes.
    const std::size_t count = Objects.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (i + 4 < count) {
            const char* ahead = reinterpret_cast<const char*>(Objects[i + 4].get());
            __builtin_prefetch(ahead);
            __builtin_prefetch(ahead + 64);
        }
        if (i + 3 < count) Objects[i + 3]->Prefetch(3);
        if (i + 2 < count) Objects[i + 2]->Prefetch(2);
        if (i + 1 < count) Objects[i + 1]->Prefetch(1);
        Objects[i]->Calculate();
    }
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
    // Positions are 32-bit: 2^32 objects would take far more memory than a machine has.
    Objects.emplace_back(object);
    IndexFrom(Objects.size() - 1);
    NoteStructureChange();
    return true;
}

bool NNet::DelObject(const char* name) {
    if (!name || !*name) return ReportError(1);
    const std::uint32_t position = FindPosition(name);
    if (position == NNameIndex::kNone) return ReportError(3, name);
    std::unique_ptr<NObject> doomed = std::move(Objects[position]);
    Objects.erase(Objects.begin() + position);
    Index.Erase(position);
    // A later object of the same name is now the first.
    const std::string_view gone = doomed->NameView();
    for (std::size_t i = position; i < Objects.size(); ++i)
        if (NameAt(static_cast<std::uint32_t>(i)) == gone) {
            IndexAt(static_cast<std::uint32_t>(i));
            break;
        }
    doomed.reset();
    return true;
}

void NNet::DelAllObjects() {
    // Destroy in list order; links to connectors elsewhere vanish with their ends.
    for (auto& object : Objects) object.reset();
    Objects.clear();
    Index.Clear();
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
