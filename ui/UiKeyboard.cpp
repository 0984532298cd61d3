#include "ui/UiKeyboard.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

namespace talvero::ui {

namespace {

// The Russian layout's letters on the keys of the US layout, key by key.
const char16_t kCyrillicRow[] = u"йцукенгшщзхъфывапролджэячсмитьбюё";
const char kLatinRow[] = "qwertyuiop[]asdfghjkl;'zxcvbnm,.`";
static_assert(std::size(kCyrillicRow) == std::size(kLatinRow));

QChar Mnemonic(const QString& caption) {
    const QKeySequence sequence = QKeySequence::mnemonic(caption);
    if (sequence.isEmpty()) return {};
    return QChar(static_cast<char16_t>(sequence[0].key() & 0xffff)).toUpper();
}

// Hands a Latin key press on to the menu as the Cyrillic letter of the same key, when that is an
// item's mnemonic and no item claims the Latin letter itself.
class TLatinMenuKeys final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* menu = qobject_cast<QMenu*>(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if (!menu || key->text().size() != 1 || (mods != Qt::NoModifier && mods != Qt::ShiftModifier)) return false;
        const QChar latin = key->text().front();
        const QChar cyrillic = CyrillicKeyOf(latin);
        if (cyrillic.isNull()) return false;
        bool cyrillicUsed = false;
        for (const QAction* action : menu->actions()) {
            const QChar m = Mnemonic(action->text());
            if (m == latin.toUpper()) return false;
            cyrillicUsed = cyrillicUsed || (m == cyrillic && action->isVisible());
        }
        if (!cyrillicUsed) return false;
        QKeyEvent translated(QEvent::KeyPress, Qt::Key_unknown, key->modifiers(), QString(cyrillic.toLower()));
        QCoreApplication::sendEvent(menu, &translated);
        return true;
    }
};

} // namespace

QChar LatinKeyOf(QChar cyrillic) {
    const QChar lower = cyrillic.toLower();
    for (std::size_t i = 0; i + 1 < std::size(kCyrillicRow); ++i)
        if (lower.unicode() == kCyrillicRow[i]) return QLatin1Char(kLatinRow[i]);
    return {};
}

QChar CyrillicKeyOf(QChar latin) {
    const QChar lower = latin.toLower();
    for (std::size_t i = 0; i + 1 < std::size(kLatinRow); ++i)
        if (lower == QLatin1Char(kLatinRow[i])) return QChar(kCyrillicRow[i]).toUpper();
    return {};
}

void EnableLatinMnemonics(QMenu* menu) {
    static const QString kFilterName = QStringLiteral("talveroLatinMnemonics");
    if (!menu->findChild<QObject*>(kFilterName, Qt::FindDirectChildrenOnly)) {
        auto* filter = new TLatinMenuKeys(menu);
        filter->setObjectName(kFilterName);
        menu->installEventFilter(filter);
    }
    for (QAction* action : menu->actions())
        if (action->menu()) EnableLatinMnemonics(action->menu());
}

void EnableLatinMnemonics(QMenuBar* bar) {
    for (QAction* action : bar->actions()) {
        QMenu* menu = action->menu();
        if (!menu) continue;
        EnableLatinMnemonics(menu);
        const QChar latin = LatinKeyOf(Mnemonic(action->text()));
        if (latin.isNull()) continue;
        auto* shortcut = new QShortcut(QKeySequence(QStringLiteral("Alt+") + latin.toUpper()), bar->window());
        QObject::connect(shortcut, &QShortcut::activated, bar, [bar, action] {
            if (action->isEnabled()) bar->setActiveAction(action);
        });
    }
}

} // namespace talvero::ui
