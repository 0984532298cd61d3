#include "sources/NAOutGate.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "kernel/NElementSupport.h"
#include "kernel/NStateStream.h"
#include "sources/NParameterAccessors.h"

namespace talvero {
namespace {

// An index value: non-negative and representable once truncated; NaN is no index.
bool SetIndex(NAOutGate& gate, double value, bool (NAOutGate::*setter)(std::uint32_t)) {
    if (!NRange::Closed(0, std::numeric_limits<std::uint32_t>::max()).Admits(value)) return ReportError(21);
    return (gate.*setter)(static_cast<std::uint32_t>(std::trunc(value)));
}

const NParameterAccessors<NAOutGate>& Accessors() {
    static const NParameterAccessors<NAOutGate> table{
        {"CurrentOutIndex", [](const NAOutGate& g) { return static_cast<double>(g.GetCurrentOutIndex()); },
         [](NAOutGate& g, double v) { return SetIndex(g, v, &NAOutGate::SetCurrentOutIndex); }, "", "0 to LastOutIndex - FirstOutIndex"},
        {"FirstOutIndex", [](const NAOutGate& g) { return static_cast<double>(g.GetFirstOutIndex()); },
         [](NAOutGate& g, double v) { return SetIndex(g, v, &NAOutGate::SetFirstOutIndex); }, "", "0 to LastOutIndex"},
        {"LastOutIndex", [](const NAOutGate& g) { return static_cast<double>(g.GetLastOutIndex()); },
         [](NAOutGate& g, double v) { return SetIndex(g, v, &NAOutGate::SetLastOutIndex); }, "", "FirstOutIndex and up"},
        {"WatchStep", [](const NAOutGate& g) { return static_cast<double>(g.GetWatchStep()); },
         [](NAOutGate& g, double v) { return v < 0 ? ReportError(21) : g.SetWatchStep(v); }, "s", ">= 0"},
    };
    return table;
}

} // namespace

NAOutGate::NAOutGate(NBasicDescription* owner, const char* name)
    : NWithInput(owner, name), Sampling{GetTimeStep()} {}

bool NAOutGate::CheckName(const char* name) { return !name || std::strcmp(name, GetInput()->GetName()) != 0; }

double NAOutGate::GetParameter(const char* name) {
    if (const auto* p = Accessors().Find(name)) return p->Get(*this);
    return NAbstractOutGate::GetParameter(name);
}

bool NAOutGate::SetParameter(const char* name, double value) {
    if (const auto* p = Accessors().Find(name)) return CheckFiniteParameter(*this, value) && p->Set(*this, value);
    return NAbstractOutGate::SetParameter(name, value);
}

void NAOutGate::GetParametersList(NStringList& names) {
    NAbstractOutGate::GetParametersList(names);
    Accessors().List(names);
}

void NAOutGate::DescribeParameters(std::vector<NParameterInfo>& parameters) {
    NAbstractOutGate::DescribeParameters(parameters);
    Accessors().Describe(parameters);
}

bool NAOutGate::CopyParameters(NBasicDescription* target) {
    if (!NAbstractOutGate::CopyParameters(target)) return false;
    auto* gate = dynamic_cast<NAOutGate*>(target);
    if (!gate) return ReportError(5);
    // Each value is checked against the target's range as it stands at that moment.
    gate->SetCurrentOutIndex(Indices.Current);
    gate->SetFirstOutIndex(Indices.First);
    gate->SetLastOutIndex(Indices.Last);
    gate->SetWatchStep(Sampling.WatchStep);
    return true;
}

void NAOutGate::Reset() {
    WatchCountDown = 0;
    GetInput()->Reset();
}

void NAOutGate::CollectData() {
    WatchCountDown = WatchCountDown - GetTimeStep();
    if (WatchCountDown > 0) return;
    WatchCountDown = Sampling.WatchStep;
    CollectValues();
}

bool NAOutGate::SetFirstOutIndex(std::uint32_t i) {
    if (Indices.Last < i) return ReportError(21);
    Indices.First = i;
    KeepCurrentInRange();
    return true;
}

bool NAOutGate::SetLastOutIndex(std::uint32_t i) {
    if (i < Indices.First) return ReportError(21);
    Indices.Last = i;
    KeepCurrentInRange();
    return true;
}

bool NAOutGate::SetCurrentOutIndex(std::uint32_t i) {
    if (Indices.Last - Indices.First < i) return ReportError(21);
    Indices.Current = i;
    return true;
}

bool NAOutGate::SetWatchStep(NTime s) {
    if (s < 0 || std::isnan(s)) return ReportError(21);
    Sampling.WatchStep = s;
    return true;
}

void NAOutGate::KeepCurrentInRange() {
    if (Indices.Current > Indices.Last - Indices.First) Indices.Current = Indices.Last - Indices.First;
}

void NAOutGate::SaveStepState(NStateWriter& out) {
    NAbstractOutGate::SaveStepState(out);
    out.Put(WatchCountDown);
}

bool NAOutGate::LoadStepState(NStateReader& in) {
    return NAbstractOutGate::LoadStepState(in) && in.Get(WatchCountDown);
}

} // namespace talvero
