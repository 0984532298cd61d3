#pragma once
// Scripted modal dialogs and small helpers for the window tests.

#include <gtest/gtest.h>

#include <deque>
#include <ostream>
#include <functional>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include "kernel/Cp1251.h"
#include "ui/UiDialogs.h"

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace talvero::uitest {

inline QString U(const char* utf8) { return QString::fromUtf8(utf8); }
inline std::string Cp(const char* utf8) { return Utf8ToCp1251(utf8); }

inline QString SourceDir() { return QStringLiteral(TALVERO_SOURCE_DIR); }
inline QString Example(const char* name) { return SourceDir() + QStringLiteral("/examples/") + QLatin1String(name); }

// Outside a script no dialog may come: it fails the test and is cancelled at once.
inline int RefuseUnscriptedDialog(QDialog& dialog) {
    ADD_FAILURE() << "a dialog came without a script: " << dialog.windowTitle().toStdString();
    return QDialog::Rejected;
}

// Every modal run while the script lives takes the next step; a dialog that no step expects
// fails the test and is cancelled, so that nothing ever waits. OK-only message boxes are
// recorded and confirmed without a step.
class DialogScript {
public:
    using Step = std::function<int(QDialog&)>;
    struct Box {
        QString Caption;
        QString Text;
    };

    DialogScript() {
        ui::SetModalRunner([this](QDialog& dialog) { return Run(dialog); });
    }
    ~DialogScript() {
        ui::SetModalRunner(&RefuseUnscriptedDialog);
        EXPECT_TRUE(Steps.empty()) << Steps.size() << " scripted dialogs never came";
    }
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    void Then(Step step) { Steps.push_back(std::move(step)); }

    // Shows the dialog without a modal loop, lets `act` work on it (typically pressing a button
    // that closes it) and returns the result it closed with; a dialog still open counts as cancelled.
    template <class Dialog>
    void ThenOn(std::function<void(Dialog&)> act) {
        Then([act](QDialog& dialog) {
            auto* typed = dynamic_cast<Dialog*>(&dialog);
            EXPECT_NE(typed, nullptr) << "another dialog came: " << dialog.windowTitle().toStdString();
            if (!typed) return static_cast<int>(QDialog::Rejected);
            dialog.setResult(QDialog::Rejected);
            dialog.show();
            QApplication::processEvents();
            act(*typed);
            const int result = dialog.isVisible() ? static_cast<int>(QDialog::Rejected) : dialog.result();
            dialog.hide();
            return result;
        });
    }

    // A question box answered with the button of that caption.
    void ThenAnswer(const QString& button) {
        Then([button](QDialog& dialog) {
            auto* box = qobject_cast<QMessageBox*>(&dialog);
            EXPECT_NE(box, nullptr) << "expected a question, got " << dialog.windowTitle().toStdString();
            if (!box) return static_cast<int>(QDialog::Rejected);
            for (QAbstractButton* b : box->buttons())
                if (b->text() == button) {
                    b->click();
                    return box->result();
                }
            ADD_FAILURE() << "no button " << button.toStdString();
            return static_cast<int>(QDialog::Rejected);
        });
    }

    // Any dialog is cancelled.
    void ThenCancel() {
        Then([](QDialog&) { return static_cast<int>(QDialog::Rejected); });
    }

    std::vector<Box> Boxes;

private:
    int Run(QDialog& dialog) {
        auto* box = qobject_cast<QMessageBox*>(&dialog);
        if (box) Boxes.push_back({box->windowTitle(), box->text()});
        if (box && box->buttons().size() == 1) {
            box->buttons().front()->click();
            return box->result();
        }
        if (Steps.empty()) {
            ADD_FAILURE() << "unexpected dialog: " << dialog.windowTitle().toStdString() << " "
                          << (box ? box->text().toStdString() : std::string());
            return QDialog::Rejected;
        }
        Step step = std::move(Steps.front());
        Steps.pop_front();
        return step(dialog);
    }

    std::deque<Step> Steps;
};

// Runs in a directory of its own, restoring the old current directory at the end.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const QString& path) : Old(QDir::currentPath()) { QDir::setCurrent(path); }
    ~ScopedCurrentDir() { QDir::setCurrent(Old); }

private:
    QString Old;
};

// A user's double click on a view: press, release, then the second press as a double click.
inline void DoubleClick(QAbstractItemView* view, const QPoint& at) {
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at);
}

inline bool WriteText(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace talvero::uitest
