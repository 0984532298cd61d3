#pragma once
// How long one model step may take is bounded by the sub-steps of its analog elements: an element
// computing at an interval much shorter than the time step runs many times per step, and the
// outputs of a muscle run their own sub-steps inside each of the muscle's.
// How long a pulse may last is bounded by the sources that emit pulses at a frequency.

#include <string>

#include "kernel/NBasicDescription.h"
#include "kernel/NClock.h"

namespace talvero {

class NModel;

// The most computations of one analog element (nested ones multiplied) in one model step.
inline constexpr long double kMaxSubStepsPerStep = 10000;

// Computations per step of an element with interval `interval` at time step `step`.
long double SubStepsPerStep(NTime step, double interval);

// The outermost analog element under `root` whose sub-steps (its own or those nested in it) would
// exceed the limit at time step `step`; null when there is none.
NBasicDescription* FindOverloadedAnalogElement(NBasicDescription* root, NTime step);

// The largest time step (as the model stores it, a double) that no analog element under `root`
// refuses; the result is admitted by FindOverloadedAnalogElement.
double LargestAdmissibleTimeStep(NBasicDescription* root);

// Whether `model` accepts `step`; refuses with code 21, saying that the time step is the cause,
// which element it overloads and the largest step the model takes.
bool CheckTimeStepLimit(NBasicDescription* model, NTime step);

// A source class whose parameters bound the pulse duration registers a check. It returns false and
// fills `detail` (cp1251) when `source` cannot take `duration`; other sources return true.
using NPulseDurationCheck = bool (*)(NBasicDescription& source, NTime duration, std::string& detail);
// Returns true so that a class can register in a static initializer.
bool RegisterPulseDurationCheck(NPulseDurationCheck check);

// Whether every source of `model` takes `duration`; refuses with code 21 and the first source's detail.
bool CheckPulseDurationLimit(const NModel& model, NTime duration);

// The pulse duration that holds for `object`: that of the model it belongs to, whether or not that
// model is the active one; the clock's otherwise.
NTime PulseDurationFor(const NBasicDescription& object);

} // namespace talvero
