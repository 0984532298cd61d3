#pragma once
// Ion unit: one ionic mechanism of a neuron's membrane, a current source behind R and C shunted
// by the conductances of its synapses. Its output is the unit's intensity.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "elements/NSynapse.h"
#include "kernel/NClock.h"
#include "kernel/NElementSupport.h"
#include "kernel/NUnitDescription.h"

namespace talvero {

struct NIonUnitParameters {
    double R = 8e6;             // ohms
    double C = 2.5e-9;          // farads
    double MaxIntensity = 1.0;  // -1..1; the sign picks the neuron potential it feeds
};

class NIonUnit final : public NWithParameters<NIonUnit, NUnitDescription, NIonUnitParameters> {
public:
    using SynapseList = std::vector<std::unique_ptr<NSynapse>>;

    NIonUnit(NBasicDescription* owner, const char* name);
    ~NIonUnit() override;

    static const NParameterTable<NIonUnitParameters>& ParameterTable();

    bool CheckName(const char* name) override;
    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    NBasicDescription* GetComponent(const char* path) override;
    bool AddComponent(NBasicDescription* component) override;
    bool DelComponent(const char* name) override;
    void GetComponentsList(NStringList& names) override;
    bool ForEachComponent(const std::function<bool(NBasicDescription*)>& visit) override;
    bool CopyComponents(NBasicDescription* target) override;
    bool CopyParameters(NBasicDescription* target) override;

    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void SaveStepState(NStateWriter& out) override;
    bool LoadStepState(NStateReader& in) override;

    void Reset() override;
    void ComponentsComplete() override;
    void Calculate() override { Step(); }

    virtual int GetSynapsesCount() const { return static_cast<int>(Synapses.size()); }
    virtual bool AddSynapse(NSynapse* synapse);
    virtual bool DelSynapse(const char* name);
    virtual void DelAllSynapses();
    virtual SynapseList::const_iterator GetSynapsesBegin() const { return Synapses.begin(); }
    virtual SynapseList::const_iterator GetSynapsesEnd() const { return Synapses.end(); }
    virtual NSynapse* GetSynapse(const char* name);

    // One step at the cached time step: the synapses, then the unit itself.
    void Step() { Integrate(StepSynapses()); }
    // Asks the memory for what the next step of the unit reads.
    void Prefetch() const { SynapseStates.Prefetch(); }
    // The synapses' part of a step; returns their summed conductance.
    double StepSynapses() { return SynapseStates.Step(); }
    // The same, keeping the synapses' levels before the step in `levelsBefore` for Retake.
    double StepSynapses(double* levelsBefore) { return SynapseStates.Step(levelsBefore); }
    // The unit's own part of a step, for the summed conductance g of its synapses.
    void Integrate(double g);
    double GetRC() const { return RC; }

    // For a step taken again when pulses reached synapses after it was taken.
    std::size_t GetSynapseStatesCount() const { return SynapseStates.Size(); }
    // The step again, from the output and the synapses' levels before it; the synapses at
    // `indices` take their step again, the others keep theirs.
    void Retake(const std::uint32_t* indices, std::size_t count, const double* levels, double outputBefore) {
        const double g = SynapseStates.Retake(indices, count, levels);
        Output0 = outputBefore;
        Integrate(g);
    }

protected:
    void ComponentRenamed(NBasicDescription* component, const std::string& oldName) override;

private:
    friend struct NFastAccess;  // the fast engine's compiler and state copies
    friend class NSynapse;     // finds its state in the block
    NSynapse* FindSynapse(std::string_view name) const;
    // The name index: positions in Synapses ordered by name, equal names by position. A unit gets
    // one once it has many synapses; finding a synapse by name is then a binary search. Without
    // it, building a unit with a fan-in of thousands took time quadratic in its synapses.
    static constexpr std::size_t kIndexFrom = 32;
    void IndexAll();
    void IndexAdded(std::uint32_t position);
    void IndexRemoved(std::uint32_t position);
    // Tells the synapses from `first` on where their states are now.
    void RebindSynapses(std::size_t first);

    NSynapseBlock SynapseStates;  // the synapses' per-step states, in list order
    SynapseList Synapses;
    // The name index; null while the unit has few synapses, as most units have: the pointer alone
    // then costs each unit of a large net a word instead of three.
    std::unique_ptr<std::vector<std::uint32_t>> ByName;
    double RC = 0;  // R * C, taken at construction and Reset
    double Output0 = 0;
};

} // namespace talvero
