#include "sources/NATimeWatch.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "kernel/NStateStream.h"
#include "sources/NParameterAccessors.h"

namespace talvero {
NATimeWatch::NATimeWatch(NBasicDescription* owner, const char* name)
    : NWithParameterAccessors(owner, name), Values(1) {}

const NParameterAccessors<NATimeWatch>& NATimeWatch::ParameterAccessors() {
    static const NParameterAccessors<NATimeWatch> table{
        {"WatchInterval", [](const NATimeWatch& w) { return static_cast<double>(w.GetWatchInterval()); },
         [](NATimeWatch& w, double v) { return w.SetWatchInterval(v); }, "s", ">= 0; 0 keeps everything"},
    };
    return table;
}

void NATimeWatch::DescribeParameters(std::vector<NParameterInfo>& parameters) {
    NWithParameterAccessors::DescribeParameters(parameters);
    for (NParameterInfo& p : parameters)
        if (p.Name == "LastOutIndex")
            p.Admits = "FirstOutIndex to FirstOutIndex + " + std::to_string(kMaxChannels - 1) + " (at most " +
                       std::to_string(kMaxChannels) + " channels)";
}

bool NATimeWatch::CopyParameters(NBasicDescription* target) {
    if (!NAOutGate::CopyParameters(target)) return false;
    auto* watch = dynamic_cast<NATimeWatch*>(target);
    if (!watch) return ReportError(5);
    return watch->SetWatchInterval(WatchInterval);
}

NBasicDescription* NATimeWatch::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
    return new NATimeWatch(owner, name);
}

void NATimeWatch::Reset() {
    NAOutGate::Reset();
    ClearData();
}

void NATimeWatch::ClearData() {
    Times.clear();
    for (NDataList& list : Values) list.clear();
    StampStartTime();
}

bool NATimeWatch::SetFirstOutIndex(std::uint32_t i) {
    if (!NAOutGate::SetFirstOutIndex(i)) return false;
    RebuildChannels();
    return true;
}

bool NATimeWatch::SetLastOutIndex(std::uint32_t i) {
    if (i >= GetFirstOutIndex() && i - GetFirstOutIndex() >= kMaxChannels) return ReportError(21);
    if (!NAOutGate::SetLastOutIndex(i)) return false;
    RebuildChannels();
    return true;
}

unsigned NATimeWatch::GetSettledCount() const {
    return WatchInterval > 0 ? 0 : static_cast<unsigned>(Times.size());
}

void NATimeWatch::DropSettled(unsigned count) {
    count = std::min(count, GetSettledCount());
    Times.erase(Times.begin(), Times.begin() + count);
    for (NDataList& list : Values) list.erase(list.begin(), list.begin() + count);
}

bool NATimeWatch::SetWatchInterval(NTime x) {
    if (x < 0 || std::isnan(x)) return ReportError(21);
    WatchInterval = x;
    return true;
}

void NATimeWatch::RebuildChannels() {
    Times.clear();
    Values.clear();
    Values.resize(static_cast<std::size_t>(GetLastOutIndex() - GetFirstOutIndex()) + 1);
    ClearData();
}

void NATimeWatch::CollectValues() {
    NSimpleAConnector* input = GetInput();
    input->Calculate();
    const std::uint32_t n = input->GetOutputsCount();
    InputBuffer.resize(n);
    if (n) input->GetOutputs(InputBuffer.data(), n);

    Times.push_back(static_cast<double>(GetCurrentTime()));
    const std::uint32_t first = GetFirstOutIndex();
    for (std::size_t i = 0; i < Values.size(); ++i) {
        const std::uint64_t k = first + static_cast<std::uint64_t>(i);
        Values[i].push_back(k < n ? InputBuffer[k] : 0.0);
    }

    if (WatchInterval > 0 && static_cast<NTime>(Times.back()) - static_cast<NTime>(Times.front()) > WatchInterval) {
        Times.pop_front();
        for (NDataList& list : Values) list.pop_front();
    }
}

void NATimeWatch::SaveStepState(NStateWriter& out) {
    NAOutGate::SaveStepState(out);
    out.PutList(Times);
    out.Put<std::uint64_t>(Values.size());
    for (const NDataList& channel : Values) out.PutList(channel);
}

bool NATimeWatch::LoadStepState(NStateReader& in) {
    NDataList times;
    std::uint64_t channels = 0;
    if (!NAOutGate::LoadStepState(in) || !in.GetList(times) || !in.Get(channels) || channels != Values.size())
        return false;
    std::vector<NDataList> values(Values.size());
    for (NDataList& channel : values)
        if (!in.GetList(channel) || channel.size() != times.size()) return false;
    Times.swap(times);
    Values.swap(values);
    return true;
}

} // namespace talvero
