#pragma once
// Parameters of sources and out gates are set through setters with side effects (resets, cleared
// data, switching), so each name maps to the class's own getter and setter rather than to a field.
// The setter reports its own refusal; names not in the table go to the base class.

#include <cstring>
#include <initializer_list>
#include <vector>

#include "kernel/NBasicDescription.h"

namespace talvero {

template <class D>
class NParameterAccessors {
public:
    struct Entry {
        const char* Name;
        double (*Get)(const D&);
        bool (*Set)(D&, double);
        // Written beside the setter that enforces them: what a model author needs to know.
        const char* Unit = "";
        const char* Admits = "";
    };

    NParameterAccessors(std::initializer_list<Entry> entries) : Entries(entries) {}

    const Entry* Find(const char* name) const {
        if (!name) return nullptr;
        for (const Entry& e : Entries)
            if (std::strcmp(e.Name, name) == 0) return &e;
        return nullptr;
    }

    void List(NStringList& names) const {
        for (const Entry& e : Entries) names.emplace_back(e.Name);
    }

    void Describe(std::vector<NParameterInfo>& parameters) const {
        for (const Entry& e : Entries) parameters.push_back(NParameterInfo{e.Name, e.Unit, e.Admits});
    }

private:
    std::vector<Entry> Entries;
};

// The parameter operations of a class whose own names are in Derived::ParameterAccessors(); every
// other name goes to Base, whose names are listed first.
template <class Derived, class Base>
class NWithParameterAccessors : public Base {
public:
    using Base::Base;

    double GetParameter(const char* name) override {
        if (const auto* p = Derived::ParameterAccessors().Find(name))
            return p->Get(static_cast<const Derived&>(*this));
        return Base::GetParameter(name);
    }

    bool SetParameter(const char* name, double value) override {
        if (const auto* p = Derived::ParameterAccessors().Find(name))
            return CheckFiniteParameter(*this, value) && p->Set(static_cast<Derived&>(*this), value);
        return Base::SetParameter(name, value);
    }

    void GetParametersList(NStringList& names) override {
        Base::GetParametersList(names);
        Derived::ParameterAccessors().List(names);
    }

    void DescribeParameters(std::vector<NParameterInfo>& parameters) override {
        Base::DescribeParameters(parameters);
        Derived::ParameterAccessors().Describe(parameters);
    }
};

} // namespace talvero
