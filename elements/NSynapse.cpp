#include "elements/NSynapse.h"

#include <cmath>
#include <cstring>
#include <mutex>

#include "elements/NIonUnit.h"
#include "elements/NNeuron.h"
#include "kernel/NSlotPool.h"
#include "kernel/NSplitStep.h"

#include "kernel/NStateStream.h"

namespace talvero {
namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof(double)) == 0; }

NSynapsePhase PhaseOf(const NSynapseState& s) { return static_cast<NSynapsePhase>(s.Phase); }

void SetPhase(NSynapseState& s, NSynapsePhase phase) { s.Phase = static_cast<std::uint32_t>(phase); }

// One step of a synapse is made in two parts: the transmitter level, in extended precision, then
// the conductance, in double precision. The block runs the first part over all its synapses before
// the second, so that the level the first part stores is not read back at once, which would stall
// on the way from the x87 unit to the SSE unit.
//
// Every quotient is the one the plain formulas give. D is tau/dt + 0.5 in extended precision, made
// when tau or dt changed. The three cases m - m/D without a pulse, m + (0.5 - m)/D in its last step
// and m + (1 - m)/D before are one formula with a target of 0, 0.5 or 1: m + (0 - m)/D is m - m/D
// to the last bit, as negation is exact. Selecting values instead of branching keeps the loop
// free of unpredictable jumps.
// `denominator(phase)` gives D for a phase.
template <class Denominator>
inline void AdvanceTransmitter(NSynapseState& s, Denominator denominator) {
    static constexpr double kTargets[3] = {0, 0.5, 1};
    const std::int32_t n = s.PulseCounter;
    // At rest (no pulse, m = ±0) nothing changes: skip the division. The test looks at the bits,
    // so that m goes from memory straight to the x87 unit.
    std::uint64_t bits;
    std::memcpy(&bits, &s.Transmitter, sizeof(bits));
    if (n == 0 && (bits << 1) == 0) return;
    const NTime m = s.Transmitter;
    const int kind = n == 0 ? 0 : (n == 1 ? 1 : 2);  // no pulse, last pulse step, pulse
    // The last pulse step hands over to dissociation.
    if (kind == 1) s.Phase = static_cast<std::uint32_t>(NSynapsePhase::Dissociation);
    s.PulseCounter = n - (kind != 0);
    s.Transmitter = static_cast<double>(m + (NTime(kTargets[kind]) - m) / denominator(s.Phase));
}

inline void AdvanceTransmitter(NSynapseState& s, const NSynapseConstants& c) {
    AdvanceTransmitter(s, [&c](std::uint32_t phase) { return c.Denominator(phase); });
}

// The conductance for the new level m; m / K becomes a product only where that is the same number.
// A zero level gives none, as at rest (a level of -0 from a loaded state included).
inline double ConductanceFor(double m, const NSynapseConstants& c) {
    const double y = c.ReciprocalK != 0 ? m * c.ReciprocalK : m / c.Params.K;
    const double above = (y - 1) * c.Params.Ri + c.Params.Rs;
    const double g = y / (y >= 1 ? above : c.Params.Rs);
    // Subnormal K or Rs can still overflow; no finite conductance is taken as none.
    return m != 0 && !c.Inert && std::isfinite(g) ? g : 0.0;
}

// One step of one state.
inline void StepState(NSynapseState& s, const NSynapseConstants& c) {
    AdvanceTransmitter(s, c);
    s.Conductance = ConductanceFor(s.Transmitter, c);
}

// Gives `s` the constant set of these values, handing back the one it had; false when it had it.
bool GiveConstants(NSynapseState& s, const NSynapseParameters& params, double loadedTC, NTime dt) {
    NSynapseConstantsTable& table = NSynapseConstantsTable::Instance();
    if (table[s.Set].Matches(params, loadedTC, dt)) return false;
    const std::uint32_t old = s.Set;
    s.Set = table.Acquire(params, loadedTC, dt);  // takes copies: `params` may lie in the table
    table.Release(old);
    return true;
}

// The same values as before at the time step `dt`.
void GiveTimeStep(NSynapseState& s, NTime dt) {
    const NSynapseConstants& c = NSynapseConstantsTable::Instance()[s.Set];
    GiveConstants(s, c.Params, c.LoadedTC, dt);
}

// The constants of a block whose states share one set, copied out of the set: stores to the
// states could otherwise alias them and make the loops read them again for every synapse.
struct NCommonConstants {
    explicit NCommonConstants(const NSynapseConstants& c)
        : DenHigh{c.DenHigh[0], c.DenHigh[1], c.DenHigh[2]}, DenLow{c.DenLow[0], c.DenLow[1], c.DenLow[2]},
          ReciprocalK(c.ReciprocalK), K(c.Params.K), Ri(c.Params.Ri), Rs(c.Params.Rs) {}
    double DenHigh[3], DenLow[3];
    double ReciprocalK, K, Ri, Rs;
};

// ConductanceFor of four levels at once, lane by lane the same operations, so the same numbers.
using NVector4 = double __attribute__((vector_size(32)));

template <bool kByReciprocal>
[[gnu::always_inline]] inline void CommonConductances(const NVector4& m, const NCommonConstants& c, NVector4& out) {
    const NVector4 y = kByReciprocal ? m * c.ReciprocalK : m / c.K;
    const NVector4 above = (y - 1) * c.Ri + c.Rs;
    const NVector4 rs = NVector4{} + c.Rs;
    const NVector4 g = y / (y >= 1 ? above : rs);
    const NVector4 magnitude = g < 0 ? -g : g;
    out = ((m != 0) & (magnitude < __builtin_inf())) ? g : NVector4{};
}

template <bool kByReciprocal>
[[gnu::always_inline]] inline double CommonConductances(NSynapseState* s, std::size_t n, const NCommonConstants& c) {
    double sum = 0;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const NVector4 m = {s[i].Transmitter, s[i + 1].Transmitter, s[i + 2].Transmitter, s[i + 3].Transmitter};
        NVector4 g;
        CommonConductances<kByReciprocal>(m, c, g);
        for (std::size_t k = 0; k < 4; ++k) {
            s[i + k].Conductance = g[k];
            sum += g[k];
        }
    }
    if (i == n) return sum;
    // The last one to three in the same way; the unused lanes compute a level of 0.
    NVector4 m{};
    for (std::size_t k = 0; i + k < n; ++k) m[k] = s[i + k].Transmitter;
    NVector4 g;
    CommonConductances<kByReciprocal>(m, c, g);
    for (std::size_t k = 0; i + k < n; ++k) {
        s[i + k].Conductance = g[k];
        sum += g[k];
    }
    return sum;
}

double CommonConductancesBase(NSynapseState* s, std::size_t n, const NCommonConstants& c) {
    return c.ReciprocalK != 0 ? CommonConductances<true>(s, n, c) : CommonConductances<false>(s, n, c);
}

// Without fused multiply-add: that would round differently.
[[gnu::target("avx2")]] double CommonConductancesAvx2(NSynapseState* s, std::size_t n, const NCommonConstants& c) {
    return c.ReciprocalK != 0 ? CommonConductances<true>(s, n, c) : CommonConductances<false>(s, n, c);
}

bool BaselineOnly = false;

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has && !BaselineOnly;
}

} // namespace

// ---- constants ----

NSynapseConstants::NSynapseConstants(const NSynapseParameters& params, double loadedTC, NTime dt)
    : Params(params), LoadedTC(loadedTC), Dt(dt) {
    Inert = Params.K == 0 || Params.Rs == 0;
    // x / 2^e and x * 2^-e round the same real number: exact whenever 2^-e is a double.
    int exponent = 0;
    if (std::isfinite(Params.K) && std::frexp(Params.K, &exponent) == 0.5 && 1 - exponent <= 1023)
        ReciprocalK = std::ldexp(1.0, 1 - exponent);
    Den[static_cast<int>(NSynapsePhase::Dissociation)] = Params.DissociationTC / dt + 0.5L;
    Den[static_cast<int>(NSynapsePhase::Secretion)] = Params.SecretionTC / dt + 0.5L;
    Den[static_cast<int>(NSynapsePhase::Loaded)] = LoadedTC / dt + 0.5L;
    DenSplit = true;
    for (int i = 0; i < 3; ++i) {
        DenHigh[i] = static_cast<double>(Den[i]);
        DenLow[i] = static_cast<double>(Den[i] - DenHigh[i]);
        const NTime sum = NTime(DenHigh[i]) + DenLow[i];
        if (!std::isfinite(Den[i]) || Den[i] == 0 || !(sum == Den[i])) DenSplit = false;
    }
}

bool NSynapseConstants::Matches(const NSynapseParameters& params, double loadedTC, NTime dt) const {
    return std::memcmp(&Params, &params, sizeof(NSynapseParameters)) == 0 && SameBits(LoadedTC, loadedTC) && Dt == dt;
}

std::uint64_t NSynapseConstantsTable::Hash(const NSynapseParameters& params, double loadedTC, NTime dt) {
    const double values[7] = {params.SecretionTC, params.DissociationTC, params.K, params.Ri, params.Rs, loadedTC,
                              static_cast<double>(dt)};
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (double v : values) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof(bits));
        hash = (hash ^ bits) * 0x100000001b3ULL;
        hash ^= hash >> 29;
    }
    return hash;
}

std::uint32_t NSynapseConstantsTable::Acquire(NSynapseParameters params, double loadedTC, NTime dt) {
    std::uint32_t set = UINT32_MAX;
    if (Last < Sets.size() && Users[Last] != 0 && Sets[Last].Matches(params, loadedTC, dt)) {
        set = Last;
    } else {
        const std::uint64_t hash = Hash(params, loadedTC, dt);
        for (auto [it, end] = Index.equal_range(hash); it != end; ++it)
            if (Sets[it->second].Matches(params, loadedTC, dt)) {
                set = it->second;
                break;
            }
        if (set == UINT32_MAX) {
            if (!Free.empty()) {
                set = Free.back();
                Free.pop_back();
                Sets[set] = NSynapseConstants(params, loadedTC, dt);
            } else {
                set = static_cast<std::uint32_t>(Sets.size());
                Sets.emplace_back(params, loadedTC, dt);
                Users.push_back(0);
            }
            Index.emplace(hash, set);
        }
    }
    ++Users[set];
    Last = set;
    return set;
}

void NSynapseConstantsTable::Release(std::uint32_t set) {
    if (--Users[set] != 0) return;
    const NSynapseConstants& c = Sets[set];
    for (auto [it, end] = Index.equal_range(Hash(c.Params, c.LoadedTC, c.Dt)); it != end; ++it)
        if (it->second == set) {
            Index.erase(it);
            break;
        }
    Free.push_back(set);
}

// ---- blocks ----

void NSynapseBlock::UseBaselineInstructionsOnly(bool only) { BaselineOnly = only; }

NSynapseBlock::NSynapseBlock() : Dt(NSplitTime(GetTimeStep())), ClockGeneration(GetClockGeneration()) {}

NSynapseBlock::~NSynapseBlock() { Clear(); }

std::uint32_t NSynapseBlock::Add(NSynapseState state, const NSynapseParameters& params, double loadedTC) {
    state.Set = NSynapseConstantsTable::Instance().Acquire(params, loadedTC, Dt.Get());
    ReserveOneMore(States);
    States.push_back(state);
    SetsChanged = true;
    return static_cast<std::uint32_t>(States.size() - 1);
}

void NSynapseBlock::Erase(std::uint32_t index) {
    NSynapseConstantsTable::Instance().Release(States[index].Set);
    States.erase(States.begin() + index);
    SetsChanged = true;
}

void NSynapseBlock::Clear() {
    NSynapseConstantsTable& table = NSynapseConstantsTable::Instance();
    for (const NSynapseState& s : States) table.Release(s.Set);
    States.clear();
    SetsChanged = true;
    Dt = NSplitTime(GetTimeStep());  // an empty block takes its next synapses at the step now in force
}

void NSynapseBlock::SetConstants(std::uint32_t index, const NSynapseParameters& params, double loadedTC) {
    if (GiveConstants(States[index], params, loadedTC, Dt.Get())) SetsChanged = true;
}

void NSynapseBlock::UseTimeStep(NTime dt) {
    Dt = NSplitTime(dt);
    for (NSynapseState& s : States) GiveTimeStep(s, dt);
    SetsChanged = true;
}

void NSynapseBlock::FindCommonSet() {
    SetsChanged = false;
    CommonSet = States.empty() ? kMixedSets : States.front().Set;
    for (const NSynapseState& s : States)
        if (s.Set != CommonSet) {
            CommonSet = kMixedSets;
            return;
        }
}

template <bool kKeep> double NSynapseBlock::StepKeeping(double* before) {
    if (ClockGeneration != GetClockGeneration()) {
        ClockGeneration = GetClockGeneration();
        const NTime dt = GetTimeStep();
        if (dt != Dt.Get()) UseTimeStep(dt);
    }
    if (SetsChanged) FindCommonSet();
    const NSynapseConstants* sets = NSynapseConstantsTable::Instance().Data();
    if (CommonSet != kMixedSets && sets[CommonSet].DenSplit && !sets[CommonSet].Inert) {
        const NCommonConstants c(sets[CommonSet]);
        // Most synapses are between pulses and dissociating: their D stays in a register, and
        // m + (0 - m)/D is m - m/D.
        const NTime dissociation = NTime(c.DenHigh[0]) + c.DenLow[0];
        static_assert(static_cast<int>(NSynapsePhase::Dissociation) == 0);
        for (NSynapseState& s : States) {
            if constexpr (kKeep) *before++ = s.Transmitter;
            if ((s.PulseCounter | s.Phase) != 0) [[unlikely]] {
                AdvanceTransmitter(s, [&c](std::uint32_t phase) { return NTime(c.DenHigh[phase]) + c.DenLow[phase]; });
                continue;
            }
            std::uint64_t bits;
            std::memcpy(&bits, &s.Transmitter, sizeof(bits));
            if ((bits << 1) == 0) continue;  // at rest
            const NTime m = s.Transmitter;
            s.Transmitter = static_cast<double>(m - m / dissociation);
        }
        return HasAvx2() ? CommonConductancesAvx2(States.data(), States.size(), c)
                         : CommonConductancesBase(States.data(), States.size(), c);
    }
    for (NSynapseState& s : States) {
        if constexpr (kKeep) *before++ = s.Transmitter;
        AdvanceTransmitter(s, sets[s.Set]);
    }
    double sum = 0;
    for (NSynapseState& s : States) {
        s.Conductance = ConductanceFor(s.Transmitter, sets[s.Set]);
        sum += s.Conductance;
    }
    return sum;
}

double NSynapseBlock::Step() { return StepKeeping<false>(nullptr); }
double NSynapseBlock::Step(double* levelsBefore) { return StepKeeping<true>(levelsBefore); }

void NSynapseBlock::StepOne(std::uint32_t index, NTime dt) {
    if (dt != Dt.Get()) UseTimeStep(dt);
    NSynapseState& s = States[index];
    StepState(s, Constants(s));
}

double NSynapseBlock::Retake(const std::uint32_t* indices, std::size_t count, const double* levels) {
    const NTime dt = GetTimeStep();
    for (std::size_t k = 0; k < count; ++k) {
        States[indices[k]].Transmitter = levels[indices[k]];
        StepOne(indices[k], dt);
    }
    double sum = 0;
    for (const NSynapseState& s : States) sum += s.Conductance;
    return sum;
}

// ---- the synapse ----

namespace {

// States of synapses that no unit has taken yet, kept for reuse: every synapse starts with one and
// leaves it as soon as its unit takes it, which would otherwise cost an allocation and a release
// per synapse of a model.
std::vector<NSynapseState*>& SpareStates() {
    static auto* const spares = new std::vector<NSynapseState*>;
    return *spares;
}

NSynapseState* TakeLoneState() {
    auto& spares = SpareStates();
    if (spares.empty()) return new NSynapseState;
    NSynapseState* state = spares.back();
    spares.pop_back();
    return state;
}

void GiveBackLoneState(NSynapseState* state) {
    constexpr std::size_t kMaxSpares = 16;
    NSynapseConstantsTable::Instance().Release(state->Set);
    if (SpareStates().size() < kMaxSpares) SpareStates().push_back(state);
    else delete state;
}

} // namespace

// Its output lives in its state and its unit's block is found through its owner: one cache line,
// where malloc would take 80 bytes for each of the hundreds of thousands of synapses of a large model.
static_assert(sizeof(NSynapse) <= 64);

namespace {

struct NSynapsePool {
    std::mutex Lock;
    NSlotPool Slots;
};

NSynapsePool& SynapsePool() {
    static auto* const pool = new NSynapsePool;  // never destroyed: synapses of static objects may outlive it
    return *pool;
}

} // namespace

void* NSynapse::operator new(std::size_t size) {
    if (!NSlotPool::Pooled(size)) return ::operator new(size);
    NSynapsePool& pool = SynapsePool();
    const std::lock_guard<std::mutex> lock(pool.Lock);
    return pool.Slots.Allocate(size);
}

void NSynapse::operator delete(void* synapse, std::size_t size) noexcept {
    if (!synapse) return;
    if (!NSlotPool::Pooled(size)) return ::operator delete(synapse);
    NSynapsePool& pool = SynapsePool();
    const std::lock_guard<std::mutex> lock(pool.Lock);
    pool.Slots.Release(synapse, size);
}

NSynapse::NSynapse(NBasicDescription* owner, const char* name) : NWithoutComponents(owner, name, 1, nullptr) {
    NSynapseState* state = TakeLoneState();
    *state = NSynapseState{};
    state->Set = NSynapseConstantsTable::Instance().Acquire(NSynapseParameters{}, 0, GetTimeStep());
    Lone = true;
    BindOutputs(&state->Conductance);
    Reset();
}

NSynapse::~NSynapse() {
    if (Lone) GiveBackLoneState(&Own());
}

NSynapseBlock& NSynapse::UnitBlock() const { return static_cast<NIonUnit*>(GetOwner())->SynapseStates; }

std::uint32_t NSynapse::GetStateIndex() const {
    return Lone ? 0 : static_cast<std::uint32_t>(&Own() - UnitBlock().Data());
}

void NSynapse::Step(NTime dt) {
    if (!Lone) return UnitBlock().StepOne(GetStateIndex(), dt);
    // A lone state's time step is its set's.
    if (Constants().Dt != dt) GiveTimeStep(Own(), dt);
    StepState(Own(), Constants());
}

void NSynapse::SetConstants(const NSynapseParameters& params, double loadedTC) {
    if (!Lone) return UnitBlock().SetConstants(GetStateIndex(), params, loadedTC);
    GiveConstants(Own(), params, loadedTC, Constants().Dt);
}

const NParameterTable<NSynapseParameters>& NSynapse::ParameterTable() {
    using P = NSynapseParameters;
    static const NParameterTable<P> table{
        {"SecretionTC", &P::SecretionTC, NRange::Positive(), true, "s"},
        {"DissociationTC", &P::DissociationTC, NRange::Positive(), true, "s"},
        {"K", &P::K, NRange::NonNegative(), true},
        {"Ri", &P::Ri, NRange::NonNegative(), true, "Ohm"},
        {"Rs", &P::Rs, NRange::NonNegative(), true, "Ohm"},
    };
    return table;
}

NBasicDescription* NSynapse::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NIonUnit>(owner, name)) return nullptr;
    return new NSynapse(owner, name);
}

double NSynapse::GetParameter(const char* name) { return ParameterTable().Get(GetParams(), name); }

bool NSynapse::SetParameter(const char* name, double value) {
    if (ParameterTable().Find(name) && !CheckFiniteParameter(*this, value)) return false;
    NSynapseParameters params = GetParams();
    bool resets = false;
    if (!ParameterTable().Set(params, name, value, &resets)) return false;
    SetConstants(params, LoadedTC());
    if (resets) Reset();
    return true;
}

void NSynapse::GetParametersList(NStringList& names) { ParameterTable().List(names); }

bool NSynapse::CopyParameters(NBasicDescription* target) {
    if (!target) return ReportError(4);
    auto* other = CastTo<NSynapse>(target);
    if (!other) return ReportError(5);
    other->SetConstants(NSynapseParameters(GetParams()), other->LoadedTC());
    other->Reset();
    return true;
}

double NSynapse::GetCurrentTC() const {
    switch (PhaseOf(Own())) {
    case NSynapsePhase::Secretion: return GetParams().SecretionTC;
    case NSynapsePhase::Loaded: return LoadedTC();
    case NSynapsePhase::Dissociation: break;
    }
    return GetParams().DissociationTC;
}

char* NSynapse::SaveState(char* buffer) {
    const double values[3] = {Own().Conductance, GetCurrentTC(), Own().Transmitter};
    std::memcpy(buffer, values, sizeof(values));
    return buffer;
}

bool NSynapse::LoadState(const char* buffer) {
    double values[3];
    std::memcpy(values, buffer, sizeof(values));
    const double tc = values[1];
    const NSynapseParameters params = GetParams();
    // A time constant that is neither parameter keeps its own quotient until the next switch.
    NSynapsePhase phase = NSynapsePhase::Loaded;
    if (SameBits(tc, params.DissociationTC)) phase = NSynapsePhase::Dissociation;
    else if (SameBits(tc, params.SecretionTC)) phase = NSynapsePhase::Secretion;
    SetConstants(params, phase == NSynapsePhase::Loaded ? tc : 0);
    NSynapseState& s = Own();
    s.Conductance = values[0];
    s.Transmitter = values[2];
    SetPhase(s, phase);
    return true;
}

void NSynapse::SaveStepState(NStateWriter& out) {
    NConnector::SaveStepState(out);
    out.Put(Own().PulseCounter);
}

bool NSynapse::LoadStepState(NStateReader& in) {
    std::int32_t counter = 0;
    if (!NConnector::LoadStepState(in) || !in.Get(counter) || counter < 0) return false;
    Own().PulseCounter = counter;
    return true;
}

void NSynapse::Transfer() {
    if (InOrderedPartOfSplitStep()) [[unlikely]] {
        // The unit may have taken this step already, before the pulse it should have seen. Noted
        // before the state changes, which a failed guess puts back.
        NBasicDescription* unit = GetOwner();
        if (auto* neuron = unit ? dynamic_cast<NNeuron*>(unit->GetOwner()) : nullptr)
            neuron->NotePulseArrival(unit, *this);
    }
    TakePulse();
}

void NSynapse::TakePulse() {
    NSynapseState& s = Own();
    s.PulseCounter = PulseLengthInSteps();
    StampPulseStart();
    SetPhase(s, NSynapsePhase::Secretion);
}

void NSynapse::Prefetch(int distance) const {
    if (distance >= 2) __builtin_prefetch(GetOwner());
    else __builtin_prefetch(&Own());
}

void NSynapse::Reset() {
    NConnector::Reset();
    if (LoadedTC() != 0) SetConstants(NSynapseParameters(GetParams()), 0);
    NSynapseState& s = Own();
    s.PulseCounter = 0;
    s.Conductance = 0;
    s.Transmitter = 0;
    SetPhase(s, NSynapsePhase::Dissociation);
}

void NSynapse::MoveInto(NSynapseBlock& block) {
    NSynapseState* lone = Lone ? &Own() : nullptr;
    const std::uint32_t index = block.Add(Own(), NSynapseParameters(GetParams()), LoadedTC());
    Bind(&block, index);
    Lone = false;
    if (lone) GiveBackLoneState(lone);
}

void NSynapse::Bind(NSynapseBlock* block, std::uint32_t index) {
    BindOutputs(&block->State(index).Conductance);
}

} // namespace talvero
