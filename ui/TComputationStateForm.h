#pragma once
// The computation state window: a picture and an empty label. Nothing opens it yet.

#include <QWidget>

class QLabel;

namespace talvero::ui {

class TComputationStateForm : public QWidget {
    Q_OBJECT
public:
    explicit TComputationStateForm(QWidget* parent = nullptr);

private:
    QLabel* Picture;
    QLabel* Text;
};

} // namespace talvero::ui
