#pragma once
// Running the installed talvero-batch from a test, in a folder of the test's own.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace batch_test {

namespace fs = std::filesystem;

struct Result {
    int Status = -1;
    std::string Out;
    std::string Err;
};

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The names in a folder, sorted.
inline std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A fresh folder per test, named after it, removed afterwards.
class BatchFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() / ("talvero-batch-test-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    // `prefix` is shell text before the command (a cd, a ulimit); standard output goes to `out`
    // when given, else it is read back into the result.
    Result RunCommand(const std::string& prefix, const std::string& args, const std::string& out = "") {
        const fs::path outFile = Dir / "stdout.txt";
        const fs::path errFile = Dir / "stderr.txt";
        const std::string command = prefix + " '" + TALVERO_BATCH + "' " + args + " </dev/null >'" +
                                    (out.empty() ? outFile.string() : out) + "' 2>'" + errFile.string() + "'";
        const int raw = std::system(command.c_str());
        Result r;
        r.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.Out = out.empty() ? ReadFile(outFile) : "";
        r.Err = ReadFile(errFile);
        return r;
    }

    fs::path Dir;
};

} // namespace batch_test
