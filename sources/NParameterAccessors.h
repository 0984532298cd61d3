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

private:
    std::vector<Entry> Entries;
};

} // namespace talvero
