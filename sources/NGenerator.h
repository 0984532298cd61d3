#pragma once
// Pulse generator: while on, emits a regular pulse train at its frequency into every attached
// pulse connector. The period is a whole number of steps, fixed at each reset.

#include <cstdint>

#include "kernel/NElementSupport.h"
#include "kernel/NStateStream.h"
#include "sources/NParameterAccessors.h"
#include "sources/NSource.h"

namespace talvero {

class NGenerator
    : public NWithParameterAccessors<NGenerator, NWithoutComponents<NGenerator, NSource>> {
public:
    NGenerator(NBasicDescription* owner, const char* name);

    static const NParameterAccessors<NGenerator>& ParameterAccessors();
    bool CopyParameters(NBasicDescription* target) override;

    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    virtual double GetFrequency() const { return Params.Frequency; }
    // The period must be at least twice the pulse duration; a successful set resets the generator.
    virtual bool SetFrequency(double f);
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void SaveStepState(NStateWriter& out) override {
        NSource::SaveStepState(out);
        out.PutBlock(State);
    }
    bool LoadStepState(NStateReader& in) override {
        return NSource::LoadStepState(in) && in.GetBlock(State) && State.StepsLeft >= 0 && State.PeriodSteps >= 0;
    }
    void Reset() override;
    void Calculate() override;
    bool IsPulse() override;

    std::int32_t GetPeriodSteps() const { return State.PeriodSteps; }
    std::int32_t GetStepsLeft() const { return State.StepsLeft; }

private:
    friend struct NFastAccess;  // the fast engine steps generators through their own state
    struct Parameters {
        double Frequency = 0;  // Hz; 0 = silent
    };
    struct DynamicState {
        std::int32_t StepsLeft = 0;    // steps to wait before the next pulse
        std::int32_t PeriodSteps = 0;  // loaded into StepsLeft at each emission
    };

    Parameters Params;
    DynamicState State;
};

} // namespace talvero
