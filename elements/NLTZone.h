#pragma once
// Low-threshold zone: the spike generator of a neuron. Two lagged inputs sum into a membrane
// value; above the threshold the zone fires for one pulse length and is then refractory.

#include <cstdint>

#include "kernel/NClock.h"
#include "kernel/NElementSupport.h"
#include "kernel/NUnitDescription.h"

namespace talvero {

struct NLTZoneParameters {
    double PT1 = 0.05;  // filter time constants at rest, seconds
    double PT2 = 0.05;
    double AT1 = 0.1;   // and while firing
    double AT2 = 0.1;
    double K = 1.0;     // while firing both filters go towards -K
    double FireThreshold = 0.001;  // copied with the others, but not settable by name
};

class NLTZone final
    : public NWithParameters<NLTZone, NWithoutComponents<NLTZone, NUnitDescription>, NLTZoneParameters> {
public:
    NLTZone(NBasicDescription* owner, const char* name);

    static const NParameterTable<NLTZoneParameters>& ParameterTable();

    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    bool CopyParameters(NBasicDescription* target) override;

    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    // The filters, the membrane and the pulse under way.
    void SaveStepState(NStateWriter& out) override;
    bool LoadStepState(NStateReader& in) override;

    void Reset() override;
    void Calculate() override { Step(PulseLengthInSteps()); }

    // One step with the owner's inputs at the cached time step; pulseSteps is trunc(P/dt) + 1.
    void Step(int pulseSteps);
    void SetInputPair(double in0, double in1) {
        Values[0] = in0;
        Values[1] = in1;
    }
    bool IsFiring() const { return Values[2] != 0; }

    // What a step changes, so that a step taken ahead of its turn can be taken back.
    struct NStepMark;
    NStepMark Mark() const;
    void Rewind(const NStepMark& mark);

    double GetFilter1() const { return State.Filter1; }
    double GetFilter2() const { return State.Filter2; }
    double GetMembrane() const { return State.Membrane; }
    double GetMembraneTC() const { return State.MembraneTC; }
    std::int32_t GetPulseCounter() const { return State.PulseCounter; }

protected:
    void ParameterChanged() override { Prepared = false; }

private:
    friend struct NFastAccess;  // the fast engine's compiler and state copies
    struct NState {
        double Filter1 = 0;
        double Filter2 = 0;
        double Membrane = 0;
        double MembraneTC = 0;
        std::int32_t PulseCounter = 0;
    } State;

public:
    struct NStepMark {
        NState State;
        double In0 = 0, In1 = 0, Out = 0;
    };

private:

    // Denominators of the updates, for the clock of PreparedGeneration.
    void Prepare();
    bool Prepared = false;
    unsigned long long PreparedGeneration = 0;
    NSplitTime RestDen1, RestDen2, FireDen1, FireDen2, MembraneDen;
    double Values[3] = {};  // the two inputs and the output, inside the zone
};

} // namespace talvero
