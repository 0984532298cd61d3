#pragma once
// Reduced eye muscle: motor pulses weighted by a bounded, length-dependent gain pass a
// three-stage discrete filter whose scaled output is the length, the only output.

#include "kernel/NAItem.h"
#include "kernel/NFixedComponents.h"

namespace talvero {

class NSimpleConnector;
class NSimpleAItem;

struct NEyeMuscleParams {
    double T1 = 1.0;
    double T2 = 1.0;
    double T3 = 1.0;
    double MultiplicationFactor1 = 0.4;
    double MultiplicationFactor2 = 0.12;
    double MultiplicationFactor3 = 0.0015;
    double K = 0.2;
};

struct NEyeMuscleState {
    double Y1 = 0;
    double Y2 = 0;
    double Y3 = 0;
    double LengthValue = 0;  // L
    double Gain = 0.5;       // g, kept within [0, 1]
};

class NEyeMuscle : public NFixedComponentsElement<NEyeMuscle, NAObject, NEyeMuscleParams, NEyeMuscleState> {
public:
    static constexpr double kDefaultCalcStep = 0.001;

    NEyeMuscle(NBasicDescription* owner, const char* name);
    ~NEyeMuscle() override;

    void ACalculate() override;

    static const NParameterTable<NEyeMuscleParams>& ParameterTable();

    NSimpleConnector* GetInput() const { return Input; }
    NSimpleAItem* GetLength() const { return Length; }

private:
    // Components, owned by the fixed-components base.
    NSimpleConnector* Input;
    NSimpleAItem* Length;
};

} // namespace talvero
