#include "ui/TSetObjectParamForm.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/UiDialogs.h"
#include "ui/UiText.h"

namespace talvero::ui {

TSetObjectParamForm::TSetObjectParamForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("Установка значения параметра"));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QString::fromUtf8("Параметр:")), 0, 0);
    Name = new QLabel;
    Name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(Name, 0, 1);
    grid->addWidget(new QLabel(QString::fromUtf8("Значение:")), 1, 0);
    Value = new QLineEdit;
    Value->setMinimumWidth(180);
    grid->addWidget(Value, 1, 1);
    grid->setColumnStretch(1, 1);

    QDialogButtonBox* buttons = MakeOkCancelButtons(this, Ok);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool TSetObjectParamForm::Execute(const QString& name, const QString& valueText, double& value) {
    Name->setText(name);
    Value->setText(valueText);
    Value->selectAll();
    Value->setFocus();
    if (RunModal(*this) != QDialog::Accepted) return false;
    value = Number;
    return true;
}

void TSetObjectParamForm::accept() {
    double number = 0;
    if (!ParseNumber(Value->text(), number)) {
        ShowMessageBox(this, QString::fromUtf8("Ошибка!"),
                       QString::fromUtf8("«%1» не является допустимым числом.").arg(Value->text()));
        Value->setFocus();
        Value->selectAll();
        return;
    }
    Number = number;
    QDialog::accept();
}

} // namespace talvero::ui
