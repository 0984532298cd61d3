#include "kernel/Cp1251.h"

#include <array>
#include <cstdint>

namespace talvero {
namespace {

// Unicode code points of bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F.
constexpr std::array<char32_t, 64> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char32_t Decode(unsigned char b) {
    if (b < 0x80) return b;
    if (b >= 0xC0) return 0x0410 + (b - 0xC0);
    return kHigh[b - 0x80];
}

int Encode(char32_t c) {
    if (c < 0x80) return static_cast<int>(c);
    if (c >= 0x0410 && c <= 0x044F) return static_cast<int>(0xC0 + (c - 0x0410));
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == c) return static_cast<int>(0x80 + i);
    return -1;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string Cp1251ToUtf8(std::string_view cp1251) {
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (char ch : cp1251) AppendUtf8(out, Decode(static_cast<unsigned char>(ch)));
    return out;
}

std::string Utf8ToCp1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    const std::size_t n = utf8.size();
    while (i < n) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        int len = 0;
        char32_t c = 0;
        if (b < 0x80) { len = 1; c = b; }
        else if ((b & 0xE0) == 0xC0) { len = 2; c = b & 0x1F; }
        else if ((b & 0xF0) == 0xE0) { len = 3; c = b & 0x0F; }
        else if ((b & 0xF8) == 0xF0) { len = 4; c = b & 0x07; }
        bool ok = len > 0 && i + len <= n;
        for (int k = 1; ok && k < len; ++k) {
            const auto cb = static_cast<unsigned char>(utf8[i + k]);
            if ((cb & 0xC0) != 0x80) ok = false;
            else c = (c << 6) | (cb & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are malformed too.
        static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (c < kMinimum[len] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)) ok = false;
        if (!ok) {
            out += '?';
            ++i;
            continue;
        }
        const int e = Encode(c);
        out += e < 0 ? '?' : static_cast<char>(e);
        i += len;
    }
    return out;
}

} // namespace talvero
