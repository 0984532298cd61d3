#include "elements/NIonUnit.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "elements/NComponentSlots.h"
#include "kernel/NAbstractItem.h"

namespace talvero {

NIonUnit::NIonUnit(NBasicDescription* owner, const char* name) : NWithParameters(owner, name, 0, 1) { Reset(); }

NIonUnit::~NIonUnit() = default;

const NParameterTable<NIonUnitParameters>& NIonUnit::ParameterTable() {
    using P = NIonUnitParameters;
    static const NParameterTable<P> table{
        {"R", &P::R, NRange::Positive(), true},
        {"C", &P::C, NRange::Positive(), true},
        {"MaxIntensity", &P::MaxIntensity, NRange::Closed(-1, 1), true},
    };
    return table;
}

bool NIonUnit::CheckName(const char* name) { return name && *name && !FindSynapse(name); }

NBasicDescription* NIonUnit::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NItem>(owner, name)) return nullptr;
    return new NIonUnit(owner, name);
}

NSynapse* NIonUnit::FindSynapse(const char* name) const {
    for (const auto& s : Synapses)
        if (std::strcmp(s->GetName(), name) == 0) return s.get();
    return nullptr;
}

NBasicDescription* NIonUnit::GetComponent(const char* path) {
    if (!path || !*path) {
        ReportError(1);
        return nullptr;
    }
    std::string_view head;
    const char* rest = nullptr;
    if (SplitPath(path, head, rest)) {
        for (const auto& s : Synapses)
            if (head == s->GetName()) return s->GetComponent(rest);
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
    for (const auto& s : Synapses)
        if (s.get() == synapse) return ReportError(11, synapse->FullName());
    ReserveOneMore(Synapses);
    Synapses.emplace_back(synapse);
    const NSynapseState* before = SynapseStates.Data();
    synapse->MoveInto(SynapseStates);
    if (SynapseStates.Data() != before) RebindSynapses(0);
    return true;
}

void NIonUnit::RebindSynapses(std::size_t first) {
    for (std::size_t i = first; i < Synapses.size(); ++i) Synapses[i]->Bind(&SynapseStates, static_cast<std::uint32_t>(i));
}

bool NIonUnit::DelSynapse(const char* name) {
    if (!name || !*name) return ReportError(1);
    const auto it = std::find_if(Synapses.begin(), Synapses.end(),
                                 [name](const auto& s) { return std::strcmp(s->GetName(), name) == 0; });
    if (it == Synapses.end()) return ReportError(3, name);
    const auto index = static_cast<std::size_t>(it - Synapses.begin());
    Synapses.erase(it);
    SynapseStates.Erase(static_cast<std::uint32_t>(index));
    RebindSynapses(index);
    return true;
}

void NIonUnit::DelAllSynapses() {
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

void NIonUnit::Reset() {
    for (const auto& s : Synapses) s->Reset();
    Outputs[0] = 0;
    RC = Params.R * Params.C;
}

void NIonUnit::Integrate(double g) {
    const NTime dt = GetSplitTimeStep().Get();
    const double a = 1 + Params.R * g;
    const double i = Outputs[0];
    const NTime dta = dt * a;
    Outputs[0] = static_cast<double>(i + dta * (Params.MaxIntensity - NTime(a) * i) / (RC + dta * a / 2));
}

} // namespace talvero
