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

void NTimeWatch::ClearData() {
    Times.clear();
    Values.clear();
    StampStartTime();
}

unsigned NTimeWatch::GetSettledCount() const {
    if (WatchInterval > 0 || Times.size() <= 3) return 0;
    return static_cast<unsigned>(Times.size() - 3);
}

void NTimeWatch::DropSettled(unsigned count) {
    count = std::min(count, GetSettledCount());
    Times.erase(Times.begin(), Times.begin() + count);
    Values.erase(Values.begin(), Values.begin() + count);
}

bool NTimeWatch::SetWatchInterval(NTime x) {
    if (x < 0 || std::isnan(x)) return ReportError(21);
    WatchInterval = x;
    return true;
}

void NTimeWatch::Prefetch() const {
    __builtin_prefetch(GetInput());
    if (!Times.empty()) {
        __builtin_prefetch(&Times.back(), 1);
        __builtin_prefetch(&Values.back(), 1);
    }
}

void NTimeWatch::CollectData() {
    NSimpleConnector* input = GetInput();
    input->Calculate();
    double v = 0;
    input->GetOutputs(&v, 1);
    const double t = static_cast<double>(GetCurrentTime());

    // A constant stretch is its first point plus a last point that follows the clock.
    // From the end: indexing from the front reads the list's map, another line far away.
    bool stretch = false;
    if (Times.size() >= 3) {
        auto last = Values.cend();
        stretch = *--last == v && *--last == v;
    }
    if (!stretch) {
        Times.push_back(t);
        Values.push_back(v);
    } else {
        Times.back() = t;
    }

    // The oldest point creeps forward one step per step, keeping the value of the oldest stretch,
    // and is dropped when it reaches the step before the next point.
    if (WatchInterval > 0 && static_cast<NTime>(Times.back()) - static_cast<NTime>(Times.front()) > WatchInterval) {
        const NTime dt = GetTimeStep();
        if (TimeEquals(Times[0], static_cast<double>(Times[1] - dt))) {
            Times.pop_front();
            Values.pop_front();
        } else {
            Times[0] = static_cast<double>(Times[0] + dt);
        }
    }
}

void NTimeWatch::SaveStepState(NStateWriter& out) {
    NOutGate::SaveStepState(out);
    out.PutList(Times);
    out.PutList(Values);
}

bool NTimeWatch::LoadStepState(NStateReader& in) {
    NDataList times, values;
    if (!NOutGate::LoadStepState(in) || !in.GetList(times) || !in.GetList(values) || times.size() != values.size())
        return false;
    Times.swap(times);
    Values.swap(values);
    return true;
}

} // namespace talvero
