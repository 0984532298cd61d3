// Windows-1251 <-> UTF-8.

#include <gtest/gtest.h>

#include "kernel/Cp1251.h"

namespace talvero {
namespace {

std::string Utf8Of(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

std::string Byte(unsigned b) { return std::string(1, static_cast<char>(b)); }

TEST(Cp1251Test, EveryRussianLetterBothWays) {
    for (unsigned i = 0; i < 64; ++i) {  // А..я are U+0410..U+044F and 0xC0..0xFF
        const std::string utf8 = Utf8Of(0x0410 + i);
        EXPECT_EQ(Utf8ToCp1251(utf8), Byte(0xC0 + i)) << i;
        EXPECT_EQ(Cp1251ToUtf8(Byte(0xC0 + i)), utf8) << i;
    }
    EXPECT_EQ(Utf8ToCp1251("Ё"), Byte(0xA8));
    EXPECT_EQ(Utf8ToCp1251("ё"), Byte(0xB8));
    EXPECT_EQ(Cp1251ToUtf8(Byte(0xA8)), "Ё");
    EXPECT_EQ(Cp1251ToUtf8(Byte(0xB8)), "ё");
    EXPECT_EQ(Utf8ToCp1251("Пуск"), "\xCF\xF3\xF1\xEA");
}

TEST(Cp1251Test, UpperHalfMatchesTheCodePage) {
    // A few rows that are easy to get wrong: Cyrillic of other languages and punctuation.
    EXPECT_EQ(Cp1251ToUtf8(Byte(0xBE)), "ѕ");
    EXPECT_EQ(Cp1251ToUtf8(Byte(0xBD)), "Ѕ");
    EXPECT_EQ(Cp1251ToUtf8(Byte(0xB9)), "№");
    EXPECT_EQ(Cp1251ToUtf8(Byte(0x88)), "€");
    EXPECT_EQ(Cp1251ToUtf8(Byte(0xA5)), "Ґ");
    EXPECT_EQ(Cp1251ToUtf8(Byte(0x97)), "—");
    EXPECT_EQ(Utf8ToCp1251("«ї»"), "\xAB\xBF\xBB");
}

TEST(Cp1251Test, EveryByteSurvivesTheRoundTripIncludingTheUnassignedOne) {
    for (unsigned b = 0; b < 256; ++b) EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(Byte(b))), Byte(b)) << b;
    EXPECT_EQ(Cp1251ToUtf8(Byte(0x98)), "\xC2\x98");
    EXPECT_EQ(Cp1251ToUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cp1251Test, MissingCharactersAndMalformedInputBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToCp1251("ä"), "?");
    EXPECT_EQ(Utf8ToCp1251("¾"), "?");      // U+00BE is not in the code page
    EXPECT_EQ(Utf8ToCp1251("\xC2\x81"), "?");  // C1 controls other than U+0098
    EXPECT_EQ(Utf8ToCp1251("a中b"), "a?b");
    EXPECT_EQ(Utf8ToCp1251(Utf8Of(0x1F600)), "?");  // one character, one mark

    EXPECT_EQ(Utf8ToCp1251("\x80"), "?");            // stray continuation byte
    EXPECT_EQ(Utf8ToCp1251("\xD0"), "?");            // truncated at the end
    EXPECT_EQ(Utf8ToCp1251("\xD0" "A"), "?A");       // truncated before ASCII
    EXPECT_EQ(Utf8ToCp1251("\xC0\x80"), "??");       // overlong NUL
    EXPECT_EQ(Utf8ToCp1251("\xC1\x81"), "??");       // overlong 'A'
    EXPECT_EQ(Utf8ToCp1251("\xE0\x80\xAF"), "???");  // overlong '/'
    EXPECT_EQ(Utf8ToCp1251("\xED\xA0\x80"), "???");  // surrogate
    EXPECT_EQ(Utf8ToCp1251("\xF4\x90\x80\x80"), "????");  // past U+10FFFF
    EXPECT_EQ(Utf8ToCp1251("\xFF\xFE"), "??");
    EXPECT_EQ(Utf8ToCp1251(""), "");
}

// Details mix the kernel's Windows-1251 words with names and paths read from UTF-8 files.
TEST(KernelText, EachWordIsShownInTheEncodingItCameIn) {
    const std::string cp = Utf8ToCp1251("класс/объект ");
    const struct {
        std::string Text;
        std::string Utf8;
    } cases[] = {
        {"plain ascii", "plain ascii"},
        {"мотонейрон{", "мотонейрон{"},                        // a UTF-8 word from a description
        {cp + "m.n", "класс/объект m.n"},                     // the kernel's own words
        {cp + "/home/ю/модель.tv:3", "класс/объект /home/ю/модель.tv:3"},  // both on one line
        {"\xFF\xFE", "яю"},                                    // never valid UTF-8: Windows-1251
        {"\xD0", "Р"},                                         // a lone lead byte
    };
    for (const auto& c : cases) EXPECT_EQ(KernelTextToUtf8(c.Text), c.Utf8) << c.Utf8;
}

} // namespace
} // namespace talvero
