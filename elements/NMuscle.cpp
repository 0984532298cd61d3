#include "elements/NMuscle.h"

#include <cmath>

#include "elements/NSimpleAConnector.h"
#include "elements/NSimpleAItem.h"
#include "elements/NSimpleConnector.h"

namespace talvero {

double MuscleGainBlock(double x, double xPrev, double kp, double kd, double h, bool firstCall) {
    if (firstCall) return kp * x;
    return kp * x + kd * (x - xPrev) / h;
}

const NParameterTable<NMuscleParams>& NMuscle::ParameterTable() {
    using P = NMuscleParams;
    const NRange any = NRange::Any();
    static const NParameterTable<P> table{
        {"T1", &P::T1, NRange::Positive(), false},
        {"T2", &P::T2, NRange::Positive(), false},
        {"T3", &P::T3, NRange::Positive(), false},
        {"MultiplicationFactor1", &P::MultiplicationFactor1, any, false},
        {"MultiplicationFactor2", &P::MultiplicationFactor2, any, false},
        {"MultiplicationFactor3", &P::MultiplicationFactor3, any, false},
        {"MultiplicationFactor4", &P::MultiplicationFactor4, any, false},
        {"MultiplicationFactor5", &P::MultiplicationFactor5, any, false},
        {"MultiplicationFactor6", &P::MultiplicationFactor6, any, false},
        {"MultiplicationFactor7", &P::MultiplicationFactor7, any, false},
        {"MultiplicationFactor8", &P::MultiplicationFactor8, any, false},
        {"MultiplicationFactor9", &P::MultiplicationFactor9, any, false},
        {"MultiplicationFactor10", &P::MultiplicationFactor10, any, false},
        {"MultiplicationFactor11", &P::MultiplicationFactor11, any, false},
        {"MultiplicationFactor12", &P::MultiplicationFactor12, any, false},
        {"MultiplicationFactor13", &P::MultiplicationFactor13, any, false},
        {"MultiplicationFactor14", &P::MultiplicationFactor14, any, false},
        {"MultiplicationFactor15", &P::MultiplicationFactor15, any, false},
        {"MultiplicationFactor16", &P::MultiplicationFactor16, any, false},
        {"MultiplicationFactor17", &P::MultiplicationFactor17, any, false},
        {"MultiplicationFactor18", &P::MultiplicationFactor18, any, false},
        {"Param1", &P::Param1, any, false},
        {"Param2", &P::Param2, any, false},
        {"Param3", &P::Param3, any, false},
        {"Param4", &P::Param4, any, false},
        {"Mass", &P::Mass, NRange::NonNegative(), false},
        {"G", &P::G, NRange::Positive(), false},
        {"Threshold", &P::Threshold, any, false},
    };
    return table;
}

NMuscle::NMuscle(NBasicDescription* owner, const char* name) : NFixedComponentsElement(owner, name) {
    Input = AddFixedComponent(std::make_unique<NSimpleConnector>(this, "input"));
    Length = AddFixedComponent(std::make_unique<NSimpleAItem>(this, "length"));
    Vereteno1 = AddFixedComponent(std::make_unique<NSimpleAItem>(this, "vereteno1"));
    Vereteno2 = AddFixedComponent(std::make_unique<NSimpleAItem>(this, "vereteno2"));
    Goldgi = AddFixedComponent(std::make_unique<NSimpleAItem>(this, "goldgi"));
    Power = AddFixedComponent(std::make_unique<NSimpleAItem>(this, "power"));
    ActivePower = AddFixedComponent(std::make_unique<NSimpleAItem>(this, "activepower"));
}

NMuscle::~NMuscle() = default;

double NMuscle::B(double x, double xPrev, double kp, double kd) {
    return MuscleGainBlock(x, xPrev, kp, kd, CalcStep, State.FirstCall != 0);
}

double NMuscle::ActivationChain(double x) {
    double* a = State.Chain;
    double* p = State.PrevChain;
    const double h = CalcStep;
    for (int i = 0; i < NMuscleState::kChain; ++i) p[i] = a[i];
    a[0] = x;
    a[1] = p[0] - Params.MultiplicationFactor3 * p[6];
    a[2] = p[1] - Params.MultiplicationFactor1 * p[3];
    a[3] = p[3] + (h / Params.T1) * p[2];
    a[4] = p[3] - Params.MultiplicationFactor2 * p[5];
    a[5] = p[5] + (h / Params.T2) * p[4];
    a[6] = p[6] + (h / Params.T3) * p[5];
    return a[6];
}

void NMuscle::ACalculate() {
    const NMuscleParams& k = Params;
    const double h = CalcStep;
    double* s = State.Signals;
    double* p = State.PrevSignals;

    Input->Calculate();
    for (int i = 0; i < NMuscleState::kSignals; ++i) p[i] = s[i];

    s[0] = Input->Output(0);
    s[1] = p[0] + p[14] - p[13] - p[6] + p[4];
    s[2] = Dz(p[1]);
    s[3] = ActivationChain(p[2]);
    s[4] = B(s[3], p[3], k.MultiplicationFactor4, k.MultiplicationFactor5);
    s[5] = p[3] * p[3];
    s[6] = B(s[5], p[5], k.MultiplicationFactor6, k.MultiplicationFactor7);
    s[7] = p[3] + p[13];
    if (k.Mass > 0) {
        s[8] = p[7] / k.Mass;
        s[9] = k.G - p[8];
        s[10] = p[10] + h * p[9];
        s[11] = p[11] + h * p[10];
    } else {
        // A massless load has no finite motion: the muscle is held at its length (isometric).
        s[8] = s[9] = s[10] = 0;
        s[11] = p[11];
    }
    s[12] = k.Param1 * std::exp(k.Param2 * p[11]) + k.Param3 * std::exp(k.Param4 * p[11]);
    s[13] = k.MultiplicationFactor18 * B(s[12], p[12], k.MultiplicationFactor8, k.MultiplicationFactor9);
    s[14] = B(s[11], p[11], k.MultiplicationFactor10, k.MultiplicationFactor11);
    if (s[3] > State.MaxActiveForce) State.MaxActiveForce = s[3];
    // The load cannot stretch the muscle while the passive force exceeds the largest active force.
    if (s[13] > State.MaxActiveForce) s[11] = p[11];

    State.GoldgiValue = B(s[7], p[7], k.MultiplicationFactor12, k.MultiplicationFactor13);
    State.Vereteno1Value = B(s[13], p[13], k.MultiplicationFactor14, k.MultiplicationFactor15);
    State.Vereteno2Value = B(s[14], p[14], k.MultiplicationFactor16, k.MultiplicationFactor17);

    const double written[] = {s[11], State.Vereteno1Value, State.Vereteno2Value,
                              State.GoldgiValue, s[7], s[3]};
    NSimpleAItem* const outputs[] = {Length, Vereteno1, Vereteno2, Goldgi, Power, ActivePower};
    for (int i = 0; i < 6; ++i) outputs[i]->GetInput()->SetInputs(&written[i]);
    for (NSimpleAItem* item : outputs) item->Calculate();

    if constexpr (kGainBlocksUseRate) State.FirstCall = 0;
}

} // namespace talvero
