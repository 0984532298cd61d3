#include "kernel/NAbstractSource.h"

#include <cstring>

#include "kernel/NStateStream.h"

namespace talvero {
namespace {

bool Is(const char* name, const char* expected) { return name && std::strcmp(name, expected) == 0; }

const NParameterInfo kSourceParameters[] = {
    {"StartTime", "s", "any"},
    {"StopTime", "s", "any; 0 runs without end"},
};

} // namespace

bool NAbstractSource::CheckName(const char*) { return true; }

double NAbstractSource::GetParameter(const char* name) {
    if (Is(name, "StartTime")) return static_cast<double>(StartTime);
    if (Is(name, "StopTime")) return static_cast<double>(StopTime);
    ReportError(20);
    return 0;
}

bool NAbstractSource::SetParameter(const char* name, double value) {
    if ((Is(name, "StartTime") || Is(name, "StopTime")) && !CheckFiniteParameter(*this, value)) return false;
    if (Is(name, "StartTime")) return SetStartTime(value);
    if (Is(name, "StopTime")) return SetStopTime(value);
    return ReportError(20);
}

void NAbstractSource::GetParametersList(NStringList& names) {
    for (const NParameterInfo& p : kSourceParameters) names.push_back(p.Name);
}

void NAbstractSource::DescribeParameters(std::vector<NParameterInfo>& parameters) {
    parameters.insert(parameters.end(), std::begin(kSourceParameters), std::end(kSourceParameters));
}

bool NAbstractSource::CopyParameters(NBasicDescription* target) {
    if (!target) return ReportError(4);
    auto* source = dynamic_cast<NAbstractSource*>(target);
    if (!source) return ReportError(5);
    source->SetStartTime(StartTime);
    source->SetStopTime(StopTime);
    return true;
}

bool NAbstractSource::SetStartTime(NTime t) {
    if (Active && t > GetCurrentTime()) SetActive(false);
    StartTime = t;
    if (StopTime < StartTime) StopTime = 0;
    SetStart = t;
    if (SetStop < SetStart) SetStop = 0;
    return true;
}

bool NAbstractSource::SetStopTime(NTime t) {
    StopTime = t;
    SetStop = t;
    return true;
}

void NAbstractSource::Rewind() {
    Active = false;
    StartTime = SetStart;
    StopTime = SetStop;
}

void NAbstractSource::SaveStepState(NStateWriter& out) {
    out.Put(Active);
    out.Put(StartTime);
    out.Put(StopTime);
    out.Put(SetStart);
    out.Put(SetStop);
}

bool NAbstractSource::LoadStepState(NStateReader& in) {
    bool active = false;
    if (!in.Get(active) || !in.Get(StartTime) || !in.Get(StopTime) || !in.Get(SetStart) || !in.Get(SetStop)) return false;
    Active = active;
    return true;
}

void NAbstractSource::SetActive(bool on) {
    if (on == Active) return;
    Active = on;
    if (on) {
        Reset();
        StartTime = GetCurrentTime();
    } else {
        StopTime = GetCurrentTime();
    }
}

bool NAbstractSource::BeginStep() {
    const NTime t = GetCurrentTime();
    if (!Active) {
        if (!TimeEquals(static_cast<double>(StartTime), static_cast<double>(t))) return false;
        SetActive(true);
    }
    if (TimeEquals(static_cast<double>(StopTime), static_cast<double>(t)) && t > 0) {
        SetActive(false);
        return false;
    }
    return true;
}

} // namespace talvero
