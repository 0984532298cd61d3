#pragma once
// The project options dialog: the project's name and description.

#include <QDialog>

#include "modeler/VUiInterfaces.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace talvero::ui {

class TPrjOptionsForm : public QDialog, public VProjectOptionsDialog {
    Q_OBJECT
public:
    explicit TPrjOptionsForm(QWidget* parent = nullptr);

    bool Run(std::string& projectName, NStringList& description) override;

    QLineEdit* NameEdit() const { return Name; }
    QPlainTextEdit* DescriptionEdit() const { return Description; }
    QPushButton* OkButton() const { return Ok; }

private:
    QLineEdit* Name;
    QPlainTextEdit* Description;
    QPushButton* Ok;
};

} // namespace talvero::ui
