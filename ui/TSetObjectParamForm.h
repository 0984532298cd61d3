#pragma once
// The parameter value dialog: a parameter's name and an edit field for its new value.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace talvero::ui {

class TSetObjectParamForm : public QDialog {
    Q_OBJECT
public:
    explicit TSetObjectParamForm(QWidget* parent = nullptr);

    // Shows `name` and `valueText` modally; true on OK with the entered number in `value`.
    bool Execute(const QString& name, const QString& valueText, double& value);

    QLabel* NameLabel() const { return Name; }
    QLineEdit* ValueEdit() const { return Value; }
    QPushButton* OkButton() const { return Ok; }
    // The number of the last OK.
    double GetValue() const { return Number; }

public slots:
    // Refuses text that is not a number, with the conversion's error message.
    void accept() override;

private:
    QLabel* Name;
    QLineEdit* Value;
    QPushButton* Ok;
    double Number = 0;
};

} // namespace talvero::ui
