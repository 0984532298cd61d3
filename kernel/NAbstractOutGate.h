#pragma once
// Base of every observation point. The model keeps out gates in their own list and computes them last.
// A gate records while its watch state is on; the watch windows read its points through the X and Y
// positions, two equally long sequences walked forward or backward.

#include <cstdint>
#include <deque>

#include "kernel/NBasicDescription.h"
#include "kernel/NClock.h"

namespace talvero {

class NAbstractOutGate : public NObject {
public:
    // Points are dropped at the front when a watch keeps a moving window: a deque does that in O(1).
    using NDataList = std::deque<double>;
    using NDataPosition = NDataList::const_iterator;

    // Kinds of collected data, chosen by the watch window for plotting.
    static constexpr std::int32_t kTimeCourse = 1;
    static constexpr std::int32_t kFrequencyHistogram = 2;

    NAbstractOutGate(NBasicDescription* owner, const char* name) : NObject(owner, name) {}

    // "WatchState", "StartTime", "StopTime"; subclasses handle their names first and pass the rest here.
    double GetParameter(const char* name) override;
    bool SetParameter(const char* name, double value) override;
    void GetParametersList(NStringList& names) override;
    void DescribeParameters(std::vector<NParameterInfo>& parameters) override;
    bool CopyParameters(NBasicDescription* target) override;
    // Switches recording on at StartTime and off at StopTime (0 = never), then collects: a gate's
    // step is CalculateAt, which CalculateAll gives the time and its window taken once for all.
    void Calculate() final;
    struct StepTime {
        NTime Now;
        NTimeWindow Window;
        static StepTime Current() {
            const NTime now = GetCurrentTime();
            return {now, NTimeWindow(static_cast<double>(now))};
        }
    };
    virtual void CalculateAt(const StepTime& time);

    virtual int GetWatchType() const { return WatchType; }
    virtual bool GetWatchState() const { return WatchState; }
    // Switching on clears the data and stamps StartTime.
    virtual void SetWatchState(bool on);
    virtual NTime GetStartTime() const { return StartTime; }
    // A start in the future switches recording off; a stop before the new start is cleared.
    virtual void SetStartTime(NTime t);
    virtual NTime GetStopTime() const { return StopTime; }
    virtual void SetStopTime(NTime t);
    virtual void ClearData() = 0;
    // Number of X points (always equal to the number of Y points).
    virtual unsigned GetDataSize() const = 0;
    virtual NDataPosition GetXBegin() const = 0;
    virtual NDataPosition GetXEnd() const = 0;
    virtual NDataPosition GetYBegin() const = 0;
    virtual NDataPosition GetYEnd() const = 0;
    virtual void CollectData() = 0;
    // Asks for the memory the next Calculate reads. Gates lie anywhere and their records too, so
    // that a model with many of them waits on memory at each one: `CalculateAll` asks a few ahead.
    virtual void Prefetch() const {}
    template <class Iterator> static void CalculateAll(Iterator begin, Iterator end);

    // A reader that writes points away as a long run goes may drop them here to keep memory flat.
    // The first GetSettledCount() points can no longer change; DropSettled gives up the first `count`
    // of them and recording goes on as if they were still there. Gates whose points may still move
    // (a moving window, a histogram) settle none.
    virtual unsigned GetSettledCount() const { return 0; }
    virtual void DropSettled(unsigned count) { (void)count; }
    // Grows whenever recording is switched on, which clears the data: a reader that has dropped
    // points starts over.
    std::uint64_t GetRestartCount() const { return RestartCount; }
    // Back to what loading gave: recording state and times as last set (a run stamps them).
    virtual void Rewind();
    void SaveStepState(NStateWriter& out) override;
    bool LoadStepState(NStateReader& in) override;

protected:
    // Data clearing restarts the record at the current time.
    void StampStartTime() { StartTime = GetCurrentTime(); }

    std::int32_t WatchType = kTimeCourse;

private:
    bool WatchState = true;
    NTime StartTime = 0;
    NTime StopTime = 0;
    std::uint64_t RestartCount = 0;
    bool SetWatch = true;
    NTime SetStart = 0;
    NTime SetStop = 0;
};

template <class Iterator> void NAbstractOutGate::CalculateAll(Iterator begin, Iterator end) {
    constexpr std::ptrdiff_t kObjectAhead = 8, kRecordAhead = 4;
    const std::ptrdiff_t count = end - begin;
    const StepTime time = StepTime::Current();
    for (std::ptrdiff_t i = 0; i < count; ++i) {
        if (i + kObjectAhead < count) __builtin_prefetch(&*begin[i + kObjectAhead]);
        if (i + kRecordAhead < count) begin[i + kRecordAhead]->Prefetch();
        begin[i]->CalculateAt(time);
    }
}

} // namespace talvero
