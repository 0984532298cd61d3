#pragma once
// How much recorded data the watch windows may keep in memory. A series over its share keeps its
// newest points as they are and folds the older ones into a coarse picture that still holds every
// extreme, so a run of any length fits and no pulse or peak disappears from the chart.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace talvero {

class NAbstractOutGate;

// What a kept point costs in a chart series, with the room a growing vector keeps in reserve.
inline constexpr std::size_t kBytesPerKeptPoint = 32;
inline constexpr std::uint64_t kDefaultResultsBudgetBytes = 256ull << 20;
// Below this a series could not show a run at all.
inline constexpr std::size_t kMinPointsPerSeries = 4096;
// However large the budget, a series keeps at most this many points: its newest half at full
// resolution, its past as a picture of bounded size. Memory levels off within seconds of a fast
// run instead of growing until the budget is spent, and saving and reopening stay quick; the
// whole record of a long run belongs in a results file.
inline constexpr std::size_t kMaxPointsPerSeries = std::size_t{1} << 19;

// Splits the x span of the points into `buckets` equal parts and keeps of each part its first,
// lowest, highest and last point, in their own order. The points are in ascending x.
void ReduceKeepingExtremes(const std::vector<double>& xs, const std::vector<double>& ys, std::size_t buckets,
                           std::vector<double>& outX, std::vector<double>& outY);

class VResultsBudget {
public:
    std::uint64_t GetBytes() const { return Bytes; }
    void SetBytes(std::uint64_t bytes) { Bytes = bytes; }
    // The series of all watch windows share the budget equally.
    void SetSeriesCount(std::size_t count) { SeriesCount = count; }
    // Within [kMinPointsPerSeries, kMaxPointsPerSeries].
    std::size_t PointsPerSeries() const;

    // Some series has folded its past: the status line says so until the next start.
    bool IsReached() const { return Reached; }
    void MarkReached() { Reached = true; }

    // Gates whose written-away points were dropped: their front moved, not their window.
    void NoteTrimmed(const NAbstractOutGate* gate) { Trimmed.insert(gate); }
    bool WasTrimmed(const NAbstractOutGate* gate) const { return Trimmed.contains(gate); }
    // A new run or another model.
    void Restart();

private:
    std::uint64_t Bytes = kDefaultResultsBudgetBytes;
    std::size_t SeriesCount = 1;
    bool Reached = false;
    std::set<const NAbstractOutGate*> Trimmed;
};

} // namespace talvero
