#pragma once
// The first compilation stage: reading a model description with its includes, removing comments,
// splitting it into tokens and checking it against the grammar, producing the record list.

#include <cstddef>
#include <string>

#include "environment/NParserRecords.h"

namespace talvero {

// Longest source line, without its terminator.
inline constexpr std::size_t MaxSourceLineLength = 1023;
// Nesting of include files; deeper chains are refused like a cycle.
inline constexpr std::size_t MaxIncludeDepth = 64;
// Include directives executed by one top-level read; bounds fan-out that never cycles.
inline constexpr std::size_t MaxIncludeCount = 65536;
// Bytes of preprocessed text one top-level read may produce.
inline constexpr std::size_t MaxPreprocessedTextLength = std::size_t(256) << 20;

// The trimming blanks: space, line feed, tab, vertical tab, backspace, carriage return, form feed, bell.
bool IsTrimBlank(char c);
std::string Trim(const std::string& text);

// A word made of A-Z, a-z, 0-9 and '_' that does not begin with a digit; the empty word passes.
bool IsIdentifier(const std::string& word);
// Identifier characters and '.', in any order.
bool IsLinkName(const std::string& word);

// Reads the next (word, delimiter) pair from `position`; the delimiter is one of "", ":", "=",
// "{", "}", ";". False, with both empty, when only spaces remain; `position` then equals the
// length. A word that runs to the end of the text comes with the empty delimiter.
bool NextToken(const std::string& text, std::size_t& position, std::string& word, std::string& delimiter);

// Reads `fileName`, expands its include lines, removes line and block comments and turns control
// characters into spaces. Codes 111, 112, 201.
bool LoadText(std::string fileName, std::string& text);

// The same for a description already in memory; `fileName` names it in error reports. Include
// lines in it are resolved as in a file.
bool LoadTextFromBuffer(const std::string& content, std::string fileName, std::string& text);

// Checks the preprocessed text against the grammar and builds the record list (whatever the list
// held before is deleted). On failure the list keeps the records built so far. Codes 200 to 221.
bool Parse(const std::string& text, NParserRecordList& records);

} // namespace talvero
