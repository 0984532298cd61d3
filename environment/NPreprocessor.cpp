#include "environment/NPreprocessor.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "environment/NLineReader.h"
#include "kernel/NError.h"

namespace talvero {

bool IsTrimBlank(char c) {
    return c == ' ' || c == '\n' || c == '\t' || c == '\v' || c == '\b' || c == '\r' || c == '\f' || c == '\a';
}

std::string Trim(const std::string& text) {
    std::size_t begin = 0;
    while (begin < text.size() && IsTrimBlank(text[begin])) ++begin;
    std::size_t end = text.size();
    while (end > begin && IsTrimBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

namespace {

bool IsIdentifierChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsDelimiter(char c) { return c == ' ' || c == ':' || c == '=' || c == '{' || c == '}' || c == ';'; }

} // namespace

bool IsIdentifier(const std::string& word) {
    if (!word.empty() && word[0] >= '0' && word[0] <= '9') return false;
    for (char c : word)
        if (!IsIdentifierChar(c)) return false;
    return true;
}

bool IsLinkName(const std::string& word) {
    for (char c : word)
        if (!IsIdentifierChar(c) && c != '.') return false;
    return true;
}

namespace {

// text[begin, end) without the trimming blanks at its ends, assigned without a temporary.
void AssignTrimmed(std::string& to, const std::string& text, std::size_t begin, std::size_t end) {
    while (begin < end && IsTrimBlank(text[begin])) ++begin;
    while (end > begin && IsTrimBlank(text[end - 1])) --end;
    to.assign(text, begin, end - begin);
}

} // namespace

bool NextToken(const std::string& text, std::size_t& position, std::string& word, std::string& delimiter) {
    const std::size_t length = text.size();
    std::size_t b = position;
    while (b < length && text[b] == ' ') ++b;
    if (b >= length) {
        word.clear();
        delimiter.clear();
        position = length;
        return false;
    }
    std::size_t c = b;
    while (c < length && !IsDelimiter(text[c])) ++c;
    if (c >= length) {
        // The end of the text acts as a blank after the last word.
        AssignTrimmed(word, text, b, length);
        delimiter.clear();
        position = length;
        return true;
    }
    if (text[c] == ' ') {
        std::size_t d = c + 1;
        while (d < length && text[d] == ' ') ++d;
        if (d < length && IsDelimiter(text[d])) c = d;
    }
    AssignTrimmed(word, text, b, c);
    AssignTrimmed(delimiter, text, c, c + 1);
    position = c + 1;
    return true;
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
};

// Erases every block comment, scanning once. `out` never holds "/*", so the first comment of the
// remaining text is the one whose '*' comes next after a '/' at the end of `out`, which also
// catches a "/*" that an erasure has just formed.
void RemoveBlockComments(std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '*' && !out.empty() && out.back() == '/') {
            out.pop_back();
            // The closing "*/" may begin at this very '*' ("/*/" is a whole comment).
            const std::size_t close = text.find("*/", i);
            if (close == std::string::npos) break;
            i = close + 2;
            continue;
        }
        out.push_back(text[i]);
        ++i;
    }
    text.swap(out);
}

void ReplaceControlCharacters(std::string& text) {
    for (char& c : text)
        if (c != ' ' && IsTrimBlank(c)) c = ' ';
}

bool LoadFile(const std::string& fileName, const std::string* includeRest, LoadContext& context, std::string& text);

bool Preprocess(NLineReader& reader, const std::string& fileName, LoadContext& context, std::string& text) {
    text.clear();
    auto fail = [&](std::uint32_t code, const std::string& information) {
        text.clear();
        ReportError(code, information);
        return false;
    };
    static const std::string includeWord = "include ";
    std::string line;
    for (;;) {
        const NLineRead read = reader.Next(line);
        if (read == NLineRead::End) break;
        if (read != NLineRead::Line) return fail(112, fileName);
        // Trimmed in place: a copy per line would cost an allocation for every longer line.
        std::size_t end = line.size();
        while (end > 0 && IsTrimBlank(line[end - 1])) --end;
        line.erase(end);
        std::size_t begin = 0;
        while (begin < line.size() && IsTrimBlank(line[begin])) ++begin;
        line.erase(0, begin);
        std::size_t appended;
        if (line.compare(0, includeWord.size(), includeWord) == 0) {
            const std::string rest = Trim(line.substr(includeWord.size()));
            // A lone '"' is both the first and the last character, but it quotes nothing.
            if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"') return fail(201, rest);
            if (context.Open.size() >= MaxIncludeDepth || context.Includes >= MaxIncludeCount)
                return fail(201, rest);
            ++context.Includes;
            std::string included;
            if (!LoadFile(rest.substr(1, rest.size() - 2), &rest, context, included)) {
                text.clear();
                return false;
            }
            text += included;
            appended = included.size();
        } else {
            const std::size_t comment = line.find("//");
            appended = comment == std::string::npos ? line.size() : comment;
            text.append(line, 0, appended);
        }
        context.Produced += appended;
        if (context.Produced > MaxPreprocessedTextLength) return fail(112, fileName);
    }
    RemoveBlockComments(text);
    ReplaceControlCharacters(text);
    return true;
}

bool LoadFile(const std::string& fileName, const std::string* includeRest, LoadContext& context, std::string& text) {
    std::FILE* file = OpenRegularFileForReading(fileName);
    if (!file) return ReportError(111, fileName), false;

    // Identified by device and inode, so that another spelling or a link to an open file is
    // still a cycle. Should that fail, the depth bound still ends the chain.
    struct stat opened;
    FileIdentity identity{};
    if (::fstat(fileno(file), &opened) == 0) {
        identity = FileIdentity{opened.st_dev, opened.st_ino};
        for (const FileIdentity& open : context.Open) {
            if (open == identity) {
                std::fclose(file);
                return ReportError(201, includeRest ? *includeRest : fileName), false;
            }
        }
    }

    context.Open.push_back(identity);
    NLineReader reader(file, MaxSourceLineLength);
    const bool ok = Preprocess(reader, fileName, context, text);
    context.Open.pop_back();
    std::fclose(file);
    return ok;
}

} // namespace

bool LoadText(std::string fileName, std::string& text) {
    LoadContext context;
    return LoadFile(fileName, nullptr, context, text);
}

bool LoadTextFromBuffer(const std::string& content, std::string fileName, std::string& text) {
    LoadContext context;
    NLineReader reader(content.data(), content.size(), MaxSourceLineLength);
    return Preprocess(reader, fileName, context, text);
}

bool Parse(const std::string& text, NParserRecordList& records) {
    records.clear();
    std::size_t position = 0;
    // Names of the open blocks, innermost last; its size is the block depth.
    std::vector<std::string> open;
    std::string w, t;
    // Inside a declaration the end of the text reads as an empty word with the empty delimiter,
    // which no rule accepts; the error then names the last word of the text instead of nothing.
    bool ended = false;
    std::string lastWord;
    auto fail = [&](std::uint32_t code, const std::string& information) {
        ReportError(code, ended ? lastWord : information);
        return false;
    };
    auto read = [&](std::string& word, std::string& delimiter) {
        if (NextToken(text, position, word, delimiter))
            lastWord = word;
        else
            ended = true;
    };

    while (position < text.size()) {
        if (!NextToken(text, position, w, t)) break;
        lastWord = w;

        if (t == "}" && w.empty()) {
            if (open.empty()) return fail(202, w + t);
            open.pop_back();
            records.push_back(std::make_unique<NParserBlockClose>());
        } else if (w == "parameter") {
            if (open.empty()) return fail(203, w + t);
            if (!t.empty()) return fail(200, w + t);
            std::string name, t2, value, t3;
            read(name, t2);
            if (t2 != "=") return fail(204, name + t2);
            if (!IsIdentifier(name)) return fail(205, name);
            read(value, t3);
            if (t3 != ";") return fail(206, value + t3);
            records.push_back(std::make_unique<NParserParameter>(std::move(name), std::move(value)));
        } else if (w == "link") {
            if (open.empty()) return fail(207, w + t);
            if (!t.empty()) return fail(200, w + t);
            std::string first, t2, second, t3;
            read(first, t2);
            if (t2 != ":") return fail(208, first + t2);
            if (!IsLinkName(first)) return fail(209, first + t2);
            read(second, t3);
            if (t3 != ";") return fail(206, second + t3);
            if (!IsLinkName(second)) return fail(209, second + t3);
            records.push_back(std::make_unique<NParserLink>(std::move(first), std::move(second)));
        } else if (w == "class") {
            if (!open.empty()) return fail(216, w + t);
            std::string name, t2, parent, t3;
            read(name, t2);
            if (t2 != ":") return fail(217, name + t2);
            if (!IsIdentifier(name)) return fail(218, name + t2);
            read(parent, t3);
            if (t3 != "{") return fail(219, parent + t3);
            if (!IsIdentifier(parent)) return fail(218, parent + t3);
            open.push_back(name);
            records.push_back(std::make_unique<NParserClassHdr>(std::move(name), std::move(parent)));
            records.push_back(std::make_unique<NParserBlockOpen>());
        } else {
            if (!t.empty()) return fail(200, w + t);
            if (!IsIdentifier(w)) return fail(220, w + t);
            std::string name, t2;
            read(name, t2);
            if (t2 != "{") return fail(221, name + t2);
            if (!IsIdentifier(name)) return fail(220, name + t2);
            open.push_back(name);
            records.push_back(std::make_unique<NParserObjectHdr>(std::move(name), w));
            records.push_back(std::make_unique<NParserBlockOpen>());
        }
    }
    // A block left open would make the processor run past the last record: refuse it, naming the
    // innermost unclosed declaration.
    if (!open.empty()) return fail(206, open.back());
    return true;
}

} // namespace talvero
