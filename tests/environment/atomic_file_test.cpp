// Replacing files in one piece: concurrent writers and failures.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "environment/NAtomicFile.h"

namespace talvero {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() / ("talvero-atomic-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Dir)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path Dir;
};

TEST_F(AtomicFileTest, ConcurrentWritersOfOneFileAllSucceedAndLeaveOneWholeContent) {
    const std::string target = (Dir / "shared.txt").string();
    std::atomic<int> failures{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w)
        writers.emplace_back([&, w] {
            const std::string content(100000, static_cast<char>('a' + w));
            for (int i = 0; i < 25; ++i)
                if (!WriteFileAtomically(target, content)) ++failures;
        });
    for (auto& t : writers) t.join();
    EXPECT_EQ(failures, 0);
    const std::string text = Read(target);
    ASSERT_EQ(text.size(), 100000u);
    EXPECT_EQ(text.find_first_not_of(text[0]), std::string::npos);
    EXPECT_EQ(Names(), std::vector<std::string>{"shared.txt"});
}

TEST_F(AtomicFileTest, AFailureSaysWhyAndLeavesNothingBehind) {
    fs::create_directories(Dir / "folder");
    std::string error;
    EXPECT_FALSE(WriteFileAtomically((Dir / "folder").string(), "x", &error));
    EXPECT_EQ(error, "Is a directory");
    EXPECT_FALSE(WriteFileAtomically((Dir / "missing" / "f").string(), "x", &error));
    EXPECT_EQ(error, "No such file or directory");

    // Abandoned and rewound content never reaches the target.
    {
        NAtomicFile file((Dir / "f").string());
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(file.Write("draft"));
    }
    NAtomicFile file((Dir / "f").string());
    ASSERT_TRUE(file.Open() && file.Write("draft") && file.Rewind() && file.Write("final") && file.Commit());
    EXPECT_EQ(Read(Dir / "f"), "final");
    EXPECT_EQ(Names(), (std::vector<std::string>{"f", "folder"}));
}

} // namespace
} // namespace talvero
