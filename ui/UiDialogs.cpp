#include "ui/UiDialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

#include "ui/UiText.h"

namespace talvero::ui {

namespace {

std::function<QString()>& StartFolder() {
    static std::function<QString()> source;
    return source;
}

TModalRunner& Runner() {
    static TModalRunner runner;
    return runner;
}

} // namespace

VWindowPlacement FitToScreen(const VWindowPlacement& placement) {
    const QPoint corner(placement.Left, placement.Top);
    QScreen* screen = QGuiApplication::screenAt(corner);
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return placement;
    const QRect free = screen->availableGeometry();
    VWindowPlacement fitted = placement;
    fitted.Width = std::clamp(placement.Width, 1, std::max(free.width(), 1));
    fitted.Height = std::clamp(placement.Height, 1, std::max(free.height(), 1));
    fitted.Left = std::clamp(placement.Left, free.left(), std::max(free.left(), free.right() + 1 - fitted.Width));
    fitted.Top = std::clamp(placement.Top, free.top(), std::max(free.top(), free.bottom() + 1 - fitted.Height));
    return fitted;
}

void SetFileDialogStartFolder(std::function<QString()> source) { StartFolder() = std::move(source); }

void SetModalRunner(TModalRunner runner) { Runner() = std::move(runner); }

int RunModal(QDialog& dialog) {
    if (Runner()) return Runner()(dialog);
    return dialog.exec();
}

void ShowMessageBox(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::NoButton, parent);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    RunModal(box);
}

VAnswer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QString::fromUtf8("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QString::fromUtf8("Нет"), QMessageBox::NoRole);
    QPushButton* cancel = box.addButton(QString::fromUtf8("Отмена"), QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel);
    RunModal(box);
    if (box.clickedButton() == yes) return VAnswer::Yes;
    if (box.clickedButton() == no) return VAnswer::No;
    return VAnswer::Cancel;
}

bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QString::fromUtf8("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QString::fromUtf8("Нет"), QMessageBox::NoRole);
    // Deleting is the step that cannot be undone: Enter keeps things as they are.
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    RunModal(box);
    return box.clickedButton() == yes;
}

QDialogButtonBox* MakeOkCancelButtons(QDialog* dialog, QPushButton*& ok) {
    auto* buttons = new QDialogButtonBox;
    ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QString::fromUtf8("Отмена"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

QString FileDialogFilter(const QString& pipeFilter) {
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        // The dialog reads the patterns from the last parentheses of each entry.
        filters << (description.contains(QLatin1Char('(')) ? description
                                                           : description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}

bool ChooseFile(QWidget* parent, TFileDialogKind kind, const QString& pipeFilter, const QString& defaultSuffix,
                QString& path) {
    QFileDialog dialog(parent);
    const bool open = kind == TFileDialogKind::Open;
    dialog.setWindowTitle(open ? QString::fromUtf8("Открыть") : QString::fromUtf8("Сохранить как"));
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // The callers check the chosen name themselves (a project file must not exist yet).
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(FileDialogFilter(pipeFilter));
    dialog.setDefaultSuffix(defaultSuffix);
    if (!path.isEmpty()) {
        const QFileInfo start(path);
        dialog.setDirectory(start.absolutePath());
        dialog.selectFile(start.fileName());
    } else if (StartFolder()) {
        if (const QString folder = StartFolder()(); !folder.isEmpty() && QFileInfo(folder).isDir())
            dialog.setDirectory(folder);
    }
    if (RunModal(dialog) != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return false;
    path = chosen.front();
    return true;
}

void TMessageBoxes::ShowMessage(const std::string& caption, const std::string& text) {
    ShowMessageBox(Parent, FromKernelText(caption), FromKernelText(text));
}

VAnswer TMessageBoxes::AskYesNoCancel(const std::string& caption, const std::string& text) {
    return ui::AskYesNoCancel(Parent, FromKernelText(caption), FromKernelText(text));
}

bool TMessageBoxes::Confirm(const std::string& caption, const std::string& text) {
    return AskYesNo(Parent, FromKernelText(caption), FromKernelText(text));
}

bool TFileOpenDialog::Run(const std::string& filter, const std::string& defaultExtension, std::string& fileName) {
    QString path = FromPath(fileName);
    if (!ChooseFile(Parent, TFileDialogKind::Open, FromCp(filter), FromCp(defaultExtension), path)) return false;
    fileName = ToPath(path);
    return true;
}

} // namespace talvero::ui
