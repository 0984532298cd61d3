#pragma once
// Chemical synapse: a pulse connector of an ion unit. Presynaptic pulses drive the transmitter
// level, which becomes a conductance that shunts the ion unit.

#include <cmath>
#include <cstdint>

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

class NSynapse final
    : public NWithParameters<NSynapse, NWithoutComponents<NSynapse, NConnector>, NSynapseParameters> {
public:
    NSynapse(NBasicDescription* owner, const char* name);

    static const NParameterTable<NSynapseParameters>& ParameterTable();

    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    bool CopyParameters(NBasicDescription* target) override;

    // Output 0, time constant in force, transmitter level: three doubles.
    int GetStateSize() override { return 3 * sizeof(double); }
    char* SaveState(char* buffer) override;
    bool LoadState(const char* buffer) override;

    void Transfer() override;
    void Reset() override;
    void Calculate() override { Step(GetTimeStep()); }

    void Step(NTime dt);

    double GetCurrentTC() const { return State.CurrentTC; }
    double GetTransmitter() const { return State.Transmitter; }
    double GetConductance() const { return Outputs[0]; }

protected:
    void ParameterChanged() override;

private:
    struct NState {
        double CurrentTC = 0;    // SecretionTC from an arrival to the last pulse step, else DissociationTC
        double Transmitter = 0;  // m, between 0 and 1
    } State;

    // A zero K or Rs leaves the conductance without a finite value: such a synapse conducts nothing.
    bool Inert = false;

    // D = tau/dt + 0.5 for the tau and dt it was computed with.
    NTime Denominator(NTime dt) {
        if (State.CurrentTC != DenTC || dt != DenDt) {
            DenTC = State.CurrentTC;
            DenDt = dt;
            Den = DenTC / dt + 0.5L;
        }
        return Den;
    }
    double DenTC = 0;
    NTime DenDt = 0;
    NTime Den = 0;
};

// Inline: the ion unit steps its synapses in its own loop.
inline void NSynapse::Step(NTime dt) {
    double& m = State.Transmitter;
    const std::int32_t n = PulseCounter;
    if (n == 0 && m == 0) {
        // At rest nothing changes: skip the divisions.
        Outputs[0] = 0;
        return;
    }
    if (n == 0) {
        m = static_cast<double>(m - m / Denominator(dt));
    } else {
        // The last pulse step aims at the middle and hands over to dissociation.
        NTime target = 1;
        if (n == 1) {
            State.CurrentTC = Params.DissociationTC;
            target = 0.5L;
        }
        m = static_cast<double>(m + (target - m) / Denominator(dt));
        --PulseCounter;
    }
    if (Inert) {
        Outputs[0] = 0;
        return;
    }
    const double y = m / Params.K;
    const double g = y >= 1 ? y / ((y - 1) * Params.Ri + Params.Rs) : y / Params.Rs;
    // Subnormal K or Rs can still overflow; no finite conductance is taken as none.
    Outputs[0] = std::isfinite(g) ? g : 0.0;
}

} // namespace talvero
