#pragma once
// What elements with replaceable named components share: lookups by (dotted) path, copying such
// a component into a copy of its owner, and the whole component handling of an element whose only
// component is an input connector named "input". Also the parameter operations of elements that
// have no parameters.

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "kernel/NBasicDescription.h"

namespace talvero {

// Splits "head.rest" at the first separator; false when the path has none.
inline bool SplitPath(const char* path, std::string_view& head, const char*& rest) {
    const char* dot = std::strchr(path, kNameSeparator);
    if (!dot) return false;
    head = std::string_view(path, static_cast<std::size_t>(dot - path));
    rest = dot + 1;
    return true;
}

// Whether `component` answers `path`: the path is its name (the component itself), or, with
// `dotted`, the path starts with its whole name and "." (the rest goes to its own lookup).
// Reports nothing when it does not answer, so a caller can try further candidates.
inline bool LookupFixed(NBasicDescription* component, const char* path, bool dotted, NBasicDescription*& result) {
    if (!component || !path) return false;
    if (std::strcmp(path, component->GetName()) == 0) {
        result = component;
        return true;
    }
    std::string_view head;
    const char* rest = nullptr;
    if (!dotted || !SplitPath(path, head, rest) || head != component->GetName()) return false;
    result = component->GetComponent(rest);
    return true;
}

// Puts a copy of `source` (a fixed component of the copied element) into `target`.
// A clone of the same name would be refused by the target, which already holds a component of
// that name (its own default one); the parameters and components are copied into that one
// instead. A component of another name is cloned and handed to `install`.
template <class C, class Install>
bool CopyFixedComponent(C* source, C* existing, NBasicDescription* target, Install install) {
    if (existing && std::strcmp(existing->GetName(), source->GetName()) == 0) {
        source->CopyComponents(existing);
        source->CopyParameters(existing);
        return true;
    }
    NBasicDescription* copy = source->Clone(target, source->GetName());
    if (!copy) return false;
    auto* typed = dynamic_cast<C*>(copy);
    if (!typed) {
        delete copy;
        return ReportError(5);
    }
    return install(typed);
}

// Replaces the owned component held in `slot` by `component`, which must be owned by `self`.
template <class C>
bool ReplaceOwnedComponent(NBasicDescription* self, std::unique_ptr<C>& slot, C* component) {
    if (!component) return ReportError(4);
    if (component->GetOwner() != self) {
        const std::string name = component->FullName();
        delete component;
        return ReportError(14, name);
    }
    if (component != slot.get()) slot.reset(component);
    return true;
}

// Parameter operations of an element without parameters.
template <class Derived, class Base>
class NWithoutParameters : public Base {
public:
    using Base::Base;

    double GetParameter(const char* name) override {
        ReportError(20, name ? name : "");
        return 0;
    }
    bool SetParameter(const char* name, double) override { return ReportError(20, name ? name : ""); }
    void GetParametersList(NStringList&) override {}
    bool CopyParameters(NBasicDescription* target) override {
        if (!target) return ReportError(4);
        if (!dynamic_cast<Derived*>(target)) return ReportError(5);
        return true;
    }
};

// Component handling of an element whose one component is its input connector C, named "input"
// at construction. It can be replaced (SetInput) but not deleted.
// Dotted: whether a path "input.x" is passed on to the input's own lookup.
template <class Derived, class Base, class C, bool Dotted = true>
class NWithInput : public Base {
public:
    using Base::Base;

    virtual C* GetInput() const { return Input.get(); }
    virtual bool SetInput(C* input) { return ReplaceOwnedComponent<C>(this, Input, input); }

    NBasicDescription* GetComponent(const char* path) override {
        if (!path || !*path) {
            ReportError(1);
            return nullptr;
        }
        NBasicDescription* found = nullptr;
        if (LookupFixed(Input.get(), path, Dotted, found)) return found;
        ReportError(3, path);
        return nullptr;
    }

    bool AddComponent(NBasicDescription* component) override {
        if (!component) return ReportError(4);
        if (auto* input = dynamic_cast<C*>(component)) return SetInput(input);
        return RefuseComponent(component);
    }

    bool DelComponent(const char* name) override { return ReportError((name && *name) ? 3 : 1, name ? name : ""); }

    void GetComponentsList(NStringList& names) override { names.emplace_back(Input->GetName()); }

    bool CopyComponents(NBasicDescription* target) override {
        if (!target) return ReportError(4);
        auto* other = dynamic_cast<Derived*>(target);
        if (!other) return ReportError(5);
        return CopyFixedComponent<C>(Input.get(), other->GetInput(), target,
                                     [other](C* copy) { return other->SetInput(copy); });
    }

protected:
    // Code 10: the component is of a class this element cannot hold; it is destroyed.
    static bool RefuseComponent(NBasicDescription* component) {
        const std::string name = component->FullName();
        delete component;
        return ReportError(10, name);
    }

    std::unique_ptr<C> Input{new C(this, "input")};
};

} // namespace talvero
