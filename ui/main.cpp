// Talvero: the desktop program. `talvero [FILE.tvp]` opens the project FILE at start.

#include <signal.h>

#include <QApplication>
#include <QLibraryInfo>
#include <QStringList>
#include <QTimer>
#include <QTranslator>

#include "ui/TImageList.h"
#include "ui/TMainForm.h"
#include "ui/TRecentProjects.h"
#include "ui/UiScreenshots.h"

int main(int argc, char* argv[]) {
    // Past a file-size limit a write fails and is reported instead of killing the program.
    ::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Talvero"));
    QApplication::setApplicationVersion(QStringLiteral(TALVERO_VISUALIZER_VERSION));
    QApplication::setWindowIcon(talvero::ui::TImageList::ApplicationIcon());
    QApplication::setDesktopFileName(QStringLiteral("talvero"));

    // Every text of the program is Russian: the toolkit's own dialogs follow.
    QTranslator translator;
    if (translator.load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&translator);

    QString project;
    for (const QString& argument : QApplication::arguments().mid(1))
        if (!argument.startsWith(QLatin1Char('-'))) project = argument;
    if (project.isEmpty() && qEnvironmentVariableIsEmpty("TALVERO_SCREENSHOTS"))
        project = talvero::ui::TRecentProjects().StartProject();

    talvero::ui::TMainForm form;
    form.show();
    // A folder named here gets pictures of the windows, and the program ends.
    const QString shots = qEnvironmentVariable("TALVERO_SCREENSHOTS");
    QTimer::singleShot(0, &form, [&form, project, shots] {
        if (!shots.isEmpty()) {
            talvero::ui::TakeScreenshots(form, shots, project, qEnvironmentVariable("TALVERO_SCREENSHOT_SOURCE"));
            QApplication::quit();
        } else if (!project.isEmpty()) {
            form.OpenProjectFile(project);
        }
    });
    return QApplication::exec();
}
