#pragma once
// Time watch on a pulse input: records 1 while a pulse runs through its input and 0 otherwise,
// compressed to two points per constant stretch, optionally keeping only a moving time window.

#include <optional>

#include "sources/NOutGate.h"
#include "sources/NParameterAccessors.h"

namespace talvero {

class NTimeWatch : public NWithParameterAccessors<NTimeWatch, NOutGate> {
public:
    NTimeWatch(NBasicDescription* owner, const char* name) : NWithParameterAccessors(owner, name) {}

    static const NParameterAccessors<NTimeWatch>& ParameterAccessors();
    bool CopyParameters(NBasicDescription* target) override;

    NBasicDescription* New(NBasicDescription* owner, const char* name) override;
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    // The points recorded so far.
    void SaveStepState(NStateWriter& out) override;
    bool LoadStepState(NStateReader& in) override;
    void Reset() override;

    void ClearData() override;
    unsigned GetDataSize() const override { return static_cast<unsigned>(Times().size()); }
    NDataPosition GetXBegin() const override { return Times().begin(); }
    NDataPosition GetXEnd() const override { return Times().end(); }
    NDataPosition GetYBegin() const override { return Values().begin(); }
    NDataPosition GetYEnd() const override { return Values().end(); }
    void CollectData() override;
    void Prefetch() const override;

    // The last three points may still be stretched over a constant stretch.
    unsigned GetSettledCount() const override;
    void DropSettled(unsigned count) override;

    virtual NTime GetWatchInterval() const { return WatchInterval; }
    // 0 keeps everything; the collected points stay and the window applies from the next point on.
    virtual bool SetWatchInterval(NTime x);

private:
    NTime WatchInterval = 0;  // length of the kept time window, seconds

    struct NPoints {
        NDataList Times;   // X: model times
        NDataList Values;  // Y: 0 or 1
    };
    // Made at the first point and dropped when the data are cleared: an empty list takes over
    // half a kilobyte, and a large net watched at many places held two per watch once loaded.
    std::optional<NPoints> Points;
    static const NDataList& NoPoints();
    const NDataList& Times() const { return Points ? Points->Times : NoPoints(); }
    const NDataList& Values() const { return Points ? Points->Values : NoPoints(); }
};

} // namespace talvero
