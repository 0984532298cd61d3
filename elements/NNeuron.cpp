#include "elements/NNeuron.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <typeinfo>

namespace talvero {

NNeuron::NNeuron(NBasicDescription* owner, const char* name)
    : NAbstractItem(owner, name), NWithoutParameters(owner, name), LTZone(new NLTZone(this, "LTZone")) {}

NNeuron::~NNeuron() = default;

NIonUnit* NNeuron::FindIonUnit(const char* name) const {
    for (const auto& u : IonUnits)
        if (std::strcmp(u->GetName(), name) == 0) return u.get();
    return nullptr;
}

bool NNeuron::CheckName(const char* name) {
    return name && *name && std::strcmp(name, LTZone->GetName()) != 0 && !FindIonUnit(name);
}

NBasicDescription* NNeuron::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
    return new NNeuron(owner, name);
}

NBasicDescription* NNeuron::GetComponent(const char* path) {
    if (!path || !*path) {
        ReportError(1);
        return nullptr;
    }
    std::string_view head;
    const char* rest = nullptr;
    if (SplitPath(path, head, rest)) {
        if (head == LTZone->GetName()) return LTZone->GetComponent(rest);
        for (const auto& u : IonUnits)
            if (head == u->GetName()) return u->GetComponent(rest);
    } else {
        if (std::strcmp(path, LTZone->GetName()) == 0) return LTZone.get();
        if (NIonUnit* u = FindIonUnit(path)) return u;
    }
    ReportError(3, path);
    return nullptr;
}

bool NNeuron::AddComponent(NBasicDescription* component) {
    if (!component) return ReportError(4);
    if (auto* unit = dynamic_cast<NIonUnit*>(component)) return AddIonUnit(unit);
    if (auto* zone = dynamic_cast<NLTZone*>(component)) return SetLTZone(zone);
    const std::string name = component->FullName();
    delete component;
    return ReportError(10, name);
}

bool NNeuron::DelComponent(const char* name) { return DelIonUnit(name); }

void NNeuron::GetComponentsList(NStringList& names) {
    names.emplace_back(LTZone->GetName());
    for (const auto& u : IonUnits) names.emplace_back(u->GetName());
}

bool NNeuron::ForEachComponent(const std::function<bool(NBasicDescription*)>& visit) {
    if (!visit(LTZone.get())) return false;
    for (const auto& u : IonUnits)
        if (!visit(u.get())) return false;
    return true;
}

bool NNeuron::CopyComponents(NBasicDescription* target) {
    if (!target) return ReportError(4);
    auto* other = dynamic_cast<NNeuron*>(target);
    if (!other) return ReportError(5);
    for (const auto& u : IonUnits) {
        NBasicDescription* copy = u->Clone(other, u->GetName());
        if (copy) other->AddIonUnit(static_cast<NIonUnit*>(copy));
    }
    CopyFixedComponent<NLTZone>(LTZone.get(), other->LTZone.get(), other,
                                [other](NLTZone* zone) { return other->SetLTZone(zone); });
    return true;
}

bool NNeuron::AddIonUnit(NIonUnit* unit) {
    if (!unit) return ReportError(4);
    if (unit->GetOwner() != this) {
        const std::string name = unit->FullName();
        delete unit;
        return ReportError(14, name);
    }
    for (const auto& u : IonUnits)
        if (u.get() == unit) return ReportError(11, unit->FullName());
    IonUnits.emplace_back(unit);
    NoteStructureChange();
    return true;
}

bool NNeuron::DelIonUnit(const char* name) {
    if (!name || !*name) return ReportError(1);
    const auto it = std::find_if(IonUnits.begin(), IonUnits.end(),
                                 [name](const auto& u) { return std::strcmp(u->GetName(), name) == 0; });
    if (it == IonUnits.end()) return ReportError(3, name);
    IonUnits.erase(it);
    return true;
}

void NNeuron::DelAllIonUnits() { IonUnits.clear(); }

NIonUnit* NNeuron::GetIonUnit(const char* name) {
    if (!name || !*name) {
        ReportError(1);
        return nullptr;
    }
    NIonUnit* u = FindIonUnit(name);
    if (!u) ReportError(3, name);
    return u;
}

void NNeuron::Reset() {
    for (const auto& u : IonUnits) u->Reset();
    LTZone->Reset();
    State = NState{};
}

namespace {

template <class T>
void PrefetchObject(const T* object) {
    const char* bytes = reinterpret_cast<const char*>(object);
    for (std::size_t offset = 0; offset < sizeof(T); offset += 64) __builtin_prefetch(bytes + offset);
}

} // namespace

void NNeuron::Prefetch(int distance) const {
    if (distance >= 3) {
        // The list of units lives apart from the neuron.
        const char* list = reinterpret_cast<const char*>(IonUnits.data());
        const char* end = reinterpret_cast<const char*>(IonUnits.data() + IonUnits.size());
        for (; list < end; list += 64) __builtin_prefetch(list);
        PrefetchObject(LTZone.get());
    } else if (distance == 2) {
        for (const auto& unit : IonUnits) PrefetchObject(unit.get());
    } else {
        for (const auto& unit : IonUnits) unit->Prefetch();
    }
}

template <class StepSynapsesOf>
void NNeuron::StepUnits(StepSynapsesOf stepSynapses) {
    // The units' own steps depend on their synapses only: taken after all synapses of a few
    // units, their divisions overlap instead of waiting for one another.
    constexpr std::size_t kBatch = 8;
    for (std::size_t first = 0; first < IonUnits.size(); first += kBatch) {
        const std::size_t count = std::min(kBatch, IonUnits.size() - first);
        double conductance[kBatch];
        for (std::size_t i = 0; i < count; ++i) conductance[i] = stepSynapses(first + i);
        for (std::size_t i = 0; i < count; ++i) IonUnits[first + i]->Integrate(conductance[i]);
    }
    UpdatePotentials();
}

void NNeuron::StepAllUnits() {
    StepUnits([this](std::size_t u) { return IonUnits[u]->StepSynapses(); });
}

void NNeuron::Calculate() {
    StepAllUnits();
    StepZone();
}

void NNeuron::UpdatePotentials() {
    double negative = 0, positive = 0;
    int negatives = 0, positives = 0;
    for (const auto& u : IonUnits) {
        const double x = u->Output(0);
        if (x < 0) {
            negative += x;
            ++negatives;
        } else if (x > 0) {
            positive += x;
            ++positives;
        }
    }
    // x / 1 is x: the usual neuron with one unit of each sign skips the divisions' latency.
    if (negatives > 1) negative /= negatives;
    if (positives > 1) positive /= positives;
    State.NegativePotential = negative;
    State.PositivePotential = positive;
}

void NNeuron::StepZone() {
    if (StepZoneQuietly()) TransferToConnectors();
}

bool NNeuron::StepZoneQuietly() {
    const double negative = State.NegativePotential;
    const double positive = State.PositivePotential;
    const bool wasFiring = LTZone->IsFiring();
    LTZone->SetInputPair(negative, positive);
    LTZone->Step(PulseLengthInSteps());
    return LTZone->IsFiring() && !wasFiring;
}

// ---- the split step ----

bool NNeuron::CanSplitStep() const { return typeid(*this) == typeid(NNeuron); }

void NNeuron::NSplit::NDelete::operator()(NSplit* split) const {
    split->~NSplit();
    ::operator delete(split);
}

std::unique_ptr<NNeuron::NSplit, NNeuron::NSplit::NDelete> NNeuron::NSplit::Make(std::uint32_t units, std::size_t levels) {
    const std::size_t bytes = sizeof(NSplit) + IndexBytes(units) + levels * sizeof(double);
    std::unique_ptr<NSplit, NDelete> split(new (::operator new(bytes)) NSplit);
    split->Units = units;
    std::memset(static_cast<void*>(split.get() + 1), 0, bytes - sizeof(NSplit));
    return split;
}

std::size_t NNeuron::PlanSplitStep(const NItemOrder& order, std::size_t position) {
    // Only a pulse sent earlier in the walk can arrive after the units took their step.
    std::vector<std::uint32_t> levelsAt(IonUnits.size(), NSplit::kNotSaved);
    std::size_t levels = IonUnits.size(), work = 0;
    for (std::size_t u = 0; u < IonUnits.size(); ++u) {
        const NIonUnit& unit = *IonUnits[u];
        work += unit.GetSynapseStatesCount() + 1;
        for (auto s = unit.GetSynapsesBegin(); s != unit.GetSynapsesEnd(); ++s)
            if (order.MaySendBefore((*s)->GetItem(), position)) {
                levelsAt[u] = static_cast<std::uint32_t>(levels);
                levels += unit.GetSynapseStatesCount();
                break;
            }
    }
    Split = NSplit::Make(static_cast<std::uint32_t>(IonUnits.size()), levels);
    std::copy(levelsAt.begin(), levelsAt.end(), Split->LevelsAt());
    Split->Position = static_cast<std::uint32_t>(position);
    return work;
}

void NNeuron::StepIndependentPart() {
    NSplit& split = *Split;
    // A unit a pulse may reach after its step keeps what the step started from.
    StepUnits([this, &split](std::size_t u) {
        const std::uint32_t at = split.LevelsAt()[u];
        if (at == NSplit::kNotSaved) return IonUnits[u]->StepSynapses();
        split.OutputBefore(u) = IonUnits[u]->Output(0);
        return IonUnits[u]->StepSynapses(split.Saved() + at);
    });
    split.Pending = true;
}

void NNeuron::StepOrderedPart() {
    NSplit& split = *Split;
    if (!split.Arrivals.empty()) RetakeUnits();
    split.Pending = false;
    StepZone();
}

bool NNeuron::StepAhead() {
    StepIndependentPart();
    NSplit& split = *Split;
    split.Guessed.clear();
    split.ZoneBefore = LTZone->Mark();
    split.Sends = StepZoneQuietly();
    return split.Sends;
}

bool NNeuron::StepInTurn() {
    StepAllUnits();
    NSplit& split = *Split;
    // Its turn is taken: a pulse that comes now is for the next step.
    split.Pending = false;
    split.Guessed.clear();
    split.Sends = StepZoneQuietly();
    return split.Sends;
}

void NNeuron::NotePulseArrival(const NBasicDescription* unit, NSynapse& synapse) {
    if (!Split || !Split->Pending) return;
    if (split_step_detail::Ahead) {
        // Stepped ahead, every zone has moved on: only a receiver whose turn is still to come counts.
        if (Split->Position <= split_step_detail::Turn) return;
        if (Split->Arrivals.empty() && Split->Guessed.empty()) split_step_detail::ScheduleTurn(Split->Position);
    }
    if (const std::uint32_t u = UnitIndexOf(unit); u != kNoUnit) NoteArrival(u, synapse);
}

std::uint32_t NNeuron::UnitIndexOf(const NBasicDescription* unit) const {
    for (std::size_t u = 0; u < IonUnits.size(); ++u)
        if (IonUnits[u].get() == unit) return static_cast<std::uint32_t>(u);
    return kNoUnit;
}

void NNeuron::NoteArrival(std::uint32_t unit, NSynapse& synapse) {
    if (split_step_detail::Guessing) Split->Guessed.push_back({&synapse, unit, synapse.GetMark()});
    else Split->Arrivals.emplace_back(unit, synapse.GetStateIndex());
}

bool NNeuron::ReceivesThrough(const NAbstractConnector& connector) const {
    const NBasicDescription* unit = connector.GetOwner();
    return unit && unit->GetOwner() == this && typeid(connector) == typeid(NSynapse) && UnitIndexOf(unit) != kNoUnit;
}

void NNeuron::ReceiveAhead(NAbstractConnector& connector) {
    auto& synapse = static_cast<NSynapse&>(connector);  // as ReceivesThrough found when planning
    NotePulseArrival(synapse.GetOwner(), synapse);
    synapse.TakePulse();
}

bool NNeuron::RetakeAhead() {
    NSplit& split = *Split;
    LTZone->Rewind(split.ZoneBefore);
    RetakeUnits();
    return StepZoneQuietly() != split.Sends;
}

void NNeuron::UndoAhead() {
    NSplit& split = *Split;
    split_step_detail::ClearKeeping(split.Arrivals, NSplit::kArrivalsKept);
    if (split.Guessed.empty()) return;
    // Every synapse has one sender and gets at most one pulse a step: the order does not matter.
    // A mark keeps only what the pulse changed; the step the pulse changed is taken again without it.
    std::vector<std::uint32_t> indices;
    for (std::size_t u = 0; u < IonUnits.size(); ++u) {
        indices.clear();
        for (const auto& g : split.Guessed)
            if (g.Unit == u) {
                g.Synapse->RestoreMark(g.Mark);
                indices.push_back(g.Synapse->GetStateIndex());
            }
        if (indices.empty() || split.LevelsAt()[u] == NSplit::kNotSaved) continue;
        std::sort(indices.begin(), indices.end());
        indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
        IonUnits[u]->Retake(indices.data(), indices.size(), split.LevelsOf(u), split.OutputBefore(u));
    }
    split.Guessed.clear();
    UpdatePotentials();
    LTZone->Rewind(split.ZoneBefore);
    split.Sends = StepZoneQuietly();
}

bool NNeuron::RetakeAgain(const NPulseChange* changes, std::size_t count) {
    NSplit& split = *Split;
    std::vector<std::pair<NSynapse*, std::uint32_t>> arrivals;
    for (const auto& g : split.Guessed) arrivals.emplace_back(g.Synapse, g.Unit);
    for (std::size_t k = 0; k < count; ++k) {
        auto* synapse = static_cast<NSynapse*>(changes[k].Connector);  // as ReceivesThrough found
        if (!changes[k].Sent) {
            std::erase_if(arrivals, [synapse](const auto& a) { return a.first == synapse; });
            continue;
        }
        if (const std::uint32_t u = UnitIndexOf(synapse->GetOwner()); u != kNoUnit) arrivals.emplace_back(synapse, u);
    }
    UndoAhead();
    for (const auto& [synapse, unit] : arrivals) {
        NoteArrival(unit, *synapse);
        synapse->TakePulse();
    }
    if (arrivals.empty()) return false;  // as stepped ahead
    return RetakeAhead();
}

void NNeuron::RetakeUnits() {
    NSplit& split = *Split;
    split_step_detail::CountRetake();
    // On a guess an arrival is noted with its mark alone: no second list per neuron.
    thread_local std::vector<std::pair<std::uint32_t, std::uint32_t>> guessed;
    auto& arrivals = split_step_detail::Guessing ? guessed : split.Arrivals;
    if (split_step_detail::Guessing) {
        guessed.clear();
        for (const auto& g : split.Guessed) guessed.emplace_back(g.Unit, g.Synapse->GetStateIndex());
    }
    std::sort(arrivals.begin(), arrivals.end());
    arrivals.erase(std::unique(arrivals.begin(), arrivals.end()), arrivals.end());
    thread_local std::vector<std::uint32_t> indices;
    for (std::size_t first = 0; first < arrivals.size();) {
        const std::uint32_t u = arrivals[first].first;
        indices.clear();
        for (; first < arrivals.size() && arrivals[first].first == u; ++first) indices.push_back(arrivals[first].second);
        // The plan saves the levels of every unit a pulse can reach before its turn.
        if (split.LevelsAt()[u] == NSplit::kNotSaved) {
            split_step_detail::CountUnforeseenArrival();
            continue;
        }
        IonUnits[u]->Retake(indices.data(), indices.size(), split.LevelsOf(u), split.OutputBefore(u));
    }
    // A burst's turns in order leave every neuron arrivals it will not see again for long.
    const bool burst = split_step_detail::Ahead && !split_step_detail::Guessing;
    split_step_detail::ClearKeeping(arrivals, burst ? 0 : NSplit::kArrivalsKept);
    UpdatePotentials();
}

} // namespace talvero
