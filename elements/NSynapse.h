#pragma once
// Chemical synapse: a pulse connector of an ion unit. Presynaptic pulses drive the transmitter
// level, which becomes a conductance that shunts the ion unit.
//
// The per-step state of a synapse does not live in the synapse object: the synapses of an ion unit
// keep it in one contiguous block that the unit steps in a tight loop. What depends only on the
// parameters and the time step (the quotients of the step among it) is kept once for all synapses
// with equal values, in a table of constant sets. A synapse outside any unit has a block of its own.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "kernel/NClock.h"
#include "kernel/NElementSupport.h"
#include "kernel/NUnitDescription.h"

namespace talvero {

struct NSynapseParameters {
    double SecretionTC = 0.001;     // seconds, transmitter rise during a pulse
    double DissociationTC = 0.005;  // seconds, decay after it
    double K = 0.5;                 // level of the maximal conductance
    double Ri = 5e9;                // ohms per unit of normalised level above 1
    double Rs = 1e7;                // base resistance, ohms
};

// The time constant in force.
enum class NSynapsePhase : std::uint8_t {
    Dissociation,  // DissociationTC
    Secretion,     // SecretionTC: from a pulse arrival to the last pulse step
    Loaded,        // a value that came with a loaded state, until the next switch
};

// What the step of a synapse takes from its parameters and the time step.
struct NSynapseConstants {
    NSynapseConstants(const NSynapseParameters& params, double loadedTC, NTime dt);
    bool Matches(const NSynapseParameters& params, double loadedTC, NTime dt) const;

    // D = tau/dt + 0.5 for the time constant of a phase: an 80-bit load from memory is slow, two
    // doubles whose sum is D to the last bit are not; where no such pair exists, Den itself.
    NTime Denominator(std::uint32_t phase) const {
        return DenSplit ? NTime(DenHigh[phase]) + DenLow[phase] : Den[phase];
    }

    double DenHigh[3] = {}, DenLow[3] = {};
    double ReciprocalK = 0;  // 1/K when m * (1/K) is exactly m / K (K a power of two), else 0
    NSynapseParameters Params;
    bool DenSplit = false;
    bool Inert = false;   // a zero K or Rs leaves no finite conductance: such a synapse conducts nothing
    double LoadedTC = 0;  // the time constant of the Loaded phase
    NTime Dt = 0;
    NTime Den[3] = {};
};

// The constant sets of all synapses of the process, each distinct set once: models have few, and
// the one shared copy of each stays in the cache. Sets are counted by their users and reused when
// free. Single-threaded, like the clock.
class NSynapseConstantsTable {
public:
    static NSynapseConstantsTable& Instance() {
        // Never destroyed: synapses of static objects may outlive any order of destruction.
        static NSynapseConstantsTable* const table = new NSynapseConstantsTable;
        return *table;
    }

    std::uint32_t Acquire(NSynapseParameters params, double loadedTC, NTime dt);
    void Release(std::uint32_t set);
    const NSynapseConstants& operator[](std::uint32_t set) const { return Sets[set]; }
    const NSynapseConstants* Data() const { return Sets.data(); }
    std::size_t LiveCount() const { return Sets.size() - Free.size(); }

private:
    static std::uint64_t Hash(const NSynapseParameters& params, double loadedTC, NTime dt);

    std::vector<NSynapseConstants> Sets;
    std::vector<std::uint32_t> Users;  // per set; 0: the slot is free
    std::vector<std::uint32_t> Free;
    std::unordered_multimap<std::uint64_t, std::uint32_t> Index;
    std::uint32_t Last = 0;  // the set acquired last: synapses made in a row mostly share it
};

// The dynamic state of one synapse, as the loop over a block sees it.
struct NSynapseState {
    double Conductance = 0;  // output 0, first: the synapse finds its state from its output
    double Transmitter = 0;  // m, between 0 and 1
    std::int32_t PulseCounter = 0;
    // Its constants in the table: 2^30 sets would fill more memory than a machine has.
    std::uint32_t Set : 30 = 0;
    std::uint32_t Phase : 2 = static_cast<std::uint32_t>(NSynapsePhase::Dissociation);
};
static_assert(sizeof(NSynapseState) == 24 && std::is_standard_layout_v<NSynapseState> &&
              offsetof(NSynapseState, Conductance) == 0);

// The states of the synapses of one ion unit, in order.
class NSynapseBlock {
public:
    NSynapseBlock();
    NSynapseBlock(const NSynapseBlock&) = delete;
    NSynapseBlock& operator=(const NSynapseBlock&) = delete;
    ~NSynapseBlock();

    std::size_t Size() const { return States.size(); }
    NSynapseState& State(std::uint32_t i) { return States[i]; }
    const NSynapseState& State(std::uint32_t i) const { return States[i]; }
    const NSynapseConstants& Constants(const NSynapseState& s) const { return NSynapseConstantsTable::Instance()[s.Set]; }
    const NSynapseState* Data() const { return States.data(); }
    void Reserve(std::size_t count) { States.reserve(count); }
    // Gives back spare room; the states may move.
    void Fit() { States.shrink_to_fit(); }
    void Prefetch() const {
        const char* begin = reinterpret_cast<const char*>(States.data());
        const char* end = reinterpret_cast<const char*>(States.data() + States.size());
        for (const char* line = begin; line < end; line += 64) __builtin_prefetch(line);
    }

    // Appends a state whose constants come from `params` and `loadedTC`; returns its index.
    std::uint32_t Add(NSynapseState state, const NSynapseParameters& params, double loadedTC);
    void Erase(std::uint32_t index);
    void Clear();
    // Gives the state at `index` the constants of these values.
    void SetConstants(std::uint32_t index, const NSynapseParameters& params, double loadedTC);

    // One step of every synapse at the cached time step, in order; returns the sum of their
    // conductances, in order.
    double Step();
    // The same, keeping the transmitter levels before the step in `levelsBefore`, in order, for
    // the step to be taken again (Retake).
    double Step(double* levelsBefore);
    // One step of the synapse at `index` alone.
    void StepOne(std::uint32_t index, NTime dt);

    // Takes the step of the states at `indices` (ascending, each once) again from the levels
    // `levels` (as Step kept them) held before it, with their pulse counters and phases as they
    // are now; returns the sum of all conductances, in order, as Step does.
    double Retake(const std::uint32_t* indices, std::size_t count, const double* levels);

    // Steps without the processor's wider vector instructions even where it has them, so that
    // the code for processors without them can be checked on any machine.
    static void UseBaselineInstructionsOnly(bool only);

private:
    static constexpr std::uint32_t kMixedSets = UINT32_MAX;

    void UseTimeStep(NTime dt);
    void FindCommonSet();
    template <bool kKeep> double StepKeeping(double* before);

    std::vector<NSynapseState> States;
    // The step of the states' constant sets. Split: an NTime would align every ion unit to 16
    // bytes, and each unit of a large net paid for the padding.
    NSplitTime Dt;
    unsigned long long ClockGeneration;  // when Dt was last compared with the cached step
    // The set every state uses, or kMixedSets. Mostly all synapses of a unit share one: their
    // step then reads the constants once instead of once per synapse.
    std::uint32_t CommonSet = kMixedSets;
    bool SetsChanged = true;  // CommonSet is to be found again
};

// The parameters of a synapse are kept in its constant set, where synapses of equal parameters
// share them; its dynamic state is its entry in a block.
class NSynapse final : public NWithoutComponents<NSynapse, NConnector> {
public:
    NSynapse(NBasicDescription* owner, const char* name);
    ~NSynapse() override;
    // From slots of their exact size, shared by all threads: a large net has hundreds of thousands.
    static void* operator new(std::size_t size);
    static void operator delete(void* synapse, std::size_t size) noexcept;

    static const NParameterTable<NSynapseParameters>& ParameterTable();

    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    double GetParameter(const char* name) override;
    // A successful set resets the synapse.
    bool SetParameter(const char* name, double value) override;
    void GetParametersList(NStringList& names) override;
    void DescribeParameters(std::vector<NParameterInfo>& parameters) override { ParameterTable().Describe(parameters); }
    // Copies the parameters and resets the target.
    bool CopyParameters(NBasicDescription* target) override;
    const NSynapseParameters& GetParams() const { return Constants().Params; }

    // Output 0, time constant in force, transmitter level: three doubles.
    int GetStateSize() override { return 3 * sizeof(double); }
    char* SaveState(char* buffer) override;
    bool LoadState(const char* buffer) override;
    // The pulse under way, which the saved state leaves out.
    void SaveStepState(NStateWriter& out) override;
    bool LoadStepState(NStateReader& in) override;

    void Transfer() override;
    void Reset() override;
    // Ahead of a pulse's arrival: what Transfer reads, one level of pointers per call (2: the
    // unit, 1: the state).
    void Prefetch(int distance) const override;
    // What a pulse's arrival does to the synapse itself (Transfer, less telling the neuron).
    void TakePulse();
    void Calculate() override { Step(GetTimeStep()); }
    NTime GetActivePulseStart() const override { return Own().PulseCounter ? GetPulseStartTime() : 0; }
    std::int32_t GetPulseCounter() const override { return Own().PulseCounter; }

    void Step(NTime dt);

    // What a pulse's arrival changes, to be put back when the arrival is taken back: one is noted
    // for each pulse of a step that arrives early, so it is kept small.
    struct NMark {
        std::int32_t PulseCounter;
        std::uint32_t Phase;
        unsigned char PulseStart[kTimeBytes];
    };
    // Where its state is in its unit's block (0 while no unit has taken it).
    std::uint32_t GetStateIndex() const;
    NMark GetMark() const {
        NMark mark{Own().PulseCounter, Own().Phase, {}};
        std::memcpy(mark.PulseStart, PulseStartTime, kTimeBytes);
        return mark;
    }
    void RestoreMark(const NMark& mark) {
        Own().PulseCounter = mark.PulseCounter;
        Own().Phase = mark.Phase;
        std::memcpy(PulseStartTime, mark.PulseStart, kTimeBytes);
    }

    double GetCurrentTC() const;
    double GetTransmitter() const { return Own().Transmitter; }
    double GetConductance() const { return Own().Conductance; }

private:
    friend class NIonUnit;
    friend struct NFastAccess;

    // Its output is bound to the conductance, the first field of its state.
    const NSynapseState& Own() const { return *reinterpret_cast<const NSynapseState*>(BoundOutputs()); }
    NSynapseState& Own() { return *reinterpret_cast<NSynapseState*>(BoundOutputs()); }
    const NSynapseConstants& Constants() const { return NSynapseConstantsTable::Instance()[Own().Set]; }
    double LoadedTC() const { return Constants().LoadedTC; }
    void SetConstants(const NSynapseParameters& params, double loadedTC);
    // The unit moves the state into its block, and tells the synapse where it went.
    void MoveInto(NSynapseBlock& block);
    void Bind(NSynapseBlock* block, std::uint32_t index);
    // The block of its unit, which is its owner: the synapse keeps no pointer to it, so that the
    // object fills one cache line.
    NSynapseBlock& UnitBlock() const;

    // Not yet taken by its unit: its state is one of its own, not in the unit's block. In the
    // connector's last word.
    bool Lone = false;
};

} // namespace talvero
