#pragma once
// Frequency watch: a histogram of the instantaneous frequencies (1 / interval between consecutive
// pulse starts) of its pulse input, as the fraction of all counted intervals per bin.

#include <cstdint>

#include "sources/NOutGate.h"
#include "sources/NParameterAccessors.h"

namespace talvero {

class NFrequencyWatch : public NWithParameterAccessors<NFrequencyWatch, NOutGate> {
public:
    static constexpr double kMaxFrequency = 500;
    // Ranges and steps that would need more bins than this are refused.
    static constexpr double kMaxBins = 1000000;

    NFrequencyWatch(NBasicDescription* owner, const char* name);

    static const NParameterAccessors<NFrequencyWatch>& ParameterAccessors();
    // "WatchType" is read-only: setting it is refused with code 21.
    bool SetParameter(const char* name, double value) override;
    bool CopyParameters(NBasicDescription* target) override;

    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    // The points recorded so far.
    void SaveStepState(NStateWriter& out) override;
    bool LoadStepState(NStateReader& in) override;
    void Reset() override;

    // Rebuilds the bins from the ranges and the step, all counts 0; keeps StartTime.
    void ClearData() override;
    unsigned GetDataSize() const override { return static_cast<unsigned>(Bins.size()); }
    NDataPosition GetXBegin() const override { return Bins.begin(); }
    NDataPosition GetXEnd() const override { return Bins.end(); }
    NDataPosition GetYBegin() const override { return Fractions.begin(); }
    NDataPosition GetYEnd() const override { return Fractions.end(); }
    void CollectData() override;

    virtual double GetLeftRange() const { return Params.LeftRange; }
    virtual double GetRightRange() const { return Params.RightRange; }
    virtual double GetFrequencyStep() const { return Params.FrequencyStep; }
    // An accepted value restarts the histogram while the watch records.
    virtual bool SetLeftRange(double x);
    virtual bool SetRightRange(double x);
    // A step of 0 is refused: the bins could never be built.
    virtual bool SetFrequencyStep(double x);

    std::uint32_t GetIntervalsCount() const { return IntervalsCount; }
    const NDataList& GetCounts() const { return Counts; }

private:
    struct Parameters {
        double LeftRange = 0;      // Hz, the first bin
        double RightRange = kMaxFrequency;  // Hz, bins start below it
        double FrequencyStep = 1;  // Hz between bins
    };

    bool Accept(const Parameters& candidate);

    Parameters Params;

    NDataList Counts;                 // intervals per bin
    NDataList Bins;                   // X: bin frequencies
    NDataList Fractions;              // Y: Counts / IntervalsCount
    std::uint32_t IntervalsCount = 0; // intervals counted into any bin
    double LastPulseTime = -1;        // start of the previous pulse; -1 = none yet
};

} // namespace talvero
