#pragma once
// Pictures of the program's windows, for looking at them without sitting at the screen: the
// main window before and after opening a project, the objects list, every wizard page and the
// dialogs, each saved as a PNG file.

#include <QString>

namespace talvero::ui {

class TMainForm;

// Opens `project` (when given), saves the pictures into `folder` and leaves every dialog closed.
// `source` (when given) is a description file run through the source check dialog.
void TakeScreenshots(TMainForm& form, const QString& folder, const QString& project, const QString& source);

} // namespace talvero::ui
