#include "ui/TRecentProjects.h"

#include <QFileInfo>
#include <QSettings>

namespace talvero::ui {

namespace {

const QString kListKey = QStringLiteral("RecentProjects");
const QString kReopenKey = QStringLiteral("ReopenLastProject");

// An INI file rather than the platform's store, so that a test can point it elsewhere.
QSettings Store() { return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Talvero"), QStringLiteral("talvero")); }

QString Canonical(const QString& path) {
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    return canonical.isEmpty() ? file.absoluteFilePath() : canonical;
}

} // namespace

QStringList TRecentProjects::Paths() const { return Store().value(kListKey).toStringList(); }

void TRecentProjects::Add(const QString& path) {
    const QString full = Canonical(path);
    QStringList paths = Paths();
    paths.removeIf([&full](const QString& p) { return Canonical(p) == full; });
    paths.prepend(full);
    while (paths.size() > kLimit) paths.removeLast();
    Store().setValue(kListKey, paths);
}

void TRecentProjects::Remove(const QString& path) {
    const QString full = Canonical(path);
    QStringList paths = Paths();
    if (paths.removeIf([&full](const QString& p) { return p == full || Canonical(p) == full; }) > 0)
        Store().setValue(kListKey, paths);
}

bool TRecentProjects::ReopenLast() const { return Store().value(kReopenKey, false).toBool(); }

void TRecentProjects::SetReopenLast(bool on) { Store().setValue(kReopenKey, on); }

QString TRecentProjects::StartProject() const {
    const QStringList paths = Paths();
    return ReopenLast() && !paths.isEmpty() ? paths.front() : QString();
}

} // namespace talvero::ui
