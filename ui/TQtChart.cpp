#include "ui/TQtChart.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QApplication>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGraphicsItem>
#include <QGraphicsLayout>
#include <QFontMetricsF>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QLineSeries>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QSvgGenerator>
#include <QTimer>
#include <QValueAxis>

#include "environment/NAtomicFile.h"
#include "ui/UiText.h"

namespace talvero::ui {
namespace {

// Columns narrower than this are not worth thinning for.
constexpr int kMinColumns = 64;
// Before the view has a size the copies are thinned for a wide screen.
constexpr int kDefaultColumns = 1600;

int AxisIndex(VChartAxis axis) { return axis == VChartAxis::Bottom ? 0 : 1; }

// A step of 1, 2 or 5 times a power of ten close to range / ticks.
double NiceStep(double range, int ticks) {
    if (!(range > 0) || !std::isfinite(range)) return 1;
    const double raw = range / std::max(ticks, 1);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double fraction = raw / magnitude;
    const double nice = fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10;
    return nice * magnitude;
}

QString LabelFormat(double step) {
    const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 10);
    return QStringLiteral("%.%1f").arg(decimals);
}

} // namespace

QColor AutoColor(int index) {
    static const QColor palette[] = {
        QColor(0xd6, 0x27, 0x28), QColor(0x1f, 0x77, 0xb4), QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e),
        QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b), QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f),
        QColor(0xbc, 0xbd, 0x22), QColor(0x17, 0xbe, 0xcf),
    };
    constexpr int count = static_cast<int>(sizeof palette / sizeof palette[0]);
    return palette[((index % count) + count) % count];
}

QColor SystemColor(int index) {
    const QPalette palette = QApplication::palette();
    switch (index) {
    case 0:  return palette.color(QPalette::Button);            // scroll bar
    case 1:  return palette.color(QPalette::Dark);              // desktop
    case 2:  return palette.color(QPalette::Active, QPalette::Highlight);    // active caption
    case 3:  return palette.color(QPalette::Inactive, QPalette::Highlight);  // inactive caption
    case 4:  return palette.color(QPalette::Window);            // menu
    case 5:  return palette.color(QPalette::Base);              // window
    case 6:  return palette.color(QPalette::Shadow);            // window frame
    case 7:  return palette.color(QPalette::WindowText);        // menu text
    case 8:  return palette.color(QPalette::Text);              // window text
    case 9:  return palette.color(QPalette::Active, QPalette::HighlightedText);    // caption text
    case 10: return palette.color(QPalette::Window);            // active border
    case 11: return palette.color(QPalette::Inactive, QPalette::Window);   // inactive border
    case 12: return palette.color(QPalette::Mid);               // application workspace
    case 13: return palette.color(QPalette::Highlight);
    case 14: return palette.color(QPalette::HighlightedText);
    case 15: return palette.color(QPalette::Button);            // button face
    case 16: return palette.color(QPalette::Dark);              // button shadow
    case 17: return palette.color(QPalette::Disabled, QPalette::Text);     // grey text
    case 18: return palette.color(QPalette::ButtonText);
    case 19: return palette.color(QPalette::Inactive, QPalette::HighlightedText);
    case 20: return palette.color(QPalette::Light);             // button highlight
    case 21: return palette.color(QPalette::Shadow);            // dark 3D shadow
    case 22: return palette.color(QPalette::Midlight);          // 3D light
    case 23: return palette.color(QPalette::ToolTipText);
    case 24: return palette.color(QPalette::ToolTipBase);
    case 26: return palette.color(QPalette::Link);              // hot-tracked item
    case 27: return palette.color(QPalette::Active, QPalette::Highlight);
    case 28: return palette.color(QPalette::Inactive, QPalette::Highlight);
    case 29: return palette.color(QPalette::Highlight);         // menu highlight
    case 30: return palette.color(QPalette::Window);            // menu bar
    default: return palette.color(QPalette::Text);
    }
}

QColor ColorFromValue(VColor value, int autoIndex) {
    if (value == kChartAutoColor) return AutoColor(autoIndex);
    const auto bits = static_cast<std::uint32_t>(value);
    if (bits & 0x80000000u) return SystemColor(static_cast<int>(bits & 0xFF));
    if (bits == 0x1FFFFFFFu) return QColor(Qt::transparent);  // "no colour"
    return QColor(static_cast<int>(bits & 0xFF), static_cast<int>((bits >> 8) & 0xFF),
                  static_cast<int>((bits >> 16) & 0xFF));
}

VColor ValueFromColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return static_cast<VColor>(static_cast<std::uint32_t>(rgb.red()) | (static_cast<std::uint32_t>(rgb.green()) << 8) |
                               (static_cast<std::uint32_t>(rgb.blue()) << 16));
}

// ---------------------------------------------------------------------------------------------

// Paints every series' drawn copy inside the plot area.
class TSeriesLayer final : public QGraphicsItem {
public:
    TSeriesLayer(TQtChart* owner, QGraphicsItem* parent) : QGraphicsItem(parent), Owner(owner) {
        // Above the grid, below the legend.
        setZValue(4.5);
        setFlag(QGraphicsItem::ItemHasNoContents, false);
    }
    QRectF boundingRect() const override { return Area; }
    void SetArea(const QRectF& area) {
        if (area == Area) return;
        prepareGeometryChange();
        Area = area;
    }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
        if (Owner) Owner->PaintSeries(*painter);
    }

    TQtChart* Owner;

private:
    QRectF Area;
};

// The mouse over a chart: a rubber band zooms into its rectangle, the wheel zooms around the
// pointer (Shift: time only, Ctrl: values only), dragging with the right or middle button (or
// Ctrl and the left) pans, a double click shows all data again. The read-out follows the pointer.
class TChartMouse final : public QObject {
public:
    explicit TChartMouse(TQtChart* chart) : Chart(chart) {
        QWidget* viewport = chart->View()->viewport();
        viewport->setMouseTracking(true);
        viewport->installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress: return Press(static_cast<QMouseEvent*>(event));
        case QEvent::MouseMove: return Move(static_cast<QMouseEvent*>(event));
        case QEvent::MouseButtonRelease: return Release(static_cast<QMouseEvent*>(event));
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
            Chart->ResetZoom();
            return true;
        case QEvent::Wheel: return Wheel(static_cast<QWheelEvent*>(event));
        case QEvent::Leave: Chart->ShowReadout(QPointF(-1, -1)); return false;
        default: return false;
        }
    }

private:
    QPointF ToChart(const QPointF& viewport) const {
        return Chart->Chart()->mapFromScene(Chart->View()->mapToScene(viewport.toPoint()));
    }
    bool InPlot(const QPointF& viewport) const { return Chart->Chart()->plotArea().contains(ToChart(viewport)); }

    bool Press(QMouseEvent* event) {
        const QPointF at = event->position();
        if (!InPlot(at)) return false;
        const bool pan = event->button() == Qt::RightButton || event->button() == Qt::MiddleButton ||
                         (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier));
        if (pan) {
            Panning = true;
            Last = at;
            Chart->View()->viewport()->setCursor(Qt::ClosedHandCursor);
            return true;
        }
        if (event->button() != Qt::LeftButton) return false;
        Origin = at.toPoint();
        if (!Band) Band = new QRubberBand(QRubberBand::Rectangle, Chart->View()->viewport());
        Band->setGeometry(QRect(Origin, QSize()));
        Band->show();
        return true;
    }

    bool Move(QMouseEvent* event) {
        const QPointF at = event->position();
        Chart->ShowReadout(ToChart(at));
        if (Panning) {
            Chart->PanBy(at.x() - Last.x(), at.y() - Last.y());
            Last = at;
            return true;
        }
        if (Band && Band->isVisible()) {
            Band->setGeometry(QRect(Origin, at.toPoint()).normalized());
            return true;
        }
        return false;
    }

    bool Release(QMouseEvent* event) {
        if (Panning) {
            Panning = false;
            Chart->View()->viewport()->unsetCursor();
            return true;
        }
        if (!Band || !Band->isVisible()) return false;
        Band->hide();
        const QRect band = QRect(Origin, event->position().toPoint()).normalized();
        // A click without a drag is no rectangle.
        if (band.width() < 4 || band.height() < 4) return true;
        Chart->ZoomToArea(QRectF(ToChart(band.topLeft()), ToChart(band.bottomRight())).normalized());
        return true;
    }

    bool Wheel(QWheelEvent* event) {
        const QPointF at = event->position();
        if (!InPlot(at)) return false;
        const int delta = event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
        if (delta == 0) return true;
        const double factor = std::pow(0.8, delta / 120.0);
        const Qt::KeyboardModifiers keys = event->modifiers();
        Chart->ZoomAt(ToChart(at), keys & Qt::ControlModifier ? 1.0 : factor, keys & Qt::ShiftModifier ? 1.0 : factor);
        return true;
    }

    TQtChart* Chart;
    QRubberBand* Band = nullptr;
    QPoint Origin;
    bool Panning = false;
    QPointF Last;
};

TQtSeries::TQtSeries(TQtChart& chart, QLineSeries* line, int autoIndex)
    : Owner(chart), LineSeries(line), AutoIndex(autoIndex) {
    LineSeries->setPen(QPen(DrawnColor(), 2));
}

void TQtSeries::SetTitle(const std::string& title) {
    Title = title;
    LineSeries->setName(FromCp(title));
}

QColor TQtSeries::DrawnColor() const { return ColorFromValue(Color, AutoIndex); }

void TQtSeries::SetColor(VColor color) {
    Color = color;
    QPen pen = LineSeries->pen();
    pen.setColor(DrawnColor());
    LineSeries->setPen(pen);
    Touch();
}

void TQtSeries::Touch() {
    Dirty = true;
    Owner.SeriesChanged(*this);
}

void TQtSeries::AddXY(double x, double y, VColor) {
    // Every point takes the series' colour: the line is drawn in one colour.
    if (Xs.size() == Head || !(x < Xs.back())) {
        Xs.push_back(x);
        Ys.push_back(y);
    } else {
        // Out of order: after the points with the same X. The drawn copy is made anew.
        const auto at = std::upper_bound(Xs.begin() + static_cast<std::ptrdiff_t>(Head), Xs.end(), x);
        const auto offset = at - Xs.begin();
        Xs.insert(at, x);
        Ys.insert(Ys.begin() + offset, y);
        ThinValid = false;
    }
    Touch();
}

double TQtSeries::GetX(int index) const {
    if (index < 0 || index >= GetCount()) return 0;
    return Xs[Head + static_cast<std::size_t>(index)];
}

double TQtSeries::GetY(int index) const {
    if (index < 0 || index >= GetCount()) return 0;
    return Ys[Head + static_cast<std::size_t>(index)];
}

void TQtSeries::DeleteFirst() {
    if (GetCount() == 0) return;
    ++Head;
    ++Dropped;
    if (Thinned > 0) --Thinned;
    FrontDropped = true;
    if (Head == Xs.size()) {
        Xs.clear();
        Ys.clear();
        Head = 0;
    } else if (Head >= 4096 && Head * 2 >= Xs.size()) {
        Xs.erase(Xs.begin(), Xs.begin() + static_cast<std::ptrdiff_t>(Head));
        Ys.erase(Ys.begin(), Ys.begin() + static_cast<std::ptrdiff_t>(Head));
        Head = 0;
    }
    Touch();
}

void TQtSeries::Clear() {
    Dropped += static_cast<std::uint64_t>(GetCount());
    Xs.clear();
    Ys.clear();
    Head = 0;
    Thinned = 0;
    ThinValid = false;
    Touch();
}

void TQtSeries::ReplaceFront(int count, const std::vector<double>& xs, const std::vector<double>& ys) {
    const std::size_t gone = std::min(static_cast<std::size_t>(std::max(count, 0)), Xs.size() - Head);
    const std::size_t n = std::min(xs.size(), ys.size());
    const auto at = static_cast<std::ptrdiff_t>(Head);
    Xs.erase(Xs.begin(), Xs.begin() + at + static_cast<std::ptrdiff_t>(gone));
    Ys.erase(Ys.begin(), Ys.begin() + at + static_cast<std::ptrdiff_t>(gone));
    Xs.insert(Xs.begin(), xs.begin(), xs.begin() + static_cast<std::ptrdiff_t>(n));
    Ys.insert(Ys.begin(), ys.begin(), ys.begin() + static_cast<std::ptrdiff_t>(n));
    Head = 0;
    Thinned = n;
    Dropped += gone;
    ThinValid = false;
    Touch();
}

void TQtSeries::SetActive(bool active) {
    if (active == Active) return;
    Active = active;
    if (active) Owner.SeriesActivated();
}

void TQtSeries::SetWatchType(int type) {
    if (type == WatchType) return;
    WatchType = type;
    Touch();
}

void TQtSeries::ThinFrom(std::size_t index) {
    const std::size_t count = Xs.size() - Head;
    const double* xs = Xs.data() + Head;
    const double* ys = Ys.data() + Head;
    TailDrawn = Drawn.size();
    TailSequence = Dropped + index;
    std::size_t i = index;
    while (i < count) {
        // One column: its first, lowest, highest and last point, in their own order.
        const double column = Owner.ColumnOf(xs[i]);
        const std::size_t first = i;
        std::size_t low = i;
        std::size_t high = i;
        ++i;
        while (i < count && Owner.ColumnOf(xs[i]) == column) {
            if (ys[i] < ys[low]) low = i;
            if (ys[i] > ys[high]) high = i;
            ++i;
        }
        TailDrawn = Drawn.size();
        TailSequence = Dropped + first;
        const std::size_t picks[4] = {first, std::min(low, high), std::max(low, high), i - 1};
        std::size_t previous = count;
        for (std::size_t pick : picks) {
            if (pick == previous) continue;
            Drawn.emplace_back(xs[pick], ys[pick]);
            previous = pick;
        }
    }
}

void TQtSeries::ThinAll() {
    Drawn.clear();
    ThinFrom(0);
    ThinGrid = Owner.Grid;
    ThinValid = true;
    FrontDropped = false;
}

void TQtSeries::ThinFront() {
    const std::size_t count = Xs.size() - Head;
    const double* xs = Xs.data() + Head;
    const double* ys = Ys.data() + Head;
    // The columns before the first point are gone; the first point's column lost some points.
    // It lies before the last column, which begins with a point that is still there.
    const double column = Owner.ColumnOf(xs[0]);
    std::size_t gone = 0;
    while (gone < TailDrawn && Owner.ColumnOf(Drawn[gone].x()) <= column) ++gone;
    std::size_t i = 0;
    std::size_t low = 0;
    std::size_t high = 0;
    while (i < count && Owner.ColumnOf(xs[i]) == column) {
        if (ys[i] < ys[low]) low = i;
        if (ys[i] > ys[high]) high = i;
        ++i;
    }
    QPointF front[4];
    std::size_t made = 0;
    const std::size_t picks[4] = {0, std::min(low, high), std::max(low, high), i - 1};
    std::size_t previous = count;
    for (std::size_t pick : picks) {
        if (pick == previous) continue;
        front[made++] = QPointF(xs[pick], ys[pick]);
        previous = pick;
    }
    Drawn.erase(Drawn.begin(), Drawn.begin() + static_cast<std::ptrdiff_t>(gone));
    Drawn.insert(Drawn.begin(), front, front + made);
    TailDrawn = TailDrawn - gone + made;
    FrontDropped = false;
}

void TQtSeries::Thin() {
    // The columns are the time axis'; a histogram beside time courses has its own axis and only
    // as many points as bins: it is drawn whole.
    if (RightAxis) {
        Drawn.clear();
        Drawn.reserve(Xs.size() - Head);
        for (std::size_t i = Head; i < Xs.size(); ++i) Drawn.emplace_back(Xs[i], Ys[i]);
        ThinValid = false;
        ThinGrid = Owner.Grid;
        return;
    }
    // A new grid, an insert out of order, a clear, or a front that reached the last column: the
    // copy is made anew.
    if (!ThinValid || ThinGrid != Owner.Grid || (FrontDropped && TailSequence < Dropped + 1) || GetCount() == 0) {
        ThinAll();
        return;
    }
    if (FrontDropped) ThinFront();
    // The last column may have grown: it is made again with everything after it.
    Drawn.resize(TailDrawn);
    ThinFrom(IndexOfSequence(TailSequence));
}

// ---------------------------------------------------------------------------------------------

TQtChart::TQtChart(QWidget* parent) {
    QtChart = new QChart();
    QtChart->setBackgroundBrush(Qt::white);
    QtChart->setBackgroundRoundness(0);
    QtChart->setPlotAreaBackgroundVisible(false);
    QtChart->setDropShadowEnabled(false);
    QtChart->setTitle(QStringLiteral(" "));
    QtChart->layout()->setContentsMargins(0, 0, 0, 0);
    QtChart->setAnimationOptions(QChart::NoAnimation);
    QtChart->legend()->setVisible(false);
    QtChart->legend()->setReverseMarkers(true);
    // Below the plot: a row of entries takes less of a small window than a column.
    QtChart->legend()->setAlignment(Qt::AlignBottom);
    QtChart->setMargins(QMargins(4, 2, 8, 4));

    AxisX = new QValueAxis();
    AxisY = new QValueAxis();
    AxisY2 = new QValueAxis();
    AxisX2 = new QValueAxis();
    for (QValueAxis* axis : {AxisX, AxisY, AxisY2, AxisX2}) {
        axis->setRange(0, 1);
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0);
        axis->setTickInterval(0.2);
        axis->setLabelFormat(QStringLiteral("%.1f"));
        axis->setMinorTickCount(0);
    }
    // The second pair's grid would cross the first's.
    AxisY2->setGridLineVisible(false);
    AxisX2->setGridLineVisible(false);
    QtChart->addAxis(AxisX, Qt::AlignBottom);
    QtChart->addAxis(AxisY, Qt::AlignLeft);
    // Histograms beside time courses count fractions of intervals over frequency: not seconds.
    AxisX2->setTitleText(QString::fromUtf8("Частота, Гц"));
    AxisY2->setTitleText(QString::fromUtf8("Доля интервалов"));
    // Attached only while a series uses them: even hidden, an axis takes room from the plot.

    // The left axis title reads horizontally, above the axis, in the band of the blank title:
    // the band is as high as an axis title.
    QtChart->setTitleFont(AxisY->titleFont());
    LeftTitle = new QGraphicsSimpleTextItem(QtChart);
    LeftTitle->setFont(AxisY->titleFont());
    LeftTitle->setBrush(AxisY->titleBrush());
    Layer = new TSeriesLayer(this, QtChart);

    ChartView = new QChartView(QtChart, parent);
    ChartView->setRenderHint(QPainter::Antialiasing, false);
    ChartView->setFrameShape(QFrame::NoFrame);
    ChartView->setBackgroundBrush(Qt::white);
    if (!parent) OwnedView.reset(ChartView.data());

    Readout = new QGraphicsSimpleTextItem(QtChart);
    Readout->setFont(AxisY->labelsFont());
    Readout->setZValue(6);
    Readout->hide();
    Mouse = new TChartMouse(this);

    QObject::connect(QtChart, &QChart::plotAreaChanged, QtChart, [this](const QRectF& area) {
        Layer->SetArea(area);
        PlaceLeftTitle();
        if (Columns() != GridColumns) QueueFlush();
    });
}

TQtChart::~TQtChart() {
    FlushQueued = false;
    delete Mouse;
    if (!RightAxisShown) {
        delete AxisY2;
        delete AxisX2;
    }
    // Series belong to the Qt chart; the chart belongs to the view, which may outlive this
    // object inside its window for a moment.
    if (ChartView) {
        Layer->Owner = nullptr;
        for (const auto& series : Series) {
            QtChart->removeSeries(series->Line());
            delete series->Line();
        }
    }
    Series.clear();
}

VChartSeries* TQtChart::AddSeries() {
    auto* line = new QLineSeries();
    QtChart->addSeries(line);
    line->attachAxis(AxisX);
    line->attachAxis(AxisY);
    // Automatic colours go by the place in the chart, so that series made again in the same
    // order look the same.
    Series.push_back(std::unique_ptr<TQtSeries>(new TQtSeries(*this, line, static_cast<int>(Series.size()))));
    SeriesChanged(*Series.back());
    return Series.back().get();
}

void TQtChart::RemoveSeries(VChartSeries* series) {
    auto found = std::find_if(Series.begin(), Series.end(), [series](const auto& s) { return s.get() == series; });
    if (found == Series.end()) return;
    QLineSeries* line = (*found)->Line();
    QtChart->removeSeries(line);
    delete line;
    Series.erase(found);
    QueueFlush();
}

VChartSeries* TQtChart::GetSeries(int index) const { return GetQtSeries(index); }

TQtSeries* TQtChart::GetQtSeries(int index) const {
    if (index < 0 || index >= GetSeriesCount()) return nullptr;
    return Series[static_cast<std::size_t>(index)].get();
}

void TQtChart::SetLegendVisible(bool visible) {
    if (visible == LegendVisible) return;
    LegendVisible = visible;
    QtChart->legend()->setVisible(visible);
    if (OnSettingsChanged) OnSettingsChanged();
}

void TQtChart::SetAxisTitle(VChartAxis axis, const std::string& title) {
    if (AxisTitles[AxisIndex(axis)] == title) return;
    AxisTitles[AxisIndex(axis)] = title;
    if (axis == VChartAxis::Bottom) {
        AxisX->setTitleText(FromCp(title));
        AxisX->setTitleVisible(!title.empty());
    } else {
        LeftTitle->setText(FromCp(title));
        PlaceLeftTitle();
    }
    if (OnSettingsChanged) OnSettingsChanged();
}

const std::string& TQtChart::GetAxisTitle(VChartAxis axis) const { return AxisTitles[AxisIndex(axis)]; }

void TQtChart::SetAxisLabelsVisible(VChartAxis axis, bool visible) {
    if (AxisLabels[AxisIndex(axis)] == visible) return;
    AxisLabels[AxisIndex(axis)] = visible;
    (axis == VChartAxis::Bottom ? AxisX : AxisY)->setLabelsVisible(visible);
    if (OnSettingsChanged) OnSettingsChanged();
}

bool TQtChart::AreAxisLabelsVisible(VChartAxis axis) const { return AxisLabels[AxisIndex(axis)]; }

void TQtChart::PlaceLeftTitle() {
    const QRectF plot = QtChart->plotArea();
    const QRectF text = LeftTitle->boundingRect();
    // Left-aligned with the chart's edge, just above the plot area.
    const qreal x = std::max<qreal>(4, plot.left() - 8 - text.width() / 2);
    LeftTitle->setPos(std::min(x, std::max<qreal>(4, QtChart->size().width() - text.width() - 4)),
                      std::max<qreal>(0, plot.top() - text.height() - 4));
}

int TQtChart::Columns() const {
    const qreal width = QtChart->plotArea().width();
    if (width < 1) return kDefaultColumns;
    const qreal ratio = ChartView ? ChartView->devicePixelRatioF() : 1.0;
    return std::max(kMinColumns, static_cast<int>(std::ceil(width * ratio)));
}

void TQtChart::SeriesChanged(TQtSeries& series) {
    if (series.Active) QueueFlush();
}

void TQtChart::SeriesActivated() {
    for (const auto& series : Series)
        if (!series->Active) return;
    Flush();
}

bool TQtChart::AnyDirty() const {
    return std::any_of(Series.begin(), Series.end(), [](const auto& s) { return s->Dirty; });
}

void TQtChart::QueueFlush() {
    if (FlushQueued) return;
    FlushQueued = true;
    QTimer::singleShot(0, QtChart, [alive = std::weak_ptr<bool>(Alive), this] {
        if (alive.lock() && FlushQueued) Flush();
    });
}

void TQtChart::Flush() {
    FlushQueued = false;
    // Histograms beside time courses count something else over something else: they get the
    // top and right axes.
    bool timeCourses = false;
    bool others = false;
    for (const auto& series : Series) (series->WatchType == 1 ? timeCourses : others) = true;
    const bool split = timeCourses && others;
    for (const auto& series : Series) series->RightAxis = split && series->WatchType != 1;
    if (split != RightAxisShown) {
        RightAxisShown = split;
        if (split) {
            QtChart->addAxis(AxisX2, Qt::AlignTop);
            QtChart->addAxis(AxisY2, Qt::AlignRight);
        } else {
            QtChart->removeAxis(AxisX2);
            QtChart->removeAxis(AxisY2);
        }
    }

    // The horizontal ranges from the ends of the series, which keep their points in order.
    for (const bool top : {false, true}) {
        if (top && !split) break;
        double xMin = std::numeric_limits<double>::infinity();
        double xMax = -xMin;
        for (const auto& series : Series) {
            if (series->GetCount() == 0 || series->RightAxis != top) continue;
            xMin = std::min(xMin, series->Xs[series->Head]);
            xMax = std::max(xMax, series->Xs.back());
        }
        if (!(xMin <= xMax) || !std::isfinite(xMin) || !std::isfinite(xMax)) {
            xMin = 0;
            xMax = 1;
        }
        const int at = top ? 6 : 0;
        QValueAxis* axis = top ? AxisX2 : AxisX;
        if (Zoomed) {
            SetAxisExactly(axis, Chosen[at], Chosen[at + 1]);
            Range[at] = Chosen[at];
            Range[at + 1] = Chosen[at + 1];
        } else {
            UpdateAxis(axis, xMin, xMax, &Range[at]);
        }
    }

    const int columns = Columns();
    const double scale = columns / (Range[1] - Range[0]);
    if (columns != GridColumns || Range[0] != GridMin || scale != GridScale) {
        ++Grid;
        GridColumns = columns;
        GridMin = Range[0];
        GridScale = scale;
    }
    for (const auto& series : Series) {
        if (!series->Active || (!series->Dirty && series->ThinGrid == Grid)) continue;
        series->Thin();
        series->Dirty = false;
    }

    // The drawn copies hold every column's lowest and highest point: their extremes are the
    // series' extremes, found without walking all points.
    for (const bool right : {false, true}) {
        if (right && !split) break;
        QValueAxis* axis = right ? AxisY2 : AxisY;
        double* shown = &Range[right ? 4 : 2];
        if (Zoomed) {
            SetAxisExactly(axis, Chosen[right ? 4 : 2], Chosen[right ? 5 : 3]);
            shown[0] = Chosen[right ? 4 : 2];
            shown[1] = Chosen[right ? 5 : 3];
            continue;
        }
        double yMin = std::numeric_limits<double>::infinity();
        double yMax = -yMin;
        for (const auto& series : Series) {
            if (series->RightAxis != right) continue;
            for (const QPointF& p : series->Drawn) {
                if (!std::isfinite(p.y())) continue;
                yMin = std::min(yMin, p.y());
                yMax = std::max(yMax, p.y());
            }
        }
        if (!(yMin <= yMax)) {
            yMin = 0;
            yMax = 1;
        }
        // Some room above and below, so that lines along the extremes stay visible.
        const double ySpan = yMax - yMin;
        const double yPad = ySpan > 0 ? ySpan * 0.05 : (yMin == 0 ? 0.5 : std::abs(yMin) * 0.1);
        UpdateAxis(axis, yMin - yPad, yMax + yPad, shown);
    }
    // The values under a pointer that stands still change with the ranges.
    if (Readout->isVisible()) ShowReadout(ReadoutPoint);
    Layer->update();
}

void TQtChart::UpdateAxis(QValueAxis* axis, double min, double max, double* shown) {
    const int ticks = TickCount(axis);
    double span = max - min;
    if (!(span > 0)) span = min == 0 ? 1 : std::abs(min) * 0.1;
    const double step = NiceStep(span, ticks);
    // Quarter steps outward: the range stays while the data grow within it, and the ticks stay
    // on whole steps.
    const double grain = step / 4;
    double from = std::floor(min / grain) * grain;
    double to = std::ceil(max / grain) * grain;
    if (!(to - from >= grain)) to = from + grain;
    if (!std::isfinite(from) || !std::isfinite(to) || !(to > from)) {
        from = 0;
        to = 1;
    }
    shown[0] = from;
    shown[1] = to;
    ApplyAxis(axis, from, to, step);
}

int TQtChart::TickCount(const QValueAxis* axis) const {
    const QSizeF size = QtChart->size();
    return axis == AxisX || axis == AxisX2 ? std::clamp(static_cast<int>(size.width() / 90), 2, 10)
                         : std::clamp(static_cast<int>(size.height() / 45), 2, 10);
}

void TQtChart::SetAxisExactly(QValueAxis* axis, double from, double to) {
    ApplyAxis(axis, from, to, NiceStep(to - from, TickCount(axis)));
}

void TQtChart::ApplyAxis(QValueAxis* axis, double from, double to, double step) {
    // Qt may set an axis itself when series come and go: what it shows is compared, not what
    // was set last.
    if (axis->min() == from && axis->max() == to) return;
    axis->setRange(from, to);
    axis->setTickAnchor(std::ceil(from / step) * step);
    if (axis->tickInterval() != step) axis->setTickInterval(step);
    const QString format = LabelFormat(step);
    if (axis->labelFormat() != format) axis->setLabelFormat(format);
}

namespace {

// The part of the segment a-b inside `box`; false when none is. The lines are cut here rather
// than by the painter's clip, which the SVG writer does not keep.
bool ClipSegment(const QRectF& box, QPointF& a, QPointF& b) {
    double t0 = 0;
    double t1 = 1;
    const double dx = b.x() - a.x();
    const double dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - box.left(), box.right() - a.x(), a.y() - box.top(), box.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    const QPointF start = a;
    if (t1 < 1) b = QPointF(start.x() + t1 * dx, start.y() + t1 * dy);
    if (t0 > 0) a = QPointF(start.x() + t0 * dx, start.y() + t0 * dy);
    return true;
}

} // namespace

void TQtChart::PaintSeries(QPainter& painter) {
    const QRectF plot = QtChart->plotArea();
    if (plot.width() <= 0 || plot.height() <= 0) return;
    painter.save();
    painter.setClipRect(plot);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const double sx = plot.width() / (Range[1] - Range[0]);
    const double syLeft = plot.height() / (Range[3] - Range[2]);
    const double syRight = plot.height() / (Range[5] - Range[4]);
    // Whole pixels: the raster engine draws integer polylines fastest, and consecutive points on
    // the same pixel are drawn once.
    QPolygon line;
    for (const auto& series : Series) {
        const std::vector<QPointF>& drawn = series->Drawn;
        if (drawn.empty()) continue;
        const double yFrom = series->RightAxis ? Range[4] : Range[2];
        const double sy = series->RightAxis ? syRight : syLeft;
        const double xFrom = series->RightAxis ? Range[6] : Range[0];
        const double sxSeries = series->RightAxis ? plot.width() / (Range[7] - Range[6]) : sx;
        QPen pen(series->DrawnColor(), 1);
        pen.setCosmetic(true);
        painter.setPen(pen);
        line.clear();
        line.reserve(static_cast<qsizetype>(drawn.size()));
        auto flush = [&] {
            if (line.size() == 1) painter.drawPoint(line.front());
            else if (line.size() > 1) painter.drawPolyline(line);
            line.clear();
        };
        const auto add = [&line](const QPointF& at) {
            const QPoint pixel(static_cast<int>(std::lround(at.x())), static_cast<int>(std::lround(at.y())));
            if (line.isEmpty() || line.back() != pixel) line.append(pixel);
        };
        bool havePrevious = false;
        QPointF previous;
        for (const QPointF& p : drawn) {
            const QPointF at(plot.left() + (p.x() - xFrom) * sxSeries, plot.bottom() - (p.y() - yFrom) * sy);
            // A value that cannot be placed breaks the line.
            if (!std::isfinite(at.x()) || !std::isfinite(at.y())) {
                flush();
                havePrevious = false;
                continue;
            }
            if (!havePrevious) {
                if (plot.contains(at)) add(at);
            } else {
                QPointF a = previous;
                QPointF b = at;
                if (!ClipSegment(plot, a, b)) {
                    flush();
                } else {
                    if (a != previous) flush();  // the line comes back into the plot
                    add(a);
                    add(b);
                    if (b != at) flush();  // and leaves it
                }
            }
            previous = at;
            havePrevious = true;
        }
        flush();
    }
    painter.restore();
}

void TQtChart::BeginZoom() {
    if (!Zoomed) std::copy(std::begin(Range), std::end(Range), std::begin(Chosen));
    Zoomed = true;
}

void TQtChart::ZoomToArea(const QRectF& area) {
    const QRectF plot = QtChart->plotArea();
    const QRectF chosen = area.intersected(plot);
    if (chosen.width() <= 0 || chosen.height() <= 0) return;
    BeginZoom();
    const double left = (chosen.left() - plot.left()) / plot.width();
    const double right = (chosen.right() - plot.left()) / plot.width();
    const double top = (plot.bottom() - chosen.top()) / plot.height();
    const double bottom = (plot.bottom() - chosen.bottom()) / plot.height();
    for (int from : {0, 6}) {
        const double span = Chosen[from + 1] - Chosen[from];
        Chosen[from + 1] = Chosen[from] + span * right;
        Chosen[from] += span * left;
    }
    for (int from : {2, 4}) {
        const double span = Chosen[from + 1] - Chosen[from];
        Chosen[from + 1] = Chosen[from] + span * top;
        Chosen[from] += span * bottom;
    }
    Flush();
}

void TQtChart::ZoomAt(const QPointF& at, double factorX, double factorY) {
    const QRectF plot = QtChart->plotArea();
    if (plot.width() <= 0 || plot.height() <= 0 || !(factorX > 0) || !(factorY > 0)) return;
    BeginZoom();
    const double fx = std::clamp((at.x() - plot.left()) / plot.width(), 0.0, 1.0);
    const double fy = std::clamp((plot.bottom() - at.y()) / plot.height(), 0.0, 1.0);
    const auto scale = [](double* range, double fraction, double factor) {
        const double pivot = range[0] + (range[1] - range[0]) * fraction;
        const double from = pivot - (pivot - range[0]) * factor;
        const double to = pivot + (range[1] - pivot) * factor;
        // Not below what doubles can still tell apart, nor to infinity.
        if (std::isfinite(from) && std::isfinite(to) && to - from > std::abs(pivot) * 1e-12 + 1e-300) {
            range[0] = from;
            range[1] = to;
        }
    };
    if (factorX != 1) {
        scale(&Chosen[0], fx, factorX);
        scale(&Chosen[6], fx, factorX);
    }
    if (factorY != 1) {
        scale(&Chosen[2], fy, factorY);
        scale(&Chosen[4], fy, factorY);
    }
    Flush();
}

void TQtChart::PanBy(double dx, double dy) {
    const QRectF plot = QtChart->plotArea();
    if (plot.width() <= 0 || plot.height() <= 0) return;
    BeginZoom();
    // The data follow the pointer: dragging to the right shows earlier times.
    for (int from : {0, 6}) {
        const double shiftX = -dx / plot.width() * (Chosen[from + 1] - Chosen[from]);
        Chosen[from] += shiftX;
        Chosen[from + 1] += shiftX;
    }
    for (int from : {2, 4}) {
        const double shiftY = dy / plot.height() * (Chosen[from + 1] - Chosen[from]);
        Chosen[from] += shiftY;
        Chosen[from + 1] += shiftY;
    }
    Flush();
}

void TQtChart::ResetZoom() {
    if (!Zoomed) return;
    Zoomed = false;
    Flush();
}

QString TQtChart::ReadoutAt(const QPointF& at) const {
    const QRectF plot = QtChart->plotArea();
    if (!plot.contains(at) || plot.width() <= 0 || plot.height() <= 0) return QString();
    const double fx = (at.x() - plot.left()) / plot.width();
    const double fy = (plot.bottom() - at.y()) / plot.height();
    const auto number = [](double value) { return QString::number(value, 'g', 6).replace(QLatin1Char('.'), DecimalPoint()); };
    const bool time = std::any_of(Series.begin(), Series.end(), [](const auto& s) { return s->WatchType == 1; }) ||
                      Series.empty();
    QString text = (time ? QStringLiteral("t = %1 \u0441") : QStringLiteral("x = %1"))
                       .arg(number(Range[0] + (Range[1] - Range[0]) * fx));
    text += QStringLiteral("   y = ") + number(Range[2] + (Range[3] - Range[2]) * fy);
    if (RightAxisShown)
        text += QStringLiteral("   f = %1 \u0413\u0446   y\u2082 = ").arg(number(Range[6] + (Range[7] - Range[6]) * fx)) +
                number(Range[4] + (Range[5] - Range[4]) * fy);
    return text;
}

void TQtChart::ShowReadout(const QPointF& at) {
    ReadoutPoint = at;
    const QString text = ReadoutAt(at);
    if (text.isEmpty()) {
        Readout->hide();
        return;
    }
    Readout->setText(text);
    // Right-aligned in the band above the plot, where the left axis' title does not reach.
    const QRectF plot = QtChart->plotArea();
    const QRectF box = Readout->boundingRect();
    Readout->setPos(std::max<qreal>(4, plot.right() - box.width()), std::max<qreal>(0, plot.top() - box.height() - 4));
    Readout->show();
}

TPictureFormat TQtChart::FormatOfFileName(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("png")) return TPictureFormat::Png;
    if (suffix == QLatin1String("svg")) return TPictureFormat::Svg;
    return TPictureFormat::Bmp;
}

void TQtChart::FitChartToView() {
    // A view that was never shown has not given the chart its size yet.
    const QSize size = ChartView->size().expandedTo(QSize(1, 1));
    if (QtChart->size() != QSizeF(size)) {
        ChartView->scene()->setSceneRect(QRectF(QPointF(0, 0), QSizeF(size)));
        QtChart->resize(QSizeF(size));
    }
    Flush();
}

QImage TQtChart::Render(double scale) {
    FitChartToView();
    const QSize size = ChartView->size().expandedTo(QSize(1, 1));
    if (!(scale > 0) || scale == 1) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        ChartView->render(&painter);
        return image;
    }
    // The scene, not the view: its items are painted at the larger size instead of a bitmap of
    // the screen being stretched.
    const QSize scaled(std::max(1, static_cast<int>(std::lround(size.width() * scale))),
                       std::max(1, static_cast<int>(std::lround(size.height() * scale))));
    QImage image(scaled, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    ChartView->scene()->render(&painter, QRectF(QPointF(0, 0), QSizeF(scaled)), QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

bool TQtChart::SavePicture(const QString& fileName, TPictureFormat format, double scale) {
    // Drawn in memory first, so that the file is replaced only by a whole picture.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!EncodePicture(buffer, format, scale)) return false;
    return WriteFileAtomically(QFile::encodeName(fileName).toStdString(), bytes.toStdString());
}

bool TQtChart::EncodePicture(QIODevice& device, TPictureFormat format, double scale) {
    // The picture looks the same either way; its description says when the early data were kept
    // only as the extremes of short spans.
    const bool thinned = std::any_of(Series.begin(), Series.end(), [](const auto& s) { return s->Thinned > 0; });
    const QString note = thinned ? QString::fromUtf8("Ранние данные прорежены: показаны наименьшее и наибольшее значения каждого "
                                     "короткого отрезка; последние точки — все.")
                                 : QString();
    if (format != TPictureFormat::Svg) {
        QImage image = Render(scale);
        if (thinned) image.setText(QStringLiteral("Description"), note);
        return image.save(&device, format == TPictureFormat::Png ? "PNG" : "BMP");
    }
    FitChartToView();
    const QSize size = ChartView->size().expandedTo(QSize(1, 1));
    QSvgGenerator generator;
    generator.setOutputDevice(&device);
    generator.setSize(size);
    generator.setViewBox(QRect(QPoint(0, 0), size));
    generator.setResolution(ChartView->logicalDpiX());
    generator.setTitle(QtChart->title().trimmed());
    if (thinned) generator.setDescription(note);
    QPainter painter;
    if (!painter.begin(&generator)) return false;
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    ChartView->render(&painter);
    return painter.end();
}

bool TQtChart::SaveBitmap(const std::string& fileName) {
    const QString name = QFile::decodeName(QByteArray::fromStdString(fileName));
    return SavePicture(name, FormatOfFileName(name));
}

} // namespace talvero::ui
