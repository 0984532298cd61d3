#pragma once
// The help pages: the model description language's reference, read from the program's own copy
// of docs/language.md, and the keyboard and mouse reference made from the main window's commands.

#include <QWidget>

class QTextBrowser;

namespace talvero::ui {

class THelpForm : public QWidget {
    Q_OBJECT
public:
    explicit THelpForm(QWidget* parent = nullptr);

    void ShowMarkdown(const QString& title, const QString& markdown);
    void ShowHtml(const QString& title, const QString& html);
    QTextBrowser* Browser() const { return Text; }

    // The language reference compiled into the program; empty if it is missing.
    static QString LanguageReference();

private:
    void Present(const QString& title);

    QTextBrowser* Text;
};

} // namespace talvero::ui
