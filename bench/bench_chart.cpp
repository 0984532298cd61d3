// The watch window's redraw per timer tick on Qt Charts: what one update of a frame costs when
// its series are long. Runs on the offscreen platform unless another one is asked for.
//
//   Tick/8x100000:  8 series of 100,000 points, 20 new points per series per tick (the series
//                   grow), then the window is painted.
//   Window/8x100000: the same, but every gate drops its 20 oldest points (a moving window).
//   Tick/1x1000000: one series of a million points.
//   Resize/1x1000000: the window changes size, so every point is looked at again.
//   Export/Nx524288: the longest series a watch window keeps, exported as CSV and as a PNG picture
//                    (counters csv_ms, png_ms, csv_mb).
// Counters: update_ms (the frame's UpdateSeries, thinning included), paint_ms (the event loop
// until the chart has painted), drawn (points drawn, all series), paints (paints per tick).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QChartView>
#include <QEvent>

#include <unistd.h>

#include "kernel/NModel.h"
#include "modeler/TWatchFrame.h"
#include "tests/modeler/WatchTestSupport.h"
#include "ui/TQtChart.h"
#include "ui/TWatchWindowForm.h"
#include "bench/QtBenchMain.h"

using namespace talvero;

namespace {

class BenchGate : public testing::ScriptedGate {
public:
    using ScriptedGate::ScriptedGate;

    double Next = 0;

    // A pulse train with some irregularity, like a neuron's output.
    void AppendTrain(std::size_t count, double step) {
        for (std::size_t i = 0; i < count; ++i) {
            const auto n = static_cast<long long>(std::llround(Next / step));
            Append(Next, (n % 97) < 10 + (n / 997) % 7 ? 1.0 : 0.0);
            Next += step;
        }
    }
    void DropFront(std::size_t count) {
        for (std::size_t i = 0; i < count && !X.empty(); ++i) {
            X.pop_front();
            Y.pop_front();
        }
    }
};

constexpr double kStep = 0.0001;
constexpr std::size_t kNewPerTick = 20;

struct PaintCounter : QObject {
    int Count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++Count;
        return false;
    }
};

struct Scene {
    PaintCounter Paints;
    NModel Model{"bench"};
    std::vector<BenchGate*> Gates;
    std::unique_ptr<ui::TWatchWindowForm> Window;

    Scene(int series, std::size_t points) {
        Window = std::make_unique<ui::TWatchWindowForm>();
        Window->resize(900, 560);
        Window->show();
        Window->Chart().View()->viewport()->installEventFilter(&Paints);
        TWatchFrame& frame = Window->GetFrame();
        frame.SetModel(&Model);
        for (int i = 0; i < series; ++i) {
            const std::string name = "gate" + std::to_string(i);
            auto* gate = new BenchGate(&Model, name.c_str());
            Model.AddOutGate(gate);
            gate->Next = i * kStep / series;
            gate->AppendTrain(points, kStep);
            Gates.push_back(gate);
            frame.AddObservation(name, OutGateWatchData(name, i * 1.5, kChartAutoColor));
        }
        Window->GetFrame().GetChart().SetLegendVisible(true);
        QApplication::processEvents();
        Paint();
    }
    // Runs the event loop until the chart's view has painted, as after a timer tick.
    void Paint() {
        const int before = Paints.Count;
        for (int turn = 0; turn < 10 && Paints.Count == before; ++turn) QApplication::processEvents();
        QApplication::processEvents();
    }
    int Drawn() const {
        int total = 0;
        for (int i = 0; i < Window->Chart().GetSeriesCount(); ++i) total += Window->Chart().GetQtSeries(i)->DrawnCount();
        return total;
    }
};

double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void RunTicks(benchmark::State& state, bool movingWindow) {
    Scene scene(static_cast<int>(state.range(0)), static_cast<std::size_t>(state.range(1)));
    double update = 0;
    double paint = 0;
    for (auto _ : state) {
        for (BenchGate* gate : scene.Gates) {
            gate->AppendTrain(kNewPerTick, kStep);
            if (movingWindow) gate->DropFront(kNewPerTick);
        }
        const auto t0 = std::chrono::steady_clock::now();
        scene.Window->GetFrame().UpdateSeries();
        const auto t1 = std::chrono::steady_clock::now();
        scene.Paint();
        const auto t2 = std::chrono::steady_clock::now();
        update += Ms(t1 - t0);
        paint += Ms(t2 - t1);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["update_ms"] = update / n;
    state.counters["paint_ms"] = paint / n;
    state.counters["drawn"] = scene.Drawn();
    state.counters["paints"] = scene.Paints.Count / (n + 1);
}

void Tick(benchmark::State& state) { RunTicks(state, false); }
void Window(benchmark::State& state) { RunTicks(state, true); }

void Resize(benchmark::State& state) {
    Scene scene(static_cast<int>(state.range(0)), static_cast<std::size_t>(state.range(1)));
    bool wide = false;
    for (auto _ : state) {
        wide = !wide;
        scene.Window->resize(wide ? 1000 : 900, 560);
        QApplication::processEvents();
        scene.Window->Chart().Flush();
        scene.Paint();
    }
    state.counters["drawn"] = scene.Drawn();
}

void Export(benchmark::State& state) {
    Scene scene(static_cast<int>(state.range(0)), static_cast<std::size_t>(state.range(1)));
    const std::string dir = std::filesystem::temp_directory_path() / ("talvero-bench-export-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const QString csv = QString::fromStdString(dir + "/series.csv");
    const QString png = QString::fromStdString(dir + "/chart.png");
    double csvMs = 0;
    double pngMs = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!scene.Window->ExportSeriesTo(csv)) state.SkipWithError("CSV not written");
        const auto t1 = std::chrono::steady_clock::now();
        if (!scene.Window->SavePictureTo(png)) state.SkipWithError("picture not written");
        const auto t2 = std::chrono::steady_clock::now();
        csvMs += Ms(t1 - t0);
        pngMs += Ms(t2 - t1);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["csv_ms"] = csvMs / n;
    state.counters["png_ms"] = pngMs / n;
    state.counters["csv_mb"] = static_cast<double>(std::filesystem::file_size(csv.toStdString())) / (1 << 20);
    std::filesystem::remove_all(dir);
}

} // namespace

BENCHMARK(Tick)->ArgNames({"series", "points"})->Args({8, 100000})->Args({1, 1000000})->Unit(benchmark::kMillisecond);
BENCHMARK(Window)->ArgNames({"series", "points"})->Args({8, 100000})->Unit(benchmark::kMillisecond);
BENCHMARK(Resize)->ArgNames({"series", "points"})->Args({1, 1000000})->Unit(benchmark::kMillisecond);
BENCHMARK(Export)->ArgNames({"series", "points"})->Args({2, 524288})->Args({8, 524288})->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv); }
