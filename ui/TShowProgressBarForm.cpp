#include "ui/TShowProgressBarForm.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWindow>

#include "ui/UiText.h"

namespace talvero::ui {

TShowProgressBarForm::TShowProgressBarForm(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    setWindowTitle(QString::fromUtf8("Пожалуйста подождите завершения операции"));
    setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = new QVBoxLayout(this);
    const char* texts[2] = {"Текущая операция:", "Всего:"};
    for (int i = 0; i < 2; ++i) {
        Lines[i] = new QLabel(QString::fromUtf8(texts[i]));
        Bars[i] = new QProgressBar;
        Bars[i]->setRange(0, 100);
        Bars[i]->setValue(0);
        layout->addWidget(Lines[i]);
        layout->addWidget(Bars[i]);
    }
    setMinimumWidth(380);
}

QLabel* TShowProgressBarForm::Line(int line) const { return line == 1 || line == 2 ? Lines[line - 1] : nullptr; }

QProgressBar* TShowProgressBarForm::Bar(int bar) const { return bar == 1 || bar == 2 ? Bars[bar - 1] : nullptr; }

void TShowProgressBarForm::Show() {
    for (QProgressBar* bar : Bars) bar->setValue(0);
    show();
    raise();
    // A window the window system has not yet put on the screen paints nothing: wait for that a
    // little, with the main window that may be new as well.
    QElapsedTimer waited;
    waited.start();
    while (PaintingOthers && windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    SinceOthersPainted.invalidate();
    Refresh();
}

void TShowProgressBarForm::Refresh() {
    if (PaintingOthers && (!SinceOthersPainted.isValid() || SinceOthersPainted.elapsed() >= 100)) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        SinceOthersPainted.start();
    }
    repaint();
}

void TShowProgressBarForm::Hide() { hide(); }

void TShowProgressBarForm::SetCaption(const std::string& caption) {
    if (!isVisible()) return;
    setWindowTitle(FromCp(caption));
    Refresh();
}

std::string TShowProgressBarForm::GetLineText(int line) const {
    if (!isVisible() || !Line(line)) return std::string();
    return ToCp(Line(line)->text());
}

void TShowProgressBarForm::SetLineText(int line, const std::string& text) {
    if (!isVisible() || !Line(line)) return;
    Line(line)->setText(FromCp(text));
    Refresh();
}

void TShowProgressBarForm::Advance(int bar, int delta) {
    if (!isVisible() || !Bar(bar)) return;
    QProgressBar* b = Bar(bar);
    b->setValue(qBound(b->minimum(), b->value() + delta, b->maximum()));
    Refresh();
}

void TShowProgressBarForm::SetRange(int bar, int position, int maximum) {
    if (!isVisible() || !Bar(bar)) return;
    QProgressBar* b = Bar(bar);
    b->setMaximum(maximum);
    b->setValue(qBound(b->minimum(), position, b->maximum()));
    Refresh();
}

} // namespace talvero::ui
