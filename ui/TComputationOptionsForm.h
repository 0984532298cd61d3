#pragma once
// The computation options dialog: time step, timer period, steps per timer call or as fast as
// possible, the model time to stop at and the threads of a step, checked before the dialog closes
// with OK.

#include <QDialog>

#include "modeler/VUiInterfaces.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace talvero::ui {

class TComputationOptionsForm : public QDialog, public VComputationOptionsDialog {
    Q_OBJECT
public:
    explicit TComputationOptionsForm(QWidget* parent = nullptr);

    bool Run(VComputationOptionsFields& fields) override;

    QLineEdit* TimeStepEdit() const { return TimeStep; }
    QLineEdit* TimerPeriodEdit() const { return TimerPeriod; }
    QLineEdit* StepsPerTickEdit() const { return StepsPerTick; }
    QCheckBox* AsFastAsPossibleBox() const { return AsFastAsPossible; }
    QCheckBox* FastEngineBox() const { return FastEngine; }
    QLineEdit* RunUntilEdit() const { return RunUntil; }
    QCheckBox* RealTimePaceBox() const { return RealTimePace; }
    QLineEdit* PaceEdit() const { return PaceFactor; }
    QLineEdit* ThreadsEdit() const { return Threads; }
    QCheckBox* RecordToFileBox() const { return RecordToFile; }
    QPushButton* OkButton() const { return Ok; }

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Shows the refusal and puts the focus into the field; false.
    bool Refuse(QLineEdit* field, const char* message);

    QLineEdit* TimeStep;
    QLineEdit* TimerPeriod;
    QLineEdit* StepsPerTick;
    QCheckBox* AsFastAsPossible;
    QCheckBox* FastEngine;
    QLineEdit* RunUntil;
    QCheckBox* RealTimePace;
    QLineEdit* PaceFactor;
    QLineEdit* Threads;
    QCheckBox* RecordToFile;
    QPushButton* Ok;
    // Which of the step count and the pace apply, by the two boxes.
    void UpdateModeFields();
};

} // namespace talvero::ui
