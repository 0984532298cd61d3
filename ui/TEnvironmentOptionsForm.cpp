#include "ui/TEnvironmentOptionsForm.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "ui/UiDialogs.h"

namespace talvero::ui {

TEnvironmentOptionsForm::TEnvironmentOptionsForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("Настройки окружения"));
    Budget = new QSpinBox;
    Budget->setRange(16, 1024 * 1024);
    Budget->setSingleStep(64);
    Budget->setSuffix(QString::fromUtf8(" МБ"));

    QDialogButtonBox* buttons = MakeOkCancelButtons(this, Ok);
    auto* form = new QFormLayout;
    form->addRow(QString::fromUtf8("Память для результатов:"), Budget);
    auto* note = new QLabel(QString::fromUtf8(
        "Когда результаты займут эту память, окна наблюдения сохранят последние точки полностью, "
        "а более ранние — в прореженном виде, где видны все пики. Каждая серия в любом случае хранит "
        "не больше 524 288 точек; все точки долгого счёта записываются в файл по флажку «Записывать "
        "результаты в файл» в настройках счёта."));
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
    resize(420, 160);
}

bool TEnvironmentOptionsForm::Run(std::string& resultsBudgetMegabytes) {
    bool ok = false;
    const int value = QString::fromStdString(resultsBudgetMegabytes).toInt(&ok);
    Budget->setValue(ok ? value : 256);
    Budget->setFocus();
    if (RunModal(*this) != QDialog::Accepted) return false;
    resultsBudgetMegabytes = std::to_string(Budget->value());
    return true;
}

} // namespace talvero::ui
