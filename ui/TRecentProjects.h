#pragma once
// The projects opened last, newest first, and whether the newest reopens at start; kept across
// runs in the user's settings.

#include <QString>
#include <QStringList>

namespace talvero::ui {

class TRecentProjects {
public:
    static constexpr int kLimit = 8;

    QStringList Paths() const;
    // Puts `path` first; the same file named otherwise is not listed twice.
    void Add(const QString& path);
    void Remove(const QString& path);
    bool ReopenLast() const;
    void SetReopenLast(bool on);
    // The newest project to open at start, when that is wanted; empty otherwise.
    QString StartProject() const;
};

} // namespace talvero::ui
