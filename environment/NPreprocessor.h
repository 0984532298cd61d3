#pragma once
// The first compilation stage: reading a model description with its includes, removing comments,
// splitting it into tokens and checking it against the grammar, producing the record list.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "environment/NParserRecords.h"
#include "kernel/NError.h"

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

// A point of a source file: which file of a map, its line and column (both 1-based).
struct NSourcePoint {
    std::uint32_t File = 0;
    std::uint32_t Line = 0;
    std::uint32_t Column = 0;
};

// Where each stretch of preprocessed text came from, so that an error can name file and line.
class NSourceMap {
public:
    struct File {
        std::string Name;
        std::int32_t Parent = -1;  // the including file's index, -1 for the file read first
        std::uint32_t ParentLine = 0;
    };
    // Text from Offset on, up to the next segment, was copied from File at Line, Column. One per
    // source line: 32-bit offsets suffice (the text is bounded well below 4 GiB) and halve the map.
    struct Segment {
        std::uint32_t Offset;
        NSourcePoint Point;
    };

    std::vector<File> Files;
    std::vector<Segment> Segments;  // ordered by Offset

    // The source point of a byte of the preprocessed text; line 0 when the map holds nothing.
    NSourcePoint PointAt(std::size_t offset) const;
    // The same for offsets that never decrease from one call to the next: `cursor` (0 at first)
    // remembers the segment reached, so that a walk through the text costs no search.
    NSourcePoint PointAfter(std::size_t& cursor, std::size_t offset) const;
    // A full location, with the include chain, for a point of this map.
    NErrorLocation Locate(const NSourcePoint& point, std::string text) const;
    NErrorLocation Locate(std::size_t offset, std::string text) const { return Locate(PointAt(offset), std::move(text)); }
};

// Reads `fileName`, expands its include lines, removes line and block comments and turns control
// characters into spaces. Codes 111, 112, 201.
bool LoadText(std::string fileName, std::string& text);
// The same, also filling `map` (its former content dropped); every error carries its location.
// A relative include name is looked up in the current directory and then beside the including file.
bool LoadText(std::string fileName, std::string& text, NSourceMap& map);

// The same for a description already in memory; `fileName` names it in error reports. Include
// lines in it are resolved as in a file.
bool LoadTextFromBuffer(const std::string& content, std::string fileName, std::string& text);

// Checks the preprocessed text against the grammar and builds the record list (whatever the list
// held before is deleted). On failure the list keeps the records built so far. Codes 200 to 221; a
// parameter value that is not a finite number is refused with 205 rather than read as 0 later.
bool Parse(const std::string& text, NParserRecordList& records);
// The same, locating errors through `map` (may be null) and, when `offsets` is given, recording for
// each record the offset in `text` of the word it stands for.
bool Parse(const std::string& text, NParserRecordList& records, const NSourceMap* map,
           std::vector<std::uint32_t>* offsets);

// Receives each record of a parse as it is made: its kind, its two texts (empty where the kind has
// none; for a link the item, then the connector; the receiver may take them) and the offset in the
// text of the word it stands for.
using NRecordSink = std::function<void(std::int32_t kind, std::string& name, std::string& argument, std::size_t at)>;
// Parse without a record list: what a large description needs to go straight to its binary file.
bool Parse(const std::string& text, const NRecordSink& sink, const NSourceMap* map);

// A parameter value as the processor reads it ('.' as decimal point whatever the locale). False when
// the whole word is not a finite number.
bool ParseParameterValue(const std::string& word, double& value);

} // namespace talvero
