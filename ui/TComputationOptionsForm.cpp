#include "ui/TComputationOptionsForm.h"

#include <cstdint>
#include <limits>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "modeler/VIniFile.h"
#include "modeler/VModeler.h"
#include "ui/UiDialogs.h"
#include "ui/UiText.h"

namespace talvero::ui {

namespace {

bool IsStep(const QString& text) {
    double value = 0;
    return ParseNumber(text, value) && value >= 0;
}

// The controller keeps the period and the steps as unsigned 32-bit numbers: a larger value
// could not be taken and is refused like a negative one.
bool IsCount(const QString& text) {
    std::int64_t value = 0;
    return ParseInteger(text.toStdString(), value) && value >= 0 &&
           value <= std::numeric_limits<std::uint32_t>::max();
}

} // namespace

TComputationOptionsForm::TComputationOptionsForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("Настройки счёта"));
    auto* form = new QFormLayout;
    TimeStep = new QLineEdit;
    TimerPeriod = new QLineEdit;
    StepsPerTick = new QLineEdit;
    for (QLineEdit* edit : {TimeStep, TimerPeriod, StepsPerTick}) edit->setMinimumWidth(120);
    form->addRow(QString::fromUtf8("Шаг интегрирования:"), TimeStep);
    form->addRow(QString::fromUtf8("Периодичность вызова таймера (мс):"), TimerPeriod);
    form->addRow(QString::fromUtf8("Просчитывать шагов за один вызов:"), StepsPerTick);
    AsFastAsPossible = new QCheckBox(QString::fromUtf8("Считать как можно быстрее"));
    form->addRow(AsFastAsPossible);
    // The pace keeps model time to wall time; the step count is kept for when both are off.
    RealTimePace = new QCheckBox(QString::fromUtf8("В темпе реального времени, ×"));
    PaceFactor = new QLineEdit;
    PaceFactor->setMaximumWidth(80);
    PaceFactor->setToolTip(QString::fromUtf8("Модельных секунд за секунду: 1 — реальное время, 0,1 — в десять раз медленнее"));
    auto* paceRow = new QHBoxLayout;
    paceRow->addWidget(RealTimePace);
    paceRow->addWidget(PaceFactor);
    paceRow->addStretch(1);
    form->addRow(paceRow);
    connect(AsFastAsPossible, &QCheckBox::toggled, this, &TComputationOptionsForm::UpdateModeFields);
    connect(RealTimePace, &QCheckBox::toggled, this, &TComputationOptionsForm::UpdateModeFields);
    RunUntil = new QLineEdit;
    RunUntil->setPlaceholderText(QString::fromUtf8("без ограничения"));
    form->addRow(QString::fromUtf8("Остановить счёт на времени (с):"), RunUntil);
    FastEngine = new QCheckBox(QString::fromUtf8("Быстрый счёт (двойная точность)"));
    FastEngine->setToolTip(QString::fromUtf8("Модель, которую быстрый счёт не умеет, считается точно, с сообщением"));
    form->addRow(FastEngine);
    Threads = new QLineEdit;
    Threads->setPlaceholderText(QString::number(VModeler::DefaultComputationThreads()));
    Threads->setToolTip(QString::fromUtf8("Небольшая модель считается в меньшем числе потоков; результаты от числа потоков не зависят."));
    form->addRow(QString::fromUtf8("Потоков счёта (не более):"), Threads);
    RecordToFile = new QCheckBox(QString::fromUtf8("Записывать результаты в файл"));
    RecordToFile->setToolTip(QString::fromUtf8(
        "Каждая точка каждого наблюдения записывается в файл HDF5 в папке проекта, начиная со следующего "
        "запуска с начала; файл появляется, когда счёт остановлен."));
    form->addRow(RecordToFile);

    QDialogButtonBox* buttons = MakeOkCancelButtons(this, Ok);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool TComputationOptionsForm::Run(VComputationOptionsFields& fields) {
    TimeStep->setText(FromCp(fields.TimeStep));
    TimerPeriod->setText(FromCp(fields.TimerPeriod));
    StepsPerTick->setText(FromCp(fields.StepsPerTick));
    AsFastAsPossible->setChecked(fields.AsFastAsPossible);
    RealTimePace->setChecked(!fields.Pace.empty());
    PaceFactor->setText(fields.Pace.empty() ? QStringLiteral("1") : FromCp(fields.Pace));
    UpdateModeFields();
    RunUntil->setText(FromCp(fields.RunUntil));
    FastEngine->setChecked(fields.FastEngine);
    Threads->setText(FromCp(fields.Threads));
    RecordToFile->setChecked(fields.RecordToFile);
    if (RunModal(*this) != QDialog::Accepted) return false;
    fields.FastEngine = FastEngine->isChecked();
    fields.AsFastAsPossible = AsFastAsPossible->isChecked();
    fields.Pace = RealTimePace->isChecked() ? ToCp(PaceFactor->text().trimmed()) : std::string();
    fields.RunUntil = ToCp(RunUntil->text().trimmed());
    fields.TimeStep = ToCp(TimeStep->text());
    fields.TimerPeriod = ToCp(TimerPeriod->text());
    fields.StepsPerTick = ToCp(StepsPerTick->text());
    fields.Threads = ToCp(Threads->text().trimmed());
    fields.RecordToFile = RecordToFile->isChecked();
    return true;
}

void TComputationOptionsForm::UpdateModeFields() {
    const bool fast = AsFastAsPossible->isChecked();
    RealTimePace->setEnabled(!fast);
    PaceFactor->setEnabled(!fast && RealTimePace->isChecked());
    StepsPerTick->setEnabled(!fast && !RealTimePace->isChecked());
}

bool TComputationOptionsForm::Refuse(QLineEdit* field, const char* message) {
    ShowMessageBox(this, QString::fromUtf8("Ошибка!"), QString::fromUtf8(message));
    field->setFocus();
    field->selectAll();
    return false;
}

void TComputationOptionsForm::accept() {
    // Zero passes here; the clock refuses a zero step when it is applied.
    if (!IsStep(TimeStep->text())) {
        Refuse(TimeStep, "Недопустимое значение шага интегрирования.");
        return;
    }
    if (!IsCount(TimerPeriod->text())) {
        Refuse(TimerPeriod, "Недопустимое значение периода вызова таймера.");
        return;
    }
    if (!IsCount(StepsPerTick->text())) {
        Refuse(StepsPerTick, "Недопустимое значение количества шагов интегрирования.");
        return;
    }
    double pace = 0;
    if (RealTimePace->isChecked() && !(ParseNumber(PaceFactor->text().trimmed(), pace) && pace > 0 && pace <= 1e6)) {
        Refuse(PaceFactor, "Недопустимое значение темпа счёта: нужно число больше 0 (1 — реальное время).");
        return;
    }
    if (!RunUntil->text().trimmed().isEmpty() && !IsStep(RunUntil->text())) {
        Refuse(RunUntil, "Недопустимое значение времени останова.");
        return;
    }
    // Empty: as many as the machine has cores.
    std::int64_t threads = 0;
    const QString threadsText = Threads->text().trimmed();
    if (!threadsText.isEmpty() && (!ParseInteger(threadsText.toStdString(), threads) || threads < 1 ||
                                   threads > VModeler::kMaxComputationThreads)) {
        Refuse(Threads, "Недопустимое число потоков счёта (от 1 до 256).");
        return;
    }
    QDialog::accept();
}

void TComputationOptionsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    TimeStep->setFocus();
    TimeStep->selectAll();
}

} // namespace talvero::ui
