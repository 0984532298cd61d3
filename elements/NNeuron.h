#pragma once
// Pulse-generating neuron: its ion units' outputs, averaged by sign, drive its low-threshold
// zone; each switching-on of the zone sends one pulse to every attached connector.

#include <memory>
#include <vector>

#include "elements/NComponentSlots.h"
#include "elements/NIonUnit.h"
#include "elements/NLTZone.h"
#include "kernel/NAbstractItem.h"
#include "kernel/NSplitStep.h"

namespace talvero {

class NNeuron : public NWithoutParameters<NNeuron, NItem>, public NSplitStepObject {
public:
    using IonUnitList = std::vector<std::unique_ptr<NIonUnit>>;

    NNeuron(NBasicDescription* owner, const char* name);
    ~NNeuron() override;

    bool IsPulse() override { return LTZone->IsFiring(); }

    bool CheckName(const char* name) override;
    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    NBasicDescription* GetComponent(const char* path) override;
    bool AddComponent(NBasicDescription* component) override;
    bool DelComponent(const char* name) override;
    void GetComponentsList(NStringList& names) override;
    bool ForEachComponent(const std::function<bool(NBasicDescription*)>& visit) override;
    bool CopyComponents(NBasicDescription* target) override;

    // Negative potential, then positive potential.
    int GetStateSize() override { return sizeof(NState); }
    char* SaveState(char* buffer) override { return SaveRaw(State, buffer); }
    bool LoadState(const char* buffer) override { return LoadRaw(State, buffer); }

    virtual int GetIonUnitsCount() const { return static_cast<int>(IonUnits.size()); }
    virtual bool AddIonUnit(NIonUnit* unit);
    virtual bool DelIonUnit(const char* name);
    virtual void DelAllIonUnits();
    virtual IonUnitList::const_iterator GetIonUnitsBegin() const { return IonUnits.begin(); }
    virtual IonUnitList::const_iterator GetIonUnitsEnd() const { return IonUnits.end(); }
    virtual NIonUnit* GetIonUnit(const char* name);

    void Reset() override;
    void Calculate() override;
    void Prefetch(int distance) const override;

    // The split step: the units in parallel, the zone in order.
    bool CanSplitStep() const override;
    std::size_t PlanSplitStep(const NItemOrder& order, std::size_t position) override;
    void StepIndependentPart() override;
    void StepOrderedPart() override;
    bool StepAhead() override;
    bool StepInTurn() override;
    bool ReceivesThrough(const NAbstractConnector& connector) const override;
    void ReceiveAhead(NAbstractConnector& connector) override;
    void ReceiveInTurn(NAbstractConnector& connector) override { static_cast<NSynapse&>(connector).TakePulse(); }
    void PrefetchArrival() const override {
        __builtin_prefetch(Split.get());
        __builtin_prefetch(IonUnits.data());
    }
    bool RetakeAhead() override;
    bool RetakeAgain(const NPulseChange* changes, std::size_t count) override;
    bool SentAhead() const override { return Split->Sends; }
    void DropSplitStep() override { Split.reset(); }
    // A pulse is reaching `synapse` of the ion unit `unit` of this neuron.
    void NotePulseArrival(const NBasicDescription* unit, NSynapse& synapse);

    virtual double GetNegativePotential() const { return State.NegativePotential; }
    virtual double GetPositivePotential() const { return State.PositivePotential; }
    virtual double GetPotential() const { return State.NegativePotential + State.PositivePotential; }

    bool SetLTZone(NLTZone* zone) { return ReplaceOwnedComponent(this, LTZone, zone); }
    NLTZone* GetLTZone() const { return LTZone.get(); }

private:
    friend struct NFastAccess;  // the fast engine's compiler and state copies
    NIonUnit* FindIonUnit(const char* name) const;
    // The units' step, each unit's synapses stepped by `stepSynapses(u)`, which returns their conductance.
    template <class StepSynapsesOf> void StepUnits(StepSynapsesOf stepSynapses);
    void StepAllUnits();  // each unit steps its synapses as one thread does
    void StepZone();
    bool StepZoneQuietly();  // true when a pulse starts: the caller sends it
    void UpdatePotentials();
    void RetakeUnits();
    void UndoAhead();
    void NoteArrival(std::uint32_t unit, NSynapse& synapse);
    static constexpr std::uint32_t kNoUnit = UINT32_MAX;
    std::uint32_t UnitIndexOf(const NBasicDescription* unit) const;  // kNoUnit: none of its units

    // What the split step keeps between the two parts of a step, in one block of memory per neuron
    // (every neuron of a large net keeps one): its record, then where each unit's levels are, then
    // the values kept.
    struct NSplit {
        static constexpr std::uint32_t kNotSaved = UINT32_MAX;
        // Room the list of arrivals keeps between steps: a neuron mostly gets a pulse or none a step.
        static constexpr std::size_t kArrivalsKept = 8;

        struct NDelete {
            void operator()(NSplit* split) const;
        };
        // With room for `levels` values (per unit its output before the step, then the levels the
        // plan saves) behind it.
        static std::unique_ptr<NSplit, NDelete> Make(std::uint32_t units, std::size_t levels);

        // Per unit: where in Saved() its synapses' levels are, or kNotSaved.
        std::uint32_t* LevelsAt() { return reinterpret_cast<std::uint32_t*>(this + 1); }
        double* Saved() { return reinterpret_cast<double*>(reinterpret_cast<char*>(this + 1) + IndexBytes(Units)); }
        double* LevelsOf(std::size_t unit) { return Saved() + LevelsAt()[unit]; }
        double& OutputBefore(std::size_t unit) { return Saved()[unit]; }
        static std::size_t IndexBytes(std::size_t units) { return (units * sizeof(std::uint32_t) + 7) & ~std::size_t(7); }

        std::vector<std::pair<std::uint32_t, std::uint32_t>> Arrivals;  // not on a guess: unit, synapse
        struct NTakenBack {
            NSynapse* Synapse;
            std::uint32_t Unit;
            NSynapse::NMark Mark;
        };
        static_assert(sizeof(NTakenBack) <= 32);
        // Arrivals on a guess, with what they changed. Mostly one a step, kept in place: a list
        // allocated for it in every step cost more than its turn's arithmetic, and room kept in
        // each neuron's list came to 0.8 MB at 10,000 neurons.
        class NGuessed {
        public:
            void push_back(const NTakenBack& arrival) {
                if (Count == 1) More.assign(1, One);
                if (Count == 0) One = arrival;
                else More.push_back(arrival);
                ++Count;
            }
            const NTakenBack* begin() const { return Count > 1 ? More.data() : &One; }
            const NTakenBack* end() const { return begin() + Count; }
            bool empty() const { return Count == 0; }
            void clear() {
                if (Count > 1) std::vector<NTakenBack>().swap(More);
                Count = 0;
            }

        private:
            NTakenBack One{};
            std::vector<NTakenBack> More;  // all of them, once there are two
            std::uint32_t Count = 0;
        };
        NGuessed Guessed;
        NLTZone::NStepMark ZoneBefore;  // stepped ahead: the zone before the step
        std::uint32_t Position = 0;  // in the walk
        std::uint32_t Units = 0;
        bool Sends = false;    // stepped ahead: a pulse starts in this step
        bool Pending = false;  // the units have taken the step, the zone has not
    };
    std::unique_ptr<NSplit, NSplit::NDelete> Split;

    struct NState {
        double NegativePotential = 0;
        double PositivePotential = 0;
    } State;
    static_assert(sizeof(NState) == 16);

    IonUnitList IonUnits;
    std::unique_ptr<NLTZone> LTZone;
};

} // namespace talvero
