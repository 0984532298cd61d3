#pragma once
// The about box.

#include <QDialog>

#include "modeler/VUiInterfaces.h"

class QLabel;
class QPushButton;

namespace talvero::ui {

class TAboutForm : public QDialog, public VAboutBox {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    void Run() override;

    QLabel* KernelVersionLabel() const { return KernelVersion; }
    QLabel* VisualizerVersionLabel() const { return VisualizerVersion; }

private:
    QLabel* KernelVersion;
    QLabel* VisualizerVersion;
};

} // namespace talvero::ui
