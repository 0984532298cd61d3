#pragma once
// Menu mnemonics that answer in either keyboard layout. The captions carry Cyrillic mnemonics;
// with the Latin layout the same physical key sends a Latin letter, which Qt alone does not match.

#include <QChar>

class QMenu;
class QMenuBar;

namespace talvero::ui {

// The Latin letter on the key that carries `cyrillic` in the Russian layout (lower case), or a
// null character.
QChar LatinKeyOf(QChar cyrillic);
// The reverse: the Cyrillic letter (upper case) on the key of `latin`, or a null character.
QChar CyrillicKeyOf(QChar latin);

// Alt with the Latin key of a menu's mnemonic opens that menu, and inside an open menu (and its
// submenus) the Latin key of an item's mnemonic chooses the item. Menus added later are not covered.
void EnableLatinMnemonics(QMenuBar* bar);
void EnableLatinMnemonics(QMenu* menu);

} // namespace talvero::ui
