// The desktop program computing as fast as possible, against the batch runner's bare stepping
// loop, on the generated 1,000-neuron network. The whole main window runs: its timer, the budgeted
// ticks, the watch windows pulling their data and painting their charts (on the offscreen
// platform unless another one is asked for, e.g. QT_QPA_PLATFORM=xcb under Xvfb).
//
//   Gui/windows:1, Gui/windows:8: that many watch windows, each charting one time watch.
//   Batch: StepActiveModel in a loop, as talvero-batch runs it, for the same wall time.
// Counters: steps_per_s (model steps per wall-clock second), real_time_factor.
// TALVERO_BENCH_SECONDS sets the wall time of each run (default 10).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include "bench/BenchModel.h"
#include "environment/NEnvironment.h"
#include "kernel/NClock.h"
#include "kernel/NModel.h"
#include "modeler/OutGateWatchData.h"
#include "modeler/TWatchFrame.h"
#include "modeler/VModeler.h"
#include "modeler/VIniFile.h"
#include "ui/TMainForm.h"
#include "bench/QtBenchMain.h"

using namespace talvero;

namespace {

constexpr int kNeurons = 1000;
constexpr int kSynapses = 20;

double Seconds() {
    const char* text = std::getenv("TALVERO_BENCH_SECONDS");
    const double seconds = text ? std::atof(text) : 10.0;
    return seconds > 0 ? seconds : 10.0;
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A project with the network loaded in the given main window.
bool OpenNetwork(ui::TMainForm& form, const QTemporaryDir& folder) {
    const std::string dir = QDir::toNativeSeparators(folder.path()).toStdString() + "/";
    if (!WriteFileReplacing(dir + "net.tv", bench::GenerateBenchModel(kNeurons, kSynapses))) return false;
    VModeler& modeler = form.Modeler();
    if (!modeler.NewProject(dir, "net.tvp")) return false;
    if (!modeler.GetEnvironment()->Compile(dir + "net.tv", dir + "net.btv")) return false;
    if (!modeler.GetEnvironment()->LoadModel(dir + "net.btv")) return false;
    form.Refresh();
    return true;
}

void Gui(benchmark::State& state) {
    const int windows = static_cast<int>(state.range(0));
    QTemporaryDir folder;
    ui::TMainForm form;
    form.show();
    if (!folder.isValid() || !OpenNetwork(form, folder)) {
        state.SkipWithError("the network did not load");
        return;
    }
    VModeler& modeler = form.Modeler();
    for (int w = 0; w < windows; ++w) {
        const std::string key = std::to_string(w);
        const std::string gate = "w" + std::to_string(w * 10);
        modeler.AddWatchWindow(key);
        VWatchWindow* window = modeler.GetWatchWindow(key);
        window->GetFrame().AddObservation(gate, OutGateWatchData(gate, 0, kChartAutoColor));
        window->SetShown(true);
    }
    modeler.SetAsFastAsPossible(true);
    const double seconds = Seconds();
    for (auto _ : state) {
        form.Action(ui::TCommand::Start)->trigger();
        const double start = Now();
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
        loop.exec();
        const double wall = Now() - start;
        const double model = static_cast<double>(GetCurrentTime());
        form.Action(ui::TCommand::Stop)->trigger();
        state.SetIterationTime(wall);
        state.counters["steps_per_s"] = model / static_cast<double>(GetTimeStep()) / wall;
        state.counters["real_time_factor"] = model / wall;
    }
    modeler.CloseProject(false);
}

void Batch(benchmark::State& state) {
    QTemporaryDir folder;
    ui::TMainForm form;
    if (!folder.isValid() || !OpenNetwork(form, folder)) {
        state.SkipWithError("the network did not load");
        return;
    }
    NModel* model = form.Modeler().GetEnvironment()->GetModel();
    const double seconds = Seconds();
    for (auto _ : state) {
        SetActiveModel(model);
        ResetActiveModel();
        long long steps = 0;
        const double start = Now();
        double wall = 0;
        while ((wall = Now() - start) < seconds) {
            for (int i = 0; i < 100; ++i) StepActiveModel();
            steps += 100;
        }
        state.SetIterationTime(wall);
        state.counters["steps_per_s"] = static_cast<double>(steps) / wall;
        state.counters["real_time_factor"] = static_cast<double>(steps) * kDefaultTimeStep / wall;
    }
    SetActiveModel(nullptr);
    form.Modeler().CloseProject(false);
}

} // namespace

BENCHMARK(Batch)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(Gui)->ArgName("windows")->Arg(1)->Arg(8)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv); }
