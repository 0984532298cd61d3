#pragma once
// Temporary directories and files for the description language tests.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "kernel/NError.h"

namespace talvero::test {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "talvero-lang-XXXXXX").string();
        if (::mkdtemp(pattern.data())) Path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!Path.empty()) std::filesystem::remove_all(Path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Absolute name of `name` inside the directory.
    std::string File(const std::string& name) const { return Path + "/" + name; }

    // Writes `content` byte for byte and returns the file's absolute name.
    std::string Write(const std::string& name, const std::string& content) const {
        std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
        out << content;
        return File(name);
    }

    std::string Read(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    const std::string& Name() const { return Path; }

private:
    std::string Path;
};

// Makes a directory the current one for a scope (relative include names are resolved there).
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& dir) : Saved(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~CurrentDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(Saved, ignored);
    }

private:
    std::filesystem::path Saved;
};

// Clears the last error so that a test sees only what its own call reported.
inline void ForgetLastError() { ReportError(0, ""); }

} // namespace talvero::test
