#pragma once
// The chart a watch frame draws on. The frame's bookkeeping needs only these operations, so the
// windows can put any charting component behind them and the tests an in-memory one.
// Titles are byte strings in the kernel's encoding (cp1251); colours are integer colour values
// (0x00BBGGRR, a system colour, or kChartAutoColor).

#include <cstdint>
#include <string>
#include <vector>

namespace talvero {

using VColor = std::int32_t;

// The chart picks the colour itself.
inline constexpr VColor kChartAutoColor = 536870912;  // 0x20000000

// One line series. Points are kept in ascending X; a point added out of order goes to its place
// (after points with the same X).
class VChartSeries {
public:
    virtual ~VChartSeries() = default;

    virtual const std::string& GetTitle() const = 0;
    virtual void SetTitle(const std::string& title) = 0;
    virtual VColor GetColor() const = 0;
    virtual void SetColor(VColor color) = 0;

    // Adds (x, y) with an empty label and the given colour.
    virtual void AddXY(double x, double y, VColor color) = 0;
    virtual int GetCount() const = 0;
    virtual double GetX(int index) const = 0;
    virtual double GetY(int index) const = 0;
    virtual void DeleteFirst() = 0;
    virtual void Clear() = 0;
    // Puts the points `xs`, `ys` (ascending x, none after the points that stay) in place of the
    // first `count` points: how a long series folds its past.
    virtual void ReplaceFront(int count, const std::vector<double>& xs, const std::vector<double>& ys) = 0;
    // How many of the first points are such a folded picture rather than every point recorded.
    virtual int GetThinnedCount() const = 0;

    // An inactive series is not drawn; switching it active again draws everything added meanwhile
    // at once.
    virtual void SetActive(bool active) = 0;
    virtual bool IsActive() const = 0;
    // What the series plots, as an out gate's watch type (1 time course, 2 frequency histogram):
    // a chart may give series of another unit an axis of their own.
    virtual void SetWatchType(int type) { (void)type; }
};

enum class VChartAxis { Bottom, Left };

class VChart {
public:
    virtual ~VChart() = default;

    // A new line series attached to the chart, last in the chart's order; the chart owns it.
    virtual VChartSeries* AddSeries() = 0;
    // Detaches and destroys the series; the pointer is dangling afterwards.
    virtual void RemoveSeries(VChartSeries* series) = 0;
    virtual int GetSeriesCount() const = 0;
    virtual VChartSeries* GetSeries(int index) const = 0;

    virtual void SetLegendVisible(bool visible) = 0;
    virtual bool IsLegendVisible() const = 0;
    virtual void SetAxisTitle(VChartAxis axis, const std::string& title) = 0;
    virtual const std::string& GetAxisTitle(VChartAxis axis) const = 0;
    virtual void SetAxisLabelsVisible(VChartAxis axis, bool visible) = 0;
    virtual bool AreAxisLabelsVisible(VChartAxis axis) const = 0;

    // Draws the chart, at its size on a white background, into a picture file; false when the
    // file cannot be written.
    virtual bool SaveBitmap(const std::string& fileName) = 0;
};

} // namespace talvero
