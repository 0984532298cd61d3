#include "elements/NEyeMuscle.h"

#include <memory>

#include "elements/NSimpleAConnector.h"
#include "elements/NSimpleAItem.h"
#include "elements/NSimpleConnector.h"

namespace talvero {

const NParameterTable<NEyeMuscleParams>& NEyeMuscle::ParameterTable() {
    using P = NEyeMuscleParams;
    static const NParameterTable<P> table{
        {"T1", &P::T1, NRange::Positive(), false},
        {"T2", &P::T2, NRange::Positive(), false},
        {"T3", &P::T3, NRange::Positive(), false},
        {"MultiplicationFactor1", &P::MultiplicationFactor1, NRange::Any(), false},
        {"MultiplicationFactor2", &P::MultiplicationFactor2, NRange::Any(), false},
        {"MultiplicationFactor3", &P::MultiplicationFactor3, NRange::Any(), false},
        {"K", &P::K, NRange::Any(), false},
    };
    return table;
}

NEyeMuscle::NEyeMuscle(NBasicDescription* owner, const char* name) : NFixedComponentsElement(owner, name) {
    Input = AddFixedComponent(std::make_unique<NSimpleConnector>(this, "input"));
    Length = AddFixedComponent(std::make_unique<NSimpleAItem>(this, "length"));
    SetCalcStep(kDefaultCalcStep);
}

NEyeMuscle::~NEyeMuscle() = default;

void NEyeMuscle::ACalculate() {
    const NEyeMuscleParams& k = Params;
    NEyeMuscleState& st = State;

    Input->Calculate();
    const double u = Input->Output(0);

    const double L = st.LengthValue;
    st.Gain = st.Gain + 0.4 * L - 0.005 * (L * L);
    if (st.Gain > 1) st.Gain = 1;
    if (!(st.Gain >= 0)) st.Gain = 0;  // also catches NaN
    const double b = u * st.Gain;

    st.Y1 = (st.Y1 + b - k.MultiplicationFactor3 * st.Y3 - k.MultiplicationFactor1 * st.Y1) / k.T1;
    st.Y2 = (st.Y2 + st.Y1 - k.MultiplicationFactor2 * st.Y2) / k.T2;
    st.Y3 = (st.Y3 + st.Y2) / k.T3;
    st.LengthValue = k.K * st.Y3;

    Length->GetInput()->SetInputs(&st.LengthValue);
    Length->Calculate();
}

} // namespace talvero
