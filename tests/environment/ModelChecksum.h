#pragma once
// Checksums of what a model recorded and of the state of every object in it, to compare runs bit
// for bit.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "elements/NLTZone.h"
#include "kernel/NModel.h"
#include "kernel/NUnitDescription.h"

namespace talvero::test {

// FNV-1a, 64 bits.
class Checksum {
public:
    void Add(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            Value ^= bytes[i];
            Value *= 0x100000001b3ULL;
        }
    }
    template <class T>
    void AddValue(T value) {
        Add(&value, sizeof(value));
    }
    std::uint64_t Get() const { return Value; }

private:
    std::uint64_t Value = 0xcbf29ce484222325ULL;
};

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
