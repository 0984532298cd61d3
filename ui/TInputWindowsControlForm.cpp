#include "ui/TInputWindowsControlForm.h"

namespace talvero::ui {

TInputWindowsControlForm::TInputWindowsControlForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QString::fromUtf8("Источники"));
    setAttribute(Qt::WA_QuitOnClose, false);
}

} // namespace talvero::ui
