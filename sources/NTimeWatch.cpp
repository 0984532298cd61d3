#include "sources/NTimeWatch.h"

#include <algorithm>
#include <cmath>

#include "kernel/NStateStream.h"
#include "sources/NParameterAccessors.h"

namespace talvero {

const NParameterAccessors<NTimeWatch>& NTimeWatch::ParameterAccessors() {
    static const NParameterAccessors<NTimeWatch> table{
        {"WatchInterval", [](const NTimeWatch& w) { return static_cast<double>(w.GetWatchInterval()); },
         [](NTimeWatch& w, double v) { return w.SetWatchInterval(v); }, "s", ">= 0; 0 keeps everything"},
    };
    return table;
}

bool NTimeWatch::CopyParameters(NBasicDescription* target) {
    if (!NOutGate::CopyParameters(target)) return false;
    auto* watch = dynamic_cast<NTimeWatch*>(target);
    if (!watch) return ReportError(5);
    return watch->SetWatchInterval(WatchInterval);
}

NBasicDescription* NTimeWatch::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
    return new NTimeWatch(owner, name);
}

void NTimeWatch::Reset() {
    NOutGate::Reset();
    ClearData();
}

const NAbstractOutGate::NDataList& NTimeWatch::NoPoints() {
    static const NDataList none;
    return none;
}

void NTimeWatch::ClearData() {
    Points.reset();
    StampStartTime();
}

unsigned NTimeWatch::GetSettledCount() const {
    if (WatchInterval > 0 || Times().size() <= 3) return 0;
    return static_cast<unsigned>(Times().size() - 3);
}

void NTimeWatch::DropSettled(unsigned count) {
    count = std::min(count, GetSettledCount());
    if (count == 0) return;
    Points->Times.erase(Points->Times.begin(), Points->Times.begin() + count);
    Points->Values.erase(Points->Values.begin(), Points->Values.begin() + count);
}

bool NTimeWatch::SetWatchInterval(NTime x) {
    if (x < 0 || std::isnan(x)) return ReportError(21);
    WatchInterval = x;
    return true;
}

void NTimeWatch::Prefetch() const {
    __builtin_prefetch(GetInput());
    if (Points && !Points->Times.empty()) {
        __builtin_prefetch(&Points->Times.back(), 1);
        __builtin_prefetch(&Points->Values.back(), 1);
    }
}

void NTimeWatch::CollectData() {
    NSimpleConnector* input = GetInput();
    input->Calculate();
    double v = 0;
    input->GetOutputs(&v, 1);
    const double t = static_cast<double>(GetCurrentTime());
    if (!Points) Points.emplace();
    NDataList& times = Points->Times;
    NDataList& values = Points->Values;

    // A constant stretch is its first point plus a last point that follows the clock.
    // From the end: indexing from the front reads the list's map, another line far away.
    bool stretch = false;
    if (times.size() >= 3) {
        auto last = values.cend();
        stretch = *--last == v && *--last == v;
    }
    if (!stretch) {
        times.push_back(t);
        values.push_back(v);
    } else {
        times.back() = t;
    }

    // The oldest point creeps forward one step per step, keeping the value of the oldest stretch,
    // and is dropped when it reaches the step before the next point.
    if (WatchInterval > 0 && static_cast<NTime>(times.back()) - static_cast<NTime>(times.front()) > WatchInterval) {
        const NTime dt = GetTimeStep();
        if (TimeEquals(times[0], static_cast<double>(times[1] - dt))) {
            times.pop_front();
            values.pop_front();
        } else {
            times[0] = static_cast<double>(times[0] + dt);
        }
    }
}

void NTimeWatch::SaveStepState(NStateWriter& out) {
    NOutGate::SaveStepState(out);
    out.PutList(Times());
    out.PutList(Values());
}

bool NTimeWatch::LoadStepState(NStateReader& in) {
    NDataList times, values;
    if (!NOutGate::LoadStepState(in) || !in.GetList(times) || !in.GetList(values) || times.size() != values.size())
        return false;
    if (times.empty()) {
        Points.reset();
        return true;
    }
    if (!Points) Points.emplace();
    Points->Times.swap(times);
    Points->Values.swap(values);
    return true;
}

} // namespace talvero
