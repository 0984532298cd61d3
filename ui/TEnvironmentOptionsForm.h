#pragma once
// The environment settings dialog: settings of this user's program that no project carries.

#include <QDialog>

#include "modeler/VUiInterfaces.h"

class QPushButton;
class QSpinBox;

namespace talvero::ui {

class TEnvironmentOptionsForm : public QDialog, public VEnvironmentOptionsDialog {
    Q_OBJECT
public:
    explicit TEnvironmentOptionsForm(QWidget* parent = nullptr);

    bool Run(std::string& resultsBudgetMegabytes) override;

    QSpinBox* BudgetEdit() const { return Budget; }
    QPushButton* OkButton() const { return Ok; }

private:
    QSpinBox* Budget;
    QPushButton* Ok;
};

} // namespace talvero::ui
