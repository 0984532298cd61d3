#pragma once
// How windows run modally, the message boxes and the file dialogs.
//
// Every modal run goes through RunModal, so that tests can script a dialog (fill it in, press a
// button) instead of waiting for a user.

#include <functional>
#include <string>

#include <QString>

#include "modeler/VUiInterfaces.h"

class QDialog;
class QDialogButtonBox;
class QPushButton;
class QWidget;

namespace talvero::ui {

// Runs the dialog and returns its result code.
using TModalRunner = std::function<int(QDialog&)>;

// Replaces how dialogs run modally; an empty runner restores the ordinary modal loop.
void SetModalRunner(TModalRunner runner);
int RunModal(QDialog& dialog);

// An OK box.
void ShowMessageBox(QWidget* parent, const QString& caption, const QString& text);
// The buttons Yes, No and Cancel; closing the box counts as Cancel.
VAnswer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text);
// The buttons Yes and No (the default); closing the box counts as No.
bool AskYesNo(QWidget* parent, const QString& caption, const QString& text);

// The row "OK" (the default button, accepting the dialog) and "Отмена" (rejecting it); `ok`
// receives the OK button.
QDialogButtonBox* MakeOkCancelButtons(QDialog* dialog, QPushButton*& ok);

// "Description (*.ext)|*.ext|..." as a file dialog filter.
QString FileDialogFilter(const QString& pipeFilter);

enum class TFileDialogKind { Open, Save };
// True with the chosen path; `path` also gives the starting name. Without one, the dialog starts in
// the folder the start-folder source names (the open project's), if any.
void SetFileDialogStartFolder(std::function<QString()> source);
bool ChooseFile(QWidget* parent, TFileDialogKind kind, const QString& pipeFilter, const QString& defaultSuffix,
                QString& path);

// A stored placement made to fit the screen it is on (the primary one when it is on none): the
// size at most the screen's free area, the window wholly on it. A placement from another display,
// or one edited by hand, would otherwise make a window larger than any screen.
VWindowPlacement FitToScreen(const VWindowPlacement& placement);

// The controller's message boxes.
class TMessageBoxes : public VMessageBoxes {
public:
    explicit TMessageBoxes(QWidget* parent) : Parent(parent) {}
    void ShowMessage(const std::string& caption, const std::string& text) override;
    VAnswer AskYesNoCancel(const std::string& caption, const std::string& text) override;
    bool Confirm(const std::string& caption, const std::string& text) override;

private:
    QWidget* Parent;
};

// The controller's file-open dialog.
class TFileOpenDialog : public VFileOpenDialog {
public:
    explicit TFileOpenDialog(QWidget* parent) : Parent(parent) {}
    bool Run(const std::string& filter, const std::string& defaultExtension, std::string& fileName) override;

private:
    QWidget* Parent;
};

} // namespace talvero::ui
