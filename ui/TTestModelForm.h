#pragma once
// The source check dialog: runs a model file through the preprocessor into a temporary binary
// file and through the processor into a throw-away model, and writes each stage's outcome.

#include <memory>

#include <QDialog>
#include <QString>
#include <QTemporaryDir>

#include "modeler/VUiInterfaces.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace talvero {
class NEnvironment;
}

namespace talvero::ui {

class TTestModelForm : public QDialog, public VSourceCheckDialog {
    Q_OBJECT
public:
    explicit TTestModelForm(QWidget* parent = nullptr);
    ~TTestModelForm() override;

    // Modal; once shown, it asks for the file to check.
    void Run() override;

    // What showing does before it asks for a file: empty output, "Проверить" disabled.
    void Prepare();
    // "Открыть": asks for a file; a cancelled choice changes nothing.
    void OpenFile();
    // Takes `path` as the file to check, with a fresh environment.
    void UseFile(const QString& path);
    // "Проверить".
    void Check();

    QStringList OutputLines() const;
    QString GetFileName() const { return FileName; }
    // The preprocessor's output: "00000000.tmp" in a folder of this dialog's own.
    QString TemporaryFilePath() const;
    bool HasEnvironment() const { return Environment != nullptr; }

    QPlainTextEdit* Output() const { return Memo; }
    QPushButton* CheckButton() const { return CheckBtn; }
    QPushButton* OpenButton() const { return OpenBtn; }
    QPushButton* ExitButton() const { return ExitBtn; }

public slots:
    // "Выход", and every other way of closing: the temporary file and the environment go.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Append(const QString& line);
    void AppendLastError();
    void RemoveTemporaryFile() const;

    QPlainTextEdit* Memo;
    QLabel* FileLabel;  // which file the output is about
    QPushButton* CheckBtn;
    QPushButton* OpenBtn;
    QPushButton* ExitBtn;
    std::unique_ptr<NEnvironment> Environment;
    QString FileName;
    QTemporaryDir TemporaryFolder;
};

} // namespace talvero::ui
