#pragma once
// Conversion between Windows-1251 byte strings (the kernel's texts) and UTF-8.

#include <string>
#include <string_view>

namespace talvero {

// Every byte has a meaning: the one unassigned byte 0x98 maps to U+0098, so decoding never loses data.
std::string Cp1251ToUtf8(std::string_view cp1251);

// Characters that Windows-1251 lacks, and malformed UTF-8 sequences, become '?'.
std::string Utf8ToCp1251(std::string_view utf8);

} // namespace talvero

namespace talvero {

// A detail or location that may carry words read from a UTF-8 file (a name, a path) beside
// Windows-1251 text: each run of non-ASCII bytes that is valid UTF-8 is kept as it is, every
// other run is decoded from Windows-1251. A Windows-1251 word is almost never valid UTF-8.
std::string KernelTextToUtf8(std::string_view text);

} // namespace talvero
