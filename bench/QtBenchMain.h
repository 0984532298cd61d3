#pragma once
// The main of a benchmark program that needs a QApplication: offscreen unless another platform
// is asked for, and quiet about what the offscreen platform says of every window it cannot place.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QString>

inline int RunQtBenchmarks(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && !text.contains(QLatin1String("propagateSizeHints")) &&
            !text.contains(QLatin1String("raise()")))
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
