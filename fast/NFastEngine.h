#pragma once
// The fast engine: a loaded model compiled into arrays of like values in double precision, stepped
// with the same equations in the same order as the objects' own Calculate. Neurons, their ion
// units, synapses and zones, nerve fibres and afferent neurons live in the engine's arrays, and
// every pulse they or the pulse generators send goes through the engine. The analog classes
// (muscles, eye muscles, analog items and generators) compute in double already and are few: the
// engine calls their own step in the model's order. The objects keep the parameters: Begin takes
// them and the state again, End writes the state back.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "fast/NEngine.h"
#include "kernel/NClock.h"

namespace talvero {

class NAbstractConnector;
class NAbstractItem;
class NAbstractNet;
class NAfferentNeuron;
class NGenerator;
class NIonUnit;
class NLTZone;
class NNerveFibre;
class NNeuron;
class NModel;
class NObject;

class NFastEngine final : public NEngine {
public:
    // Null, with the offending object and the reason in `why`, for a model that holds anything the
    // engine has no faithful form of.
    static std::unique_ptr<NFastEngine> Compile(NModel& model, std::string& why);

    NEngineKind Kind() const override { return NEngineKind::Fast; }
    void Begin() override { SyncFromModel(); }
    void Step() override;
    void End() override { SyncToModel(); }

    void SyncFromModel();
    void SyncToModel();

    // How the neurons' pass takes runs of paired neurons alike: four side by side with the
    // machine's best vector instructions (the default) or with the baseline ones, or one by one.
    // All three give the same numbers; tests compare them.
    enum class NeuronLanes : std::uint8_t { Best, Baseline, OneByOne };
    static void SetNeuronLanes(NeuronLanes mode);

    std::size_t SynapseCount() const { return Syn.size(); }
    // The engine's own arrays, beside the objects the model keeps anyway.
    std::size_t MemoryBytes() const;

private:
    friend struct NFastAccess;
    explicit NFastEngine(NModel& model) : Model(&model) {}

    // What a synapse's step takes from its parameters and the time step.
    struct SynapseSet {
        double Rate[3];  // 1 / (tau / dt + 1/2) for each phase
        double ReciprocalK, Ri, Rs, ReciprocalRs;
        bool Inert;
        bool Plain;  // finite throughout: the vector loops apply
    };
    struct ZoneConstants {
        double RestRate1, RestRate2, FireRate1, FireRate2;  // dt / (dt/2 + T)
        double MembraneRate;                                // 1 / (tau_m / dt + 1/2)
        double MinusK, Threshold;
    };
    // What a zone's step reads and writes, with its inputs, in one cache line or less; the
    // constants, shared by most zones of a net, are kept once.
    struct ZoneState {
        double Filter1, Filter2, Membrane;
        double Negative, Positive;  // the inputs of the step, for the objects at the end
        std::int32_t PulseCounter;
        std::uint32_t Constants;  // into ZoneConsts
        bool Firing;
    };
    // The parameters of an ion unit and of its pool, shared by the units alike.
    struct UnitConstants {
        double R, RC, MaxIntensity;
        double Rest, Gain;  // a lazy unit's pool: the dissociation rate, 1 / (K Rs)
        std::uint32_t Set;   // the set all its synapses share, or kMixed
        std::uint32_t Lazy;  // it shares a plain set: its synapses are pooled or active
    };
    static_assert(sizeof(ZoneConstants) == 7 * 8 && sizeof(UnitConstants) == 6 * 8, "no padding: compared by their bytes");
    // Constants kept once, found again by their bits.
    template <class T> struct SharedTable {
        static_assert(std::is_trivially_copyable_v<T>);
        std::vector<T> Values;
        std::unordered_multimap<std::uint64_t, std::uint32_t> Index;
        std::uint32_t Keep(const T& value);
        void Clear() {
            Values.clear();
            Index.clear();
        }
        const T& operator[](std::uint32_t i) const { return Values[i]; }
    };
    // What a unit's turn and a pulse into one of its synapses touch, in one cache line. The
    // pooled synapses of a lazy unit have the level w * Decay: Decay takes the dissociation step
    // once for all of them, Sum is the sum of their w.
    struct alignas(64) Unit {
        double Output = 0;
        double Decay = 1, DecayBefore = 1, Sum = 0;
        std::uint32_t Count = 0;
        std::uint32_t Constants = 0;         // into UnitConsts
        std::uint32_t Set = 0;               // its constants' set
    };
    // The first four doubles of a unit's record and of a zone's are read and written as one.
    static_assert(offsetof(Unit, Output) == 0 && offsetof(Unit, Decay) == 8 && offsetof(Unit, DecayBefore) == 16 &&
                  offsetof(Unit, Sum) == 24);
    static_assert(offsetof(ZoneState, Filter1) == 0 && offsetof(ZoneState, Filter2) == 8 &&
                  offsetof(ZoneState, Membrane) == 16 && offsetof(ZoneState, Negative) == 24);
    struct UnitRange {
        std::uint32_t FirstSynapse, EndSynapse;
    };
    // A synapse of a lazy unit that does more than decay (a pulse under way, or above the level
    // where its conductance bends) steps on its own, in one pass over all of them before the
    // neurons'. Its state lives here while it is active, so that the pass reads the list in order
    // and touches no synapse's or unit's record until the synapse joins its pool. Before is kept
    // for the step: a pulse that reaches it later in the step, before its neuron's turn, takes the
    // step again from Before, taking back from its unit's sum the conductance of After.
    enum class ActiveMark : std::uint8_t {
        Live,    // stepped in this step: the conductance of After is in its unit's sum
        Fresh,   // out of its pool after its unit's turn or at the start: nothing of it in the sum
        Pooled,  // joined its pool in this step; a pulse later in the step takes it back
        Gone,    // a hole, until the list is closed up
    };
    struct ActiveSynapse {
        double Before, After;
        std::uint32_t Synapse, Unit;
        std::int32_t Counter;
        std::uint16_t Set;  // a lazy unit's set is below kMaxPooledSet
        std::int8_t Phase;
        ActiveMark Mark;
    };
    static constexpr std::uint32_t kMaxPooledSet = UINT16_MAX;
    static_assert(sizeof(ActiveSynapse) == 32, "half a cache line: the pass streams the list");
    // Where pulses of an item go: synapses in the arrays and other connectors (gate inputs).
    struct Targets {
        std::uint32_t First = 0, End = 0;          // into SynapseTargets
        std::uint32_t FirstOther = 0, EndOther = 0;  // into OtherTargets
    };
    struct Fibre {
        std::int32_t PulseCounter, Position, Cells;
        std::uint32_t FirstCell;  // into FibreCells
    };
    // One entry of the step, in the model's order: a run of neurons [First, End), a fibre, an
    // afferent neuron or a pulse generator (First), or an object that steps itself.
    enum class StepKind : std::uint8_t { Neurons, Fibre, Afferent, Generator, Object };
    struct StepEntry {
        StepKind Kind;
        std::uint32_t First = 0, End = 0;
        NObject* Object = nullptr;
    };
    static constexpr std::uint32_t kMixed = UINT32_MAX;
    static constexpr std::int32_t kPooled = 3;  // a phase: Level holds w, not the level
    static constexpr std::uint32_t kNoEntry = UINT32_MAX - 1, kNotLazy = UINT32_MAX;

    bool CompileNet(NAbstractNet* net, std::string& why);
    void AddNeuron(NNeuron* neuron);
    void AllocateSynapses();
    ZoneState ZoneStateOf(NLTZone& zone);
    static void PutZoneState(NLTZone& zone, const ZoneState& z);
    // True when the zone switched on in this step.
    bool StepZone(ZoneState& z, double negative, double positive, int pulseSteps);

    void StepNeurons(std::uint32_t first, std::uint32_t end, int pulseSteps, double dt);
    template <bool kLanes> void StepNeuronsIn(std::uint32_t first, std::uint32_t end, int pulseSteps, double dt);
    void StepNeuronsOneByOne(std::uint32_t first, std::uint32_t end, int pulseSteps, double dt);
    void StepNeuronsBaseline(std::uint32_t first, std::uint32_t end, int pulseSteps, double dt);
    void StepNeuronsAvx2(std::uint32_t first, std::uint32_t end, int pulseSteps, double dt);
    using Lanes = double __attribute__((vector_size(32)));
    static void UnitLanes(const Lanes& level, const UnitConstants& k, double dt, Lanes& r0, Lanes& r1, Lanes& r2,
                          Lanes& r3, Lanes& x);
    std::uint32_t StepFour(std::uint32_t n, int pulseSteps, double dt, Unit* units, double* sums,
                           const UnitConstants* consts, ZoneState* zones, const std::uint32_t* neuronUnits);
    double StepLazyUnit(std::uint32_t u, Unit* units, double* sums, const UnitConstants* consts, double dt);
    static double UnitOutput(Unit& unit, const UnitConstants& k, double g, double dt);
    static void StepPool(Unit& unit, const UnitConstants& k);
    void StepGenerator(std::uint32_t g, int pulseSteps);
    void StepFibre(std::uint32_t f, int pulseSteps);
    void StepAfferent(std::uint32_t a, int pulseSteps);
    void SyncFibresFromModel();
    void SyncFibresToModel();
    struct Lookup;
    bool CollectTargets(const NAbstractItem& item, const Lookup& lookup, Targets& targets, std::string& why);
    std::uint32_t SetFor(std::uint32_t exactSet);
    double StepUnitSynapses(std::uint32_t u);
    void StepActiveSynapses();
    bool StepActive(ActiveSynapse& a, const SynapseSet* sets, double* sums);
    static double ActiveConductance(double y, const SynapseSet& c);
    void JoinPool(const ActiveSynapse& a);
    void CloseUpActive();
    // The entry of an active synapse s of a lazy unit, or null when s is pooled.
    const ActiveSynapse* EntryOf(std::uint32_t s) const;
    void BuildPool(std::uint32_t u);
    void Renormalise(std::uint32_t u);
    void DeliverToLazy(std::uint32_t s, int pulseSteps);
    // The level of synapse s now, whether pooled or active.
    double LevelOf(std::uint32_t s) const;
    double Conductance(double m, const SynapseSet& c) const;
    void Deliver(const Targets& targets, int pulseSteps);

    NModel* Model;
    unsigned long long ClockGeneration = 0;
    bool Synced = false;

    std::vector<NNeuron*> Neurons;
    std::vector<std::uint32_t> NeuronUnits;  // units of neuron n: [NeuronUnits[n], NeuronUnits[n + 1])
    std::vector<std::uint8_t> PairedLazy;    // neuron n has two units, both lazy
    std::vector<std::uint8_t> FourAlike;     // neurons n to n + 3 take their turns side by side
    std::vector<ZoneState> Zones;
    SharedTable<ZoneConstants> ZoneConsts;  // of neurons and afferent neurons
    std::vector<Targets> NeuronTargets;

    std::vector<NIonUnit*> UnitObjects;
    std::vector<Unit> Units;
    std::vector<UnitRange> UnitRanges;
    SharedTable<UnitConstants> UnitConsts;

    // What a pulse touches of a synapse, in one cache line.
    struct alignas(32) Synapse {
        // A lazy unit's active synapse keeps Level, Counter and Phase in its entry in Active.
        double Level;  // w, when pooled
        std::int32_t Counter;
        std::uint32_t Unit;
        // A lazy unit's synapse: its entry in Active, or kNoEntry; else kNotLazy. A pooled synapse
        // may still name the entry it had: only an entry of its own that is not Gone counts.
        std::uint32_t Slot;
        std::int8_t Phase;  // kPooled: in its unit's pool
        unsigned char PulseStart[10];  // the time, as the connector keeps it; read only while the pulse lasts
    };
    std::vector<Synapse> Syn;
    std::vector<ActiveSynapse> Active;
    std::uint32_t ActiveGone = 0;      // entries of Active marked Gone
    std::vector<std::uint32_t> Joining;  // entries that join their pools after the pass
    std::vector<double> ActiveSums;    // per unit: the conductances of its active synapses in this step
    // Units are in the net's order: those below this one have taken their turn in this step.
    std::uint32_t StepFront = 0;
    std::vector<std::uint32_t> SetOf;

    std::vector<SynapseSet> Sets;
    std::vector<std::uint32_t> SetByExact;  // exact constant set -> index in Sets, or kMixed

    std::vector<NGenerator*> Generators;
    std::vector<Targets> GeneratorTargets;

    std::vector<NNerveFibre*> FibreObjects;
    std::vector<Fibre> Fibres;
    std::vector<std::uint8_t> FibreCells;
    std::vector<Targets> FibreTargets;

    std::vector<NAfferentNeuron*> AfferentObjects;
    std::vector<ZoneState> AfferentZones;
    std::vector<Targets> AfferentTargets;

    std::vector<StepEntry> SourcePlan, NetPlan;

    std::vector<std::uint32_t> SynapseTargets;
    std::vector<NAbstractConnector*> OtherTargets;
};

} // namespace talvero
