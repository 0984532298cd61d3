#pragma once
// The model: root of a computable system, owning one net, its sources and its out gates.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "kernel/NAbstractOutGate.h"
#include "kernel/NAbstractSource.h"
#include "kernel/NClock.h"
#include "kernel/NNet.h"

namespace talvero {

class NModel : public NAbstractNet {
public:
    using SourceList = std::vector<std::unique_ptr<NAbstractSource>>;
    using OutGateList = std::vector<std::unique_ptr<NAbstractOutGate>>;

    explicit NModel(const char* name);
    ~NModel() override;

    bool CheckName(const char* name) override;
    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    NBasicDescription* Clone(NBasicDescription* owner, const char* name) override;
    NBasicDescription* GetComponent(const char* name) override;
    bool AddComponent(NBasicDescription* component) override;
    bool DelComponent(const char* name) override;
    void GetComponentsList(NStringList& names) override;
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
    // The model time and the steps since the last reset.
    void SaveStepState(NStateWriter& out) override;
    bool LoadStepState(NStateReader& in) override;
    std::uint64_t GetStepCount() const { return StepCount; }

    virtual NTime GetTimeStep() const { return TimeStep; }
    virtual bool SetTimeStep(NTime step);
    virtual NTime GetCurrentTime() const { return CurrentTime; }
    virtual NTime GetPulseDuration() const { return PulseDuration; }
    virtual bool SetPulseDuration(NTime duration);
    virtual void DelAllComponents();
    virtual void DelNet();
    virtual NAbstractNet* GetNet() const { return Net.get(); }
    virtual bool SetNet(NAbstractNet* net);
    virtual int GetSourcesCount() const { return static_cast<int>(Sources.size()); }
    virtual bool AddSource(NAbstractSource* source);
    virtual bool DelSource(const char* name);
    virtual void DelAllSources();
    virtual SourceList::const_iterator GetSourcesBegin() const { return Sources.begin(); }
    virtual SourceList::const_iterator GetSourcesEnd() const { return Sources.end(); }
    virtual NAbstractSource* GetSource(const char* name);
    virtual int GetOutGatesCount() const { return static_cast<int>(OutGates.size()); }
    virtual bool AddOutGate(NAbstractOutGate* gate);
    virtual bool DelOutGate(const char* name);
    virtual void DelAllOutGates();
    virtual OutGateList::const_iterator GetOutGatesBegin() const { return OutGates.begin(); }
    virtual OutGateList::const_iterator GetOutGatesEnd() const { return OutGates.end(); }
    virtual NAbstractOutGate* GetOutGate(const char* name);

protected:
    void ComponentRenamed(NBasicDescription* component, const std::string& oldName) override;

private:
    friend struct NFastAccess;  // the fast engine advances the model's clock
    // Name -> the first entry of a list with that name, so that finding a source or out gate by
    // name (every link and every new name asks) is not a scan. Only the owner hears of renames:
    // while an entry owned by another is in the list, finding scans instead.
    template <class T>
    class NameIndex {
    public:
        using List = std::vector<std::unique_ptr<T>>;
        T* Find(const List& list, std::string_view name) const;
        void Added(T* entry, const NBasicDescription* model);
        void Removed(const List& list, T* entry, const std::string& name);
        bool Renamed(const List& list, const NBasicDescription* entry, const std::string& oldName);
        void Clear();

    private:
        void Reindex(const List& list, const std::string& name);
        struct Hash {
            using is_transparent = void;
            std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
        };
        std::unordered_map<std::string, T*, Hash, std::equal_to<>> Map;
        std::unordered_set<const T*> Foreign;  // entries owned by another
    };

    std::unique_ptr<NAbstractNet> Net;
    SourceList Sources;
    OutGateList OutGates;
    NameIndex<NAbstractSource> SourceIndex;
    NameIndex<NAbstractOutGate> GateIndex;

    template <class T>
    bool AddNamed(std::vector<std::unique_ptr<T>>& list, NameIndex<T>& index, T* component);
    template <class T>
    bool DelNamed(std::vector<std::unique_ptr<T>>& list, NameIndex<T>& index, const char* name);
    template <class T>
    static T* GetNamed(const std::vector<std::unique_ptr<T>>& list, const NameIndex<T>& index, const char* name);
    template <class T>
    static void DestroyAll(std::vector<std::unique_ptr<T>>& list, NameIndex<T>& index);
    double TimeStep;
    NTime CurrentTime = 0;
    std::uint64_t StepCount = 0;
    NTime PulseDuration;
};

} // namespace talvero
