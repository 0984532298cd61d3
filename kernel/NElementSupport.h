#pragma once
// What the element classes share, written once: table-driven parameters and the component
// operations of elements that hold no components.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "kernel/NBasicDescription.h"
#include "kernel/NParameterRanges.h"

namespace talvero {

// Admissible range of a parameter; bounds may be open or closed, infinite bounds mean none.
struct NRange {
    double Lo = -std::numeric_limits<double>::infinity();
    double Hi = std::numeric_limits<double>::infinity();
    bool LoOpen = false;
    bool HiOpen = false;

    bool Admits(double v) const {
        if (v != v) return false;  // NaN is never a value
        if (LoOpen ? !(v > Lo) : !(v >= Lo)) return false;
        if (HiOpen ? !(v < Hi) : !(v <= Hi)) return false;
        return true;
    }
    static NRange Any() { return {}; }
    static NRange Positive() { return {0, std::numeric_limits<double>::infinity(), true, false}; }
    static NRange NonNegative() { return {0, std::numeric_limits<double>::infinity(), false, false}; }
    static NRange Closed(double lo, double hi) { return {lo, hi, false, false}; }
    static NRange AtLeast(double lo) { return {lo, std::numeric_limits<double>::infinity(), false, false}; }
    static NRange Above(double lo) { return {lo, std::numeric_limits<double>::infinity(), true, false}; }

    // "> 0", "0 to 1", "any", ... for a reader.
    std::string Describe() const {
        auto number = [](double v) {
            char text[32];
            std::snprintf(text, sizeof text, "%g", v);
            return std::string(text);
        };
        const bool lo = std::isfinite(Lo), hi = std::isfinite(Hi);
        if (lo && hi) return (LoOpen ? "> " : "") + number(Lo) + " to " + number(Hi) + (HiOpen ? " (excluded)" : "");
        if (lo) return (LoOpen ? "> " : ">= ") + number(Lo);
        if (hi) return (HiOpen ? "< " : "<= ") + number(Hi);
        return "any";
    }
};

// Ordered parameter descriptors over a parameters block P.
template <class P>
class NParameterTable {
public:
    struct Entry {
        const char* Name;
        double P::*Field;
        NRange Range;
        bool ResetsObject;  // a successful set calls the object's Reset()
        const char* Unit = "";
    };

    NParameterTable(std::initializer_list<Entry> entries) : Entries(entries) {}

    const Entry* Find(const char* name) const {
        if (!name) return nullptr;
        for (const Entry& e : Entries)
            if (std::strcmp(e.Name, name) == 0) return &e;
        return nullptr;
    }

    // Unknown name: code 20 and 0.
    double Get(const P& params, const char* name) const {
        if (const Entry* e = Find(name)) return params.*(e->Field);
        ReportError(20, name ? name : "");
        return 0;
    }

    // Unknown name: 20; outside the range: 21 and the old value stays. *resets tells whether to Reset.
    bool Set(P& params, const char* name, double value, bool* resets = nullptr) const {
        const Entry* e = Find(name);
        if (!e) return ReportError(20, name ? name : "");
        if (!e->Range.Admits(value)) return ReportError(21, name);
        params.*(e->Field) = value;
        if (resets) *resets = e->ResetsObject;
        return true;
    }

    void List(NStringList& names) const {
        for (const Entry& e : Entries) names.emplace_back(e.Name);
    }

    void Describe(std::vector<NParameterInfo>& parameters) const {
        for (const Entry& e : Entries) parameters.push_back(NParameterInfo{e.Name, e.Unit, e.Range.Describe()});
    }

    const std::vector<Entry>& GetEntries() const { return Entries; }

private:
    std::vector<Entry> Entries;
};

// The component operations of an element that holds no components.
// Derived is the concrete class (copy targets must be of it); Base the kernel class it extends.
template <class Derived, class Base>
class NWithoutComponents : public Base {
public:
    using Base::Base;

    bool CheckName(const char*) override { return true; }

    NBasicDescription* GetComponent(const char* name) override {
        ReportError((name && *name) ? 3 : 1, name ? name : "");
        return nullptr;
    }

    bool AddComponent(NBasicDescription* component) override {
        if (!component) return ReportError(4);
        const std::string name = component->FullName();
        delete component;
        return ReportError(10, name);
    }

    bool DelComponent(const char* name) override { return ReportError((name && *name) ? 3 : 1, name ? name : ""); }

    void GetComponentsList(NStringList&) override {}

    bool CopyComponents(NBasicDescription* target) override {
        if (!target) return ReportError(4);
        if (!CastTo<Derived>(target)) return ReportError(5);
        return true;
    }
};

// Parameters kept in a block P, described by Derived::ParameterTable() (a static NParameterTable<P>).
// Dynamic state stays in the concrete class, apart from the block, so copying cannot touch it.
template <class Derived, class Base, class P>
class NWithParameters : public Base {
public:
    using Base::Base;

    double GetParameter(const char* name) override { return Derived::ParameterTable().Get(Params, name); }

    bool SetParameter(const char* name, double value) override {
        (void)RangesRegistered;  // instantiates the registration with the class
        if (Derived::ParameterTable().Find(name) && !CheckFiniteParameter(*this, value)) return false;
        bool resets = false;
        if (!Derived::ParameterTable().Set(Params, name, value, &resets)) return false;
        ParameterChanged();
        if (resets) this->Reset();
        return true;
    }

    void GetParametersList(NStringList& names) override { Derived::ParameterTable().List(names); }
    void DescribeParameters(std::vector<NParameterInfo>& parameters) override {
        Derived::ParameterTable().Describe(parameters);
    }

    bool CopyParameters(NBasicDescription* target) override {
        if (!target) return ReportError(4);
        auto* other = CastTo<Derived>(target);
        if (!other) return ReportError(5);
        NWithParameters& copy = *other;  // the hook may be protected in Derived
        copy.Params = Params;
        copy.ParameterChanged();
        return true;
    }

    const P& GetParams() const { return Params; }

protected:
    // Hook for values derived from parameters (quotients cached for the step).
    virtual void ParameterChanged() {}

    P Params;

private:
    static bool LookupRange(const char* name, NRange& range) {
        const auto* entry = Derived::ParameterTable().Find(name);
        if (entry) range = entry->Range;
        return entry != nullptr;
    }
    static inline const bool RangesRegistered = RegisterParameterRanges(typeid(Derived), &LookupRange);
};

// Makes room for one more element, growing by a quarter (at least four) instead of doubling: the
// containers of a model are filled while it is built and then kept as they are, spare room and all.
template <class T, class A>
void ReserveOneMore(std::vector<T, A>& list) {
    if (list.size() == list.capacity()) list.reserve(list.size() + std::max<std::size_t>(4, list.size() / 4));
}

// Saves and loads a trivially copyable state block as raw bytes.
template <class S>
char* SaveRaw(const S& state, char* buffer) {
    std::memcpy(buffer, &state, sizeof(S));
    return buffer;
}
template <class S>
bool LoadRaw(S& state, const char* buffer) {
    std::memcpy(&state, buffer, sizeof(S));
    return true;
}

} // namespace talvero
