#pragma once
// The progress window: two lines, each with a bar. Nothing changes while it is hidden.
//
// While it shows, the windows are painted as the work goes (the event loop runs, without the
// user's input), so that a long load or save never leaves them black or stale.

#include <QElapsedTimer>
#include <QWidget>

#include "modeler/VUiInterfaces.h"

class QLabel;
class QProgressBar;

namespace talvero::ui {

class TShowProgressBarForm : public QWidget, public VProgressWindow {
    Q_OBJECT
public:
    explicit TShowProgressBarForm(QWidget* parent = nullptr);

    void Show() override;
    void Hide() override;
    void SetCaption(const std::string& caption) override;
    std::string GetLineText(int line) const override;
    void SetLineText(int line, const std::string& text) override;
    void Advance(int bar, int delta) override;
    void SetRange(int bar, int position, int maximum) override;

    QLabel* Line(int line) const;
    QProgressBar* Bar(int bar) const;

    // Off while the main window is being destroyed: only this window is repainted then.
    void SetPaintingOthers(bool on) { PaintingOthers = on; }

private:
    // Paints this window, and the others when a moment has passed since they were last painted.
    void Refresh();

    QLabel* Lines[2];
    QProgressBar* Bars[2];
    bool PaintingOthers = true;
    QElapsedTimer SinceOthersPainted;
};

} // namespace talvero::ui
