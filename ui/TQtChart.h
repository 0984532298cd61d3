#pragma once
// The watch frame's chart on Qt Charts.
//
// Every series keeps all of its points itself. What is drawn is a thinned copy: per pixel column
// of the plot area the first, lowest, highest and last point, which gives the same picture as the
// whole series. The copy is kept up to date at the end (new points) and at the front (dropped
// points) without looking at the rest, as long as the axes stay: their ranges snap outward to
// whole tick steps, so they change seldom while a series grows. The lines are painted by one item
// in the chart's scene; Qt's line series stay empty and give the legend its entries.
//
// Changes become visible when the last inactive series is switched active again, or soon after
// a change to an active series, so that one update of a whole frame costs one redraw.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QChartView>
#include <QColor>
#include <QIODevice>
#include <QImage>
#include <QPointF>
#include <QPointer>
#include <QString>

#include <algorithm>
#include <cmath>

#include "modeler/VChart.h"

class QChart;
class QGraphicsSimpleTextItem;
class QLineSeries;
class QPainter;
class QValueAxis;
class QWidget;

namespace talvero::ui {

// Colour values of the frame: 0x00BBGGRR, a system colour (high bit set, the index in the low
// byte), or kChartAutoColor. `autoIndex` picks the automatic colour.
QColor ColorFromValue(VColor value, int autoIndex = 0);
VColor ValueFromColor(const QColor& color);
// The system colour of that index; what the desktop's palette gives for it.
QColor SystemColor(int index);
// The automatic colours, taken in turn by series created with kChartAutoColor.
QColor AutoColor(int index);

class TQtChart;

class TQtSeries final : public VChartSeries {
public:
    const std::string& GetTitle() const override { return Title; }
    void SetTitle(const std::string& title) override;
    VColor GetColor() const override { return Color; }
    void SetColor(VColor color) override;

    void AddXY(double x, double y, VColor color) override;
    int GetCount() const override { return static_cast<int>(Xs.size() - Head); }
    double GetX(int index) const override;
    double GetY(int index) const override;
    void DeleteFirst() override;
    void Clear() override;
    void ReplaceFront(int count, const std::vector<double>& xs, const std::vector<double>& ys) override;
    int GetThinnedCount() const override { return static_cast<int>(Thinned); }

    void SetActive(bool active) override;
    bool IsActive() const override { return Active; }
    void SetWatchType(int type) override;
    // Drawn against the top and right axes: a histogram beside time courses.
    bool OnRightAxis() const { return RightAxis; }

    QLineSeries* Line() const { return LineSeries; }
    // The colour the line is drawn with.
    QColor DrawnColor() const;
    // The points drawn, a subset of the series' points.
    const std::vector<QPointF>& DrawnPoints() const { return Drawn; }
    int DrawnCount() const { return static_cast<int>(Drawn.size()); }

private:
    friend class TQtChart;
    TQtSeries(TQtChart& chart, QLineSeries* line, int autoIndex);

    void Touch();
    // Brings the drawn copy up to date for the chart's current columns.
    void Thin();
    void ThinAll();
    void ThinFrom(std::size_t index);
    // After points left at the front: drops their columns and makes the first one again.
    void ThinFront();
    std::size_t IndexOfSequence(std::uint64_t sequence) const { return static_cast<std::size_t>(sequence - Dropped); }

    TQtChart& Owner;
    QLineSeries* LineSeries;
    std::string Title;
    VColor Color = kChartAutoColor;
    int AutoIndex;
    // Points from Head on; DeleteFirst only advances Head, so dropping the front is cheap.
    std::vector<double> Xs;
    std::vector<double> Ys;
    std::size_t Head = 0;
    // The first points that are a folded picture of the past.
    std::size_t Thinned = 0;
    // How many points left at the front since the series was created: point i is number
    // Dropped + i for good, whatever Head is.
    std::uint64_t Dropped = 0;
    bool Active = true;
    bool Dirty = true;
    int WatchType = 1;
    bool RightAxis = false;

    // The drawn copy, for the chart's grid of columns of number ThinGrid.
    std::vector<QPointF> Drawn;
    int ThinGrid = -1;
    // Whether the copy still holds whole columns; false after inserts out of order and clears.
    bool ThinValid = false;
    bool FrontDropped = false;
    // Where the last column begins, in the copy and as a point number.
    std::size_t TailDrawn = 0;
    std::uint64_t TailSequence = 0;
};

enum class TPictureFormat { Bmp, Png, Svg };

class TQtChart final : public VChart {
public:
    // The chart's view becomes a child of `parent`; without a parent the chart owns its view.
    explicit TQtChart(QWidget* parent = nullptr);
    ~TQtChart() override;
    TQtChart(const TQtChart&) = delete;
    TQtChart& operator=(const TQtChart&) = delete;

    QChartView* View() const { return ChartView; }
    QChart* Chart() const { return QtChart; }

    VChartSeries* AddSeries() override;
    void RemoveSeries(VChartSeries* series) override;
    int GetSeriesCount() const override { return static_cast<int>(Series.size()); }
    VChartSeries* GetSeries(int index) const override;
    TQtSeries* GetQtSeries(int index) const;

    void SetLegendVisible(bool visible) override;
    bool IsLegendVisible() const override { return LegendVisible; }
    void SetAxisTitle(VChartAxis axis, const std::string& title) override;
    const std::string& GetAxisTitle(VChartAxis axis) const override;
    void SetAxisLabelsVisible(VChartAxis axis, bool visible) override;
    bool AreAxisLabelsVisible(VChartAxis axis) const override;

    // A file name in the file system's bytes; the format follows the extension (".png", ".svg",
    // anything else a bitmap).
    bool SaveBitmap(const std::string& fileName) override;
    // `scale` enlarges a bitmap over the chart's size on the screen (an SVG keeps its size).
    bool SavePicture(const QString& fileName, TPictureFormat format, double scale = 1);
    bool EncodePicture(QIODevice& device, TPictureFormat format, double scale = 1);
    static TPictureFormat FormatOfFileName(const QString& fileName);
    // The chart at its size times `scale` on a white background, drawn afresh at that size.
    QImage Render(double scale = 1);

    // Exploring: the shown ranges follow the data until the user zooms or pans, and again after
    // ResetZoom. Areas and points are in the chart's own coordinates (those of its plot area).
    bool IsZoomed() const { return Zoomed; }
    void ZoomToArea(const QRectF& area);
    // Scales the shown ranges around `at`; a factor below 1 zooms in, 1 leaves an axis alone.
    void ZoomAt(const QPointF& at, double factorX, double factorY);
    void PanBy(double dx, double dy);
    void ResetZoom();
    // What the axes show now: 0 bottom, 1 left, 2 right, 3 top (the histograms' frequencies
    // while they share the chart with time courses).
    double ShownFrom(int axis) const { return Range[2 * axis]; }
    double ShownTo(int axis) const { return Range[2 * axis + 1]; }
    bool HasRightAxis() const { return RightAxisShown; }
    // The time and the values under a point of the plot area; empty outside it.
    QString ReadoutAt(const QPointF& at) const;
    // Shows the read-out for a point (hides it for an empty text).
    void ShowReadout(const QPointF& at);

    // Called when the legend or an axis' title or labels change.
    std::function<void()> OnSettingsChanged;

    // Hands every pending change to Qt now instead of at the next turn of the event loop.
    void Flush();
    bool HasPendingChanges() const { return FlushQueued || AnyDirty(); }
    // The pixel column of x on the grid the drawn copies are made for. While zoomed, the points
    // left and right of the view share one column each, so that the copy stays short.
    double ColumnOf(double x) const {
        return std::clamp(std::floor((x - GridMin) * GridScale), -1.0, static_cast<double>(GridColumns));
    }

private:
    friend class TQtSeries;
    friend class TSeriesLayer;
    friend class TChartMouse;
    void SeriesChanged(TQtSeries& series);
    void SeriesActivated();
    void QueueFlush();
    bool AnyDirty() const;
    int Columns() const;
    // Sets the axis to whole steps around [min, max]; `shown` holds the range it shows.
    void UpdateAxis(QValueAxis* axis, double min, double max, double* shown);
    // Shows exactly [from, to] with ticks on whole steps.
    void SetAxisExactly(QValueAxis* axis, double from, double to);
    void ApplyAxis(QValueAxis* axis, double from, double to, double step);
    int TickCount(const QValueAxis* axis) const;
    // Starts zooming from what is shown now.
    void BeginZoom();
    void PlaceLeftTitle();
    void PaintSeries(QPainter& painter);
    void FitChartToView();

    std::unique_ptr<QChartView> OwnedView;  // set when the chart has no parent widget
    QPointer<QChartView> ChartView;
    QChart* QtChart = nullptr;
    QValueAxis* AxisX = nullptr;
    QValueAxis* AxisY = nullptr;
    QValueAxis* AxisY2 = nullptr;
    QValueAxis* AxisX2 = nullptr;
    QGraphicsSimpleTextItem* Readout = nullptr;
    QPointF ReadoutPoint;
    class TChartMouse* Mouse = nullptr;
    QGraphicsSimpleTextItem* LeftTitle = nullptr;
    class TSeriesLayer* Layer = nullptr;
    std::vector<std::unique_ptr<TQtSeries>> Series;
    bool LegendVisible = false;
    std::string AxisTitles[2];
    bool AxisLabels[2] = {true, true};
    bool FlushQueued = false;
    // Queued flushes hold it weakly: a chart destroyed before its view does not run them.
    std::shared_ptr<bool> Alive = std::make_shared<bool>(true);
    // The axes' ranges: x from, x to, y from, y to, right y from, right y to, top x from, top x to.
    double Range[8] = {0, 1, 0, 1, 0, 1, 0, 1};
    // The ranges the user chose, while zoomed.
    bool Zoomed = false;
    double Chosen[8] = {0, 1, 0, 1, 0, 1, 0, 1};
    bool RightAxisShown = false;
    // The grid of columns the drawn copies are made for; a new one re-thins every series.
    int Grid = 0;
    int GridColumns = 0;
    double GridMin = 0;
    double GridScale = 1;
};

} // namespace talvero::ui
