#include "ui/TSimpleGraphForm.h"

#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QVBoxLayout>

namespace talvero::ui {

TSimpleGraphForm::TSimpleGraphForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QString::fromUtf8("Простой график"));
    setAttribute(Qt::WA_QuitOnClose, false);
    ChartObject = new QChart;
    Line = new QLineSeries;
    ChartObject->addSeries(Line);  // the chart owns the series
    ChartObject->legend()->hide();
    auto* view = new QChartView(ChartObject);  // the view owns the chart
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    resize(400, 300);
}

} // namespace talvero::ui
