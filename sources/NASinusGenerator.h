#pragma once
// Analog sine generator: while on, a raised sine between 0 and the amplitude, starting at half the
// amplitude at the moment of switching on; 0 while off.

#include "kernel/NElementSupport.h"
#include "kernel/NStateStream.h"
#include "sources/NASource.h"
#include "sources/NParameterAccessors.h"

namespace talvero {

class NASinusGenerator
    : public NWithParameterAccessors<NASinusGenerator, NWithoutComponents<NASinusGenerator, NASource>> {
public:
    NASinusGenerator(NBasicDescription* owner, const char* name);

    static const NParameterAccessors<NASinusGenerator>& ParameterAccessors();
    bool CopyParameters(NBasicDescription* target) override;

    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    virtual double GetFrequency() const { return Params.Frequency; }
    virtual bool SetFrequency(double f);
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
        double Frequency = 0;  // Hz; 0 = output always 0
        double Amplitude = 1;
    };
    struct DynamicState {
        double OutputValue = 0;
    };

    Parameters Params;
    DynamicState State;
};

} // namespace talvero
