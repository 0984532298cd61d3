#include "modeler/VResultsBudget.h"

#include <algorithm>
#include <cmath>

namespace talvero {

void ReduceKeepingExtremes(const std::vector<double>& xs, const std::vector<double>& ys, std::size_t buckets,
                           std::vector<double>& outX, std::vector<double>& outY) {
    outX.clear();
    outY.clear();
    const std::size_t n = std::min(xs.size(), ys.size());
    if (n == 0) return;
    buckets = std::max<std::size_t>(buckets, 1);
    const double from = xs.front();
    const double span = xs[n - 1] - from;
    const double scale = std::isfinite(span) && span > 0 ? static_cast<double>(buckets) / span : 0.0;
    const auto bucketOf = [&](std::size_t i, std::size_t previous) -> std::size_t {
        const double at = (xs[i] - from) * scale;
        // A value that is not finite stays with its neighbour rather than starting a part of its own.
        if (!std::isfinite(at)) return previous;
        return std::min(static_cast<std::size_t>(std::max(at, 0.0)), buckets - 1);
    };

    std::size_t i = 0;
    std::size_t bucket = 0;
    while (i < n) {
        bucket = bucketOf(i, bucket);
        const std::size_t first = i;
        std::size_t low = i;
        std::size_t high = i;
        ++i;
        while (i < n && bucketOf(i, bucket) == bucket) {
            if (ys[i] < ys[low] || std::isnan(ys[i])) low = i;
            if (ys[i] > ys[high]) high = i;
            ++i;
        }
        const std::size_t picks[4] = {first, std::min(low, high), std::max(low, high), i - 1};
        std::size_t previous = n;
        for (std::size_t pick : picks) {
            if (pick == previous) continue;
            outX.push_back(xs[pick]);
            outY.push_back(ys[pick]);
            previous = pick;
        }
    }
}

std::size_t VResultsBudget::PointsPerSeries() const {
    const std::uint64_t perSeries = Bytes / kBytesPerKeptPoint / std::max<std::size_t>(SeriesCount, 1);
    return static_cast<std::size_t>(
        std::clamp<std::uint64_t>(perSeries, kMinPointsPerSeries, kMaxPointsPerSeries));
}

void VResultsBudget::Restart() {
    Reached = false;
    Trimmed.clear();
}

} // namespace talvero
