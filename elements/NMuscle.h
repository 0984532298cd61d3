#pragma once
// Skeletal muscle lifting a load: motor pulses drive an activation chain whose output is the
// active force; the total force moves a mass under gravity; length and forces are reported
// through six analog output items.

#include <cstddef>

#include "kernel/NAItem.h"
#include "kernel/NFixedComponents.h"

namespace talvero {

class NSimpleConnector;
class NSimpleAItem;

struct NMuscleParams {
    double T1 = 0.003;
    double T2 = 0.001513;
    double T3 = 0.00386;
    double MultiplicationFactor1 = 0.45;
    double MultiplicationFactor2 = 0.5;
    double MultiplicationFactor3 = 0.02;
    double MultiplicationFactor4 = 0.6;
    double MultiplicationFactor5 = 0.004;
    double MultiplicationFactor6 = 0.12;
    double MultiplicationFactor7 = 0.001;
    double MultiplicationFactor8 = 37;
    double MultiplicationFactor9 = 30;
    double MultiplicationFactor10 = 0.01;
    double MultiplicationFactor11 = 0.01;
    double MultiplicationFactor12 = 0.1;
    double MultiplicationFactor13 = 1.0;
    double MultiplicationFactor14 = 0.1;
    double MultiplicationFactor15 = 0.1;
    double MultiplicationFactor16 = 0.1;
    double MultiplicationFactor17 = 0.1;
    double MultiplicationFactor18 = 0.001;
    double Param1 = 0.039;
    double Param2 = 2.127;
    double Param3 = 0.153;
    double Param4 = 1.719;
    double Mass = 1.0;
    double G = 9.8;
    double Threshold = 0.8;
};

struct NMuscleState {
    static constexpr int kSignals = 15;
    static constexpr int kChain = 7;

    double Signals[kSignals] = {};      // s0 … s14 of the current run
    double PrevSignals[kSignals] = {};  // s0′ … s14′
    double Chain[kChain] = {};          // a0 … a6
    double PrevChain[kChain] = {};
    double MaxActiveForce = 0;          // M: the largest s3 since Reset
    double Vereteno1Value = 0;
    double Vereteno2Value = 0;
    double GoldgiValue = 0;
    unsigned char FirstCall = 1;
};

template <>
struct NStateBlockBytes<NMuscleState> {
    static constexpr std::size_t value = offsetof(NMuscleState, FirstCall) + 1;
};

// The gain block: kp·x, plus the rate term kd·(x − x′)/h once the muscle's FirstCall is clear.
// The block itself never changes the flag.
double MuscleGainBlock(double x, double xPrev, double kp, double kd, double h, bool firstCall);

class NMuscle : public NFixedComponentsElement<NMuscle, NAObject, NMuscleParams, NMuscleState> {
public:
    // Whether the gain blocks add their rate term. Models built with this system are tuned to
    // pure gains (FirstCall never leaves 1); switching this on clears FirstCall after the first
    // run, so that the rate term acts from the second run on, when x′ is a real previous value.
    static constexpr bool kGainBlocksUseRate = false;

    NMuscle(NBasicDescription* owner, const char* name);
    ~NMuscle() override;

    void ACalculate() override;

    static const NParameterTable<NMuscleParams>& ParameterTable();

    NSimpleConnector* GetInput() const { return Input; }
    NSimpleAItem* GetLength() const { return Length; }
    NSimpleAItem* GetVereteno1() const { return Vereteno1; }
    NSimpleAItem* GetVereteno2() const { return Vereteno2; }
    NSimpleAItem* GetGoldgi() const { return Goldgi; }
    NSimpleAItem* GetPower() const { return Power; }
    NSimpleAItem* GetActivePower() const { return ActivePower; }

private:
    double B(double x, double xPrev, double kp, double kd);
    double Dz(double x) const { return x > Params.Threshold ? x - Params.Threshold : 0; }
    double ActivationChain(double x);

    // Components, owned by the fixed-components base.
    NSimpleConnector* Input;
    NSimpleAItem* Length;
    NSimpleAItem* Vereteno1;
    NSimpleAItem* Vereteno2;
    NSimpleAItem* Goldgi;
    NSimpleAItem* Power;
    NSimpleAItem* ActivePower;
};

} // namespace talvero
