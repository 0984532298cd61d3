#include "kernel/NModel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "kernel/Cp1251.h"
#include "kernel/NParameterRefusal.h"
#include "kernel/NStateStream.h"
#include "kernel/NSplitStep.h"
#include "kernel/NTimeStepLimit.h"

namespace talvero {
namespace {

template <class List>
auto FindByName(const List& list, std::string_view name) -> typename List::value_type::pointer {
    for (const auto& entry : list)
        if (name == entry->GetName()) return entry.get();
    return nullptr;
}

} // namespace

// ---- name index ----

template <class T>
T* NModel::NameIndex<T>::Find(const List& list, std::string_view name) const {
    if (!Foreign.empty()) return FindByName(list, name);
    const auto it = Map.find(name);
    return it == Map.end() ? nullptr : it->second;
}

template <class T>
void NModel::NameIndex<T>::Added(T* entry, const NBasicDescription* model) {
    if (entry->GetOwner() != model) Foreign.insert(entry);
    Map.emplace(entry->GetName(), entry);  // an earlier entry of the name stays first
}

template <class T>
void NModel::NameIndex<T>::Removed(const List& list, T* entry, const std::string& name) {
    Foreign.erase(entry);
    Reindex(list, name);
}

template <class T>
bool NModel::NameIndex<T>::Renamed(const List& list, const NBasicDescription* entry, const std::string& oldName) {
    for (const auto& e : list)
        if (e.get() == entry) {
            Reindex(list, oldName);
            Reindex(list, e->GetName());
            return true;
        }
    return false;
}

template <class T>
void NModel::NameIndex<T>::Clear() {
    Map.clear();
    Foreign.clear();
}

template <class T>
void NModel::NameIndex<T>::Reindex(const List& list, const std::string& name) {
    Map.erase(name);
    if (T* first = FindByName(list, name)) Map.emplace(name, first);
}

// ---- the model ----

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
    if (SourceIndex.Find(Sources, name)) return false;
    if (Net && !Net->CheckName(name)) return false;
    if (GateIndex.Find(OutGates, name)) return false;
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
        NBasicDescription* found = SourceIndex.Find(Sources, head);
        if (!found) found = GateIndex.Find(OutGates, head);
        if (!found && Net && head == Net->GetName()) found = Net.get();
        if (found) return found->GetComponent(dot + 1);
        ReportError(3, name);
        return nullptr;
    }
    if (Net && std::strcmp(Net->GetName(), name) == 0) return Net.get();
    if (auto* source = SourceIndex.Find(Sources, name)) return source;
    if (auto* gate = GateIndex.Find(OutGates, name)) return gate;
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
    // A rerun after a reset must equal the first run: sources and gates forget their switching.
    for (const auto& s : Sources) {
        s->Rewind();
        s->Reset();
    }
    if (Net) Net->Reset();
    for (const auto& g : OutGates) {
        g->Reset();
        g->Rewind();
    }
    CurrentTime = 0;
    StepCount = 0;
}

void NModel::Calculate() {
    for (const auto& s : Sources) s->Calculate();
    bool gatesComputed = false;
    if (Net && !CalculateNetSplit(*this, gatesComputed)) Net->Calculate();
    if (!gatesComputed) NAbstractOutGate::CalculateAll(OutGates.begin(), OutGates.end());
    CurrentTime = CurrentTime + static_cast<NTime>(TimeStep);
    ++StepCount;
}

void NModel::SaveStepState(NStateWriter& out) {
    out.Put(CurrentTime);
    out.Put(StepCount);
}

bool NModel::LoadStepState(NStateReader& in) {
    NTime time = 0;
    std::uint64_t steps = 0;
    if (!in.Get(time) || !in.Get(steps) || !std::isfinite(time)) return false;
    CurrentTime = time;
    StepCount = steps;
    return true;
}

bool NModel::SetTimeStep(NTime step) {
    // NaN, infinity and values that vanish as a double are no step.
    const double stored = static_cast<double>(step);
    if (!(step > 0) || !(stored > 0) || !std::isfinite(stored))
        return ReportError(21, Utf8ToCp1251("шаг по времени ") + FormatParameterNumber(stored) +
                                   Utf8ToCp1251(": нужно конечное число больше 0"));
    if (!CheckTimeStepLimit(this, stored)) return false;
    TimeStep = stored;
    if (GetActiveModel() == this) ResetActiveModel();
    else Reset();
    return true;
}

bool NModel::SetPulseDuration(NTime duration) {
    if (!(duration > 0) || !std::isfinite(static_cast<double>(duration)))
        return ReportError(21, Utf8ToCp1251("длительность импульса ") + FormatParameterNumber(static_cast<double>(duration)) +
                                   Utf8ToCp1251(": нужно конечное число больше 0"));
    if (!CheckPulseDurationLimit(*this, duration)) return false;
    PulseDuration = duration;
    if (GetActiveModel() == this) ResetActiveModel();
    else Reset();
    return true;
}

void NModel::DelAllComponents() {
    DelAllSources();
    DelAllOutGates();
    DelNet();
    // Loading again into this model would otherwise record every top-level link twice.
    ForgetLinks();
}

void NModel::DelNet() { Net.reset(); }

bool NModel::SetNet(NAbstractNet* net) {
    NoteStructureChange();
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

// Append to an owned list unless a component of that name is already there.
template <class T>
bool NModel::AddNamed(std::vector<std::unique_ptr<T>>& list, NameIndex<T>& index, T* component) {
    if (!component) return ReportError(4);
    if (T* same = index.Find(list, component->GetName())) {
        if (same == component) return ReportError(11, component->FullName());
        const std::string name = component->FullName();
        delete component;
        return ReportError(2, name);
    }
    list.emplace_back(component);
    index.Added(component, this);
    return true;
}

template <class T>
bool NModel::DelNamed(std::vector<std::unique_ptr<T>>& list, NameIndex<T>& index, const char* name) {
    if (!name || !*name) return ReportError(1);
    T* found = index.Find(list, name);
    if (!found) return ReportError(3, name);
    auto it = std::find_if(list.begin(), list.end(), [&](const auto& e) { return e.get() == found; });
    std::unique_ptr<T> doomed = std::move(*it);
    list.erase(it);
    index.Removed(list, found, name);
    return true;
}

template <class T>
T* NModel::GetNamed(const std::vector<std::unique_ptr<T>>& list, const NameIndex<T>& index, const char* name) {
    if (!name || !*name) {
        ReportError(1);
        return nullptr;
    }
    if (T* found = index.Find(list, name)) return found;
    ReportError(3, name);
    return nullptr;
}

template <class T>
void NModel::DestroyAll(std::vector<std::unique_ptr<T>>& list, NameIndex<T>& index) {
    index.Clear();
    for (auto& entry : list) entry.reset();
    list.clear();
}

void NModel::ComponentRenamed(NBasicDescription* component, const std::string& oldName) {
    if (!SourceIndex.Renamed(Sources, component, oldName)) GateIndex.Renamed(OutGates, component, oldName);
    NAbstractNet::ComponentRenamed(component, oldName);
}

bool NModel::AddSource(NAbstractSource* source) {
    NoteStructureChange();
    return AddNamed(Sources, SourceIndex, source);
}

bool NModel::DelSource(const char* name) { return DelNamed(Sources, SourceIndex, name); }

void NModel::DelAllSources() { DestroyAll(Sources, SourceIndex); }

NAbstractSource* NModel::GetSource(const char* name) { return GetNamed(Sources, SourceIndex, name); }

bool NModel::AddOutGate(NAbstractOutGate* gate) { return AddNamed(OutGates, GateIndex, gate); }

bool NModel::DelOutGate(const char* name) { return DelNamed(OutGates, GateIndex, name); }

void NModel::DelAllOutGates() { DestroyAll(OutGates, GateIndex); }

NAbstractOutGate* NModel::GetOutGate(const char* name) { return GetNamed(OutGates, GateIndex, name); }

} // namespace talvero
