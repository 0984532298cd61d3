#pragma once
// Analog step generator: the constant amplitude while on, 0 while off.

#include "kernel/NElementSupport.h"
#include "kernel/NStateStream.h"
#include "sources/NASource.h"
#include "sources/NParameterAccessors.h"

namespace talvero {

class NAStepGenerator
    : public NWithParameterAccessors<NAStepGenerator, NWithoutComponents<NAStepGenerator, NASource>> {
public:
    NAStepGenerator(NBasicDescription* owner, const char* name);

    static const NParameterAccessors<NAStepGenerator>& ParameterAccessors();
    bool CopyParameters(NBasicDescription* target) override;

    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    virtual double GetAmplitude() const { return Params.Amplitude; }
    virtual bool SetAmplitude(double a);
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void SaveStepState(NStateWriter& out) override {
        NASource::SaveStepState(out);
        out.PutBlock(State);
    }
    bool LoadStepState(NStateReader& in) override { return NASource::LoadStepState(in) && in.GetBlock(State); }
    // Clears the output only; the sub-stepping countdown is left as it is.
    void Reset() override;
    void ACalculate() override;
    double* GetOutputs(double* values, unsigned count) override;

    double GetOutputValue() const { return State.OutputValue; }

private:
    struct Parameters {
        double Amplitude = 1;
    };
    struct DynamicState {
        double OutputValue = 0;
    };

    Parameters Params;
    DynamicState State;
};

} // namespace talvero
