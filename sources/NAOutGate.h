#pragma once
// Out gate with an analog input: records a range of the input's channels, sampled every WatchStep.

#include <cstdint>

#include "elements/NComponentSlots.h"
#include "elements/NSimpleAConnector.h"
#include "kernel/NAbstractOutGate.h"

namespace talvero {

class NAOutGate : public NWithInput<NAOutGate, NAbstractOutGate, NSimpleAConnector> {
public:
    NAOutGate(NBasicDescription* owner, const char* name);

    bool CheckName(const char* name) override;
    // "CurrentOutIndex", "FirstOutIndex", "LastOutIndex", "WatchStep" after the common ones.
    double GetParameter(const char* name) override;
    bool SetParameter(const char* name, double value) override;
    void GetParametersList(NStringList& names) override;
    void DescribeParameters(std::vector<NParameterInfo>& parameters) override;
    bool CopyParameters(NBasicDescription* target) override;
    // Sampling restarts with the next step; the input forgets the previous run's values.
    void Reset() override;
    // Counts down WatchStep and samples when it has run out.
    void CollectData() override;

    virtual std::uint32_t GetFirstOutIndex() const { return Indices.First; }
    virtual bool SetFirstOutIndex(std::uint32_t i);
    virtual std::uint32_t GetLastOutIndex() const { return Indices.Last; }
    virtual bool SetLastOutIndex(std::uint32_t i);
    // Counted from FirstOutIndex: which recorded channel the Y positions show.
    virtual std::uint32_t GetCurrentOutIndex() const { return Indices.Current; }
    virtual bool SetCurrentOutIndex(std::uint32_t i);
    virtual NTime GetWatchStep() const { return Sampling.WatchStep; }
    virtual bool SetWatchStep(NTime s);
    virtual void CollectValues() = 0;

    NTime GetWatchCountDown() const { return WatchCountDown; }
    void SaveStepState(NStateWriter& out) override;
    bool LoadStepState(NStateReader& in) override;

private:
    struct ChannelRange {
        std::uint32_t First = 0;
        std::uint32_t Last = 0;     // First <= Last
        std::uint32_t Current = 0;  // <= Last - First, also after the range is narrowed
    };
    struct SamplingParameters {
        NTime WatchStep;
    };

    // A narrowed range pulls the current channel back inside it.
    void KeepCurrentInRange();

    ChannelRange Indices;
    SamplingParameters Sampling;
    NTime WatchCountDown = 0;  // time left until the next sample
};

} // namespace talvero
