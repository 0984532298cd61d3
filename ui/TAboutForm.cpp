#include "ui/TAboutForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/TImageList.h"
#include "ui/UiDialogs.h"

#ifndef TALVERO_KERNEL_VERSION
#define TALVERO_KERNEL_VERSION "0.0.0"
#endif
#ifndef TALVERO_VISUALIZER_VERSION
#define TALVERO_VISUALIZER_VERSION "0.0.0"
#endif
#ifndef TALVERO_RELEASE_DATE
#define TALVERO_RELEASE_DATE ""
#endif

namespace talvero::ui {

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("О Программе"));
    auto* picture = new QLabel;
    picture->setPixmap(TImageList::ApplicationIcon().pixmap(64, 64));
    picture->setAlignment(Qt::AlignTop);

    auto* product = new QLabel(QStringLiteral("Talvero"));
    QFont big = product->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    product->setFont(big);
    KernelVersion = new QLabel(QString::fromUtf8("Версия ядра: ") + QStringLiteral(TALVERO_KERNEL_VERSION));
    VisualizerVersion =
        new QLabel(QString::fromUtf8("Версия визуализатора: ") + QStringLiteral(TALVERO_VISUALIZER_VERSION));
    auto* date = new QLabel(QStringLiteral(TALVERO_RELEASE_DATE));

    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(product);
    texts->addWidget(KernelVersion);
    texts->addWidget(VisualizerVersion);
    texts->addWidget(date);
    texts->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TAboutForm::Run() { RunModal(*this); }

} // namespace talvero::ui
