#include "ui/TComputationStateForm.h"

#include <QHBoxLayout>
#include <QLabel>

#include "ui/TImageList.h"

namespace talvero::ui {

TComputationStateForm::TComputationStateForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QString::fromUtf8("Текущее состояние"));
    setAttribute(Qt::WA_QuitOnClose, false);
    Picture = new QLabel;
    Picture->setPixmap(TImageList::ApplicationIcon().pixmap(32, 32));
    Text = new QLabel;
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Picture);
    layout->addWidget(Text, 1);
}

} // namespace talvero::ui
