#include "ui/TPrjOptionsForm.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/UiDialogs.h"
#include "ui/UiText.h"

namespace talvero::ui {

TPrjOptionsForm::TPrjOptionsForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("Настройки проекта"));
    Name = new QLineEdit;
    Description = new QPlainTextEdit;
    Description->setTabChangesFocus(true);

    QDialogButtonBox* buttons = MakeOkCancelButtons(this, Ok);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromUtf8("Имя проекта:")));
    layout->addWidget(Name);
    layout->addWidget(new QLabel(QString::fromUtf8("Описание проекта:")));
    layout->addWidget(Description, 1);
    layout->addWidget(buttons);
    resize(420, 300);
}

bool TPrjOptionsForm::Run(std::string& projectName, NStringList& description) {
    Name->setText(FromCp(projectName));
    Description->setPlainText(FromCpLines(description).join(QLatin1Char('\n')));
    Name->setFocus();
    if (RunModal(*this) != QDialog::Accepted) return false;
    projectName = ToCp(Name->text());
    description = ToCpLines(Description->toPlainText());
    return true;
}

} // namespace talvero::ui
