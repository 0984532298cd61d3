#pragma once
// The computation options dialog: time step, timer period and steps per timer call, checked
// before the dialog closes with OK.

#include <QDialog>

#include "modeler/VUiInterfaces.h"

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
    QPushButton* Ok;
};

} // namespace talvero::ui
