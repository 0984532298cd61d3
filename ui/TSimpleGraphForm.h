#pragma once
// The simple graph window: one chart with one line series. Nothing opens it yet.

#include <QWidget>

class QChart;
class QLineSeries;

namespace talvero::ui {

class TSimpleGraphForm : public QWidget {
    Q_OBJECT
public:
    explicit TSimpleGraphForm(QWidget* parent = nullptr);

    QChart* Chart() const { return ChartObject; }
    QLineSeries* Series() const { return Line; }

private:
    QChart* ChartObject;
    QLineSeries* Line;
};

} // namespace talvero::ui
