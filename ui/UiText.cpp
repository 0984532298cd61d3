#include "ui/UiText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <QFile>
#include <QLocale>

#include "kernel/Cp1251.h"
#include "modeler/VIniFile.h"

namespace talvero::ui {

namespace {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8WithNonAscii(const std::string& text) {
    bool nonAscii = false;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        nonAscii = true;
        int more = 0;
        unsigned int code = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= more) return false;
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[i] & 0x3F);
        }
        if ((more == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (more == 3 && (code < 0x10000 || code > 0x10FFFF)))
            return false;
        p += more + 1;
    }
    return nonAscii;
}

} // namespace

QString FromCp(const std::string& cp1251) { return QString::fromStdString(Cp1251ToUtf8(cp1251)); }

std::string ToCp(const QString& text) { return Utf8ToCp1251(text.toStdString()); }

QString FromPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string ToPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString ErrorLevelText(const std::string& level) {
    static const struct {
        const char* Level;
        const char* Text;
    } kLevels[] = {
        {"Kernel Level 1", "ядро"},
        {"Environment - Preprocessor", "среда, препроцессор"},
        {"Environment - BinaryModelFileAnalyzer", "среда, двоичный файл модели"},
        {"Environment - Processor", "среда, построение модели"},
        {"Environment - State", "среда, состояние модели"},
    };
    for (const auto& row : kLevels)
        if (level == row.Level) return QString::fromUtf8(row.Text);
    return FromCp(level);
}

QString FromKernelText(const std::string& text) {
    QString result;
    std::string::size_type start = 0;
    for (;;) {
        const auto end = text.find('\n', start);
        const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        result += IsUtf8WithNonAscii(line) ? QString::fromStdString(line) : FromCp(line);
        if (end == std::string::npos) break;
        result += QLatin1Char('\n');
        start = end + 1;
    }
    return result;
}

QStringList FromCpLines(const NStringList& lines) {
    QStringList result;
    result.reserve(static_cast<qsizetype>(lines.size()));
    for (const auto& line : lines) result << FromCp(line);
    return result;
}

QStringList SplitLines(const QString& text) {
    if (text.isEmpty()) return {};
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() > 1 && lines.last().isEmpty()) lines.removeLast();
    for (QString& line : lines)
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    return lines;
}

NStringList ToCpLines(const QString& text) {
    NStringList result;
    for (const QString& line : SplitLines(text)) result.push_back(ToCp(line));
    return result;
}

QChar DecimalPoint() {
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QChar('.') : point.front();
}

QString FormatNumber(double value) {
    QString text = QString::fromStdString(FormatFloat(value));
    text.replace(QLatin1Char('.'), DecimalPoint());
    return text;
}

bool ParseNumber(const QString& text, double& value) {
    const QByteArray bytes = text.toUtf8();
    return ParseFloat(bytes.toStdString(), value);
}

QString FormatModelTime(long double time, QChar decimalPoint) {
    char buffer[80];
    if (!std::isfinite(time)) {
        std::snprintf(buffer, sizeof buffer, "%Lg", time);
        return QString::fromLatin1(buffer);
    }
    const long double magnitude = std::fabs(time);
    if (magnitude < 100000.0L) {
        // Five significant digits leave fewer than 3 decimals once the integer part is long;
        // the missing decimals are written as zeros.
        int decimals = 3;
        if (magnitude >= 100.0L) decimals = 2;
        if (magnitude >= 1000.0L) decimals = 1;
        if (magnitude >= 10000.0L) decimals = 0;
        std::snprintf(buffer, sizeof buffer, "%.*Lf", decimals, time);
        if (std::fabs(std::strtold(buffer, nullptr)) < 100000.0L) {
            QString text = QString::fromLatin1(buffer);
            if (decimals == 0) text += QLatin1Char('.');
            text += QString(3 - decimals, QLatin1Char('0'));
            text.replace(QLatin1Char('.'), decimalPoint);
            return text;
        }
    }
    // Exponent notation: 5 significant digits without trailing zeros, "E", the exponent.
    std::snprintf(buffer, sizeof buffer, "%.4Le", time);
    const QString formatted = QString::fromLatin1(buffer);
    const qsizetype e = formatted.indexOf(QLatin1Char('e'));
    QString mantissa = formatted.left(e);
    while (mantissa.endsWith(QLatin1Char('0'))) mantissa.chop(1);
    if (mantissa.endsWith(QLatin1Char('.'))) mantissa.chop(1);
    mantissa.replace(QLatin1Char('.'), decimalPoint);
    const int exponent = formatted.mid(e + 1).toInt();
    return mantissa + QLatin1Char('E') + QString::number(exponent);
}

bool NaturalLess(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    const auto run = [](const QString& s, qsizetype& at, bool digits) {
        const qsizetype from = at;
        while (at < s.size() && s[at].isDigit() == digits) ++at;
        return QStringView(s).mid(from, at - from);
    };
    while (i < a.size() && j < b.size()) {
        const bool digits = a[i].isDigit();
        if (digits != b[j].isDigit()) break;
        QStringView x = run(a, i, digits);
        QStringView y = run(b, j, digits);
        if (digits) {
            // Leading zeros do not change the value; a longer number is larger.
            while (x.size() > 1 && x.front() == QLatin1Char('0')) x = x.mid(1);
            while (y.size() > 1 && y.front() == QLatin1Char('0')) y = y.mid(1);
            if (x.size() != y.size()) return x.size() < y.size();
            if (const int c = x.compare(y)) return c < 0;
        } else if (const int c = QString::localeAwareCompare(x, y)) {
            return c < 0;
        }
    }
    const int c = QString::localeAwareCompare(QStringView(a).mid(i), QStringView(b).mid(j));
    if (c != 0) return c < 0;
    return a < b;
}

} // namespace talvero::ui
