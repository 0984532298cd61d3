#pragma once
// The pictures of the main window's menus and toolbar, addressed by their numbers, and the few
// other pictures of the windows.

#include <QIcon>

namespace talvero::ui {

class TImageList {
public:
    static constexpr int Count = 15;

    // The picture of slot `index`; a null icon outside 0..Count-1. Every call for a slot gives
    // the same shared icon (equal cacheKey).
    static QIcon Icon(int index);
    static QIcon ApplicationIcon();
    // The objects list window's page buttons: 0 all objects, 1 sources, 2 observation points.
    static QIcon PageIcon(int page);
};

} // namespace talvero::ui
