#include "ui/TImageList.h"

#include <array>

#include <QApplication>
#include <QPointer>
#include <QStyle>

// Outside any namespace, as the resource initialiser requires; it also keeps the linker from
// dropping the resources of the static library.
static void InitTalveroResources() { Q_INIT_RESOURCE(talvero); }

namespace talvero::ui {

namespace {

QIcon Svg(const char* name) {
    return QIcon(QStringLiteral(":/talvero/icons/") + QLatin1String(name) + QStringLiteral(".svg"));
}

QIcon Standard(QStyle::StandardPixmap pixmap) { return QApplication::style()->standardIcon(pixmap); }

// The pictures live as long as the application object, not past it.
struct Pictures : QObject {
    explicit Pictures(QObject* parent) : QObject(parent) {}

    std::array<QIcon, TImageList::Count> Slots = {
        Svg("new_project"),                          // 0 create project
        Standard(QStyle::SP_DialogOpenButton),       // 1 open project
        Standard(QStyle::SP_DialogSaveButton),       // 2 save project
        Standard(QStyle::SP_MessageBoxInformation),  // 3 about
        Svg("watch_new"),                            // 4 new watch window
        Svg("watch_delete"),                         // 5 delete watch window
        Svg("watch_list"),                           // 6 watch window list
        Standard(QStyle::SP_MediaPlay),              // 7 run
        Standard(QStyle::SP_MediaPause),             // 8 pause
        Standard(QStyle::SP_MediaSeekForward),       // 9 spare
        Standard(QStyle::SP_MediaStop),              // 10 stop
        Svg("observe_on"),                           // 11 observation on
        Svg("observe_off"),                          // 12 observation off
        Svg("time_on"),                              // 13 time display on
        Svg("time_off"),                             // 14 time display off
    };
    QIcon Application = Svg("talvero");
    std::array<QIcon, 3> Pages = {Svg("page_objects"), Svg("page_sources"), Svg("observe_on")};
};

Pictures& Get() {
    static QPointer<Pictures> pictures;
    if (!pictures) {
        InitTalveroResources();
        pictures = new Pictures(QCoreApplication::instance());
    }
    return *pictures;
}

} // namespace

QIcon TImageList::Icon(int index) {
    if (index < 0 || index >= Count) return QIcon();
    return Get().Slots[static_cast<std::size_t>(index)];
}

QIcon TImageList::ApplicationIcon() { return Get().Application; }

QIcon TImageList::PageIcon(int page) {
    if (page < 0 || page > 2) return QIcon();
    return Get().Pages[static_cast<std::size_t>(page)];
}

} // namespace talvero::ui
