// Texts and numbers at the boundary between the windows and the kernel.

#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "ui/UiDialogs.h"
#include "ui/UiText.h"

namespace talvero::ui {
namespace {

using uitest::Cp;
using uitest::U;

TEST(ModelTimeText, FixedWithThreeDecimalsUpToFiveSignificantDigits) {
    EXPECT_EQ(FormatModelTime(0.0L, '.'), "0.000");
    EXPECT_EQ(FormatModelTime(0.002L, '.'), "0.002");
    EXPECT_EQ(FormatModelTime(0.0004999L, '.'), "0.000");
    EXPECT_EQ(FormatModelTime(12.34567L, '.'), "12.346");
    // Five significant digits leave fewer decimals; the rest are zeros.
    EXPECT_EQ(FormatModelTime(123.4567L, '.'), "123.460");
    EXPECT_EQ(FormatModelTime(1234.5678L, '.'), "1234.600");
    EXPECT_EQ(FormatModelTime(12345.678L, '.'), "12346.000");
    // One rounding only: 1.23449 is 1.234, not 1.2345 rounded again.
    EXPECT_EQ(FormatModelTime(1.23449L, '.'), "1.234");
    EXPECT_EQ(FormatModelTime(99.9996L, '.'), "100.000");
}

TEST(ModelTimeText, ExponentOnceTheIntegerPartNeedsMoreThanFiveDigits) {
    EXPECT_EQ(FormatModelTime(123456.7L, '.'), "1.2346E5");
    EXPECT_EQ(FormatModelTime(100000.0L, '.'), "1E5");
    // Rounding that carries into a sixth digit also switches.
    EXPECT_EQ(FormatModelTime(99999.6L, '.'), "1E5");
}

TEST(ModelTimeText, UsesTheGivenDecimalSeparator) {
    EXPECT_EQ(FormatModelTime(0.002L, ','), "0,002");
    EXPECT_EQ(FormatModelTime(123456.7L, ','), "1,2346E5");
}

TEST(KernelText, Cp1251AndFileNamesLineByLine) {
    const std::string message = Cp("Не удалось загрузить модель");
    const std::string path = "/home/u/\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB5\xD0\xBA\xD1\x82/m.btv";  // UTF-8 "Проект"
    EXPECT_EQ(FromKernelText(message + "\n" + path), U("Не удалось загрузить модель\n/home/u/Проект/m.btv"));
    EXPECT_EQ(FromKernelText(Cp("ёЁ«»№")), U("ёЁ«»№"));
    EXPECT_EQ(FromKernelText("plain\n"), QStringLiteral("plain\n"));
}

// The desktop program showed "Kernel Level 1" amid Russian messages.
TEST(KernelText, ErrorLevelsReadInRussianAndUnknownOnesAsTheyAre) {
    const struct {
        const char* Level;
        const char* Shown;
    } cases[] = {
        {"Kernel Level 1", "ядро"},
        {"Environment - Preprocessor", "среда, препроцессор"},
        {"Environment - BinaryModelFileAnalyzer", "среда, двоичный файл модели"},
        {"Environment - Processor", "среда, построение модели"},
        {"Environment - State", "среда, состояние модели"},
        {"Modeler", "Modeler"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ErrorLevelText(c.Level), QString::fromUtf8(c.Shown)) << c.Level;
}

TEST(KernelText, LinesOfAMultiLineField) {
    EXPECT_TRUE(ToCpLines(QString()).empty());
    EXPECT_EQ(ToCpLines(U("а\nб\n")), (NStringList{Cp("а"), Cp("б")}));
    EXPECT_EQ(ToCpLines(U("а\r\n\nб")), (NStringList{Cp("а"), "", Cp("б")}));
}

TEST(Numbers, GeneralFormatAndBothSeparatorsOnInput) {
    EXPECT_EQ(FormatNumber(20), "20");
    EXPECT_EQ(FormatNumber(0.0001), "0.0001");
    double value = 0;
    EXPECT_TRUE(ParseNumber(QStringLiteral(" 0,5 "), value));
    EXPECT_EQ(value, 0.5);
    EXPECT_FALSE(ParseNumber(QStringLiteral("abc"), value));
    EXPECT_FALSE(ParseNumber(QStringLiteral("1e999"), value));
    EXPECT_EQ(value, 0.5);
}

TEST(FileDialogs, PipeFiltersBecomeDialogFilters) {
    EXPECT_EQ(FileDialogFilter(U("Проект Talvero (*.tvp)|*.tvp")), U("Проект Talvero (*.tvp)"));
    EXPECT_EQ(FileDialogFilter(U("Файл описания модели (*.tv)|*.tv|Двоичный файл модели (*.btv)|*.btv")),
              U("Файл описания модели (*.tv);;Двоичный файл модели (*.btv)"));
    EXPECT_EQ(FileDialogFilter(QStringLiteral("Pictures|*.png;*.bmp")), QStringLiteral("Pictures (*.png *.bmp)"));
}

} // namespace
} // namespace talvero::ui

namespace talvero::ui {
namespace {

TEST(NaturalOrder, NumbersInNamesCompareByValue) {
    const struct {
        const char* Less;
        const char* More;
    } table[] = {
        {"w2", "w10"}, {"w9", "w10"}, {"n2.s1", "n10.s1"}, {"w02", "w10"}, {"cell", "cell1"},
        {"a", "b"},    {"а", "б"},    {"x1y2", "x1y10"},    {"7", "10"},     {"w", "w0"},
    };
    for (const auto& row : table) {
        EXPECT_TRUE(NaturalLess(U(row.Less), U(row.More))) << row.Less << " < " << row.More;
        EXPECT_FALSE(NaturalLess(U(row.More), U(row.Less))) << row.More << " !< " << row.Less;
    }
    // Different spellings of one number still have an order, so that sorting is stable.
    EXPECT_NE(NaturalLess(U("w01"), U("w1")), NaturalLess(U("w1"), U("w01")));
}

} // namespace
} // namespace talvero::ui
