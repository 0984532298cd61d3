// The window tests run inside one application object, on the offscreen platform unless told
// otherwise, with the C number format.

#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "UiTestSupport.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LC_ALL", "C.UTF-8");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The recent-projects list of a test run stays out of the user's settings.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    talvero::ui::SetModalRunner(&talvero::uitest::RefuseUnscriptedDialog);
    return RUN_ALL_TESTS();
}
