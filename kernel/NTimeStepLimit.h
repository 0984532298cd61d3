#pragma once
// How long one model step may take is bounded by the sub-steps of its analog elements: an element
// computing at an interval much shorter than the time step runs many times per step, and the
// outputs of a muscle run their own sub-steps inside each of the muscle's.

#include "kernel/NBasicDescription.h"
#include "kernel/NClock.h"

namespace talvero {

// The most computations of one analog element (nested ones multiplied) in one model step.
inline constexpr long double kMaxSubStepsPerStep = 10000;

// Computations per step of an element with interval `interval` at time step `step`.
long double SubStepsPerStep(NTime step, double interval);

// The outermost analog element under `root` whose sub-steps (its own or those nested in it) would
// exceed the limit at time step `step`; null when there is none.
NBasicDescription* FindOverloadedAnalogElement(NBasicDescription* root, NTime step);

// Whether `model` accepts `step`; refuses with code 21 and the element's full name.
bool CheckTimeStepLimit(NBasicDescription* model, NTime step);

} // namespace talvero
