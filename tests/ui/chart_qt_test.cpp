// The watch frame's chart on Qt Charts: colours, point order, the drawn copy, batching of
// updates, and the same series as the in-memory chart after the same updates.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include <QApplication>
#include <QPainter>
#include <QSvgRenderer>
#include <QBuffer>
#include <QChart>
#include <QLegend>
#include <QLineSeries>
#include <QPalette>
#include <QValueAxis>
#include <QWheelEvent>

#include "UiTestSupport.h"
#include "kernel/NModel.h"
#include "modeler/TWatchFrame.h"
#include "modeler/VMemoryChart.h"
#include "modeler/WatchTestSupport.h"
#include "ui/TQtChart.h"

namespace talvero::ui {
namespace {

using Points = std::vector<std::pair<double, double>>;

Points PointsOf(const VChartSeries& series) {
    Points p;
    for (int i = 0; i < series.GetCount(); ++i) p.emplace_back(series.GetX(i), series.GetY(i));
    return p;
}

TEST(ChartColors, ValuesMapToTheirColours) {
    EXPECT_EQ(ColorFromValue(0x000000FF), QColor(255, 0, 0));
    EXPECT_EQ(ColorFromValue(0x00FF0000), QColor(0, 0, 255));
    EXPECT_EQ(ColorFromValue(0x00123456), QColor(0x56, 0x34, 0x12));
    EXPECT_EQ(ValueFromColor(QColor(0x56, 0x34, 0x12)), 0x00123456);
    // System colours: the high bit and the index of the desktop's colour.
    EXPECT_EQ(ColorFromValue(static_cast<VColor>(0x80000005)), QApplication::palette().color(QPalette::Base));
    EXPECT_EQ(ColorFromValue(static_cast<VColor>(0x8000000F)), QApplication::palette().color(QPalette::Button));
    // The automatic colour depends on the series' place, and differs between neighbours.
    EXPECT_EQ(ColorFromValue(kChartAutoColor, 3), AutoColor(3));
    EXPECT_NE(AutoColor(0), AutoColor(1));

    TQtChart chart;
    VChartSeries* first = chart.AddSeries();
    VChartSeries* second = chart.AddSeries();
    second->SetColor(0x0000FF00);
    EXPECT_EQ(first->GetColor(), kChartAutoColor);
    EXPECT_EQ(chart.GetQtSeries(0)->DrawnColor(), AutoColor(0));
    EXPECT_EQ(chart.GetQtSeries(1)->DrawnColor(), QColor(0, 255, 0));
    EXPECT_EQ(chart.GetQtSeries(1)->Line()->pen().color(), QColor(0, 255, 0));
}

TEST(QtChart, ReportsOnlyRealChangesOfItsSettings) {
    TQtChart chart;
    EXPECT_EQ(chart.Chart()->title(), QStringLiteral(" "));
    EXPECT_TRUE(chart.Chart()->legend()->reverseMarkers());
    int changes = 0;
    chart.OnSettingsChanged = [&] { ++changes; };
    chart.SetLegendVisible(true);
    EXPECT_TRUE(chart.Chart()->legend()->isVisible());
    chart.SetAxisTitle(VChartAxis::Left, uitest::Cp("Длина, мм"));
    chart.SetAxisTitle(VChartAxis::Left, uitest::Cp("Длина, мм"));
    chart.SetAxisLabelsVisible(VChartAxis::Bottom, false);
    chart.SetAxisLabelsVisible(VChartAxis::Bottom, false);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(chart.GetAxisTitle(VChartAxis::Left), uitest::Cp("Длина, мм"));

    VChartSeries* series = chart.AddSeries();
    series->SetTitle(uitest::Cp("Мышца"));
    EXPECT_EQ(chart.GetQtSeries(0)->Line()->name(), uitest::U("Мышца"));
}

TEST(QtChart, KeepsPointsInAscendingXAndDropsTheFront) {
    TQtChart chart;
    VChartSeries& s = *chart.AddSeries();
    s.AddXY(1, 10, 0);
    s.AddXY(3, 30, 0);
    s.AddXY(2, 20, 0);
    s.AddXY(2, 21, 0);  // after the point with the same X
    s.AddXY(0, 0, 0);
    EXPECT_EQ(PointsOf(s), (Points{{0, 0}, {1, 10}, {2, 20}, {2, 21}, {3, 30}}));
    s.DeleteFirst();
    s.DeleteFirst();
    EXPECT_EQ(PointsOf(s), (Points{{2, 20}, {2, 21}, {3, 30}}));
    EXPECT_EQ(s.GetX(7), 0);
    EXPECT_EQ(s.GetY(-1), 0);
    s.Clear();
    EXPECT_EQ(s.GetCount(), 0);
    s.DeleteFirst();
    EXPECT_EQ(s.GetCount(), 0);
}

// For every pixel column of the chart's current grid: the drawn copy holds the column's first,
// last, lowest and highest value, and nothing that is not a point of the series.
void ExpectDrawnCopyIsExact(TQtChart& chart, int index) {
    chart.Flush();
    const TQtSeries& s = *chart.GetQtSeries(index);
    const std::vector<QPointF>& drawn = s.DrawnPoints();
    ASSERT_GT(s.GetCount(), 0);
    // The same columns as the chart's: found from the drawn copy's own ends and the series.
    struct Column {
        double FirstX, FirstY, LastX, LastY, Low, High;
    };
    auto columnsOf = [&](auto&& pointAt, int count) {
        std::map<double, Column> columns;
        for (int i = 0; i < count; ++i) {
            const auto [x, y] = pointAt(i);
            const double c = chart.ColumnOf(x);
            auto [it, fresh] = columns.try_emplace(c, Column{x, y, x, y, y, y});
            if (fresh) continue;
            it->second.LastX = x;
            it->second.LastY = y;
            it->second.Low = std::min(it->second.Low, y);
            it->second.High = std::max(it->second.High, y);
        }
        return columns;
    };
    const auto expected = columnsOf([&](int i) { return std::pair{s.GetX(i), s.GetY(i)}; }, s.GetCount());
    const auto actual =
        columnsOf([&](int i) { return std::pair{drawn[static_cast<std::size_t>(i)].x(), drawn[static_cast<std::size_t>(i)].y()}; },
                  static_cast<int>(drawn.size()));
    ASSERT_EQ(actual.size(), expected.size());
    for (const auto& [c, e] : expected) {
        const Column& a = actual.at(c);
        EXPECT_EQ(a.FirstX, e.FirstX);
        EXPECT_EQ(a.FirstY, e.FirstY);
        EXPECT_EQ(a.LastX, e.LastX);
        EXPECT_EQ(a.LastY, e.LastY);
        EXPECT_EQ(a.Low, e.Low);
        EXPECT_EQ(a.High, e.High);
    }
    EXPECT_LE(drawn.size(), expected.size() * 4);
}

TEST(QtChart, DrawsFewPointsForLongSeriesAndKeepsEveryColumnsExtremes) {
    TQtChart chart;
    chart.View()->resize(400, 300);
    chart.View()->show();
    QApplication::processEvents();
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(-1, 1);
    VChartSeries& s = *chart.AddSeries();
    s.SetActive(false);
    for (int i = 0; i < 200000; ++i) s.AddXY(i * 0.0001, value(random), 0);
    s.SetActive(true);
    EXPECT_LT(chart.GetQtSeries(0)->DrawnCount(), 4 * 400);
    ExpectDrawnCopyIsExact(chart, 0);

    // Growing at the end and losing the front, as a watch with a moving window does.
    for (int tick = 0; tick < 50; ++tick) {
        s.SetActive(false);
        for (int i = 0; i < 37; ++i) s.AddXY(s.GetX(s.GetCount() - 1) + 0.0001, value(random), 0);
        for (int i = 0; i < 29; ++i) s.DeleteFirst();
        s.SetActive(true);
        if (tick % 10 == 0) ExpectDrawnCopyIsExact(chart, 0);
    }
    ExpectDrawnCopyIsExact(chart, 0);
    // The front folded into a few points, as a series over its share of memory does.
    s.SetActive(false);
    s.ReplaceFront(5000, {s.GetX(0), s.GetX(10)}, {s.GetY(0), 7});
    s.SetActive(true);
    EXPECT_EQ(s.GetY(1), 7);
    ExpectDrawnCopyIsExact(chart, 0);
    // A point out of order and a new size.
    s.AddXY(s.GetX(100) + 0.00001, 5, 0);
    chart.View()->resize(300, 200);
    QApplication::processEvents();
    ExpectDrawnCopyIsExact(chart, 0);
}

TEST(QtChart, AnInactiveSeriesShowsNothingNewUntilAllAreActive) {
    TQtChart chart;
    VChartSeries& a = *chart.AddSeries();
    VChartSeries& b = *chart.AddSeries();
    a.AddXY(0, 0, 0);
    chart.Flush();
    ASSERT_EQ(chart.GetQtSeries(0)->DrawnCount(), 1);

    a.SetActive(false);
    b.SetActive(false);
    a.AddXY(1, 1, 0);
    b.AddXY(1, 1, 0);
    QApplication::processEvents();
    EXPECT_EQ(chart.GetQtSeries(0)->DrawnCount(), 1);
    EXPECT_EQ(chart.GetQtSeries(1)->DrawnCount(), 0);
    a.SetActive(true);
    EXPECT_EQ(chart.GetQtSeries(0)->DrawnCount(), 1);  // b is still inactive
    b.SetActive(true);                                  // the one redraw, at once
    EXPECT_FALSE(chart.HasPendingChanges());
    EXPECT_EQ(chart.GetQtSeries(0)->DrawnCount(), 2);
    EXPECT_EQ(chart.GetQtSeries(1)->DrawnCount(), 1);

    // A change to an active series shows at the next turn of the event loop.
    a.AddXY(2, 0, 0);
    EXPECT_TRUE(chart.HasPendingChanges());
    QApplication::processEvents();
    EXPECT_FALSE(chart.HasPendingChanges());
    EXPECT_EQ(chart.GetQtSeries(0)->DrawnCount(), 3);
}

TEST(QtChart, BadValuesNeitherCrashNorSpoilTheAxes) {
    TQtChart chart;
    VChartSeries& s = *chart.AddSeries();
    s.AddXY(0, std::nan(""), 0);
    s.AddXY(1, INFINITY, 0);
    s.AddXY(2, 1e308, 0);
    s.AddXY(std::nan(""), 0, 0);
    chart.Flush();
    const QImage image = chart.Render();
    EXPECT_FALSE(image.isNull());
    EXPECT_EQ(s.GetCount(), 4);
}

TEST(QtChart, RendersAtItsViewsSizeEvenBeforeItWasShown) {
    TQtChart chart;
    chart.View()->resize(300, 200);
    VChartSeries& s = *chart.AddSeries();
    s.SetColor(0x000000FF);
    for (int i = 0; i < 100; ++i) s.AddXY(i, i % 2, 0);
    const QImage image = chart.Render();
    ASSERT_EQ(image.size(), QSize(300, 200));
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::white));
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) red += image.pixelColor(x, y) == QColor(255, 0, 0);
    EXPECT_GT(red, 1000);  // the line fills the plot area's width
}

TEST(QtChart, TheAxesCoverEverySeriesAsSeriesComeAndGo) {
    TQtChart chart;
    auto* x = qobject_cast<QValueAxis*>(chart.Chart()->axes(Qt::Horizontal).front());
    auto* y = qobject_cast<QValueAxis*>(chart.Chart()->axes(Qt::Vertical).front());
    ASSERT_TRUE(x && y);
    VChartSeries* a = chart.AddSeries();
    a->AddXY(2, -3, 0);
    a->AddXY(7, 4, 0);
    chart.Flush();
    auto covers = [&](double xFrom, double xTo, double yFrom, double yTo) {
        EXPECT_LE(x->min(), xFrom);
        EXPECT_GE(x->max(), xTo);
        EXPECT_LE(y->min(), yFrom);
        EXPECT_GE(y->max(), yTo);
        // Not much more than the data.
        EXPECT_LT(x->max() - x->min(), 2 * (xTo - xFrom));
        EXPECT_LT(y->max() - y->min(), 2 * (yTo - yFrom));
    };
    covers(2, 7, -3, 4);
    chart.AddSeries();  // empty
    chart.Flush();
    covers(2, 7, -3, 4);
    VChartSeries* b = chart.AddSeries();
    b->AddXY(20, 40, 0);
    chart.Flush();
    covers(2, 20, -3, 40);
    chart.RemoveSeries(b);
    chart.Flush();
    covers(2, 7, -3, 4);
}

// The same frame logic over the in-memory chart and over Qt Charts, through a long scripted run
// with growing, dropping, restarting and histogram gates.
TEST(QtChart, EndsPointForPointWhereTheMemoryChartEnds) {
    using testing::ScriptedGate;
    NModel model("m");
    auto* grow = new ScriptedGate(&model, "grow");
    auto* window = new ScriptedGate(&model, "window");
    auto* histogram = new ScriptedGate(&model, "histogram", NAbstractOutGate::kFrequencyHistogram);
    auto* moving = new ScriptedGate(&model, "moving");
    for (auto* g : {grow, window, histogram, moving}) ASSERT_TRUE(model.AddOutGate(g));

    TWatchFrame memory(std::make_unique<VMemoryChart>());
    TWatchFrame qt(std::make_unique<TQtChart>());
    std::mt19937 random(11);
    std::uniform_real_distribution<double> value(0, 1);
    double t = 0;
    auto tick = [&] {
        for (int i = 0; i < 20; ++i) {
            t += 0.0001;
            grow->Append(t, value(random) < 0.1 ? 1 : 0);
            window->Append(t, value(random));
            if (moving) moving->Append(t, 0);
        }
        while (window->X.size() > 150) {
            window->X.pop_front();
            window->Y.pop_front();
        }
        // The compressed record moves its last point forward in time.
        if (moving) moving->X.back() += 0.00005;
        histogram->Set({}, {});
        for (int bin = 0; bin < 10; ++bin) histogram->Append(bin * 10.0, std::floor(value(random) * 5));
    };
    for (TWatchFrame* frame : {&memory, &qt}) {
        frame->SetModel(&model);
        ASSERT_TRUE(frame->AddObservation("grow", OutGateWatchData("G", 0.5, kChartAutoColor)));
        ASSERT_TRUE(frame->AddObservation("histogram", OutGateWatchData("H", 0, 255)));
    }
    for (int step = 0; step < 60; ++step) {
        tick();
        if (step == 5)
            for (TWatchFrame* frame : {&memory, &qt}) {
                frame->AddObservation("window", OutGateWatchData("W", -1, 65280));
                frame->AddObservation("moving", OutGateWatchData("M", 0, 0));
            }
        if (step == 30)
            for (TWatchFrame* frame : {&memory, &qt}) frame->ClearSeriesData();
        if (step == 40) window->SetWatchState(false);
        if (step == 45) {
            ASSERT_TRUE(model.DelOutGate("moving"));
            moving = nullptr;
        }
        for (TWatchFrame* frame : {&memory, &qt}) frame->UpdateSeries();
    }

    const VChart& m = memory.GetChart();
    const VChart& q = qt.GetChart();
    ASSERT_EQ(q.GetSeriesCount(), m.GetSeriesCount());
    ASSERT_EQ(q.GetSeriesCount(), 3);
    for (int i = 0; i < m.GetSeriesCount(); ++i) {
        EXPECT_EQ(q.GetSeries(i)->GetTitle(), m.GetSeries(i)->GetTitle());
        EXPECT_EQ(q.GetSeries(i)->GetColor(), m.GetSeries(i)->GetColor());
        EXPECT_EQ(PointsOf(*q.GetSeries(i)), PointsOf(*m.GetSeries(i))) << m.GetSeries(i)->GetTitle();
        EXPECT_TRUE(q.GetSeries(i)->IsActive());
    }
    EXPECT_GT(q.GetSeries(0)->GetCount(), 500);
}

} // namespace
} // namespace talvero::ui

namespace talvero::ui {
namespace {

// The user's mouse on a shown chart: a band, the wheel and a double click.
TEST(QtChart, ZoomPanAndResetFollowTheMouseAndKeepTheDrawnCopyShort) {
    TQtChart chart;
    chart.View()->resize(500, 300);
    chart.View()->show();
    VChartSeries& s = *chart.AddSeries();
    for (int i = 0; i <= 100000; ++i) s.AddXY(i * 0.001, i % 7, 0);
    chart.Render();
    const double from = chart.ShownFrom(0);
    const double to = chart.ShownTo(0);
    // The plot area moves as the labels of the axes change width: it is asked for each time.
    const auto plotArea = [&] { return chart.Chart()->plotArea(); };
    const auto toView = [&](double fx, double fy) {
        const QRectF plot = plotArea();
        return chart.View()->mapFromScene(chart.Chart()->mapToScene(
            QPointF(plot.left() + plot.width() * fx, plot.top() + plot.height() * fy)));
    };
    QWidget* viewport = chart.View()->viewport();

    // A band over the second quarter of the time and the upper half of the values.
    QTest::mousePress(viewport, Qt::LeftButton, {}, toView(0.25, 0.0));
    QTest::mouseMove(viewport, toView(0.5, 0.5));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, toView(0.5, 0.5));
    ASSERT_TRUE(chart.IsZoomed());
    const double quarter = (to - from) / 4;
    EXPECT_NEAR(chart.ShownFrom(0), from + quarter, quarter * 0.02);
    EXPECT_NEAR(chart.ShownTo(0), from + 2 * quarter, quarter * 0.02);
    // Points outside the view collapse into one column each side.
    EXPECT_LT(chart.GetQtSeries(0)->DrawnCount(), 4 * (static_cast<int>(plotArea().width()) + 4));

    // New data do not move a chosen view.
    const double zoomedTo = chart.ShownTo(0);
    s.AddXY(200, 3, 0);
    chart.Flush();
    EXPECT_EQ(chart.ShownTo(0), zoomedTo);

    // The wheel zooms around the pointer: the time under it stays.
    const double span = chart.ShownTo(0) - chart.ShownFrom(0);
    const double under = chart.ShownFrom(0) + span * 0.5;
    QWheelEvent wheel(toView(0.5, 0.5), viewport->mapToGlobal(toView(0.5, 0.5)), {}, QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
    EXPECT_NEAR(chart.ShownTo(0) - chart.ShownFrom(0), span * 0.8, span * 1e-9);
    EXPECT_NEAR(chart.ShownFrom(0) + (chart.ShownTo(0) - chart.ShownFrom(0)) * 0.5, under, span * 1e-3);

    // Dragging to the right shows earlier times.
    const double before = chart.ShownFrom(0);
    chart.PanBy(plotArea().width() / 2, 0);
    EXPECT_NEAR(chart.ShownFrom(0), before - (chart.ShownTo(0) - chart.ShownFrom(0)) / 2, span * 1e-9);

    // The read-out tells the time and the value under the pointer, and nothing outside the plot.
    const QRectF plot = plotArea();
    const QPointF middle = plot.center();
    const double t = (chart.ShownFrom(0) + chart.ShownTo(0)) / 2;
    EXPECT_TRUE(chart.ReadoutAt(middle).startsWith(QStringLiteral("t = ") + QString::number(t, 'g', 6)))
        << chart.ReadoutAt(middle).toStdString();
    EXPECT_TRUE(chart.ReadoutAt(QPointF(plot.left() - 5, middle.y())).isEmpty());

    // A double click shows all data again, the new point included.
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, toView(0.5, 0.5));
    EXPECT_FALSE(chart.IsZoomed());
    EXPECT_LE(chart.ShownFrom(0), 0);
    EXPECT_GE(chart.ShownTo(0), 200);
}

TEST(QtChart, AHistogramBesideTimeCoursesGetsTheRightAxis) {
    TQtChart chart;
    VChartSeries& course = *chart.AddSeries();
    course.SetWatchType(1);
    for (int i = 0; i < 10; ++i) course.AddXY(i * 0.1, i % 2, 0);
    VChartSeries* histogram = chart.AddSeries();
    histogram->SetWatchType(2);
    for (int i = 0; i < 5; ++i) histogram->AddXY(i * 0.2, 40.0 * i, 0);
    chart.Flush();
    ASSERT_TRUE(chart.HasRightAxis());
    EXPECT_TRUE(chart.GetQtSeries(1)->OnRightAxis());
    EXPECT_FALSE(chart.GetQtSeries(0)->OnRightAxis());
    // Each axis fits its own series: the pulses are not flattened by the counts.
    EXPECT_LT(chart.ShownTo(1), 2);
    EXPECT_GE(chart.ShownTo(2), 160);

    // Alone, a histogram is drawn against the left axis.
    chart.RemoveSeries(&course);
    chart.Flush();
    EXPECT_FALSE(chart.HasRightAxis());
    EXPECT_GE(chart.ShownTo(1), 160);
}

// The histogram's frequencies were laid on the time axis under its caption.
TEST(QtChart, AHistogramBesideTimeCoursesHasItsOwnFrequencyAxis) {
    TQtChart chart;
    VChartSeries& course = *chart.AddSeries();
    course.SetWatchType(1);
    for (int i = 0; i < 10; ++i) course.AddXY(i * 0.1, i % 2, 0);
    VChartSeries& histogram = *chart.AddSeries();
    histogram.SetWatchType(2);
    for (int i = 0; i <= 50; ++i) histogram.AddXY(i * 10.0, 1.0 / (1 + i), 0);
    chart.SetAxisTitle(VChartAxis::Bottom, uitest::Cp("Время, с"));
    chart.Flush();
    EXPECT_LT(chart.ShownTo(0), 2);  // the time axis shows the time course's seconds
    EXPECT_LE(chart.ShownFrom(3), 0);
    EXPECT_GE(chart.ShownTo(3), 500);  // and the frequencies an axis of their own
    QStringList titles;
    for (QAbstractAxis* axis : chart.Chart()->axes(Qt::Horizontal)) titles << axis->titleText();
    EXPECT_TRUE(titles.contains(uitest::U("Частота, Гц"))) << titles.join(QLatin1Char('|')).toStdString();
    // Every bin is drawn, whatever the time axis' columns.
    EXPECT_EQ(chart.GetQtSeries(1)->DrawnCount(), 51);
}

// A zoomed chart saved as SVG drew its lines over the title and the axes.
TEST(QtChart, SvgPicturesKeepTheLinesInsideThePlot) {
    TQtChart chart;
    chart.View()->resize(400, 300);
    chart.View()->show();  // the picture is the view's: laid out, it is the chart's size
    VChartSeries& s = *chart.AddSeries();
    s.SetColor(0x000000FF);
    for (int i = 0; i <= 1000; ++i) s.AddXY(i * 0.01, std::sin(i * 0.05) * 10, 0);
    chart.Render();
    const QRectF plot = chart.Chart()->plotArea();
    chart.ZoomToArea(QRectF(plot.left() + plot.width() * 0.4, plot.top() + plot.height() * 0.4, plot.width() * 0.2,
                            plot.height() * 0.2));
    // The new ranges' labels change the plot area: it settles before the picture is taken.
    for (int i = 0; i < 3; ++i) {
        chart.Render();
        QApplication::processEvents();
    }
    const QRectF inside = chart.Chart()->plotArea().adjusted(-1.5, -1.5, 1.5, 1.5);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(chart.EncodePicture(buffer, TPictureFormat::Svg));
    ASSERT_EQ(chart.Chart()->plotArea().adjusted(-1.5, -1.5, 1.5, 1.5), inside);
    // Drawn back at the chart's size: no red outside the plot, and the line inside it.
    QSvgRenderer renderer(buffer.data());
    ASSERT_TRUE(renderer.isValid());
    QImage image(renderer.viewBox().size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        renderer.render(&painter, QRectF(image.rect()));
    }
    int outside = 0;
    int within = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() < 200 || c.green() > 90 || c.blue() > 90) continue;
            (inside.contains(QPointF(x + 0.5, y + 0.5)) ? within : outside) += 1;
        }
    EXPECT_EQ(outside, 0);
    EXPECT_GT(within, 50);  // the line is there
}

} // namespace
} // namespace talvero::ui
