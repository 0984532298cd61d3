#pragma once
// The progress window: two lines, each with a bar. Nothing changes while it is hidden.

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

private:
    QLabel* Lines[2];
    QProgressBar* Bars[2];
};

} // namespace talvero::ui
