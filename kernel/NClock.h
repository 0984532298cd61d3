#pragma once
// The active model and the process-wide clock caches that every element reads.

#include <cstddef>
#include <cstring>
#include <limits>

namespace talvero {

class NModel;

using NTime = long double;  // 80-bit extended on x86-64; exact step counts depend on it

inline constexpr double kDefaultTimeStep = 0.0001;
inline constexpr double kDefaultPulseDuration = 0.001;

NModel* GetActiveModel();
void SetActiveModel(NModel* model);
NTime GetTimeStep();
inline NTime GetCurrentTime();
NTime GetPulseDuration();
bool SetTimeStep(NTime step);
void ResetActiveModel();
void StepActiveModel();
bool TimeEquals(double a, double b);

// TimeEquals(a, b) for one b and many a: the window around b is taken once.
class NTimeWindow {
public:
    explicit NTimeWindow(double b);
    bool Contains(double a) const {
        const NTime la = a;
        return Low <= la && la <= High;
    }

private:
    NTime Low, High;
};

// The most threads a model step may use; 0: as many as the machine has cores. A model whose step
// is too small to gain from more threads uses fewer; every count gives the same results.
void SetComputeThreads(int n);
int GetComputeThreads();

// trunc(pulse duration / time step) + 1 on the cached values: the steps a pulse lasts.
int PulseLengthInSteps();

// An 80-bit value kept as two doubles whose sum is exactly that value, where such a pair exists,
// else as itself. Loading an 80-bit value from memory is slow on the x87 unit; two double loads
// and one exact addition are not, which counts in loops run every step.
class NSplitTime {
public:
    NSplitTime() = default;
    explicit constexpr NSplitTime(NTime value) : High(static_cast<double>(value)) {
        Low = static_cast<double>(value - High);
        // Zero, infinities, NaN and values beyond the double range keep the 80-bit form
        // (x - x is 0 only for finite x).
        const bool exact = value - value == 0 && value != 0 && High - High == 0 && NTime(High) + Low == value;
        if (!exact) KeepExtended(value);
    }
    NTime Get() const { return Low == Low ? NTime(High) + Low : Extended(); }

private:
    // The 80-bit form: the value in the first ten bytes, and the last two make Low a NaN, which
    // the Low of a pair never is. Half the size of keeping both forms side by side.
    static constexpr std::size_t kExtendedBytes = 10;
    static_assert(std::numeric_limits<NTime>::digits == 64 && sizeof(NTime) == 16,
                  "the 80-bit form fills the first ten of sixteen bytes");
    void KeepExtended(NTime value) {
        unsigned char bytes[16] = {};
        std::memcpy(bytes, &value, kExtendedBytes);
        bytes[14] = 0xF8;  // a quiet NaN's exponent and top bit, little-endian
        bytes[15] = 0x7F;
        std::memcpy(static_cast<void*>(this), bytes, sizeof bytes);
    }
    // All sixteen bytes: the load is then one 80-bit load from this object, the padding ignored.
    NTime Extended() const {
        NTime value;
        std::memcpy(&value, static_cast<const void*>(this), sizeof value);
        return value;
    }

    double High = 0;
    double Low = 0;  // NaN in the 80-bit form
};
static_assert(sizeof(NSplitTime) == 16 && alignof(NSplitTime) == alignof(double));

namespace clock_detail {
extern unsigned long long Generation;
extern NSplitTime SplitTimeStep;
extern NTime CurrentTime;
} // namespace clock_detail

// Inline: every watch reads it every step.
inline NTime GetCurrentTime() { return clock_detail::CurrentTime; }

// The cached time step as an NSplitTime. Inline: elements read it every step.
inline const NSplitTime& GetSplitTimeStep() { return clock_detail::SplitTimeStep; }

// Changes whenever the cached time step or pulse duration changes: values derived from them can
// be kept until it does.
inline unsigned long long GetClockGeneration() { return clock_detail::Generation; }

} // namespace talvero
