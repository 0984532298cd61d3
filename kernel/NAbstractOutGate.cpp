#include "kernel/NAbstractOutGate.h"

#include <cstring>

#include "kernel/NStateStream.h"

namespace talvero {
namespace {

bool Is(const char* name, const char* expected) { return name && std::strcmp(name, expected) == 0; }

const NParameterInfo kOutGateParameters[] = {
    {"WatchState", "", "0 off, any other value on"},
    {"StartTime", "s", "any"},
    {"StopTime", "s", "any; 0 runs without end"},
};

} // namespace

double NAbstractOutGate::GetParameter(const char* name) {
    if (Is(name, "WatchState")) return WatchState ? 1 : 0;
    // The times as set, not as the last run stamped them.
    if (Is(name, "StartTime")) return static_cast<double>(SetStart);
    if (Is(name, "StopTime")) return static_cast<double>(SetStop);
    ReportError(20, name);
    return 0;
}

bool NAbstractOutGate::SetParameter(const char* name, double value) {
    const bool known = Is(name, "WatchState") || Is(name, "StartTime") || Is(name, "StopTime");
    if (known && !CheckFiniteParameter(*this, value)) return false;
    if (Is(name, "WatchState")) {
        SetWatch = value != 0;
        SetWatchState(value != 0);
        return true;
    }
    if (Is(name, "StartTime")) {
        SetStartTime(value);
        return true;
    }
    if (Is(name, "StopTime")) {
        SetStopTime(value);
        return true;
    }
    return ReportError(20, name);
}

void NAbstractOutGate::GetParametersList(NStringList& names) {
    for (const NParameterInfo& p : kOutGateParameters) names.push_back(p.Name);
}

void NAbstractOutGate::DescribeParameters(std::vector<NParameterInfo>& parameters) {
    parameters.insert(parameters.end(), std::begin(kOutGateParameters), std::end(kOutGateParameters));
}

bool NAbstractOutGate::CopyParameters(NBasicDescription* target) {
    if (!target) return ReportError(4);
    auto* gate = dynamic_cast<NAbstractOutGate*>(target);
    if (!gate) return ReportError(5);
    gate->SetWatch = SetWatch;
    gate->SetWatchState(WatchState);
    gate->SetStopTime(StopTime);
    gate->SetStartTime(StartTime);
    gate->SetStart = SetStart;
    gate->SetStop = SetStop;
    return true;
}

void NAbstractOutGate::Calculate() { CalculateAt(StepTime::Current()); }

void NAbstractOutGate::CalculateAt(const StepTime& time) {
    if (!WatchState) {
        if (!time.Window.Contains(static_cast<double>(StartTime))) return;
        SetWatchState(true);
    }
    if (time.Window.Contains(static_cast<double>(StopTime)) && time.Now > 0) {
        SetWatchState(false);
        return;
    }
    CollectData();
}

void NAbstractOutGate::SetWatchState(bool on) {
    if (on == WatchState) return;
    WatchState = on;
    if (on) {
        ++RestartCount;
        ClearData();
        StartTime = GetCurrentTime();
    }
}

void NAbstractOutGate::SetStartTime(NTime t) {
    if (WatchState && t > GetCurrentTime()) SetWatchState(false);
    StartTime = t;
    if (t > StopTime) StopTime = 0;
    SetStart = t;
    if (t > SetStop) SetStop = 0;
}

void NAbstractOutGate::SetStopTime(NTime t) {
    StopTime = t;
    SetStop = t;
}

void NAbstractOutGate::Rewind() {
    WatchState = SetWatch;
    StartTime = SetStart;
    StopTime = SetStop;
}

void NAbstractOutGate::SaveStepState(NStateWriter& out) {
    out.Put(WatchState);
    out.Put(StartTime);
    out.Put(StopTime);
    out.Put(SetWatch);
    out.Put(SetStart);
    out.Put(SetStop);
}

bool NAbstractOutGate::LoadStepState(NStateReader& in) {
    bool watch = false, setWatch = false;
    if (!in.Get(watch) || !in.Get(StartTime) || !in.Get(StopTime) || !in.Get(setWatch) || !in.Get(SetStart) ||
        !in.Get(SetStop))
        return false;
    WatchState = watch;
    SetWatch = setWatch;
    // A reader that kept points of the run before must start over.
    ++RestartCount;
    return true;
}

} // namespace talvero
