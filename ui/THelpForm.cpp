#include "ui/THelpForm.h"

#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

// Resources of a static library are registered only when something asks for them.
static void InitDocsResources() { Q_INIT_RESOURCE(docs); }

namespace talvero::ui {

THelpForm::THelpForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    Text = new QTextBrowser;
    Text->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Text);
    resize(760, 640);
}

QString THelpForm::LanguageReference() {
    InitDocsResources();
    QFile file(QStringLiteral(":/talvero/docs/language.md"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

void THelpForm::ShowMarkdown(const QString& title, const QString& markdown) {
    Text->setMarkdown(markdown);
    Present(title);
}

void THelpForm::ShowHtml(const QString& title, const QString& html) {
    Text->setHtml(html);
    Present(title);
}

void THelpForm::Present(const QString& title) {
    setWindowTitle(title);
    Text->moveCursor(QTextCursor::Start);
    show();
    raise();
    activateWindow();
}

} // namespace talvero::ui
