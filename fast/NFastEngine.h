#pragma once
// The fast engine: a loaded model compiled into arrays of like values in double precision, stepped
// with the same equations in the same order as the objects' own Calculate. Neurons, their ion
// units, synapses and zones, nerve fibres and afferent neurons live in the engine's arrays, and
// every pulse they or the pulse generators send goes through the engine. The analog classes
// (muscles, eye muscles, analog items and generators) compute in double already and are few: the
// engine calls their own step in the model's order. The objects keep the parameters: Begin takes
// them and the state again, End writes the state back.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fast/NEngine.h"
#include "kernel/NClock.h"

namespace talvero {

class NAbstractConnector;
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

    std::size_t SynapseCount() const { return Transmitter.size(); }
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
    struct ZoneState {
        double Filter1, Filter2, Membrane, MembraneTC;
        std::int32_t PulseCounter;
        bool Firing;
    };
    // A unit whose synapses share one plain set keeps those that only decay (no pulse under way,
    // below the level where the conductance bends) in a pool: their levels are w * Decay, where
    // Decay takes the dissociation step once for all of them and PoolSum is the sum of their w.
    // Only the others, in the active list, step one by one.
    struct Unit {
        double Output, R, RC, MaxIntensity;
        double Decay = 1, PoolSum = 0;
        std::uint32_t FirstSynapse, EndSynapse;
        std::uint32_t Set;  // the set all its synapses share, or kMixed
        std::uint32_t Active = 0, Pooled = 0;  // the active list is ActiveList[FirstSynapse, + Active)
        bool Lazy = false;
    };
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
    static constexpr std::int32_t kPooled = 3;  // a phase: Transmitter holds w, not the level

    bool CompileNet(NAbstractNet* net, std::string& why);
    void AddNeuron(NNeuron* neuron);
    static ZoneConstants ZoneConstantsOf(NLTZone& zone);
    static ZoneState ZoneStateOf(NLTZone& zone);
    static void PutZoneState(NLTZone& zone, const ZoneState& z, double negative, double positive);
    // True when the zone switched on in this step.
    static bool StepZone(const ZoneConstants& c, ZoneState& z, double negative, double positive, int pulseSteps);
    void StepNeurons(std::uint32_t first, std::uint32_t end, int pulseSteps, double dt);
    [[gnu::target("avx2")]] void StepNeuronsAvx2(std::uint32_t first, std::uint32_t end, int pulseSteps, double dt);
    void StepNeuronsBase(std::uint32_t first, std::uint32_t end, int pulseSteps, double dt);
    void StepNeuronsBody(std::uint32_t first, std::uint32_t end, int pulseSteps, double dt);
    void StepGenerator(std::uint32_t g, int pulseSteps);
    void StepFibre(std::uint32_t f, int pulseSteps);
    void StepAfferent(std::uint32_t a, int pulseSteps);
    void SyncFibresFromModel();
    void SyncFibresToModel();
    struct Lookup;
    bool CollectTargets(const std::vector<NAbstractConnector*>& connectors, const Lookup& lookup, Targets& targets,
                        std::string& why);
    std::uint32_t SetFor(std::uint32_t exactSet);
    double StepUnitSynapses(Unit& unit);
    double StepLazyUnit(Unit& unit);
    void BuildPool(Unit& unit);
    void Renormalise(Unit& unit);
    // The level of synapse s now, whether pooled or active.
    double LevelOf(std::uint32_t s) const;
    double Conductance(double m, const SynapseSet& c) const;
    void Deliver(const Targets& targets, int pulseSteps);

    NModel* Model;
    unsigned long long ClockGeneration = 0;
    bool Synced = false;

    std::vector<NNeuron*> Neurons;
    std::vector<std::uint32_t> NeuronUnits;  // units of neuron n: [NeuronUnits[n], NeuronUnits[n + 1])
    std::vector<ZoneConstants> ZoneConst;
    std::vector<ZoneState> Zones;
    std::vector<double> NegativePotential, PositivePotential;
    std::vector<Targets> NeuronTargets;

    std::vector<NIonUnit*> UnitObjects;
    std::vector<Unit> Units;

    std::vector<double> Transmitter;
    std::vector<std::int32_t> PulseCounter;
    std::vector<std::int32_t> Phase;  // as wide as the counter: the two are read together; or kPooled
    std::vector<std::uint32_t> UnitOf;
    std::vector<std::uint32_t> ActiveList;
    std::vector<std::uint32_t> SetOf;
    std::vector<NTime> PulseStart;  // read only while the pulse lasts

    std::vector<SynapseSet> Sets;
    std::vector<std::uint32_t> SetByExact;  // exact constant set -> index in Sets, or kMixed

    std::vector<NGenerator*> Generators;
    std::vector<Targets> GeneratorTargets;

    std::vector<NNerveFibre*> FibreObjects;
    std::vector<Fibre> Fibres;
    std::vector<std::uint8_t> FibreCells;
    std::vector<Targets> FibreTargets;

    std::vector<NAfferentNeuron*> AfferentObjects;
    std::vector<ZoneConstants> AfferentZoneConst;
    std::vector<ZoneState> AfferentZones;
    std::vector<double> AfferentDrive;  // 1 - exp(-Sensitivity x): the zone's input
    std::vector<Targets> AfferentTargets;

    std::vector<StepEntry> SourcePlan, NetPlan;

    std::vector<std::uint32_t> SynapseTargets;
    std::vector<NAbstractConnector*> OtherTargets;
};

} // namespace talvero
