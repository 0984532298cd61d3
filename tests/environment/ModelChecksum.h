#pragma once
// Checksums of what a model recorded and of the state of every object in it, to compare runs bit
// for bit.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "elements/NLTZone.h"
#include "kernel/NFnvHash.h"
#include "kernel/NModel.h"
#include "kernel/NUnitDescription.h"

namespace talvero::test {

using Checksum = NFnvHash;

// Every X and Y of every out gate, in order, with the point counts.
inline std::uint64_t WatchChecksum(const NModel& model) {
    Checksum sum;
    for (auto gate = model.GetOutGatesBegin(); gate != model.GetOutGatesEnd(); ++gate) {
        sum.AddValue((*gate)->GetDataSize());
        for (auto x = (*gate)->GetXBegin(); x != (*gate)->GetXEnd(); ++x) sum.AddValue(*x);
        for (auto y = (*gate)->GetYBegin(); y != (*gate)->GetYEnd(); ++y) sum.AddValue(*y);
    }
    return sum.Get();
}

// The saved state, the outputs and the zone's filters of every object below `object`: catches a
// difference in the last bit that has not yet moved a pulse.
inline void AddStates(NBasicDescription* object, Checksum& sum) {
    std::vector<char> state(static_cast<std::size_t>(object->GetStateSize()));
    object->SaveState(state.data());
    sum.Add(state.data(), state.size());
    if (auto* unit = dynamic_cast<NUnitDescription*>(object)) {
        std::vector<double> outputs(unit->GetOutputsCount());
        unit->GetOutputs(outputs.data(), 0);
        sum.Add(outputs.data(), outputs.size() * sizeof(double));
    }
    if (auto* zone = dynamic_cast<NLTZone*>(object)) {
        for (double v : {zone->GetFilter1(), zone->GetFilter2(), zone->GetMembrane()}) sum.AddValue(v);
        sum.AddValue(zone->GetPulseCounter());
    }
    NStringList names;
    object->GetComponentsList(names);
    for (const std::string& name : names) AddStates(object->GetComponent(name.c_str()), sum);
}

} // namespace talvero::test
