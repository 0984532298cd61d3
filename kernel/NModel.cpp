#include "kernel/NModel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

namespace talvero {
namespace {

template <class List>
auto FindByName(const List& list, std::string_view name) -> typename List::value_type::pointer {
    for (const auto& entry : list)
        if (name == entry->GetName()) return entry.get();
    return nullptr;
}

// Append to an owned list unless a component of that name is already there.
template <class List, class T>
bool AddNamed(List& list, T* component) {
    if (!component) return ReportError(4);
    if (T* same = FindByName(list, component->GetName())) {
        if (same == component) return ReportError(11, component->FullName());
        const std::string name = component->FullName();
        delete component;
        return ReportError(2, name);
    }
    list.emplace_back(component);
    return true;
}

template <class List>
bool DelNamed(List& list, const char* name) {
    if (!name || !*name) return ReportError(1);
    auto it = std::find_if(list.begin(), list.end(), [&](const auto& e) { return std::strcmp(e->GetName(), name) == 0; });
    if (it == list.end()) return ReportError(3, name);
    auto doomed = std::move(*it);
    list.erase(it);
    return true;
}

template <class List>
auto GetNamed(const List& list, const char* name) -> typename List::value_type::pointer {
    if (!name || !*name) {
        ReportError(1);
        return nullptr;
    }
    if (auto* found = FindByName(list, name)) return found;
    ReportError(3, name);
    return nullptr;
}

template <class List>
void DestroyAll(List& list) {
    for (auto& entry : list) entry.reset();
    list.clear();
}

} // namespace

NModel::NModel(const char* name)
    : NAbstractNet(nullptr, name),
      TimeStep(static_cast<double>(talvero::GetTimeStep())),
      PulseDuration(talvero::GetPulseDuration()) {}

NModel::~NModel() {
    DelNet();
    DelAllSources();
    DelAllOutGates();
    if (GetActiveModel() == this) SetActiveModel(nullptr);
}

bool NModel::CheckName(const char* name) {
    if (!name) return false;
    if (FindByName(Sources, name)) return false;
    if (Net && !Net->CheckName(name)) return false;
    if (FindByName(OutGates, name)) return false;
    return true;
}

NBasicDescription* NModel::New(NBasicDescription* owner, const char* name) {
    if (owner) {
        ReportError(41);
        return nullptr;
    }
    return new NModel(name);
}

NBasicDescription* NModel::Clone(NBasicDescription* owner, const char* name) {
    // The model's own links are not copied: they reach outside what the copy owns.
    NBasicDescription* copy = NBasicDescription::Clone(owner, name);
    if (auto* model = dynamic_cast<NModel*>(copy)) {
        model->TimeStep = TimeStep;
        model->CurrentTime = CurrentTime;
        model->PulseDuration = PulseDuration;
    }
    return copy;
}

NBasicDescription* NModel::GetComponent(const char* name) {
    if (!name || !*name) {
        ReportError(1);
        return nullptr;
    }
    if (const char* dot = std::strchr(name, kNameSeparator)) {
        const std::string_view head(name, static_cast<std::size_t>(dot - name));
        NBasicDescription* found = FindByName(Sources, head);
        if (!found) found = FindByName(OutGates, head);
        if (!found && Net && head == Net->GetName()) found = Net.get();
        if (found) return found->GetComponent(dot + 1);
        ReportError(3, name);
        return nullptr;
    }
    if (Net && std::strcmp(Net->GetName(), name) == 0) return Net.get();
    if (auto* source = FindByName(Sources, name)) return source;
    if (auto* gate = FindByName(OutGates, name)) return gate;
    ReportError(3, name);
    return nullptr;
}

bool NModel::AddComponent(NBasicDescription* component) {
    if (!component) return ReportError(4);
    if (auto* net = dynamic_cast<NAbstractNet*>(component)) {
        if (Net) return ReportError(40, Net->FullName());
        return SetNet(net);
    }
    if (auto* source = dynamic_cast<NAbstractSource*>(component)) return AddSource(source);
    if (auto* gate = dynamic_cast<NAbstractOutGate*>(component)) return AddOutGate(gate);
    const std::string name = component->FullName();
    delete component;
    return ReportError(10, name);
}

bool NModel::DelComponent(const char* name) {
    if (DelSource(name)) return true;
    if (DelOutGate(name)) return true;
    if (Net && name && std::strcmp(Net->GetName(), name) == 0) {
        DelNet();
        return true;
    }
    return false;
}

void NModel::GetComponentsList(NStringList& names) {
    for (const auto& s : Sources) names.emplace_back(s->GetName());
    for (const auto& g : OutGates) names.emplace_back(g->GetName());
    if (Net) names.emplace_back(Net->GetName());
}

bool NModel::CopyComponents(NBasicDescription* target) {
    if (!target) return ReportError(4);
    auto* model = dynamic_cast<NModel*>(target);
    if (!model) return ReportError(5);
    for (const auto& s : Sources)
        if (NBasicDescription* copy = s->Clone(model, s->GetName())) model->AddComponent(copy);
    if (Net)
        if (NBasicDescription* copy = Net->Clone(model, Net->GetName())) model->AddComponent(copy);
    for (const auto& g : OutGates)
        if (NBasicDescription* copy = g->Clone(model, g->GetName())) model->AddComponent(copy);
    return true;
}

double NModel::GetParameter(const char* name) {
    ReportError(20, name);
    return 0;
}

bool NModel::SetParameter(const char* name, double) { return ReportError(20, name); }

void NModel::GetParametersList(NStringList&) {}

bool NModel::CopyParameters(NBasicDescription* target) {
    if (!target) return ReportError(4);
    if (!dynamic_cast<NModel*>(target)) return ReportError(5);
    return true;
}

void NModel::Reset() {
    for (const auto& s : Sources) s->Reset();
    if (Net) Net->Reset();
    for (const auto& g : OutGates) g->Reset();
    CurrentTime = 0;
}

void NModel::Calculate() {
    for (const auto& s : Sources) s->Calculate();
    if (Net) Net->Calculate();
    for (const auto& g : OutGates) g->Calculate();
    CurrentTime = CurrentTime + static_cast<NTime>(TimeStep);
}

bool NModel::SetTimeStep(NTime step) {
    // NaN, infinity and values that vanish as a double are no step.
    const double stored = static_cast<double>(step);
    if (!(step > 0) || !(stored > 0) || !std::isfinite(stored)) return ReportError(21);
    TimeStep = stored;
    if (GetActiveModel() == this) ResetActiveModel();
    else Reset();
    return true;
}

bool NModel::SetPulseDuration(NTime duration) {
    if (!(duration > 0) || !std::isfinite(static_cast<double>(duration))) return ReportError(21);
    PulseDuration = duration;
    if (GetActiveModel() == this) ResetActiveModel();
    else Reset();
    return true;
}

void NModel::DelAllComponents() {
    DelAllSources();
    DelAllOutGates();
    DelNet();
}

void NModel::DelNet() { Net.reset(); }

bool NModel::SetNet(NAbstractNet* net) {
    if (!net) return ReportError(4);
    if (net->GetOwner() != this) {
        const std::string name = net->FullName();
        delete net;
        return ReportError(14, name);
    }
    if (net == Net.get()) return true;  // already ours: destroying it would leave Net dangling
    DelNet();
    Net.reset(net);
    return true;
}

bool NModel::AddSource(NAbstractSource* source) { return AddNamed(Sources, source); }

bool NModel::DelSource(const char* name) { return DelNamed(Sources, name); }

void NModel::DelAllSources() { DestroyAll(Sources); }

NAbstractSource* NModel::GetSource(const char* name) { return GetNamed(Sources, name); }

bool NModel::AddOutGate(NAbstractOutGate* gate) { return AddNamed(OutGates, gate); }

bool NModel::DelOutGate(const char* name) { return DelNamed(OutGates, name); }

void NModel::DelAllOutGates() { DestroyAll(OutGates); }

NAbstractOutGate* NModel::GetOutGate(const char* name) { return GetNamed(OutGates, name); }

} // namespace talvero
