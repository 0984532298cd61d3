#include "fast/NFastEngine.h"

#include <cmath>
#include <cstring>
#include <typeinfo>
#include <unordered_map>

#include "elements/NAfferentNeuron.h"
#include "elements/NEyeMuscle.h"
#include "elements/NIonUnit.h"
#include "elements/NLTZone.h"
#include "elements/NMuscle.h"
#include "elements/NNerveFibre.h"
#include "elements/NNeuron.h"
#include "elements/NSimpleAItem.h"
#include "elements/NSimpleConnector.h"
#include "elements/NSynapse.h"
#include "kernel/NFnvHash.h"
#include "kernel/NModel.h"
#include "kernel/NNet.h"
#include "sources/NASinusGenerator.h"
#include "sources/NAStepGenerator.h"
#include "sources/NATimeWatch.h"
#include "sources/NFrequencyWatch.h"
#include "sources/NGenerator.h"
#include "sources/NTimeWatch.h"

namespace talvero {

// The one door to the objects' private state.
struct NFastAccess {
    static NSynapseBlock& Block(NIonUnit& unit) { return unit.SynapseStates; }
    static const NSynapseBlock* Block(const NSynapse& synapse) { return synapse.Lone ? nullptr : &synapse.UnitBlock(); }
    static std::uint32_t Index(const NSynapse& synapse) { return synapse.GetStateIndex(); }
    static double& Output(NIonUnit& unit) { return unit.Output0; }
    static double RC(const NIonUnit& unit) { return unit.RC; }
    static auto& State(NNeuron& neuron) { return neuron.State; }
    static auto& State(NLTZone& zone) { return zone.State; }
    static double* Values(NLTZone& zone) { return zone.Values; }  // inputs 0, 1 and output 0
    static auto& State(NGenerator& generator) { return generator.State; }
    static double Frequency(const NGenerator& generator) { return generator.Params.Frequency; }
    static bool BeginStep(NAbstractSource& source) { return source.BeginStep(); }
    static void AdvanceClock(NModel& model) {
        model.CurrentTime = model.CurrentTime + static_cast<NTime>(model.TimeStep);
        ++model.StepCount;
    }
    static_assert(sizeof(NFastEngine::Synapse::PulseStart) == NConnector::kTimeBytes);
    static void GetPulseStart(const NConnector& c, unsigned char* to) { std::memcpy(to, c.PulseStartTime, NConnector::kTimeBytes); }
    static void SetPulseStart(NConnector& c, const unsigned char* from) { std::memcpy(c.PulseStartTime, from, NConnector::kTimeBytes); }
};

namespace {

constexpr std::int32_t kDissociation = static_cast<std::int32_t>(NSynapsePhase::Dissociation);
constexpr std::int32_t kSecretion = static_cast<std::int32_t>(NSynapsePhase::Secretion);
// With the factor rescaled below 1e-200, one step leaves it above 1e-250: w stays finite.
constexpr double kSmallestFactorStep = 1e-50;

std::string Describe(const NBasicDescription& object, const char* reason) { return object.FullName() + " (" + reason + ")"; }

bool IsFiniteAll(std::initializer_list<double> values) {
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

} // namespace

// A synapse's place in the arrays: its unit's first place and its index in the unit's block.
struct NFastEngine::Lookup {
    std::unordered_map<const NSynapseBlock*, std::uint32_t> FirstOfBlock;
    bool Find(NAbstractConnector* c, std::uint32_t& index) const {
        if (typeid(*c) != typeid(NSynapse)) return false;
        const auto& synapse = static_cast<const NSynapse&>(*c);
        const auto found = FirstOfBlock.find(NFastAccess::Block(synapse));
        if (found == FirstOfBlock.end()) return false;
        index = found->second + NFastAccess::Index(synapse);
        return true;
    }
};

namespace {

// Classes whose own step is already in double precision and that send no pulse: the engine calls
// it where the exact step would. Watches too, where a net holds them.
bool StepsItself(const NObject& object) {
    const std::type_info& type = typeid(object);
    return type == typeid(NMuscle) || type == typeid(NEyeMuscle) || type == typeid(NSimpleAItem) ||
           type == typeid(NASinusGenerator) || type == typeid(NAStepGenerator) || type == typeid(NTimeWatch) ||
           type == typeid(NATimeWatch) || type == typeid(NFrequencyWatch);
}

} // namespace

std::unique_ptr<NFastEngine> NFastEngine::Compile(NModel& model, std::string& why) {
    std::unique_ptr<NFastEngine> engine(new NFastEngine(model));
    for (auto it = model.GetSourcesBegin(); it != model.GetSourcesEnd(); ++it) {
        NAbstractSource* source = it->get();
        if (typeid(*source) == typeid(NGenerator)) {
            engine->SourcePlan.push_back({StepKind::Generator, static_cast<std::uint32_t>(engine->Generators.size())});
            engine->Generators.push_back(static_cast<NGenerator*>(source));
        } else if (StepsItself(*source)) {
            engine->SourcePlan.push_back({StepKind::Object, 0, 0, source});
        } else {
            why = Describe(*source, "a source of a class without a fast form");
            return nullptr;
        }
    }
    if (model.GetNet() && !engine->CompileNet(model.GetNet(), why)) return nullptr;
    engine->AllocateSynapses();

    Lookup lookup;
    lookup.FirstOfBlock.reserve(engine->UnitObjects.size());
    for (std::uint32_t u = 0; u < engine->UnitObjects.size(); ++u)
        lookup.FirstOfBlock.emplace(&NFastAccess::Block(*engine->UnitObjects[u]), engine->UnitRanges[u].FirstSynapse);

    // The targets of every item that sends pulses, in the order of its list of items.
    auto targetsOfAll = [&](const auto& items, std::vector<Targets>& targets) {
        targets.resize(items.size());
        for (std::size_t i = 0; i < items.size(); ++i)
            if (!engine->CollectTargets(*items[i], lookup, targets[i], why)) return false;
        return true;
    };
    if (!targetsOfAll(engine->Neurons, engine->NeuronTargets) ||
        !targetsOfAll(engine->Generators, engine->GeneratorTargets) ||
        !targetsOfAll(engine->FibreObjects, engine->FibreTargets) ||
        !targetsOfAll(engine->AfferentObjects, engine->AfferentTargets))
        return nullptr;

    engine->SyncFromModel();
    for (const SynapseSet& c : engine->Sets)
        if (!IsFiniteAll({c.Rate[0], c.Rate[1], c.Rate[2], c.ReciprocalK, c.ReciprocalRs})) {
            // Found again to name it.
            for (NIonUnit* unit : engine->UnitObjects)
                for (auto it = unit->GetSynapsesBegin(); it != unit->GetSynapsesEnd(); ++it)
                    if (std::uint32_t index; lookup.Find(it->get(), index) && &engine->Sets[engine->SetOf[index]] == &c) {
                        why = Describe(**it, "its constants are beyond double precision at this time step");
                        return nullptr;
                    }
        }
    auto zoneFinite = [&](const ZoneConstants& z, NLTZone& zone) {
        if (IsFiniteAll({z.RestRate1, z.RestRate2, z.FireRate1, z.FireRate2, z.MembraneRate})) return true;
        why = Describe(zone, "its time constants are beyond double precision at this time step");
        return false;
    };
    for (std::size_t n = 0; n < engine->Neurons.size(); ++n)
        if (!zoneFinite(engine->ZoneConsts[engine->Zones[n].Constants], *engine->Neurons[n]->GetLTZone())) return nullptr;
    for (std::size_t a = 0; a < engine->AfferentObjects.size(); ++a)
        if (!zoneFinite(engine->ZoneConsts[engine->AfferentZones[a].Constants], *engine->AfferentObjects[a]->GetLTZone()))
            return nullptr;
    return engine;
}

bool NFastEngine::CompileNet(NAbstractNet* net, std::string& why) {
    if (typeid(*net) != typeid(NNet)) {
        why = Describe(*net, "a net of a class without a fast form");
        return false;
    }
    auto* plain = static_cast<NNet*>(net);
    for (auto it = plain->GetObjectsBegin(); it != plain->GetObjectsEnd(); ++it) {
        NObject* object = it->get();
        const std::type_info& type = typeid(*object);
        if (type == typeid(NNeuron)) {
            AddNeuron(dynamic_cast<NNeuron*>(object));
        } else if (type == typeid(NGenerator)) {
            NetPlan.push_back({StepKind::Generator, static_cast<std::uint32_t>(Generators.size())});
            Generators.push_back(dynamic_cast<NGenerator*>(object));
        } else if (type == typeid(NNerveFibre)) {
            NetPlan.push_back({StepKind::Fibre, static_cast<std::uint32_t>(FibreObjects.size())});
            FibreObjects.push_back(dynamic_cast<NNerveFibre*>(object));
        } else if (type == typeid(NAfferentNeuron)) {
            NetPlan.push_back({StepKind::Afferent, static_cast<std::uint32_t>(AfferentObjects.size())});
            AfferentObjects.push_back(dynamic_cast<NAfferentNeuron*>(object));
        } else if (StepsItself(*object)) {
            NetPlan.push_back({StepKind::Object, 0, 0, object});
        } else if (auto* inner = dynamic_cast<NAbstractNet*>(object)) {
            if (!CompileNet(inner, why)) return false;
        } else {
            why = Describe(*object, "an object of a class without a fast form");
            return false;
        }
    }
    return true;
}

void NFastEngine::AddNeuron(NNeuron* neuron) {
    if (NeuronUnits.empty()) NeuronUnits.push_back(0);
    const auto index = static_cast<std::uint32_t>(Neurons.size());
    if (!NetPlan.empty() && NetPlan.back().Kind == StepKind::Neurons && NetPlan.back().End == index) ++NetPlan.back().End;
    else NetPlan.push_back({StepKind::Neurons, index, index + 1});
    Neurons.push_back(neuron);
    for (auto it = neuron->GetIonUnitsBegin(); it != neuron->GetIonUnitsEnd(); ++it) {
        NIonUnit* unit = it->get();
        const std::uint32_t first = UnitRanges.empty() ? 0 : UnitRanges.back().EndSynapse;
        UnitObjects.push_back(unit);
        UnitRanges.push_back({first, first + static_cast<std::uint32_t>(unit->GetSynapsesCount())});
    }
    NeuronUnits.push_back(static_cast<std::uint32_t>(UnitRanges.size()));
}

// The synapses' records in one allocation, once every unit is known.
void NFastEngine::AllocateSynapses() {
    Syn.assign(UnitRanges.empty() ? 0 : UnitRanges.back().EndSynapse, Synapse{0, 0, 0, kNotLazy, kDissociation, {}});
    for (std::uint32_t u = 0; u < UnitRanges.size(); ++u)
        for (std::uint32_t i = UnitRanges[u].FirstSynapse; i < UnitRanges[u].EndSynapse; ++i) Syn[i].Unit = u;
}

bool NFastEngine::CollectTargets(const NAbstractItem& item, const Lookup& lookup, Targets& targets, std::string& why) {
    targets.First = targets.End = static_cast<std::uint32_t>(SynapseTargets.size());
    targets.FirstOther = targets.EndOther = static_cast<std::uint32_t>(OtherTargets.size());
    for (auto it = item.GetConnectorsBegin(); it != item.GetConnectorsEnd(); ++it) {
        NAbstractConnector* c = *it;
        if (std::uint32_t index; lookup.Find(c, index)) {
            SynapseTargets.push_back(index);
            continue;
        }
        // Any other input (of a gate, a fibre, a muscle) keeps its own object, which its owner reads.
        if (!c->AsPulseConnector()) {
            why = Describe(*c, "a connector of a class without a fast form");
            return false;
        }
        OtherTargets.push_back(c);
    }
    targets.End = static_cast<std::uint32_t>(SynapseTargets.size());
    targets.EndOther = static_cast<std::uint32_t>(OtherTargets.size());
    return true;
}

std::uint32_t NFastEngine::SetFor(std::uint32_t exactSet) {
    if (exactSet >= SetByExact.size()) SetByExact.resize(exactSet + 1, kMixed);
    std::uint32_t& mine = SetByExact[exactSet];
    if (mine != kMixed) return mine;
    const NSynapseConstants& e = NSynapseConstantsTable::Instance()[exactSet];
    const NTime dt = GetTimeStep();
    const double taus[3] = {e.Params.DissociationTC, e.Params.SecretionTC, e.LoadedTC};
    SynapseSet c{};
    for (int phase = 0; phase < 3; ++phase) {
        const double d = static_cast<double>(taus[phase] / dt + 0.5L);
        c.Rate[phase] = 1 / d;
    }
    // A loaded phase with no time constant never runs.
    if (e.LoadedTC == 0) c.Rate[2] = 0;
    c.ReciprocalK = 1 / e.Params.K;
    c.Ri = e.Params.Ri;
    c.Rs = e.Params.Rs;
    c.ReciprocalRs = 1 / e.Params.Rs;
    c.Inert = e.Inert;
    if (c.Inert) c.ReciprocalK = c.ReciprocalRs = 0;
    // y / Rs as y * (1 / Rs) stays finite and needs no test for that.
    c.Plain = !c.Inert && std::isfinite(c.ReciprocalK) && std::isfinite(c.ReciprocalRs) &&
              std::isfinite(c.ReciprocalRs * c.ReciprocalK);
    mine = static_cast<std::uint32_t>(Sets.size());
    Sets.push_back(c);
    return mine;
}

void NFastEngine::SyncFromModel() {
    ClockGeneration = GetClockGeneration();
    Sets.clear();
    SetByExact.clear();
    const std::size_t synapses = Syn.size();
    SetOf.assign(synapses, 0);
    Active.clear();
    ActiveGone = 0;
    Units.assign(UnitObjects.size(), Unit{});
    ActiveSums.assign(UnitObjects.size(), 0);
    UnitConsts.Clear();
    StepFront = 0;

    for (std::size_t u = 0; u < Units.size(); ++u) {
        NIonUnit& object = *UnitObjects[u];
        const UnitRange& range = UnitRanges[u];
        Units[u].Output = NFastAccess::Output(object);
        NSynapseBlock& block = NFastAccess::Block(object);
        std::uint32_t set = kMixed;
        auto synapse = object.GetSynapsesBegin();
        for (std::uint32_t i = range.FirstSynapse, k = 0; i < range.EndSynapse; ++i, ++k, ++synapse) {
            const NSynapseState& s = block.State(k);
            Syn[i].Level = s.Transmitter;
            Syn[i].Counter = s.PulseCounter;
            Syn[i].Phase = static_cast<std::int8_t>(s.Phase);
            Syn[i].Slot = kNotLazy;
            SetOf[i] = SetFor(s.Set);
            if (s.PulseCounter != 0) NFastAccess::GetPulseStart(**synapse, Syn[i].PulseStart);
            if (i == range.FirstSynapse) set = SetOf[i];
            else if (set != SetOf[i]) set = kMixed;
        }
        UnitConstants c{object.GetParams().R, NFastAccess::RC(object), object.GetParams().MaxIntensity, 0, 0, set, 0};
        // A dissociation that leaves (almost) nothing of a level in one step would drive the pool's
        // factor to zero, which w = level / factor cannot take: such synapses step one by one.
        c.Lazy = set <= kMaxPooledSet && Sets[set].Plain && std::fabs(1 - Sets[set].Rate[kDissociation]) >= kSmallestFactorStep;
        if (c.Lazy) {
            c.Rest = Sets[set].Rate[kDissociation];
            c.Gain = Sets[set].ReciprocalK * Sets[set].ReciprocalRs;
        }
        Units[u].Constants = UnitConsts.Keep(c);
        Units[u].Set = set;
        if (c.Lazy) {
            BuildPool(static_cast<std::uint32_t>(u));
            StepPool(Units[u], c);  // a step ahead, as after a turn
        }
    }

    PairedLazy.resize(Neurons.size());
    for (std::size_t n = 0; n < Neurons.size(); ++n)
        PairedLazy[n] = NeuronUnits[n + 1] - NeuronUnits[n] == 2 && UnitConsts[Units[NeuronUnits[n]].Constants].Lazy &&
                        UnitConsts[Units[NeuronUnits[n] + 1].Constants].Lazy;

    ZoneConsts.Clear();
    Zones.resize(Neurons.size());
    for (std::size_t n = 0; n < Neurons.size(); ++n) {
        NNeuron& neuron = *Neurons[n];
        Zones[n] = ZoneStateOf(*neuron.GetLTZone());
        Zones[n].Negative = neuron.GetNegativePotential();
        Zones[n].Positive = neuron.GetPositivePotential();
    }
    // Four paired neurons from n on whose units, place by place, and zones share their constants
    // take their turns side by side.
    FourAlike.assign(Neurons.size(), 0);
    for (std::size_t n = 0; n + 4 <= Neurons.size(); ++n) {
        bool alike = true;
        for (std::size_t k = 0; k < 4 && alike; ++k) {
            const std::uint32_t u = NeuronUnits[n + k], u0 = NeuronUnits[n];
            alike = PairedLazy[n + k] && Units[u].Constants == Units[u0].Constants &&
                    Units[u + 1].Constants == Units[u0 + 1].Constants && Zones[n + k].Constants == Zones[n].Constants;
        }
        FourAlike[n] = alike;
    }
    AfferentZones.resize(AfferentObjects.size());
    for (std::size_t a = 0; a < AfferentObjects.size(); ++a) {
        NLTZone& zone = *AfferentObjects[a]->GetLTZone();
        AfferentZones[a] = ZoneStateOf(zone);
        AfferentZones[a].Negative = NFastAccess::Values(zone)[0];  // 1 - exp(-Sensitivity x)
    }
    SyncFibresFromModel();
    Synced = true;
}

template <class T> std::uint32_t NFastEngine::SharedTable<T>::Keep(const T& value) {
    // Mostly the last one: the objects of a net come in runs of the same kind.
    if (!Values.empty() && std::memcmp(&Values.back(), &value, sizeof value) == 0)
        return static_cast<std::uint32_t>(Values.size() - 1);
    const std::uint64_t hash = FnvHash(&value, sizeof value);
    for (auto [it, end] = Index.equal_range(hash); it != end; ++it)
        if (std::memcmp(&Values[it->second], &value, sizeof value) == 0) return it->second;
    Values.push_back(value);
    Index.emplace(hash, static_cast<std::uint32_t>(Values.size() - 1));
    return static_cast<std::uint32_t>(Values.size() - 1);
}

NFastEngine::ZoneState NFastEngine::ZoneStateOf(NLTZone& zone) {
    const NTime dt = GetTimeStep();
    const NLTZoneParameters& p = zone.GetParams();
    const auto& s = NFastAccess::State(zone);
    const ZoneConstants c{static_cast<double>(dt / (dt / 2 + p.PT1)), static_cast<double>(dt / (dt / 2 + p.PT2)),
                          static_cast<double>(dt / (dt / 2 + p.AT1)), static_cast<double>(dt / (dt / 2 + p.AT2)),
                          1 / static_cast<double>(s.MembraneTC / dt + 0.5L), -p.K, p.FireThreshold};
    return ZoneState{s.Filter1, s.Filter2, s.Membrane, 0, 0, s.PulseCounter, ZoneConsts.Keep(c), zone.IsFiring()};
}

// The zone's time constant of the membrane is its own: the engine only reads it.
void NFastEngine::PutZoneState(NLTZone& zone, const ZoneState& z) {
    auto& s = NFastAccess::State(zone);
    s.Filter1 = z.Filter1;
    s.Filter2 = z.Filter2;
    s.Membrane = z.Membrane;
    s.PulseCounter = z.PulseCounter;
    double* values = NFastAccess::Values(zone);
    values[0] = z.Negative;
    values[1] = z.Positive;
    values[2] = z.Firing ? 1.0 : 0.0;
}

// A fibre's state goes through its saved form: the counter, the position, the cell count and a
// byte per cell.
void NFastEngine::SyncFibresFromModel() {
    Fibres.resize(FibreObjects.size());
    FibreCells.clear();
    std::vector<char> buffer;
    for (std::size_t f = 0; f < FibreObjects.size(); ++f) {
        NNerveFibre& object = *FibreObjects[f];
        buffer.resize(static_cast<std::size_t>(object.GetStateSize()));
        object.SaveState(buffer.data());
        std::int32_t head[3];
        std::memcpy(head, buffer.data(), sizeof head);
        Fibres[f] = Fibre{head[0], head[1], head[2], static_cast<std::uint32_t>(FibreCells.size())};
        FibreCells.insert(FibreCells.end(), buffer.begin() + sizeof head, buffer.end());
    }
}

void NFastEngine::SyncFibresToModel() {
    std::vector<char> buffer;
    for (std::size_t f = 0; f < FibreObjects.size(); ++f) {
        const Fibre& s = Fibres[f];
        const std::int32_t head[3] = {s.PulseCounter, s.Position, s.Cells};
        buffer.resize(sizeof head + static_cast<std::size_t>(s.Cells));
        std::memcpy(buffer.data(), head, sizeof head);
        if (s.Cells)
            std::memcpy(buffer.data() + sizeof head, FibreCells.data() + s.FirstCell, static_cast<std::size_t>(s.Cells));
        FibreObjects[f]->LoadState(buffer.data());
    }
}

// Every synapse of a lazy unit that only decays goes into the pool, the others are active.
void NFastEngine::BuildPool(std::uint32_t u) {
    Unit& unit = Units[u];
    const SynapseSet& c = Sets[unit.Set];
    for (std::uint32_t i = UnitRanges[u].FirstSynapse; i < UnitRanges[u].EndSynapse; ++i) {
        if (Syn[i].Counter == 0 && Syn[i].Phase == kDissociation && Syn[i].Level * c.ReciprocalK < 1) {
            Syn[i].Phase = kPooled;
            unit.Sum += Syn[i].Level;
            ++unit.Count;
            Syn[i].Slot = kNoEntry;
        } else {
            Syn[i].Slot = static_cast<std::uint32_t>(Active.size());
            Active.push_back({Syn[i].Level, Syn[i].Level, i, u, Syn[i].Counter, static_cast<std::uint16_t>(unit.Set), Syn[i].Phase,
                              ActiveMark::Fresh});
        }
    }
}

// Decay only shrinks; before it leaves the range of doubles, the pool's w take it in.
void NFastEngine::Renormalise(std::uint32_t u) {
    Unit& unit = Units[u];
    double sum = 0;
    for (std::uint32_t i = UnitRanges[u].FirstSynapse; i < UnitRanges[u].EndSynapse; ++i)
        if (Syn[i].Phase == kPooled) {
            Syn[i].Level *= unit.Decay;
            sum += Syn[i].Level;
        }
    unit.Sum = sum;
    unit.Decay = 1;
}

const NFastEngine::ActiveSynapse* NFastEngine::EntryOf(std::uint32_t s) const {
    if (Syn[s].Slot == kNotLazy || Syn[s].Phase == kPooled) return nullptr;
    return &Active[Syn[s].Slot];
}

// Between steps every pool is a step ahead (its neuron's turn took it on): the factor of now is
// DecayBefore.
double NFastEngine::LevelOf(std::uint32_t s) const {
    if (Syn[s].Phase == kPooled) return Syn[s].Level * Units[Syn[s].Unit].DecayBefore;
    const ActiveSynapse* a = EntryOf(s);
    return a ? a->After : Syn[s].Level;
}

double NFastEngine::Conductance(double m, const SynapseSet& c) const {
    if (m == 0 || c.Inert) return 0;
    const double y = m * c.ReciprocalK;
    const double g = y >= 1 ? y / ((y - 1) * c.Ri + c.Rs) : y * c.ReciprocalRs;
    return std::isfinite(g) ? g : 0.0;
}

void NFastEngine::SyncToModel() {
    if (!Synced) return;
    for (std::size_t u = 0; u < Units.size(); ++u) {
        NIonUnit& object = *UnitObjects[u];
        NFastAccess::Output(object) = Units[u].Output;
        NSynapseBlock& block = NFastAccess::Block(object);
        auto synapse = object.GetSynapsesBegin();
        for (std::uint32_t i = UnitRanges[u].FirstSynapse, k = 0; i < UnitRanges[u].EndSynapse; ++i, ++k, ++synapse) {
            NSynapseState& s = block.State(k);
            s.Transmitter = LevelOf(i);
            s.Conductance = Conductance(s.Transmitter, Sets[SetOf[i]]);
            const ActiveSynapse* a = EntryOf(i);
            s.PulseCounter = a ? a->Counter : Syn[i].Counter;
            s.Phase = static_cast<std::uint32_t>(a ? a->Phase : Syn[i].Phase == kPooled ? kDissociation : Syn[i].Phase);
            if (s.PulseCounter != 0) NFastAccess::SetPulseStart(**synapse, Syn[i].PulseStart);
        }
    }
    for (std::size_t n = 0; n < Neurons.size(); ++n) {
        NNeuron& neuron = *Neurons[n];
        PutZoneState(*neuron.GetLTZone(), Zones[n]);
        auto& state = NFastAccess::State(neuron);
        state.NegativePotential = Zones[n].Negative;
        state.PositivePotential = Zones[n].Positive;
    }
    for (std::size_t a = 0; a < AfferentObjects.size(); ++a) PutZoneState(*AfferentObjects[a]->GetLTZone(), AfferentZones[a]);
    SyncFibresToModel();
}

std::size_t NFastEngine::MemoryBytes() const {
    return Neurons.capacity() * sizeof(NNeuron*) + NeuronUnits.capacity() * 4 +
           ZoneConsts.Values.capacity() * sizeof(ZoneConstants) + Active.capacity() * sizeof(ActiveSynapse) +
           ActiveSums.capacity() * sizeof(double) + Joining.capacity() * 4 +
           Zones.capacity() * sizeof(ZoneState) + PairedLazy.capacity() + FourAlike.capacity() +
           NeuronTargets.capacity() * sizeof(Targets) +
           UnitObjects.capacity() * sizeof(NIonUnit*) + Units.capacity() * sizeof(Unit) +
           UnitRanges.capacity() * sizeof(UnitRange) + UnitConsts.Values.capacity() * sizeof(UnitConstants) +
           Syn.capacity() * sizeof(Synapse) + SetOf.capacity() * 4 + Sets.capacity() * sizeof(SynapseSet) +
           SetByExact.capacity() * 4 + Generators.capacity() * sizeof(NGenerator*) +
           GeneratorTargets.capacity() * sizeof(Targets) + SynapseTargets.capacity() * 4 +
           OtherTargets.capacity() * sizeof(NAbstractConnector*) + FibreObjects.capacity() * sizeof(NNerveFibre*) +
           Fibres.capacity() * sizeof(Fibre) + FibreCells.capacity() + FibreTargets.capacity() * sizeof(Targets) +
           AfferentObjects.capacity() * sizeof(NAfferentNeuron*) + AfferentZones.capacity() * sizeof(ZoneState) +
           AfferentTargets.capacity() * sizeof(Targets) +
           (SourcePlan.capacity() + NetPlan.capacity()) * sizeof(StepEntry);
}

void NFastEngine::Deliver(const Targets& targets, int pulseSteps) {
    const NTime time = GetCurrentTime();
    unsigned char now[sizeof(Synapse::PulseStart)];
    std::memcpy(now, &time, sizeof now);
    // The targets lie anywhere: all their records are asked for at once, and each one's unit and
    // entry a few targets ahead, once its record is at hand.
    for (std::uint32_t t = targets.First; t < targets.End; ++t) __builtin_prefetch(&Syn[SynapseTargets[t]], 1);
    constexpr std::uint32_t kAhead = 4;
    for (std::uint32_t t = targets.First; t < targets.End; ++t) {
        if (t + kAhead < targets.End) {
            const Synapse& ahead = Syn[SynapseTargets[t + kAhead]];
            if (ahead.Slot != kNotLazy) {
                __builtin_prefetch(&Units[ahead.Unit], 1);
                if (ahead.Slot < Active.size()) __builtin_prefetch(&Active[ahead.Slot], 1);
            }
        }
        const std::uint32_t s = SynapseTargets[t];
        std::memcpy(Syn[s].PulseStart, now, sizeof now);
        if (Syn[s].Slot != kNotLazy) {
            DeliverToLazy(s, pulseSteps);
        } else {
            Syn[s].Counter = pulseSteps;
            Syn[s].Phase = kSecretion;
        }
    }
    for (std::uint32_t t = targets.FirstOther; t < targets.EndOther; ++t) OtherTargets[t]->Transfer();
}

namespace {
constexpr double kTargets[3] = {0, 0.5, 1};
// Far above the smallest double: w = level / Decay stays finite for any level up to 1.
constexpr double kSmallestDecay = 1e-200;
} // namespace

// The conductance of an active synapse at y = level / K, the same whenever it is taken again.
[[gnu::always_inline]] inline double NFastEngine::ActiveConductance(double y, const SynapseSet& c) {
    return y >= 1 ? y / ((y - 1) * c.Ri + c.Rs) : y * c.ReciprocalRs;
}

// One step of an active synapse from its level before the step. True for one that decays only
// from here: it is to join the pool (JoinPool), whose sum counts it from this step on.
// The arrays come as pointers: the pass's stores of bytes could otherwise alias the vectors' own.
[[gnu::always_inline]] inline bool NFastEngine::StepActive(ActiveSynapse& a, const SynapseSet* sets, double* sums) {
    const SynapseSet& c = sets[a.Set];
    const std::int32_t n = a.Counter;
    const int kind = n == 0 ? 0 : (n == 1 ? 1 : 2);
    std::int32_t phase = a.Phase;
    if (kind == 1) a.Phase = static_cast<std::int8_t>(phase = kDissociation);
    a.Counter = n - (kind != 0);
    const double level = a.Before + (kTargets[kind] - a.Before) * c.Rate[phase];
    const double y = level * c.ReciprocalK;
    a.After = level;
    if (a.Counter == 0 && phase == kDissociation && y < 1) [[unlikely]] {
        a.Mark = ActiveMark::Pooled;
        return true;
    }
    sums[a.Unit] += ActiveConductance(y, c);
    return false;
}

[[gnu::always_inline]] inline void NFastEngine::JoinPool(const ActiveSynapse& a) {
    Unit& unit = Units[a.Unit];
    Synapse& s = Syn[a.Synapse];
    s.Level = a.After / unit.Decay;
    s.Phase = kPooled;
    unit.Sum += s.Level;
    ++unit.Count;
}

// The first part of a step: every active synapse's step. Entries that joined a pool in the step
// before become holes; the holes stay until they are as many as the rest, so that most steps
// write nothing to the synapses' records. Closing up keeps the order, and with it the order in
// which the conductances of a unit add up.
void NFastEngine::StepActiveSynapses() {
    StepFront = 0;
    if (ActiveGone > Active.size() / 2) CloseUpActive();
    const SynapseSet* sets = Sets.data();
    double* sums = ActiveSums.data();
    ActiveSynapse* const begin = Active.data();
    ActiveSynapse* const end = begin + Active.size();
    std::uint32_t gone = 0;
    Joining.clear();
    for (ActiveSynapse* a = begin; a != end; ++a) {
        if (a->Mark != ActiveMark::Live) [[unlikely]] {
            if (a->Mark == ActiveMark::Pooled) {
                a->Mark = ActiveMark::Gone;
                ++gone;
            }
            if (a->Mark == ActiveMark::Gone) continue;
            a->Mark = ActiveMark::Live;
        }
        a->Before = a->After;
        if (StepActive(*a, sets, sums)) [[unlikely]] Joining.push_back(static_cast<std::uint32_t>(a - begin));
    }
    ActiveGone += gone;
    // Nothing in the pass reads what joining writes, and each pool takes its synapses in the same
    // order: they join after it, their units and records asked for a few ahead.
    constexpr std::size_t kAhead = 6;
    const std::size_t joining = Joining.size();
    for (std::size_t j = 0; j < joining; ++j) {
        if (j + kAhead < joining) {
            const ActiveSynapse& ahead = Active[Joining[j + kAhead]];
            __builtin_prefetch(&Units[ahead.Unit], 1);
            __builtin_prefetch(&Syn[ahead.Synapse], 1);
        }
        JoinPool(Active[Joining[j]]);
    }
}

void NFastEngine::CloseUpActive() {
    std::size_t kept = 0;
    for (std::size_t k = 0; k < Active.size(); ++k) {
        if (Active[k].Mark == ActiveMark::Gone) continue;
        if (k != kept) {
            Active[kept] = Active[k];
            Syn[Active[kept].Synapse].Slot = static_cast<std::uint32_t>(kept);
        }
        ++kept;
    }
    Active.resize(kept);
    ActiveGone = 0;
    // A burst (all neurons firing at once, as at the start) leaves room for every synapse.
    if (Active.capacity() > 4 * kept + 4096) Active.shrink_to_fit();
}

// A pulse reaching a synapse of a lazy unit. If its neuron has not taken this step yet, the
// synapse's step is taken again from its level before it, now with the pulse.
void NFastEngine::DeliverToLazy(std::uint32_t s, int pulseSteps) {
    const std::uint32_t u = Syn[s].Unit;
    Unit& unit = Units[u];
    const bool stepped = u < StepFront;
    std::uint32_t k = Syn[s].Slot;
    if (Syn[s].Phase == kPooled) {
        const double w = Syn[s].Level;
        unit.Sum = --unit.Count == 0 ? 0 : unit.Sum - w;
        // Only an entry that joined the pool in this step still holds the synapse.
        if (k >= Active.size() || Active[k].Synapse != s || Active[k].Mark == ActiveMark::Gone) {
            k = Syn[s].Slot = static_cast<std::uint32_t>(Active.size());
            // A stepped unit's pool is a step on already; only the level after this step counts.
            const double after = w * (stepped ? unit.DecayBefore : unit.Decay);
            Active.push_back({stepped ? after : w * unit.DecayBefore, after, s, u, 0, static_cast<std::uint16_t>(unit.Set),
                              kSecretion, ActiveMark::Fresh});
        }
        Syn[s].Phase = kSecretion;
    }
    ActiveSynapse& a = Active[k];
    a.Counter = pulseSteps;
    a.Phase = kSecretion;
    if (stepped) {  // it steps with the pulse from the next step on
        if (a.Mark != ActiveMark::Live) a.Mark = ActiveMark::Fresh;
        return;
    }
    if (a.Mark == ActiveMark::Live) {
        const SynapseSet& c = Sets[a.Set];
        ActiveSums[u] -= ActiveConductance(a.After * c.ReciprocalK, c);
    }
    a.Mark = ActiveMark::Live;
    if (StepActive(a, Sets.data(), ActiveSums.data())) JoinPool(a);
}

[[gnu::always_inline]] inline double NFastEngine::StepUnitSynapses(std::uint32_t u) {
    double sum = 0;
    for (std::uint32_t i = UnitRanges[u].FirstSynapse; i < UnitRanges[u].EndSynapse; ++i) {
        const SynapseSet& c = Sets[SetOf[i]];
        Synapse& s = Syn[i];
        const std::int32_t n = s.Counter;
        double level = s.Level;
        if (n == 0 && level == 0) continue;  // at rest: nothing changes and it conducts nothing
        const int kind = n == 0 ? 0 : (n == 1 ? 1 : 2);
        if (kind == 1) s.Phase = kDissociation;
        s.Counter = n - (kind != 0);
        level += (kTargets[kind] - level) * c.Rate[s.Phase];
        s.Level = level;
        sum += Conductance(level, c);
    }
    return sum;
}

[[gnu::always_inline]] inline bool NFastEngine::StepZone(ZoneState& z, double negative, double positive,
                                                         int pulseSteps) {
    const ZoneConstants& c = ZoneConsts[z.Constants];
    z.Negative = negative;
    z.Positive = positive;
    const bool wasFiring = z.Firing;
    if (z.PulseCounter == 0) {
        z.Filter1 += (negative - z.Filter1) * c.RestRate1;
        z.Filter2 += (positive - z.Filter2) * c.RestRate2;
        z.Membrane += (z.Filter1 + z.Filter2 - z.Membrane) * c.MembraneRate;
        if (z.Membrane > c.Threshold) z.PulseCounter = pulseSteps;
    } else {
        z.Filter1 += (c.MinusK - z.Filter1) * c.FireRate1;
        z.Filter2 += (c.MinusK - z.Filter2) * c.FireRate2;
        z.Membrane += (-c.Threshold - z.Membrane) * c.MembraneRate;
        --z.PulseCounter;
    }
    z.Firing = z.PulseCounter != 0;
    return z.Firing && !wasFiring;
}

void NFastEngine::StepGenerator(std::uint32_t g, int pulseSteps) {
    NGenerator& generator = *Generators[g];
    if (!NFastAccess::BeginStep(generator)) return;
    auto& s = NFastAccess::State(generator);
    if (s.StepsLeft != 0) {
        --s.StepsLeft;
        return;
    }
    if (NFastAccess::Frequency(generator) == 0) return;
    s.StepsLeft = s.PeriodSteps;
    Deliver(GeneratorTargets[g], pulseSteps);
}

// A lazy unit's turn: its conductance from the pool and its active synapses, the pool taken a
// step on, and the unit's new output.
[[gnu::always_inline]] inline double NFastEngine::StepLazyUnit(std::uint32_t u, Unit* units, double* sums,
                                                              const UnitConstants* consts, double dt) {
    Unit& unit = units[u];
    const UnitConstants& k = consts[unit.Constants];
    const double g = sums[u] + unit.Sum * unit.Decay * k.Gain;
    sums[u] = 0;
    if (std::fabs(unit.Decay) < kSmallestDecay) [[unlikely]] Renormalise(u);
    StepPool(unit, k);
    return UnitOutput(unit, k, g, dt);
}

// The pool's factor for the next step, taken while the unit's record is at hand.
[[gnu::always_inline]] inline void NFastEngine::StepPool(Unit& unit, const UnitConstants& k) {
    unit.DecayBefore = unit.Decay;
    unit.Decay -= unit.Decay * k.Rest;  // the same recurrence as a decaying level's
}

[[gnu::always_inline]] inline double NFastEngine::UnitOutput(Unit& unit, const UnitConstants& k, double g, double dt) {
    const double a = 1 + k.R * g;
    const double i = unit.Output;
    const double dta = dt * a;
    const double x = i + dta * (k.MaxIntensity - a * i) / (k.RC + dta * a / 2);
    unit.Output = x;
    return x;
}

namespace {
// Four neurons side by side: lane by lane the same operations as one neuron's turn, so the same
// numbers (no multiplication is fused with an addition). Lanes pass by reference only: by value
// their registers would differ between the baseline and the AVX2 form of the same code.
using Lanes = double __attribute__((vector_size(32)));
using LaneMask = std::int64_t __attribute__((vector_size(32)));

NFastEngine::NeuronLanes LanesMode = NFastEngine::NeuronLanes::Best;

bool UseAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has && LanesMode == NFastEngine::NeuronLanes::Best;
}

// Rows of four doubles become columns and back.
[[gnu::always_inline]] inline void Transpose(Lanes& r0, Lanes& r1, Lanes& r2, Lanes& r3) {
    const Lanes t0 = __builtin_shuffle(r0, r1, LaneMask{0, 4, 2, 6});
    const Lanes t1 = __builtin_shuffle(r0, r1, LaneMask{1, 5, 3, 7});
    const Lanes t2 = __builtin_shuffle(r2, r3, LaneMask{0, 4, 2, 6});
    const Lanes t3 = __builtin_shuffle(r2, r3, LaneMask{1, 5, 3, 7});
    r0 = __builtin_shuffle(t0, t2, LaneMask{0, 1, 4, 5});
    r1 = __builtin_shuffle(t1, t3, LaneMask{0, 1, 4, 5});
    r2 = __builtin_shuffle(t0, t2, LaneMask{2, 3, 6, 7});
    r3 = __builtin_shuffle(t1, t3, LaneMask{2, 3, 6, 7});
}

[[gnu::always_inline]] inline bool Any(const LaneMask& m) {
    const LaneMask half = m | __builtin_shuffle(m, LaneMask{2, 3, 0, 1});
    return (half[0] | half[1]) != 0;
}

// Four doubles in a record, read and written as one.
using Row = double __attribute__((vector_size(32), aligned(8), may_alias));
[[gnu::always_inline]] inline void Load(Lanes& to, const void* from) { to = *static_cast<const Row*>(from); }
[[gnu::always_inline]] inline void Store(void* to, const Lanes& from) { *static_cast<Row*>(to) = from; }
} // namespace

void NFastEngine::SetNeuronLanes(NeuronLanes mode) { LanesMode = mode; }

// Units u, u + 2, u + 4, u + 6 (one place of four paired neurons) side by side: StepLazyUnit,
// with `level` their active synapses' conductances. r0 to r3 come as outputs, decays, decays
// before and sums, and leave as the units' new records.
[[gnu::always_inline]] inline void NFastEngine::UnitLanes(const Lanes& level, const UnitConstants& k, double dt,
                                                         Lanes& r0, Lanes& r1, Lanes& r2, Lanes& r3, Lanes& x) {
    const Lanes g = level + r3 * r1 * k.Gain;
    r2 = r1;
    r1 -= r1 * k.Rest;
    const Lanes a = 1 + k.R * g;
    const Lanes dta = dt * a;
    x = r0 + dta * (k.MaxIntensity - a * r0) / (k.RC + dta * a / 2);
    r0 = x;
    Transpose(r0, r1, r2, r3);
}

// The turns of four paired neurons from n on, computed side by side and then written in order.
// A pulse sent by one of them may reach the units of the next three, whose turns were computed
// without it: the group then ends with the sender, and the caller goes on from the neuron after
// it. Returns how many turns were taken; none where a pool is to be brought back to scale first.
[[gnu::always_inline]] inline std::uint32_t NFastEngine::StepFour(std::uint32_t n, int pulseSteps, double dt,
                                                                 Unit* units, double* sums,
                                                                 const UnitConstants* consts, ZoneState* zones,
                                                                 const std::uint32_t* neuronUnits) {
    const std::uint32_t u = neuronUnits[n];
    Lanes a0, a1, a2, a3, b0, b1, b2, b3, xa, xb;
    Load(a0, &units[u]);
    Load(b0, &units[u + 1]);
    Load(a1, &units[u + 2]);
    Load(b1, &units[u + 3]);
    Load(a2, &units[u + 4]);
    Load(b2, &units[u + 5]);
    Load(a3, &units[u + 6]);
    Load(b3, &units[u + 7]);
    Transpose(a0, a1, a2, a3);  // output, decay, decay before, sum
    Transpose(b0, b1, b2, b3);
    const LaneMask small = ((a1 < 0 ? -a1 : a1) < kSmallestDecay) | ((b1 < 0 ? -b1 : b1) < kSmallestDecay);
    if (Any(small)) [[unlikely]] return 0;
    Lanes low, high;
    Load(low, &sums[u]);
    Load(high, &sums[u + 4]);
    UnitLanes(__builtin_shuffle(low, high, LaneMask{0, 2, 4, 6}), consts[units[u].Constants], dt, a0, a1, a2, a3, xa);
    UnitLanes(__builtin_shuffle(low, high, LaneMask{1, 3, 5, 7}), consts[units[u + 1].Constants], dt, b0, b1, b2, b3,
              xb);
    const LaneMask na = xa < 0, nb = xb < 0, pa = xa > 0, pb = xb > 0;
    const Lanes zero{};
    const Lanes negative = ((na ? xa : zero) + (nb ? xb : zero)) * ((na & nb) ? zero + 0.5 : zero + 1.0);
    const Lanes positive = ((pa ? xa : zero) + (pb ? xb : zero)) * ((pa & pb) ? zero + 0.5 : zero + 1.0);

    // StepZone: a zone at rest and one in a pulse take the same operations on other values.
    ZoneState* const z = zones + n;
    const ZoneConstants& c = ZoneConsts[z[0].Constants];
    Lanes f1, f2, m, in;
    Load(f1, &z[0]);
    Load(f2, &z[1]);
    Load(m, &z[2]);
    Load(in, &z[3]);
    Transpose(f1, f2, m, in);
    const LaneMask counter = {z[0].PulseCounter, z[1].PulseCounter, z[2].PulseCounter, z[3].PulseCounter};
    const LaneMask firing = {z[0].Firing, z[1].Firing, z[2].Firing, z[3].Firing};
    const LaneMask rest = counter == 0;
    f1 += ((rest ? negative : zero + c.MinusK) - f1) * (rest ? zero + c.RestRate1 : zero + c.FireRate1);
    f2 += ((rest ? positive : zero + c.MinusK) - f2) * (rest ? zero + c.RestRate2 : zero + c.FireRate2);
    m += ((rest ? f1 + f2 : zero - c.Threshold) - m) * c.MembraneRate;
    const LaneMask above = m > c.Threshold;
    const LaneMask counterAfter = rest ? (above ? LaneMask{} + pulseSteps : LaneMask{}) : counter - 1;
    const LaneMask switchesOn = (counterAfter != 0) & (firing == 0);
    in = negative;
    Transpose(f1, f2, m, in);

    std::uint32_t taken = 4;
    if (switchesOn[0]) taken = 1;
    else if (switchesOn[1]) taken = 2;
    else if (switchesOn[2]) taken = 3;
    const bool sends = taken < 4 || switchesOn[3];
    // Only the turns taken are written: the others are taken again after the pulse.
    const auto write = [&](std::uint32_t l, const Lanes& a, const Lanes& b, const Lanes& zone) {
        Store(&units[u + 2 * l], a);
        Store(&units[u + 2 * l + 1], b);
        Store(&z[l], zone);
        z[l].Positive = positive[l];
        z[l].PulseCounter = static_cast<std::int32_t>(counterAfter[l]);
        z[l].Firing = counterAfter[l] != 0;
    };
    if (taken == 4) {
        Store(&sums[u], zero);
        Store(&sums[u + 4], zero);
    } else {
        for (std::uint32_t l = 0; l < 2 * taken; ++l) sums[u + l] = 0;
    }
    write(0, a0, b0, f1);
    if (taken > 1) write(1, a1, b1, f2);
    if (taken > 2) write(2, a2, b2, m);
    if (taken > 3) write(3, a3, b3, in);
    if (sends) [[unlikely]] {
        StepFront = neuronUnits[n + taken];
        Deliver(NeuronTargets[n + taken - 1], pulseSteps);
    }
    return taken;
}

template <bool kLanes>
[[gnu::always_inline]] inline void NFastEngine::StepNeuronsIn(std::uint32_t first, std::uint32_t end, int pulseSteps,
                                                             double dt) {
    // The arrays as pointers: the stores of bytes below could alias the vectors' own, which would
    // be read again for every neuron. No vector here changes its size within the pass.
    Unit* const units = Units.data();
    double* const sums = ActiveSums.data();
    const UnitConstants* const consts = UnitConsts.Values.data();
    ZoneState* const zones = Zones.data();
    const std::uint32_t* const neuronUnits = NeuronUnits.data();
    const std::uint8_t* const paired = PairedLazy.data();
    const std::uint8_t* const four = FourAlike.data();
    for (std::uint32_t n = first; n < end; ++n) {
        if constexpr (kLanes) {
            if (n + 4 <= end && four[n]) {
                const std::uint32_t taken = StepFour(n, pulseSteps, dt, units, sums, consts, zones, neuronUnits);
                if (taken != 0) {
                    n += taken - 1;
                    continue;
                }
            }
        }
        double negative = 0, positive = 0;
        const std::uint32_t u0 = neuronUnits[n];
        if (paired[n]) {
            // Two lazy units, written out: their chains of arithmetic overlap. Each sum is that of
            // its sign's outputs over their number, as below: 0 + x is x, and halving is exact.
            const double x0 = StepLazyUnit(u0, units, sums, consts, dt);
            const double x1 = StepLazyUnit(u0 + 1, units, sums, consts, dt);
            negative = ((x0 < 0 ? x0 : 0.0) + (x1 < 0 ? x1 : 0.0)) * (x0 < 0 && x1 < 0 ? 0.5 : 1.0);
            positive = ((x0 > 0 ? x0 : 0.0) + (x1 > 0 ? x1 : 0.0)) * (x0 > 0 && x1 > 0 ? 0.5 : 1.0);
        } else {
            int negatives = 0, positives = 0;
            // Adding 0 leaves either sum as it was: a sum of outputs of one sign is never -0.
            auto add = [&](double x) {
                negative += x < 0 ? x : 0.0;
                negatives += x < 0;
                positive += x > 0 ? x : 0.0;
                positives += x > 0;
            };
            for (std::uint32_t u = u0; u < neuronUnits[n + 1]; ++u) {
                if (consts[units[u].Constants].Lazy) {
                    add(StepLazyUnit(u, units, sums, consts, dt));
                } else {
                    const double g = StepUnitSynapses(u);
                    add(UnitOutput(units[u], consts[units[u].Constants], g, dt));
                }
            }
            if (negatives > 1) negative /= negatives;
            if (positives > 1) positive /= positives;
        }
        if (StepZone(zones[n], negative, positive, pulseSteps)) [[unlikely]] {
            StepFront = neuronUnits[n + 1];
            Deliver(NeuronTargets[n], pulseSteps);
        }
    }
    StepFront = neuronUnits[end];
}

void NFastEngine::StepNeuronsOneByOne(std::uint32_t first, std::uint32_t end, int pulseSteps, double dt) {
    StepNeuronsIn<false>(first, end, pulseSteps, dt);
}

void NFastEngine::StepNeuronsBaseline(std::uint32_t first, std::uint32_t end, int pulseSteps, double dt) {
    StepNeuronsIn<true>(first, end, pulseSteps, dt);
}

[[gnu::target("avx2")]] void NFastEngine::StepNeuronsAvx2(std::uint32_t first, std::uint32_t end, int pulseSteps,
                                                         double dt) {
    StepNeuronsIn<true>(first, end, pulseSteps, dt);
}

void NFastEngine::StepNeurons(std::uint32_t first, std::uint32_t end, int pulseSteps, double dt) {
    if (UseAvx2()) StepNeuronsAvx2(first, end, pulseSteps, dt);
    else if (LanesMode == NeuronLanes::OneByOne) StepNeuronsOneByOne(first, end, pulseSteps, dt);
    else StepNeuronsBaseline(first, end, pulseSteps, dt);
}

void NFastEngine::StepFibre(std::uint32_t f, int pulseSteps) {
    NSimpleConnector& input = *FibreObjects[f]->GetInput();
    input.NSimpleConnector::Calculate();
    const bool active = input.IsActive();
    Fibre& s = Fibres[f];
    if (s.Cells == 0) {
        if (active && s.PulseCounter == 0) {
            s.PulseCounter = pulseSteps;
            Deliver(FibreTargets[f], pulseSteps);
            --s.PulseCounter;
        } else if (s.PulseCounter != 0) {
            --s.PulseCounter;
        }
        return;
    }
    s.Position = s.Position == s.Cells - 1 ? 0 : s.Position + 1;
    if (s.PulseCounter != 0) --s.PulseCounter;
    std::uint8_t& cell = FibreCells[s.FirstCell + static_cast<std::uint32_t>(s.Position)];
    if (cell == 1 && s.PulseCounter == 0) {
        Deliver(FibreTargets[f], pulseSteps);
        s.PulseCounter = pulseSteps;
    }
    cell = active ? 1 : 0;
}

void NFastEngine::StepAfferent(std::uint32_t a, int pulseSteps) {
    NAfferentNeuron& object = *AfferentObjects[a];
    NSimpleAConnector& input = *object.GetInput();
    input.NSimpleAConnector::Calculate();
    const double x = input.Output(0);
    const double drive = 1 - std::exp(-object.GetParams().Sensitivity * x);
    if (StepZone(AfferentZones[a], drive, 0, pulseSteps)) Deliver(AfferentTargets[a], pulseSteps);
}

void NFastEngine::Step() {
    NModel& model = *Model;
    if (!Synced || ClockGeneration != GetClockGeneration()) SyncFromModel();
    const int pulseSteps = PulseLengthInSteps();
    const double dt = static_cast<double>(GetTimeStep());

    StepActiveSynapses();
    for (const StepEntry& e : SourcePlan) {
        if (e.Kind == StepKind::Generator) StepGenerator(e.First, pulseSteps);
        else e.Object->Calculate();
    }
    for (const StepEntry& e : NetPlan) {
        switch (e.Kind) {
        case StepKind::Neurons: StepNeurons(e.First, e.End, pulseSteps, dt); break;
        case StepKind::Fibre: StepFibre(e.First, pulseSteps); break;
        case StepKind::Afferent: StepAfferent(e.First, pulseSteps); break;
        case StepKind::Generator: StepGenerator(e.First, pulseSteps); break;
        case StepKind::Object: e.Object->Calculate(); break;
        }
    }

    NAbstractOutGate::CalculateAll(model.GetOutGatesBegin(), model.GetOutGatesEnd());
    NFastAccess::AdvanceClock(model);
    SetActiveModel(&model);  // the clock's cached time follows the model's
}

} // namespace talvero
