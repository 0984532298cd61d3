#include "modeler/VIniFile.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "environment/NAtomicFile.h"

namespace talvero {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string TrimBlanks(const std::string& text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return text.substr(b, e - b);
}

std::string WithoutLineBreaks(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

} // namespace

VIniFile::VIniFile(std::string path) : Path(std::move(path)) {}

std::unique_ptr<VIniFile> VIniFile::Open(const std::string& path) {
    auto file = std::make_unique<VIniFile>(path);
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) return file;
    if (ec || std::filesystem::is_directory(status)) return nullptr;
    std::string text;
    if (!ReadWholeFile(path, text)) return nullptr;
    // Editors may begin a UTF-8 file with a byte order mark; it would glue onto the first section.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    file->SetText(text);
    return file;
}

const std::string* VIniFile::Section::Find(const std::string& key) const {
    const auto it = KeyIndex.find(key);
    return it == KeyIndex.end() ? nullptr : &Values[it->second].second;
}

void VIniFile::Section::Put(const std::string& key, const std::string& value, bool replace) {
    const auto [it, added] = KeyIndex.try_emplace(key, Values.size());
    if (added) Values.emplace_back(key, value);
    else if (replace) Values[it->second].second = value;
}

void VIniFile::Section::Reindex() {
    KeyIndex.clear();
    for (std::size_t i = 0; i < Values.size(); ++i) KeyIndex.try_emplace(Values[i].first, i);
}

const VIniFile::Section* VIniFile::FindSection(const std::string& name) const {
    const auto it = SectionIndex.find(name);
    return it == SectionIndex.end() ? nullptr : &Sections[it->second];
}

VIniFile::Section& VIniFile::SectionForWrite(const std::string& name) {
    const auto [it, added] = SectionIndex.try_emplace(name, Sections.size());
    if (added) Sections.push_back(Section{name, {}, {}});
    return Sections[it->second];
}

void VIniFile::ReindexSections() {
    SectionIndex.clear();
    for (std::size_t i = 0; i < Sections.size(); ++i) SectionIndex.try_emplace(Sections[i].Name, i);
}

std::string VIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    if (const Section* s = FindSection(section))
        if (const std::string* value = s->Find(key)) return *value;
    return defaultValue;
}

std::int64_t VIniFile::ReadInteger(const std::string& section, const std::string& key,
                                   std::int64_t defaultValue) const {
    std::int64_t value = defaultValue;
    ParseInteger(ReadString(section, key, std::string()), value);
    return value;
}

double VIniFile::ReadFloat(const std::string& section, const std::string& key, double defaultValue) const {
    double value = defaultValue;
    ParseFloat(ReadString(section, key, std::string()), value);
    return value;
}

void VIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    SectionForWrite(WithoutLineBreaks(section)).Put(WithoutLineBreaks(key), WithoutLineBreaks(value), true);
}

void VIniFile::WriteInteger(const std::string& section, const std::string& key, std::int64_t value) {
    WriteString(section, key, FormatInteger(value));
}

void VIniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
    WriteString(section, key, FormatFloat(value));
}

bool VIniFile::SectionExists(const std::string& section) const { return FindSection(section) != nullptr; }

bool VIniFile::ValueExists(const std::string& section, const std::string& key) const {
    const Section* s = FindSection(section);
    return s && s->Find(key);
}

void VIniFile::EraseSection(const std::string& section) {
    if (std::erase_if(Sections, [&](const Section& s) { return s.Name == section; })) ReindexSections();
}

void VIniFile::DeleteKey(const std::string& section, const std::string& key) {
    for (auto& s : Sections)
        if (s.Name == section && std::erase_if(s.Values, [&](const auto& entry) { return entry.first == key; }))
            s.Reindex();
}

std::vector<std::string> VIniFile::GetSections() const {
    std::vector<std::string> names;
    names.reserve(Sections.size());
    for (const auto& s : Sections) names.push_back(s.Name);
    return names;
}

std::vector<std::string> VIniFile::GetKeys(const std::string& section) const {
    std::vector<std::string> keys;
    if (const Section* s = FindSection(section))
        for (const auto& entry : s->Values) keys.push_back(entry.first);
    return keys;
}

void VIniFile::Clear() {
    Sections.clear();
    SectionIndex.clear();
}

void VIniFile::SetText(const std::string& text) {
    Clear();
    Section* current = nullptr;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();

        const std::string trimmed = TrimBlanks(line);
        if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
            current = &SectionForWrite(trimmed.substr(1, trimmed.size() - 2));
            continue;
        }
        // Lines before the first section, comments and lines without '=' carry nothing.
        const std::size_t eq = line.find('=');
        if (!current || eq == std::string::npos) continue;
        const std::string key = TrimBlanks(line.substr(0, eq));
        if (key.empty() || key.front() == ';' || key.front() == '#') continue;
        current->Put(key, line.substr(eq + 1), false);  // the first occurrence wins, as on reading
    }
}

std::string VIniFile::GetText() const {
    std::string text;
    for (const auto& s : Sections) {
        text += '[';
        text += s.Name;
        text += "]\n";
        for (const auto& [k, v] : s.Values) {
            text += k;
            text += '=';
            text += v;
            text += '\n';
        }
        text += '\n';
    }
    return text;
}

bool VIniFile::UpdateFile() const { return WriteFileReplacing(Path, GetText()); }

std::string FormatFloat(double value) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return std::string(buffer, r.ptr);
}

bool ParseFloat(const std::string& text, double& value) {
    std::string t = TrimBlanks(text);
    if (!t.empty() && t.front() == '+') t.erase(0, 1);
    if (t.empty() || t.front() == '+') return false;
    for (char& c : t)
        if (c == ',') c = '.';
    double v = 0;
    const char* first = t.data();
    const char* last = t.data() + t.size();
    const auto r = std::from_chars(first, last, v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != last || !std::isfinite(v)) return false;
    value = v;
    return true;
}

std::string FormatInteger(std::int64_t value) { return std::to_string(value); }

bool ParseInteger(const std::string& text, std::int64_t& value) {
    std::string t = TrimBlanks(text);
    if (!t.empty() && t.front() == '+') t.erase(0, 1);
    if (t.empty() || t.front() == '+') return false;
    std::int64_t v = 0;
    const char* last = t.data() + t.size();
    const auto r = std::from_chars(t.data(), last, v, 10);
    if (r.ec != std::errc() || r.ptr != last) return false;
    value = v;
    return true;
}

bool WriteFileReplacing(const std::string& path, const std::string& content) {
    return WriteFileAtomically(path, content);
}

bool ReadWholeFile(const std::string& path, std::string& content) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::string text;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    if (ok) content = std::move(text);
    return ok;
}

} // namespace talvero
