#pragma once
// Root classes of every model element: owner, name, and the fixed set of virtual operations
// through which the rest of the system builds, names, parameterises, copies, resets and steps it.

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "kernel/NCompactName.h"
#include "kernel/NError.h"

namespace talvero {

using NStringList = std::vector<std::string>;
using NLinksMap = std::multimap<std::string, std::string>;

// A parameter as a model author needs to know it: its unit and the values it admits, in words
// (empty when the class says nothing).
struct NParameterInfo {
    std::string Name;
    std::string Unit;
    std::string Admits;
};

// Separator of composite names.
inline constexpr char kNameSeparator = '.';

class NStateWriter;
class NStateReader;
class NAbstractItem;
class NAbstractConnector;

class NControl {
public:
    virtual ~NControl() = default;
};

class NBasicDescription : public NControl {
public:
    NBasicDescription(NBasicDescription* owner, const char* name);
    NBasicDescription(const NBasicDescription&) = delete;
    NBasicDescription& operator=(const NBasicDescription&) = delete;
    ~NBasicDescription() override;

    virtual NBasicDescription* GetOwner() const;
    virtual const char* GetName() const;
    virtual int GetFullNameLength() const;
    // buffer null: the shared name buffer is used (valid until the next such call).
    virtual char* GetFullName(char* buffer) const;
    virtual int GetRelativeNameLength(const NBasicDescription* ancestor) const;
    virtual char* GetRelativeName(const NBasicDescription* ancestor, char* buffer) const;
    virtual bool SetName(const char* name);
    virtual bool CheckName(const char* name) = 0;
    virtual char* GenerateName(char* buffer);
    virtual NBasicDescription* New(NBasicDescription* owner, const char* name) = 0;
    virtual NBasicDescription* Clone(NBasicDescription* owner, const char* name);
    virtual NBasicDescription* GetComponent(const char* name) = 0;
    virtual bool AddComponent(NBasicDescription* component) = 0;
    virtual bool DelComponent(const char* name) = 0;
    virtual void GetComponentsList(NStringList& names) = 0;
    // Calls `visit` with each component in GetComponentsList's order until it returns false (the
    // result is then false). By default through the names; a container of many components
    // overrides it, since a lookup by name per component made walking a large model quadratic.
    virtual bool ForEachComponent(const std::function<bool(NBasicDescription*)>& visit);
    virtual bool CopyComponents(NBasicDescription* target) = 0;
    virtual double GetParameter(const char* name) = 0;
    virtual bool SetParameter(const char* name, double value) = 0;
    virtual void GetParametersList(NStringList& names) = 0;
    virtual bool CopyParameters(NBasicDescription* target) = 0;
    virtual int GetStateSize() = 0;
    virtual char* SaveState(char* buffer) = 0;
    virtual bool LoadState(const char* buffer) = 0;
    // Whether `size` bytes at `buffer` are a state LoadState can take (an untrusted record).
    virtual bool CheckState(const char* buffer, int size) {
        (void)buffer;
        return size == GetStateSize();
    }
    // What a step depends on beyond the bytes of SaveState (counters, switching times, recorded
    // points): a checkpoint keeps both, so that a restored run goes on as the unbroken one.
    virtual void SaveStepState(NStateWriter& out) { (void)out; }
    virtual bool LoadStepState(NStateReader& in) {
        (void)in;
        return true;
    }
    virtual void Reset() = 0;
    virtual void Calculate() = 0;
    // Asks the memory for what a coming Calculate reads, `distance` objects ahead of it: 3 for
    // what the object points to, 2 for the parts found there, 1 for their data. Only a hint;
    // nothing changes.
    virtual void Prefetch(int distance) const { (void)distance; }
    // The object as an item or a connector, or null: what dynamic_cast tells, without its search
    // of the class hierarchy by type names, which making a large net's links paid at every link.
    virtual NAbstractItem* AsItem() { return nullptr; }
    virtual NAbstractConnector* AsConnector() { return nullptr; }
    // The parameters in GetParametersList's order, described from the class's own parameter table;
    // by default the names alone.
    virtual void DescribeParameters(std::vector<NParameterInfo>& parameters);
    // Its components are all in place (a loaded block has closed): room kept for more may go.
    virtual void ComponentsComplete() {}

    // Convenience forms of the names (not part of the virtual table).
    std::string FullName() const;
    std::string RelativeName(const NBasicDescription* ancestor) const;
    // GetName with its length, without a virtual call: lookups compare names by the million.
    std::string_view NameView() const { return Name.view(); }

    // Number of live description objects.
    static int GetInstanceCount();

protected:
    // A container keeps a name index of its components; it hears of renames here.
    virtual void ComponentRenamed(NBasicDescription* component, const std::string& oldName);

private:
    NBasicDescription* Owner;
    NCompactName Name;
};

class NObject : public NBasicDescription {
public:
    NObject(NBasicDescription* owner, const char* name) : NBasicDescription(owner, name) {}
};

// dynamic_cast<T*>(p), cheaper for a final class T reached without a virtual base: such an object
// is a T exactly when its dynamic type is T. Building a model clones and checks objects by the
// hundred thousand.
template <class T, class From>
T* CastTo(From* p) {
    if constexpr (std::is_final_v<T> && requires(From* q) { static_cast<T*>(q); }) {
        return p && typeid(*p) == typeid(T) ? static_cast<T*>(p) : nullptr;
    } else {
        return dynamic_cast<T*>(p);
    }
}

// The common checks of New: owner null (4), owner not an OwnerClass (12), name refused by the owner (2).
template <class OwnerClass>
bool CheckNewOwner(NBasicDescription* owner, const char* name) {
    if (!owner) return ReportError(4);
    if (!CastTo<OwnerClass>(owner)) return ReportError(12, owner->FullName());
    if (!owner->CheckName(name)) return ReportError(2, name);
    return true;
}

// Infinity and NaN are no parameter's value, whatever its range: code 21 with the object's full name.
inline bool CheckFiniteParameter(const NBasicDescription& object, double value) {
    if (std::isfinite(value)) return true;
    return ReportError(21, object.FullName());
}

} // namespace talvero
