#pragma once
// Nets: containers of a model's objects, with links recorded by name.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kernel/NBasicDescription.h"
#include "kernel/NNameIndex.h"

namespace talvero {

// Links as (item name, connector name) pairs, in any order.
using NLinkList = std::vector<std::pair<std::string, std::string>>;
// The same over names kept elsewhere: a model's links are many, and copying their names only to
// hand them over doubled what loading held at its peak.
using NLinkViewList = std::vector<std::pair<std::string_view, std::string_view>>;

// The same packed: the names one after the other and where each link starts. A large net's links
// are held so while they are made; as a list of views they took twice the room.
class NPackedLinks {
public:
    void Add(std::string_view item, std::string_view connector) {
        while ((Text.size() >> 32) > Wraps.size()) Wraps.push_back(Starts.size());
        Starts.push_back(static_cast<std::uint32_t>(Text.size()));
        ItemLengths.push_back(static_cast<std::uint32_t>(item.size()));
        Text.insert(Text.end(), item.begin(), item.end());
        Text.push_back('\0');
        Text.insert(Text.end(), connector.begin(), connector.end());
        Text.push_back('\0');
    }
    std::size_t size() const { return Starts.size(); }
    std::size_t TextBytes() const { return Text.size(); }
    // Room for `bytes` more of names and `links` more links at once: grown step by step, a large
    // net's links were copied over and over, and the copies held as much memory again.
    void Reserve(std::size_t bytes, std::size_t links) {
        Text.reserve(Text.size() + bytes);
        Starts.reserve(Starts.size() + links);
        ItemLengths.reserve(ItemLengths.size() + links);
    }
    bool empty() const { return Starts.empty(); }
    std::pair<std::string_view, std::string_view> operator[](std::size_t i) const {
        const std::string_view text(Text.data(), Text.size());
        const std::size_t start = Start(i);
        const std::size_t end = i + 1 < Starts.size() ? Start(i + 1) : Text.size();
        const std::size_t connector = start + ItemLengths[i] + 1;
        return {text.substr(start, ItemLengths[i]), text.substr(connector, end - 1 - connector)};
    }
    // Gives back the room the names and their places grew into; the small arrays first, so that
    // less is held while the text is copied. Room never written takes no memory: an array with no
    // more than a quarter to spare is left as it is rather than copied.
    void Fit() {
        FitArray(Starts);
        FitArray(ItemLengths);
        FitArray(Text);
    }

private:
    friend class NAbstractNet;  // drops the text once it has recorded the links

    template <class T>
    static void FitArray(std::vector<T>& array) {
        if (array.capacity() - array.size() > array.size() / 4) array.shrink_to_fit();
    }

    std::size_t Start(std::size_t i) const {
        std::size_t start = Starts[i];
        if (!Wraps.empty()) [[unlikely]]
            start += std::size_t(std::upper_bound(Wraps.begin(), Wraps.end(), i) - Wraps.begin()) << 32;
        return start;
    }

    // "item\0connector\0" for each link. When all are made, the net drops it as soon as it has
    // recorded them: held beside the record until the caller let go, it had been the peak of
    // loading a large net.
    std::vector<char> Text;
    // Where each link starts, less the multiples of 4 GiB: the first link past each such multiple
    // is in Wraps (none in practice). Eight bytes a link were as many as its names took.
    std::vector<std::uint32_t> Starts;
    std::vector<std::size_t> Wraps;
    std::vector<std::uint32_t> ItemLengths;  // a name fits in a line of a file
};

class NAbstractNet : public NObject {
public:
    NAbstractNet(NBasicDescription* owner, const char* name) : NObject(owner, name) {}

    NBasicDescription* Clone(NBasicDescription* owner, const char* name) override;

    virtual bool CreateLink(const char* itemName, const char* connectorName);
    virtual bool SetLinks(const NLinksMap& links);
    virtual bool BreakLink(const char* name);
    virtual void BreakAllLinks();
    virtual void GetLinks(NLinksMap& links) const;

    // SetLinks of the multimap that these pairs would make, without building it.
    bool SetLinks(NLinkList links);
    bool SetLinks(const NLinkViewList& links);
    bool SetLinks(const NPackedLinks& links);
    // The same; when every link is made, the net drops the links once it has recorded them, which
    // leaves `links` empty. When one is not, `links` stays as it was, to say which.
    bool SetLinks(NPackedLinks&& links);

protected:
    // What a net may remember between the lookups of one batch of links.
    struct NLinkEndMemo {
        std::string Head;
        NBasicDescription* Object = nullptr;
    };
    // The component a link names, as GetComponent finds it (errors included). Neighbouring links
    // mostly name parts of the same object, which a net may look up once for them all.
    virtual NBasicDescription* FindLinkEnd(const char* name, NLinkEndMemo& memo) {
        (void)memo;
        return GetComponent(name);
    }

    // The recorded links name components that are gone.
    void ForgetLinks() {
        LinkText.clear();
        LinkText.shrink_to_fit();
        LastItem.clear();
        LastConnector.clear();
    }

private:
    // Makes the links of a sequence of (item name, connector name) pairs in key order.
    template <class Links>
    bool MakeLinks(const Links& links);
    // `text`, when given, is the caller's text of the links: emptied once every link is made and
    // recorded.
    template <class Links>
    bool MakeLinksInGivenOrder(const Links& links, std::vector<char>* text = nullptr);
    // Records a link made by name.
    void RecordLink(std::string_view itemName, std::string_view connectorName);
    // The recorded links decoded, "item\0connector\0" each, with their starts in key order, equal
    // keys in the order they were made (a multimap's order).
    struct NDecodedLinks {
        std::vector<char> Text;
        std::vector<std::size_t> Starts;
        std::string_view Item(std::size_t start) const { return Text.data() + start; }
        std::string_view Connector(std::size_t start) const { return Text.data() + start + Item(start).size() + 1; }
    };
    NDecodedLinks OrderedLinks() const;

    // The recorded links in the order they were made, and put in order only when read (rarely):
    // making many links stays linear. Each name is written against the same name of the link
    // before: how many leading characters it shares with it and how many follow (a byte for both
    // when they are small), then those. A net's links mostly reach neighbouring connectors
    // ("c7.exc.s3" after "c7.exc.s2"), whose names then take a few bytes instead of all of theirs.
    std::vector<char> LinkText;
    std::string LastItem, LastConnector;  // the names of the link recorded last
};

class NNet : public NAbstractNet {
public:
    using ObjectList = std::vector<std::unique_ptr<NObject>>;

    NNet(NBasicDescription* owner, const char* name) : NAbstractNet(owner, name) {}
    ~NNet() override;

    bool CheckName(const char* name) override;
    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    NBasicDescription* GetComponent(const char* name) override;
    bool AddComponent(NBasicDescription* component) override;
    bool DelComponent(const char* name) override;
    void GetComponentsList(NStringList& names) override;
    bool ForEachComponent(const std::function<bool(NBasicDescription*)>& visit) override;
    bool CopyComponents(NBasicDescription* target) override;
    double GetParameter(const char* name) override;
    bool SetParameter(const char* name, double value) override;
    void GetParametersList(NStringList& names) override;
    bool CopyParameters(NBasicDescription* target) override;
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void Reset() override;
    void Calculate() override;
    // The list doubled as the objects came: up to half of it spare once loaded.
    void ComponentsComplete() override { Objects.shrink_to_fit(); }

    virtual void DelAllComponents();
    virtual int GetObjectsCount() const;
    virtual bool AddObject(NObject* object);
    virtual bool DelObject(const char* name);
    virtual void DelAllObjects();
    virtual ObjectList::const_iterator GetObjectsBegin() const;
    virtual ObjectList::const_iterator GetObjectsEnd() const;
    virtual NObject* GetObject(const char* name);

protected:
    void ComponentRenamed(NBasicDescription* component, const std::string& oldName) override;
    NBasicDescription* FindLinkEnd(const char* name, NLinkEndMemo& memo) override;

private:
    NObject* FindObject(std::string_view name) const;

    ObjectList Objects;
    // Positions in Objects by name: the first object of each name in insertion order, so that
    // lookups are not linear.
    NNameIndex Index;
    std::string_view NameAt(std::uint32_t position) const { return Objects[position]->NameView(); }
    std::uint32_t FindPosition(std::string_view name) const {
        return Index.Find(name, [this](std::uint32_t p) { return NameAt(p); });
    }
    void IndexAt(std::uint32_t position);  // indexes the object there, unless its name is already
    void IndexFrom(std::size_t first);     // adds the objects from `first` on, in order
};

} // namespace talvero
