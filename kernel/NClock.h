#pragma once
// The active model and the process-wide clock caches that every element reads.

namespace talvero {

class NModel;

using NTime = long double;  // 80-bit extended on x86-64; exact step counts depend on it

inline constexpr double kDefaultTimeStep = 0.0001;
inline constexpr double kDefaultPulseDuration = 0.001;

NModel* GetActiveModel();
void SetActiveModel(NModel* model);
NTime GetTimeStep();
NTime GetCurrentTime();
NTime GetPulseDuration();
bool SetTimeStep(NTime step);
void ResetActiveModel();
void StepActiveModel();
bool TimeEquals(double a, double b);

// trunc(pulse duration / time step) + 1 on the cached values: the steps a pulse lasts.
int PulseLengthInSteps();

} // namespace talvero
