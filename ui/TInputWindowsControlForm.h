#pragma once
// The sources window: a keyed collection of source windows, empty until something fills it.
// Nothing opens it yet.

#include <map>

#include <QPointer>
#include <QString>
#include <QWidget>

namespace talvero::ui {

class TInputWindowsControlForm : public QWidget {
    Q_OBJECT
public:
    explicit TInputWindowsControlForm(QWidget* parent = nullptr);

    const std::map<QString, QPointer<QWidget>>& Windows() const { return SourceWindows; }

private:
    std::map<QString, QPointer<QWidget>> SourceWindows;
};

} // namespace talvero::ui
