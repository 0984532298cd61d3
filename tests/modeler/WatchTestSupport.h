#pragma once
// Shared pieces of the watch frame and watch registry tests: an out gate whose points the test
// sets directly, a temporary directory, and whole-file helpers.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

#include "kernel/NAbstractOutGate.h"

namespace talvero::testing {

// An out gate whose X and Y lists are whatever the test puts there.
class ScriptedGate : public NAbstractOutGate {
public:
    ScriptedGate(NBasicDescription* owner, const char* name, int watchType = kTimeCourse)
        : NAbstractOutGate(owner, name) {
        WatchType = watchType;
    }

    void Set(std::initializer_list<double> x, std::initializer_list<double> y) {
        X.assign(x);
        Y.assign(y);
    }
    void Append(double x, double y) {
        X.push_back(x);
        Y.push_back(y);
    }

    NDataList X;
    NDataList Y;

    bool CheckName(const char*) override { return true; }
    NBasicDescription* New(NBasicDescription*, const char*) override { return nullptr; }
    NBasicDescription* GetComponent(const char*) override { return nullptr; }
    bool AddComponent(NBasicDescription* component) override {
        delete component;
        return false;
    }
    bool DelComponent(const char*) override { return false; }
    void GetComponentsList(NStringList&) override {}
    bool CopyComponents(NBasicDescription*) override { return false; }
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void Reset() override {}
    void ClearData() override {
        X.clear();
        Y.clear();
    }
    unsigned GetDataSize() const override { return static_cast<unsigned>(X.size()); }
    NDataPosition GetXBegin() const override { return X.begin(); }
    NDataPosition GetXEnd() const override { return X.end(); }
    NDataPosition GetYBegin() const override { return Y.begin(); }
    NDataPosition GetYEnd() const override { return Y.end(); }
    void CollectData() override {}
};

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "talvero-watch-XXXXXX").string();
        Path = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        if (!Path.empty()) std::filesystem::remove_all(Path, ec);
    }
    // The directory with a trailing separator, as the controller keeps it.
    std::string Dir() const { return Path + "/"; }
    std::string File(const std::string& name) const { return Dir() + name; }

private:
    std::string Path;
};

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

} // namespace talvero::testing
