#pragma once
// Texts and numbers at the boundary between the windows and the kernel.
//
// Kernel, environment and controller texts are Windows-1251 byte strings. File names are the
// file system's own bytes (UTF-8 here): they travel through the controller unchanged, so that a
// project in a folder with a Cyrillic name opens, and they are decoded as such where they show.

#include <string>

#include <QChar>
#include <QString>
#include <QStringList>

#include "kernel/NBasicDescription.h"

namespace talvero::ui {

QString FromCp(const std::string& cp1251);
std::string ToCp(const QString& text);

QString FromPath(const std::string& path);
std::string ToPath(const QString& path);

// A controller text that may carry a file name (an error's information line): each line that is
// valid UTF-8 holding non-ASCII bytes is a file name, every other line is Windows-1251.
QString FromKernelText(const std::string& text);

// An error's level as the user reads it: the kernel's level names are English identifiers.
QString ErrorLevelText(const std::string& level);

QStringList FromCpLines(const NStringList& lines);
// The lines of a multi-line field; an empty field has no lines, a final line break adds none.
QStringList SplitLines(const QString& text);
NStringList ToCpLines(const QString& text);

// The system's decimal separator.
QChar DecimalPoint();

// General format, up to 15 significant digits, with the system's decimal separator.
QString FormatNumber(double value);
// A finite number written with '.' or ','; false (and `value` untouched) otherwise.
bool ParseNumber(const QString& text, double& value);

// The model time for the status line: fixed notation with 3 decimals, rounded to 5 significant
// digits; exponent notation once the integer part needs more than 5 digits.
QString FormatModelTime(long double time, QChar decimalPoint);

// Names as people order them: runs of digits compare by their value ("w2" before "w10"), the
// rest by the locale.
bool NaturalLess(const QString& a, const QString& b);

} // namespace talvero::ui
