#pragma once
// The new-project wizard: three pages collecting the project file, the project's name and
// description, and the model file; it checks them before it closes with OK. It creates no file.

#include <QDialog>
#include <QStringList>

#include "modeler/VUiInterfaces.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;

namespace talvero::ui {

class TCreateProjectWizardForm : public QDialog, public VNewProjectWizard {
    Q_OBJECT
public:
    explicit TCreateProjectWizardForm(QWidget* parent = nullptr);

    bool Run() override;
    std::string GetProjectFileName() const override;
    std::string GetProjectName() const override;
    NStringList GetDescription() const override;
    std::string GetModelFileName() const override;
    bool IsModelSource() const override { return ModelIsSource; }
    void SetModelCheck(ModelCheck check) override { Check = std::move(check); }

    // 1, 2 or 3.
    int CurrentStep() const;
    void GoToStep(int step);
    // What the back and forward buttons do; forward on step 3 checks and finishes.
    void Back();
    void Forward();
    // Clears the results and every field and shows step 1 (done on every show).
    void Reset();

    QLabel* HeaderLabel() const { return Header; }
    QLineEdit* ProjectFileEdit() const { return ProjectFile; }
    QLineEdit* ProjectNameEdit() const { return ProjectName; }
    QPlainTextEdit* DescriptionEdit() const { return Description; }
    QLineEdit* ModelFileEdit() const { return ModelFile; }
    QPushButton* BackButton() const { return BackBtn; }
    QPushButton* ForwardButton() const { return ForwardBtn; }
    QPushButton* CancelButton() const { return CancelBtn; }
    QPushButton* ProjectBrowseButton() const { return ProjectBrowse; }
    QPushButton* ModelBrowseButton() const { return ModelBrowse; }
    QWidget* Page(int step) const;

    QString ResultProjectFileName() const { return ResultProjectFile; }
    QString ResultProjectName() const { return ResultName; }
    QStringList ResultDescription() const { return ResultLines; }
    QString ResultModelFileName() const { return ResultModelFile; }

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Finish();
    void Refuse(const char* message, int step);
    void ClearResults();
    void BrowseProjectFile();
    void BrowseModelFile();

    QLabel* Header;
    QStackedWidget* Pages;
    QLineEdit* ProjectFile;
    QLineEdit* ProjectName;
    QPlainTextEdit* Description;
    QLineEdit* ModelFile;
    QPushButton* ProjectBrowse;
    QPushButton* ModelBrowse;
    QPushButton* BackBtn;
    QPushButton* ForwardBtn;
    QPushButton* CancelBtn;

    QString ResultProjectFile;
    QString ResultName;
    QStringList ResultLines;
    QString ResultModelFile;
    bool ModelIsSource = false;
    ModelCheck Check;
};

} // namespace talvero::ui
