#include "sources/NFrequencyWatch.h"

#include <cmath>
#include <cstring>

#include "kernel/NStateStream.h"
#include "sources/NParameterAccessors.h"

namespace talvero {
namespace {

bool InRange(double x) { return NRange::Closed(0, NFrequencyWatch::kMaxFrequency).Admits(x); }

} // namespace

NFrequencyWatch::NFrequencyWatch(NBasicDescription* owner, const char* name)
    : NWithParameterAccessors(owner, name) {
    WatchType = kFrequencyHistogram;
}

const NParameterAccessors<NFrequencyWatch>& NFrequencyWatch::ParameterAccessors() {
    static const NParameterAccessors<NFrequencyWatch> table{
        {"LeftRange", [](const NFrequencyWatch& w) { return w.GetLeftRange(); },
         [](NFrequencyWatch& w, double v) { return w.SetLeftRange(v); }, "Hz", "0 to RightRange, leaving at most a million bins of FrequencyStep"},
        {"RightRange", [](const NFrequencyWatch& w) { return w.GetRightRange(); },
         [](NFrequencyWatch& w, double v) { return w.SetRightRange(v); }, "Hz", "LeftRange to 500, leaving at most a million bins of FrequencyStep"},
        {"FrequencyStep", [](const NFrequencyWatch& w) { return w.GetFrequencyStep(); },
         [](NFrequencyWatch& w, double v) { return w.SetFrequencyStep(v); }, "Hz",
         "> 0, at most RightRange - LeftRange and at least (RightRange - LeftRange) / 1000000 (at most a million bins)"},
    };
    return table;
}

bool NFrequencyWatch::SetParameter(const char* name, double value) {
    if (name && std::strcmp(name, "WatchType") == 0) return ReportError(21);
    return NWithParameterAccessors::SetParameter(name, value);
}

bool NFrequencyWatch::CopyParameters(NBasicDescription* target) {
    if (!NOutGate::CopyParameters(target)) return false;
    auto* watch = dynamic_cast<NFrequencyWatch*>(target);
    if (!watch) return ReportError(5);
    watch->SetLeftRange(Params.LeftRange);
    watch->SetRightRange(Params.RightRange);
    watch->SetFrequencyStep(Params.FrequencyStep);
    return true;
}

NBasicDescription* NFrequencyWatch::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
    return new NFrequencyWatch(owner, name);
}

void NFrequencyWatch::Reset() {
    NOutGate::Reset();
    ClearData();
}

bool NFrequencyWatch::SetLeftRange(double x) {
    if (!InRange(x) || x > Params.RightRange) return ReportError(21);
    Parameters candidate = Params;
    candidate.LeftRange = x;
    return Accept(candidate);
}

bool NFrequencyWatch::SetRightRange(double x) {
    if (!InRange(x) || x < Params.LeftRange) return ReportError(21);
    Parameters candidate = Params;
    candidate.RightRange = x;
    return Accept(candidate);
}

bool NFrequencyWatch::SetFrequencyStep(double x) {
    if (!(x > 0) || x > Params.RightRange - Params.LeftRange) return ReportError(21);
    Parameters candidate = Params;
    candidate.FrequencyStep = x;
    return Accept(candidate);
}

bool NFrequencyWatch::Accept(const Parameters& candidate) {
    // A step that is tiny against the range would build bins without end.
    if (candidate.FrequencyStep > 0 &&
        (candidate.RightRange - candidate.LeftRange) / candidate.FrequencyStep > kMaxBins)
        return ReportError(21);
    Params = candidate;
    if (GetWatchState()) ClearData();
    return true;
}

void NFrequencyWatch::ClearData() {
    Bins.clear();
    Fractions.clear();
    Counts.clear();
    IntervalsCount = 0;
    // The bin frequencies carry the rounding of the running sum. The loop also ends when the step
    // no longer moves the sum, or at the bin limit, whatever the parameters.
    for (double f = Params.LeftRange; f < Params.RightRange && Bins.size() <= kMaxBins;) {
        Bins.push_back(f);
        Fractions.push_back(0);
        Counts.push_back(0);
        const double next = Params.FrequencyStep + f;
        if (!(next > f)) break;
        f = next;
    }
    LastPulseTime = -1;
}

void NFrequencyWatch::CollectData() {
    NSimpleConnector* input = GetInput();
    input->Calculate();
    // A start at time 0 cannot be told from no pulse at all; each pulse counts in its first step only.
    const double a = static_cast<double>(input->GetActivePulseStart());
    if (a == 0 || !TimeEquals(a, static_cast<double>(GetCurrentTime()))) return;
    if (LastPulseTime == -1) {
        LastPulseTime = a;
        return;
    }
    const double f = 1 / (a - LastPulseTime);
    LastPulseTime = a;
    if (Bins.empty() || f < Bins.front() || f > Bins.back()) return;

    const double step = Params.FrequencyStep;
    for (std::size_t i = 0; i < Bins.size(); ++i) {
        if (Bins[i] - step <= f && f <= Bins[i] + step) {
            Counts[i] += 1;
            ++IntervalsCount;
            for (std::size_t j = 0; j < Bins.size(); ++j) Fractions[j] = Counts[j] / IntervalsCount;
            return;
        }
    }
}

void NFrequencyWatch::SaveStepState(NStateWriter& out) {
    NOutGate::SaveStepState(out);
    out.PutList(Counts);
    out.PutList(Bins);
    out.PutList(Fractions);
    out.Put(IntervalsCount);
    out.Put(LastPulseTime);
}

bool NFrequencyWatch::LoadStepState(NStateReader& in) {
    NDataList counts, bins, fractions;
    std::uint32_t intervals = 0;
    double last = 0;
    if (!NOutGate::LoadStepState(in) || !in.GetList(counts) || !in.GetList(bins) || !in.GetList(fractions) ||
        !in.Get(intervals) || !in.Get(last) || counts.size() != bins.size() || fractions.size() != bins.size())
        return false;
    Counts.swap(counts);
    Bins.swap(bins);
    Fractions.swap(fractions);
    IntervalsCount = intervals;
    LastPulseTime = last;
    return true;
}

} // namespace talvero
