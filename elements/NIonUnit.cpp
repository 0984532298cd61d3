#include "elements/NIonUnit.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "elements/NComponentSlots.h"
#include "kernel/NAbstractItem.h"
#include "kernel/NSplitStep.h"

#include "kernel/NStateStream.h"

namespace talvero {

NIonUnit::NIonUnit(NBasicDescription* owner, const char* name) : NWithParameters(owner, name, 0, 1, &Output0) {
    Reset();
}

NIonUnit::~NIonUnit() = default;

const NParameterTable<NIonUnitParameters>& NIonUnit::ParameterTable() {
    using P = NIonUnitParameters;
    static const NParameterTable<P> table{
        {"R", &P::R, NRange::Positive(), true, "Ohm"},
        {"C", &P::C, NRange::Positive(), true, "F"},
        {"MaxIntensity", &P::MaxIntensity, NRange::Closed(-1, 1), true},
    };
    return table;
}

bool NIonUnit::CheckName(const char* name) { return name && *name && !FindSynapse(name); }

NBasicDescription* NIonUnit::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NItem>(owner, name)) return nullptr;
    return new NIonUnit(owner, name);
}

NSynapse* NIonUnit::FindSynapse(std::string_view name) const {
    if (!ByName) {
        for (const auto& s : Synapses)
            if (name == s->NameView()) return s.get();
        return nullptr;
    }
    const auto at = std::lower_bound(ByName->begin(), ByName->end(), name, [this](std::uint32_t position, std::string_view n) {
        return Synapses[position]->NameView() < n;
    });
    return at != ByName->end() && name == Synapses[*at]->NameView() ? Synapses[*at].get() : nullptr;
}

void NIonUnit::IndexAll() {
    if (!ByName) ByName = std::make_unique<std::vector<std::uint32_t>>();
    std::vector<std::uint32_t>& index = *ByName;
    index.resize(Synapses.size());
    for (std::uint32_t i = 0; i < index.size(); ++i) index[i] = i;
    std::stable_sort(index.begin(), index.end(), [this](std::uint32_t a, std::uint32_t b) {
        return std::strcmp(Synapses[a]->GetName(), Synapses[b]->GetName()) < 0;
    });
}

void NIonUnit::IndexAdded(std::uint32_t position) {
    if (!ByName) {
        if (Synapses.size() >= kIndexFrom) IndexAll();
        return;
    }
    // After the equal names: the new synapse is the last of them in the list too.
    const std::string_view name = Synapses[position]->GetName();
    const auto at = std::upper_bound(ByName->begin(), ByName->end(), name, [this](std::string_view n, std::uint32_t p) {
        return n < std::string_view(Synapses[p]->GetName());
    });
    ByName->insert(at, position);
}

void NIonUnit::IndexRemoved(std::uint32_t position) {
    if (!ByName) return;
    ByName->erase(std::find(ByName->begin(), ByName->end(), position));
    for (std::uint32_t& p : *ByName)
        if (p > position) --p;
    if (ByName->empty()) ByName.reset();
}

void NIonUnit::ComponentRenamed(NBasicDescription*, const std::string&) {
    if (ByName) IndexAll();
}

NBasicDescription* NIonUnit::GetComponent(const char* path) {
    if (!path || !*path) {
        ReportError(1);
        return nullptr;
    }
    std::string_view head;
    const char* rest = nullptr;
    if (SplitPath(path, head, rest)) {
        if (NSynapse* s = FindSynapse(head)) return s->GetComponent(rest);
    } else if (NSynapse* s = FindSynapse(path)) {
        return s;
    }
    ReportError(3, path);
    return nullptr;
}

bool NIonUnit::AddComponent(NBasicDescription* component) {
    if (!component) return ReportError(4);
    if (auto* synapse = CastTo<NSynapse>(component)) return AddSynapse(synapse);
    const std::string name = component->FullName();
    delete component;
    return ReportError(10, name);
}

bool NIonUnit::DelComponent(const char* name) { return DelSynapse(name); }

void NIonUnit::GetComponentsList(NStringList& names) {
    for (const auto& s : Synapses) names.emplace_back(s->GetName());
}

bool NIonUnit::ForEachComponent(const std::function<bool(NBasicDescription*)>& visit) {
    for (const auto& s : Synapses)
        if (!visit(s.get())) return false;
    return true;
}

bool NIonUnit::CopyComponents(NBasicDescription* target) {
    if (!target) return ReportError(4);
    auto* other = dynamic_cast<NIonUnit*>(target);
    if (!other) return ReportError(5);
    other->Synapses.reserve(other->Synapses.size() + Synapses.size());
    other->SynapseStates.Reserve(other->SynapseStates.Size() + Synapses.size());
    for (const auto& s : Synapses) {
        NBasicDescription* copy = s->Clone(other, s->GetName());
        if (copy) other->AddSynapse(static_cast<NSynapse*>(copy));
    }
    return true;
}

bool NIonUnit::CopyParameters(NBasicDescription* target) {
    if (!NWithParameters::CopyParameters(target)) return false;
    target->Reset();
    return true;
}

bool NIonUnit::AddSynapse(NSynapse* synapse) {
    if (!synapse) return ReportError(4);
    if (synapse->GetOwner() != this) {
        const std::string name = synapse->FullName();
        delete synapse;
        return ReportError(14, name);
    }
    // A synapse of this unit that is not alone is in its block already.
    if (!synapse->Lone) return ReportError(11, synapse->FullName());
    ReserveOneMore(Synapses);
    Synapses.emplace_back(synapse);
    const NSynapseState* before = SynapseStates.Data();
    synapse->MoveInto(SynapseStates);
    if (SynapseStates.Data() != before) RebindSynapses(0);
    IndexAdded(static_cast<std::uint32_t>(Synapses.size() - 1));
    NoteStructureChange();
    return true;
}

void NIonUnit::RebindSynapses(std::size_t first) {
    for (std::size_t i = first; i < Synapses.size(); ++i) Synapses[i]->Bind(&SynapseStates, static_cast<std::uint32_t>(i));
}

bool NIonUnit::DelSynapse(const char* name) {
    if (!name || !*name) return ReportError(1);
    NSynapse* found = FindSynapse(name);
    if (!found) return ReportError(3, name);
    const std::uint32_t index = found->GetStateIndex();
    IndexRemoved(index);
    Synapses.erase(Synapses.begin() + index);
    SynapseStates.Erase(index);
    RebindSynapses(index);
    return true;
}

void NIonUnit::DelAllSynapses() {
    ByName.reset();
    Synapses.clear();
    SynapseStates.Clear();
}

NSynapse* NIonUnit::GetSynapse(const char* name) {
    if (!name || !*name) {
        ReportError(1);
        return nullptr;
    }
    NSynapse* s = FindSynapse(name);
    if (!s) ReportError(3, name);
    return s;
}

void NIonUnit::ComponentsComplete() {
    // The lists grew by a quarter as the synapses came: a large net kept a sixth of its synapses'
    // states as spare room.
    Synapses.shrink_to_fit();
    const NSynapseState* before = SynapseStates.Data();
    SynapseStates.Fit();
    if (SynapseStates.Data() != before) RebindSynapses(0);
}

void NIonUnit::Reset() {
    for (const auto& s : Synapses) s->Reset();
    Output0 = 0;
    RC = Params.R * Params.C;
}

void NIonUnit::Integrate(double g) {
    const NTime dt = GetSplitTimeStep().Get();
    const double a = 1 + Params.R * g;
    const double i = Output0;
    const NTime dta = dt * a;
    Output0 = static_cast<double>(i + dta * (Params.MaxIntensity - NTime(a) * i) / (RC + dta * a / 2));
}

void NIonUnit::SaveStepState(NStateWriter& out) { NUnitDescription::SaveStepState(out); }

bool NIonUnit::LoadStepState(NStateReader& in) {
    // R * C follows the parameters, which may have changed since the state was taken.
    RC = Params.R * Params.C;
    return NUnitDescription::LoadStepState(in);
}

} // namespace talvero
