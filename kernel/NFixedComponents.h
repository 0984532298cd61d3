#pragma once
// The component operations of an element whose components are created with it, named, and never
// added, removed or replaced: lookup by name or dotted path, the name list, and the name check.
// Adding, deleting and copying behave as for an element without components.

#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "kernel/NElementSupport.h"
#include "kernel/NStateStream.h"

namespace talvero {

template <class Derived, class Base>
class NWithFixedComponents : public NWithoutComponents<Derived, Base> {
public:
    using NWithoutComponents<Derived, Base>::NWithoutComponents;

    // A new component may not take the name of a fixed one.
    bool CheckName(const char* name) override { return !name || !FindFixed(name); }

    // Exact names first, in order; then "<component>.<rest>" goes on to that component.
    NBasicDescription* GetComponent(const char* path) override {
        if (!path || !*path) {
            ReportError(1, "");
            return nullptr;
        }
        if (NBasicDescription* c = FindFixed(path)) return c;
        if (const char* dot = std::strchr(path, kNameSeparator)) {
            const std::string_view head(path, static_cast<std::size_t>(dot - path));
            for (const auto& c : Fixed)
                if (head == c->GetName()) return c->GetComponent(dot + 1);
        }
        ReportError(3, path);
        return nullptr;
    }

    void GetComponentsList(NStringList& names) override {
        for (const auto& c : Fixed) names.emplace_back(c->GetName());
    }

protected:
    // Takes ownership; call from the derived constructor in listing order.
    template <class C>
    C* AddFixedComponent(std::unique_ptr<C> component) {
        C* raw = component.get();
        Fixed.push_back(std::move(component));
        return raw;
    }

    void ResetFixedComponents() {
        for (const auto& c : Fixed) c->Reset();
    }

private:
    NBasicDescription* FindFixed(const char* name) const {
        for (const auto& c : Fixed)
            if (std::strcmp(c->GetName(), name) == 0) return c.get();
        return nullptr;
    }

    std::vector<std::unique_ptr<NBasicDescription>> Fixed;
};

// An element built of fixed components, with its parameters in a block P and its dynamic state in
// a block S. A reset resets the components and clears the state; none of it is saved as state.
template <class Derived, class Base, class P, class S>
class NFixedComponentsElement : public NWithParameters<Derived, NWithFixedComponents<Derived, Base>, P> {
public:
    using NWithParameters<Derived, NWithFixedComponents<Derived, Base>, P>::NWithParameters;

    NBasicDescription* New(NBasicDescription* owner, const char* name) override {
        if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
        return new Derived(owner, name);
    }
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void Reset() override {
        Base::Reset();
        this->ResetFixedComponents();
        State = S{};
    }

    const S& GetState() const { return State; }
    void SaveStepState(NStateWriter& out) override {
        Base::SaveStepState(out);
        out.PutBlock(State);
    }
    bool LoadStepState(NStateReader& in) override { return Base::LoadStepState(in) && in.GetBlock(State); }

protected:
    S State;
};

} // namespace talvero
