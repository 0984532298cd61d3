#pragma once
// Time watch on an analog input: one sample every WatchStep, one value list per recorded channel,
// optionally keeping only a moving time window.

#include <cstdint>
#include <vector>

#include "sources/NAOutGate.h"
#include "sources/NParameterAccessors.h"

namespace talvero {

class NATimeWatch : public NWithParameterAccessors<NATimeWatch, NAOutGate> {
public:
    // Recording more channels than this is refused: every channel costs a list and a value per sample.
    static constexpr std::uint32_t kMaxChannels = 1024;

    // Starts with the one list of the default channel range 0..0.
    NATimeWatch(NBasicDescription* owner, const char* name);

    static const NParameterAccessors<NATimeWatch>& ParameterAccessors();
    bool CopyParameters(NBasicDescription* target) override;
    // The channel bound narrows what the analog gate admits for LastOutIndex.
    void DescribeParameters(std::vector<NParameterInfo>& parameters) override;

    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    // The points recorded so far.
    void SaveStepState(NStateWriter& out) override;
    bool LoadStepState(NStateReader& in) override;
    void Reset() override;

    void ClearData() override;
    unsigned GetDataSize() const override { return static_cast<unsigned>(Times.size()); }
    NDataPosition GetXBegin() const override { return Times.begin(); }
    NDataPosition GetXEnd() const override { return Times.end(); }
    // The list of the channel FirstOutIndex + CurrentOutIndex.
    NDataPosition GetYBegin() const override { return Values[GetCurrentOutIndex()].begin(); }
    NDataPosition GetYEnd() const override { return Values[GetCurrentOutIndex()].end(); }

    // A changed channel range drops all data and rebuilds one empty list per channel.
    bool SetFirstOutIndex(std::uint32_t i) override;
    bool SetLastOutIndex(std::uint32_t i) override;
    void CollectValues() override;

    unsigned GetSettledCount() const override;
    void DropSettled(unsigned count) override;

    virtual NTime GetWatchInterval() const { return WatchInterval; }
    virtual bool SetWatchInterval(NTime x);

    std::size_t GetChannelListsCount() const { return Values.size(); }

private:
    void RebuildChannels();

    NTime WatchInterval = 0;  // length of the kept time window, seconds; 0 = everything

    NDataList Times;                 // X: sample times
    std::vector<NDataList> Values;   // Y: one list per channel FirstOutIndex + i
    std::vector<double> InputBuffer; // the input's outputs of one sample
};

} // namespace talvero
