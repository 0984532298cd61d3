#include "environment/NPreprocessor.h"

#include <sys/stat.h>

#include <locale.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "environment/NLineReader.h"
#include "kernel/Cp1251.h"
#include "kernel/NError.h"

namespace talvero {

namespace {

// Every character of a description passes these tests several times: a table, not a chain of
// comparisons behind a call.
constexpr auto kBlanks = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : {' ', '\n', '\t', '\v', '\b', '\r', '\f', '\a'}) table[c] = true;
    return table;
}();

inline bool Blank(char c) { return kBlanks[static_cast<unsigned char>(c)]; }

} // namespace

bool IsTrimBlank(char c) { return Blank(c); }

std::string Trim(const std::string& text) {
    std::size_t begin = 0;
    while (begin < text.size() && IsTrimBlank(text[begin])) ++begin;
    std::size_t end = text.size();
    while (end > begin && IsTrimBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

namespace {

constexpr auto kIdentifierChars = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    return table;
}();

inline bool IsIdentifierChar(char c) { return kIdentifierChars[static_cast<unsigned char>(c)]; }

constexpr auto kDelimiters = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : {' ', ':', '=', '{', '}', ';'}) table[c] = true;
    return table;
}();

bool IsDelimiter(char c) { return kDelimiters[static_cast<unsigned char>(c)]; }

} // namespace

namespace {

bool IsIdentifierView(std::string_view word) {
    if (!word.empty() && word[0] >= '0' && word[0] <= '9') return false;
    for (char c : word)
        if (!IsIdentifierChar(c)) return false;
    return true;
}

bool IsLinkNameView(std::string_view word) {
    for (char c : word)
        if (!IsIdentifierChar(c) && c != '.') return false;
    return true;
}

} // namespace

bool IsIdentifier(const std::string& word) { return IsIdentifierView(word); }

bool IsLinkName(const std::string& word) { return IsLinkNameView(word); }

namespace {

// text[begin, end) without the trimming blanks at its ends.
inline std::string_view TrimmedView(std::string_view text, std::size_t begin, std::size_t end) {
    while (begin < end && Blank(text[begin])) ++begin;
    while (end > begin && Blank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// NextToken over views into the text, telling also where the word stands (where its delimiter
// stands, for an empty word): a description's every token went through two string copies.
bool NextTokenAt(std::string_view text, std::size_t& position, std::string_view& word, std::string_view& delimiter,
                 std::size_t& at) {
    const std::size_t length = text.size();
    std::size_t b = position;
    while (b < length && text[b] == ' ') ++b;
    at = b;
    if (b >= length) {
        word = {};
        delimiter = {};
        position = length;
        return false;
    }
    std::size_t c = b;
    while (c < length && !IsDelimiter(text[c])) ++c;
    if (c >= length) {
        // The end of the text acts as a blank after the last word.
        word = TrimmedView(text, b, length);
        delimiter = {};
        position = length;
        return true;
    }
    if (text[c] == ' ') {
        std::size_t d = c + 1;
        while (d < length && text[d] == ' ') ++d;
        if (d < length && IsDelimiter(text[d])) c = d;
    }
    word = TrimmedView(text, b, c);
    delimiter = TrimmedView(text, c, c + 1);
    if (word.empty()) at = c;
    position = c + 1;
    return true;
}

std::string Join(std::string_view a, std::string_view b) {
    std::string joined;
    joined.reserve(a.size() + b.size());
    joined.append(a).append(b);
    return joined;
}

} // namespace

bool NextToken(const std::string& text, std::size_t& position, std::string& word, std::string& delimiter) {
    std::size_t at;
    std::string_view w, t;
    const bool found = NextTokenAt(text, position, w, t, at);
    word.assign(w);
    delimiter.assign(t);
    return found;
}

NSourcePoint NSourceMap::PointAt(std::size_t offset) const {
    auto it = std::upper_bound(Segments.begin(), Segments.end(), offset,
                               [](std::size_t o, const Segment& s) { return o < s.Offset; });
    if (it == Segments.begin()) return Segments.empty() ? NSourcePoint{} : Segments.front().Point;
    --it;
    NSourcePoint point = it->Point;
    point.Column += static_cast<std::uint32_t>(offset - it->Offset);
    return point;
}

NSourcePoint NSourceMap::PointAfter(std::size_t& cursor, std::size_t offset) const {
    if (cursor >= Segments.size() || Segments[cursor].Offset > offset) return PointAt(offset);
    while (cursor + 1 < Segments.size() && Segments[cursor + 1].Offset <= offset) ++cursor;
    NSourcePoint point = Segments[cursor].Point;
    point.Column += static_cast<std::uint32_t>(offset - Segments[cursor].Offset);
    return point;
}

NErrorLocation NSourceMap::Locate(const NSourcePoint& point, std::string text) const {
    NErrorLocation location;
    if (point.Line == 0 || point.File >= Files.size()) return location;
    location.File = Files[point.File].Name;
    location.Line = point.Line;
    location.Column = point.Column;
    location.Text = std::move(text);
    for (std::int32_t f = Files[point.File].Parent, line = static_cast<std::int32_t>(Files[point.File].ParentLine);
         f >= 0 && static_cast<std::size_t>(f) < Files.size();) {
        location.IncludedFrom.emplace_back(Files[f].Name, static_cast<std::uint32_t>(line));
        line = static_cast<std::int32_t>(Files[f].ParentLine);
        f = Files[f].Parent;
    }
    return location;
}

bool ParseParameterValue(const std::string& word, double& value) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (word.empty() || IsTrimBlank(word.front())) return false;
    char* end = nullptr;
    value = cLocale ? strtod_l(word.c_str(), &end, cLocale) : std::strtod(word.c_str(), &end);
    return end == word.c_str() + word.size() && std::isfinite(value);
}

namespace {

struct FileIdentity {
    dev_t Device;
    ino_t Inode;
    bool operator==(const FileIdentity& other) const { return Device == other.Device && Inode == other.Inode; }
};

// State of one top-level read across its includes.
struct LoadContext {
    std::vector<FileIdentity> Open;  // the chain of files being read, outermost first
    std::size_t Includes = 0;
    std::size_t Produced = 0;  // bytes appended at all levels
    NSourceMap* Map = nullptr;
};

using Segments = std::vector<NSourceMap::Segment>;

// Erases every block comment, scanning once. `out` never holds "/*", so the first comment of the
// remaining text is the one whose '*' comes next after a '/' at the end of `out`, which also
// catches a "/*" that an erasure has just formed. The segments are moved along with the text.
void RemoveBlockComments(std::string& text, Segments& segments) {
    if (text.find("/*") == std::string::npos) return;
    std::string out;
    out.reserve(text.size());
    Segments moved;
    moved.reserve(segments.size());
    std::size_t next = 0;       // the first segment not yet reached
    bool resumed = true;        // a segment must start at the next kept character
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '*' && !out.empty() && out.back() == '/') {
            out.pop_back();
            while (!moved.empty() && moved.back().Offset >= out.size()) moved.pop_back();
            // The closing "*/" may begin at this very '*' ("/*/" is a whole comment).
            const std::size_t close = text.find("*/", i);
            if (close == std::string::npos) break;
            i = close + 2;
            resumed = true;
            continue;
        }
        bool starts = false;
        while (next < segments.size() && segments[next].Offset <= i) {
            ++next;
            starts = true;
        }
        if ((starts || resumed) && next > 0) {
            NSourcePoint point = segments[next - 1].Point;
            point.Column += static_cast<std::uint32_t>(i - segments[next - 1].Offset);
            moved.push_back({static_cast<std::uint32_t>(out.size()), point});
        }
        resumed = false;
        out.push_back(text[i]);
        ++i;
    }
    text.swap(out);
    segments.swap(moved);
}

void ReplaceControlCharacters(std::string& text, std::size_t from) {
    // The blanks other than the space are the codes 7 to 13: one comparison a character, which the
    // compiler can make for many at once.
    static_assert([] {
        for (int c = 0; c < 256; ++c)
            if (kBlanks[c] != ((c >= '\a' && c <= '\r') || c == ' ')) return false;
        return true;
    }());
    for (char& c : std::span(text).subspan(from)) c = static_cast<unsigned char>(c - '\a') <= '\r' - '\a' ? ' ' : c;
}

std::string DirectoryOf(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    return slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
}

bool LoadFile(const std::string& fileName, std::int32_t parent, std::uint32_t parentLine, LoadContext& context,
              std::string& text, Segments& segments, const NErrorLocation* includeLine);

bool Preprocess(NLineReader& reader, const std::string& fileName, std::uint32_t fileIndex, LoadContext& context,
                std::string& text, Segments& segments) {
    text.clear();
    segments.clear();
    std::uint32_t lineNumber = 0;
    auto locate = [&](std::uint32_t column, std::string what) {
        return context.Map->Locate(NSourcePoint{fileIndex, lineNumber, column}, std::move(what));
    };
    auto fail = [&](std::uint32_t code, const std::string& information, NErrorLocation location) {
        text.clear();
        segments.clear();
        ReportErrorAt(code, information, std::move(location));
        return false;
    };
    static const std::string_view includeWord = "include ";
    std::string storage;
    std::string_view line;
    for (;;) {
        const NLineRead read = reader.Next(line, storage);
        if (read == NLineRead::End) break;
        ++lineNumber;
        if (read != NLineRead::Line) return fail(112, fileName, locate(0, Utf8ToCp1251("строка длиннее 1023 символов")));
        // Editors may begin a UTF-8 file with a byte order mark.
        if (lineNumber == 1 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
        std::size_t end = line.size();
        while (end > 0 && Blank(line[end - 1])) --end;
        line = line.substr(0, end);
        std::size_t begin = 0;
        while (begin < line.size() && Blank(line[begin])) ++begin;
        line.remove_prefix(begin);
        const auto column = static_cast<std::uint32_t>(begin + 1);
        std::size_t appended;
        if (line.starts_with(includeWord)) {
            const std::string rest = Trim(std::string(line.substr(includeWord.size())));
            NErrorLocation here = locate(column, std::string(line));
            // A lone '"' is both the first and the last character, but it quotes nothing.
            if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"') return fail(201, rest, here);
            if (context.Open.size() >= MaxIncludeDepth)
                return fail(201, rest + Utf8ToCp1251(": включения вложены глубже предела в ") + std::to_string(MaxIncludeDepth) +
                                     Utf8ToCp1251(" файлов"),
                            here);
            if (context.Includes >= MaxIncludeCount)
                return fail(201, rest + Utf8ToCp1251(": включений больше предела в ") + std::to_string(MaxIncludeCount), here);
            ++context.Includes;
            std::string included;
            Segments includedSegments;
            const std::string name = rest.substr(1, rest.size() - 2);
            // Looked up from the current directory first; a model that includes its neighbour must
            // also compile from elsewhere, so beside the including file next.
            std::string found = name;
            const std::string beside = DirectoryOf(fileName) + name;
            if (!name.empty() && name.front() != '/' && beside != name && name.find('\0') == std::string::npos) {
                if (std::FILE* probe = OpenRegularFileForReading(name)) {
                    std::fclose(probe);
                } else if (std::FILE* besideProbe = OpenRegularFileForReading(beside)) {
                    std::fclose(besideProbe);
                    found = beside;
                } else {
                    return fail(111, name + Utf8ToCp1251(" (искали ") + name + Utf8ToCp1251(" и ") + beside + ")", here);
                }
            }
            if (!LoadFile(found, static_cast<std::int32_t>(fileIndex), lineNumber, context, included,
                          includedSegments, &here)) {
                text.clear();
                segments.clear();
                return false;
            }
            for (auto& segment : includedSegments) {
                segment.Offset += static_cast<std::uint32_t>(text.size());
                segments.push_back(segment);
            }
            text += included;
            appended = included.size();
        } else {
            const std::size_t comment = line.find("//");
            appended = comment == std::string_view::npos ? line.size() : comment;
            if (appended > 0)
                segments.push_back({static_cast<std::uint32_t>(text.size()), NSourcePoint{fileIndex, lineNumber, column}});
            // Control characters become spaces while the line is at hand (included text comes so).
            const std::size_t from = text.size();
            text.append(line.data(), appended);
            ReplaceControlCharacters(text, from);
        }
        context.Produced += appended;
        if (context.Produced > MaxPreprocessedTextLength)
            return fail(112, fileName, locate(0, Utf8ToCp1251("описание больше 256 МиБ")));
    }
    RemoveBlockComments(text, segments);
    return true;
}

bool LoadFile(const std::string& fileName, std::int32_t parent, std::uint32_t parentLine, LoadContext& context,
              std::string& text, Segments& segments, const NErrorLocation* includeLine) {
    std::FILE* file = OpenRegularFileForReading(fileName);
    if (!file) return ReportErrorAt(111, fileName, includeLine ? *includeLine : NErrorLocation()), false;

    // Identified by device and inode, so that another spelling or a link to an open file is
    // still a cycle. Should that fail, the depth bound still ends the chain.
    struct stat opened {};
    FileIdentity identity{};
    if (::fstat(fileno(file), &opened) == 0) {
        identity = FileIdentity{opened.st_dev, opened.st_ino};
        for (const FileIdentity& open : context.Open) {
            if (open == identity) {
                std::fclose(file);
                const std::string rest = includeLine ? Trim(includeLine->Text.substr(8)) : fileName;
                return ReportErrorAt(201, rest, includeLine ? *includeLine : NErrorLocation()), false;
            }
        }
    }

    const auto index = static_cast<std::uint32_t>(context.Map->Files.size());
    context.Map->Files.push_back(NSourceMap::File{fileName, parent, parentLine});
    context.Open.push_back(identity);
    // Room for the whole file at once: grown line by line, a large description is copied over and over.
    if (opened.st_size > 0 && static_cast<std::size_t>(opened.st_size) <= MaxPreprocessedTextLength) {
        text.reserve(static_cast<std::size_t>(opened.st_size));
        // A segment per line. Generated descriptions have lines of 16 characters or so; grown
        // from a smaller guess, the map was copied once more, and room not filled is only reserved.
        segments.reserve(static_cast<std::size_t>(opened.st_size) / 16);
    }
    NLineReader reader(file, MaxSourceLineLength);
    const bool ok = Preprocess(reader, fileName, index, context, text, segments);
    context.Open.pop_back();
    std::fclose(file);
    return ok;
}

} // namespace

bool LoadText(std::string fileName, std::string& text, NSourceMap& map) {
    map = NSourceMap();
    LoadContext context;
    context.Map = &map;
    return LoadFile(fileName, -1, 0, context, text, map.Segments, nullptr);
}

bool LoadText(std::string fileName, std::string& text) {
    NSourceMap map;
    return LoadText(std::move(fileName), text, map);
}

bool LoadTextFromBuffer(const std::string& content, std::string fileName, std::string& text) {
    NSourceMap map;
    map.Files.push_back(NSourceMap::File{fileName, -1, 0});
    LoadContext context;
    context.Map = &map;
    NLineReader reader(content.data(), content.size(), MaxSourceLineLength);
    return Preprocess(reader, fileName, 0, context, text, map.Segments);
}

bool Parse(const std::string& text, const NRecordSink& sink, const NSourceMap* map) {
    // Every token meets these comparisons: against views, the lengths decide most of them. The
    // words are views into the text; only the texts of a record are copied, for the receiver.
    using namespace std::string_view_literals;
    std::size_t position = 0;
    // The open blocks, innermost last: name and where the header began. The size is the depth.
    struct OpenBlock {
        std::string_view Name;
        std::size_t At;
    };
    std::vector<OpenBlock> open;
    std::string_view w, t;
    std::size_t wAt = 0;
    // Inside a declaration the end of the text reads as an empty word with the empty delimiter,
    // which no rule accepts; the error then names the last word of the text instead of nothing.
    bool ended = false;
    std::string_view lastWord;
    std::size_t lastAt = 0;
    // Which files have yielded a record; the records come in the order of the text, so the
    // segment they stand in is found by walking forward.
    std::vector<bool> yielded(map ? map->Files.size() : 0, false);
    std::size_t segment = 0;
    auto fail = [&](std::uint32_t code, std::string_view information, std::size_t at, std::string_view what) {
        if (ended) at = lastAt;
        const std::string_view shown = ended ? lastWord : what;
        if (map) {
            // An included file that has not yielded one declaration is no model description (a
            // file included by mistake or on purpose): its content is not repeated, the model's
            // include line is shown instead.
            const NSourcePoint point = map->PointAt(at);
            if (point.File > 0 && point.File < map->Files.size() && !yielded[point.File]) {
                const NSourceMap::File& file = map->Files[point.File];
                NErrorLocation location;
                if (file.Parent >= 0) {
                    location = map->Locate(NSourcePoint{static_cast<std::uint32_t>(file.Parent), file.ParentLine, 0},
                                           "include");
                }
                ReportErrorAt(code,
                              Utf8ToCp1251("включённый файл ") + file.Name + Utf8ToCp1251(" не является описанием модели (строка ") +
                                  std::to_string(point.Line) + ")",
                              std::move(location));
                return false;
            }
        }
        NErrorLocation location = map ? map->Locate(at, std::string(shown)) : NErrorLocation();
        ReportErrorAt(code, std::string(ended ? lastWord : information), std::move(location));
        return false;
    };
    auto read = [&](std::string_view& word, std::string_view& delimiter, std::size_t& at) {
        if (NextTokenAt(text, position, word, delimiter, at)) {
            lastWord = word;
            lastAt = at;
        } else {
            ended = true;
        }
    };
    std::string none, first, second;
    auto add = [&](std::int32_t kind, std::string& name, std::string& argument, std::size_t at) {
        if (map) {
            const NSourcePoint point = map->PointAfter(segment, at);
            if (point.File < yielded.size()) yielded[point.File] = true;
        }
        sink(kind, name, argument, at);
    };

    while (position < text.size()) {
        if (!NextTokenAt(text, position, w, t, wAt)) break;
        lastWord = w;
        lastAt = wAt;

        if (t == "}"sv && w.empty()) {
            if (open.empty()) return fail(202, Join(w, t), wAt, t);
            open.pop_back();
            add(ParserKindBlockClose, none, none, wAt);
        } else if (w == "parameter"sv) {
            if (open.empty()) return fail(203, Join(w, t), wAt, w);
            if (!t.empty()) return fail(200, Join(w, t), wAt, Join(w, t));
            std::string_view name, t2, value, t3;
            std::size_t nameAt = wAt, valueAt = wAt;
            read(name, t2, nameAt);
            if (t2 != "="sv) return fail(204, Join(name, t2), nameAt, Join(name, t2));
            if (!IsIdentifierView(name)) return fail(205, name, nameAt, name);
            read(value, t3, valueAt);
            if (t3 != ";"sv) return fail(206, Join(value, t3), valueAt, Join(value, t3));
            second.assign(value);
            double number;
            if (!ParseParameterValue(second, number))
                return fail(205, value.empty() ? Join(name, "=;") : std::string(value), valueAt,
                            value.empty() ? Join(name, " = ;") : std::string(value));
            first.assign(name);
            add(ParserKindParameter, first, second, nameAt);
        } else if (w == "link"sv) {
            if (open.empty()) return fail(207, Join(w, t), wAt, w);
            if (!t.empty()) return fail(200, Join(w, t), wAt, Join(w, t));
            std::string_view item, t2, connector, t3;
            std::size_t firstAt = wAt, secondAt = wAt;
            read(item, t2, firstAt);
            if (t2 != ":"sv) return fail(208, Join(item, t2), firstAt, Join(item, t2));
            if (!IsLinkNameView(item)) return fail(209, Join(item, t2), firstAt, item);
            read(connector, t3, secondAt);
            if (t3 != ";"sv) return fail(206, Join(connector, t3), secondAt, Join(connector, t3));
            if (!IsLinkNameView(connector)) return fail(209, Join(connector, t3), secondAt, connector);
            first.assign(item);
            second.assign(connector);
            add(ParserKindLink, first, second, firstAt);
        } else if (w == "class"sv) {
            if (!open.empty()) return fail(216, Join(w, t), wAt, w);
            std::string_view name, t2, parent, t3;
            std::size_t nameAt = wAt, parentAt = wAt;
            read(name, t2, nameAt);
            if (t2 != ":"sv) return fail(217, Join(name, t2), nameAt, Join(name, t2));
            if (!IsIdentifierView(name)) return fail(218, Join(name, t2), nameAt, name);
            read(parent, t3, parentAt);
            if (t3 != "{"sv) return fail(219, Join(parent, t3), parentAt, Join(parent, t3));
            if (!IsIdentifierView(parent)) return fail(218, Join(parent, t3), parentAt, parent);
            open.push_back({name, wAt});
            first.assign(name);
            second.assign(parent);
            add(ParserKindClassHdr, first, second, wAt);
            add(ParserKindBlockOpen, none, none, wAt);
        } else {
            // A misspelt keyword lands here: the errors name the word that stands where the
            // keyword belongs.
            if (!t.empty()) return fail(200, Join(w, t), wAt, Join(w, t));
            if (!IsIdentifierView(w)) return fail(220, Join(w, t), wAt, w);
            std::string_view name, t2;
            std::size_t nameAt = wAt;
            read(name, t2, nameAt);
            if (t2 != "{"sv) return fail(221, Join(Join(w, " "), Join(name, t2)), wAt, w);
            if (!IsIdentifierView(name)) return fail(220, Join(name, t2), nameAt, name);
            open.push_back({name, wAt});
            first.assign(name);
            second.assign(w);
            add(ParserKindObjectHdr, first, second, wAt);
            add(ParserKindBlockOpen, none, none, wAt);
        }
    }
    // A block left open would make the processor run past the last record: refuse it, naming the
    // innermost unclosed declaration where it was opened.
    if (!open.empty()) {
        ended = false;
        const NErrorLocation opened = map ? map->Locate(open.back().At, "") : NErrorLocation();
        std::string information = Utf8ToCp1251("нет '}': блок ") + std::string(open.back().Name);
        // The location line names the whole path; the base name keeps this line short.
        if (opened.IsKnown())
            information += Utf8ToCp1251(", открытый в ") + opened.File.substr(opened.File.find_last_of('/') + 1) + ":" +
                           std::to_string(opened.Line) + ",";
        information += Utf8ToCp1251(" не закрыт");
        return fail(206, information, open.back().At, Join(open.back().Name, " {"));
    }
    return true;
}

bool Parse(const std::string& text, NParserRecordList& records) { return Parse(text, records, nullptr, nullptr); }

bool Parse(const std::string& text, NParserRecordList& records, const NSourceMap* map,
           std::vector<std::uint32_t>* offsets) {
    records.clear();
    if (offsets) offsets->clear();
    return Parse(
        text,
        [&](std::int32_t kind, std::string& name, std::string& argument, std::size_t at) {
            std::unique_ptr<NParserString> record;
            switch (kind) {
            case ParserKindClassHdr: record = std::make_unique<NParserClassHdr>(std::move(name), std::move(argument)); break;
            case ParserKindObjectHdr: record = std::make_unique<NParserObjectHdr>(std::move(name), std::move(argument)); break;
            case ParserKindParameter: record = std::make_unique<NParserParameter>(std::move(name), std::move(argument)); break;
            case ParserKindLink: record = std::make_unique<NParserLink>(std::move(name), std::move(argument)); break;
            case ParserKindBlockOpen: record = std::make_unique<NParserBlockOpen>(); break;
            default: record = std::make_unique<NParserBlockClose>(); break;
            }
            records.push_back(std::move(record));
            if (offsets) offsets->push_back(static_cast<std::uint32_t>(at));
        },
        map);
}

} // namespace talvero
