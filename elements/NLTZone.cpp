#include "elements/NLTZone.h"

#include <cmath>

#include "kernel/NAbstractItem.h"

#include "kernel/NStateStream.h"

namespace talvero {

NLTZone::NLTZone(NBasicDescription* owner, const char* name) : NWithParameters(owner, name, 2, 1, Values) {
    Reset();
}

const NParameterTable<NLTZoneParameters>& NLTZone::ParameterTable() {
    using P = NLTZoneParameters;
    static const NParameterTable<P> table{
        {"PT1", &P::PT1, NRange::Positive(), true, "s"}, {"PT2", &P::PT2, NRange::Positive(), true, "s"},
        {"AT1", &P::AT1, NRange::Positive(), true, "s"}, {"AT2", &P::AT2, NRange::Positive(), true, "s"},
        {"K", &P::K, NRange::Positive(), true},
    };
    return table;
}

NBasicDescription* NLTZone::New(NBasicDescription* owner, const char* name) {
    if (!CheckNewOwner<NItem>(owner, name)) return nullptr;
    return new NLTZone(owner, name);
}

bool NLTZone::CopyParameters(NBasicDescription* target) {
    if (!NWithParameters::CopyParameters(target)) return false;
    target->Reset();
    return true;
}

void NLTZone::Reset() {
    State = NState{};
    // The membrane halves within one pulse duration.
    State.MembraneTC = static_cast<double>(GetPulseDuration() / -std::log(0.5L));
    Values[0] = Values[1] = Values[2] = 0;
    Prepared = false;
}

void NLTZone::Prepare() {
    const NTime dt = GetTimeStep();
    Prepared = true;
    PreparedGeneration = GetClockGeneration();
    RestDen1 = NSplitTime(dt / 2 + Params.PT1);
    RestDen2 = NSplitTime(dt / 2 + Params.PT2);
    FireDen1 = NSplitTime(dt / 2 + Params.AT1);
    FireDen2 = NSplitTime(dt / 2 + Params.AT2);
    MembraneDen = NSplitTime(State.MembraneTC / dt + 0.5L);
}

void NLTZone::Step(int pulseSteps) {
    if (!Prepared || PreparedGeneration != GetClockGeneration()) Prepare();
    const NTime dt = GetSplitTimeStep().Get();
    NState& s = State;
    if (s.PulseCounter == 0) {
        s.Filter1 = static_cast<double>(s.Filter1 + (NTime(Values[0]) - s.Filter1) * dt / RestDen1.Get());
        s.Filter2 = static_cast<double>(s.Filter2 + (NTime(Values[1]) - s.Filter2) * dt / RestDen2.Get());
        s.Membrane =
            static_cast<double>(s.Membrane + (NTime(s.Filter1) + s.Filter2 - s.Membrane) / MembraneDen.Get());
        if (s.Membrane > Params.FireThreshold) s.PulseCounter = pulseSteps;
    } else {
        const NTime target = -NTime(Params.K);
        s.Filter1 = static_cast<double>(s.Filter1 + (target - s.Filter1) * dt / FireDen1.Get());
        s.Filter2 = static_cast<double>(s.Filter2 + (target - s.Filter2) * dt / FireDen2.Get());
        s.Membrane =
            static_cast<double>(s.Membrane + (-NTime(Params.FireThreshold) - s.Membrane) / MembraneDen.Get());
        --s.PulseCounter;
    }
    Values[2] = s.PulseCounter != 0 ? 1.0 : 0.0;
}

NLTZone::NStepMark NLTZone::Mark() const { return {State, Values[0], Values[1], Values[2]}; }

void NLTZone::Rewind(const NStepMark& mark) {
    State = mark.State;
    Values[0] = mark.In0;
    Values[1] = mark.In1;
    Values[2] = mark.Out;
}

void NLTZone::SaveStepState(NStateWriter& out) {
    NUnitDescription::SaveStepState(out);
    out.Put(State.Filter1);
    out.Put(State.Filter2);
    out.Put(State.Membrane);
    out.Put(State.MembraneTC);
    out.Put(State.PulseCounter);
}

bool NLTZone::LoadStepState(NStateReader& in) {
    NState s;
    if (!NUnitDescription::LoadStepState(in) || !in.Get(s.Filter1) || !in.Get(s.Filter2) || !in.Get(s.Membrane) ||
        !in.Get(s.MembraneTC) || !in.Get(s.PulseCounter) || s.PulseCounter < 0)
        return false;
    State = s;
    Prepared = false;
    return true;
}

} // namespace talvero
