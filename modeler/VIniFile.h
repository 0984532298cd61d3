#pragma once
// An INI file held in memory: sections and keys keep their file order, reads take a default,
// and the whole text goes back to disk in one piece (temporary file, then rename).
//
// Section and key names are compared byte-wise and case-sensitively, like the kernel's names,
// so that two observation points differing only in case keep separate sections.
// Values are kept verbatim: the value is the rest of the line after the first '='.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace talvero {

class VIniFile {
public:
    // An empty file bound to `path`; nothing is read.
    explicit VIniFile(std::string path);

    // Binds to `path` and reads it when it exists. A missing file gives an empty object;
    // a file that exists but cannot be read (a directory, no permission) gives null.
    static std::unique_ptr<VIniFile> Open(const std::string& path);

    const std::string& GetPath() const { return Path; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // Texts that are not numbers yield the default.
    std::int64_t ReadInteger(const std::string& section, const std::string& key,
                             std::int64_t defaultValue) const;
    double ReadFloat(const std::string& section, const std::string& key, double defaultValue) const;

    // Line breaks inside a value would start a new line in the file: they are written as blanks.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, std::int64_t value);
    void WriteFloat(const std::string& section, const std::string& key, double value);

    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    void EraseSection(const std::string& section);
    void DeleteKey(const std::string& section, const std::string& key);
    // Section names in file order.
    std::vector<std::string> GetSections() const;
    // Key names of a section in file order.
    std::vector<std::string> GetKeys(const std::string& section) const;
    void Clear();

    // Replaces the whole content with `text` (the file format); nothing is written to disk.
    void SetText(const std::string& text);
    // The whole content in the file format ("[Section]" and "Key=Value" lines, "\n" endings).
    std::string GetText() const;

    // Writes the whole content to the path: a temporary file in the same directory, renamed
    // over the old file. On failure the old file is untouched and the result is false.
    bool UpdateFile() const;

private:
    // Name indexes beside the ordered lists keep reading and writing a file of many keys linear.
    struct Section {
        std::string Name;
        std::vector<std::pair<std::string, std::string>> Values;
        std::unordered_map<std::string, std::size_t> KeyIndex;

        const std::string* Find(const std::string& key) const;
        void Put(const std::string& key, const std::string& value, bool replace);
        void Reindex();
    };

    const Section* FindSection(const std::string& name) const;
    Section& SectionForWrite(const std::string& name);
    void ReindexSections();

    std::string Path;
    std::vector<Section> Sections;
    std::unordered_map<std::string, std::size_t> SectionIndex;
};

// Number texts of the project files. Writing uses '.' as decimal separator; reading accepts
// '.' and ',' alike, so files written under either convention read back. Parsing is
// independent of the process locale. Surrounding blanks are allowed; anything else is not.

// General format with up to 15 significant digits ("0.0001", "1e-05", "12.5").
std::string FormatFloat(double value);
// A finite decimal number; false (and `value` untouched) otherwise.
bool ParseFloat(const std::string& text, double& value);
std::string FormatInteger(std::int64_t value);
// An optionally signed decimal integer; false (and `value` untouched) otherwise.
bool ParseInteger(const std::string& text, std::int64_t& value);

// Writes `content` through NAtomicFile: false when any step fails; `path` then keeps its old
// content and no temporary file stays.
bool WriteFileReplacing(const std::string& path, const std::string& content);
// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& content);

} // namespace talvero
