// Replacing files in one piece: concurrent writers and failures.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

TEST_F(AtomicFileTest, TargetsThatAreNotRegularFilesAreNeverRenamedOver) {
    fs::create_symlink("/dev/null", Dir / "null");
    ASSERT_EQ(::mkfifo((Dir / "fifo").c_str(), 0600), 0);
    fs::create_directories(Dir / "folder");
    fs::create_symlink("loop2", Dir / "loop1");
    fs::create_symlink("loop1", Dir / "loop2");
    const struct {
        std::string Name;
        bool Ok;
        std::string Error;
        fs::file_type Kept;
    } cases[] = {
        {"null", true, "", fs::file_type::symlink},
        {"fifo", false, "no process reads from this FIFO", fs::file_type::fifo},
        {"folder", false, "Is a directory", fs::file_type::directory},
        {"loop1", false, "Too many levels of symbolic links", fs::file_type::symlink},
        {std::string(300, 'n'), false, "File name too long", fs::file_type::none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name.substr(0, 10));
        std::string error;
        EXPECT_EQ(WriteFileAtomically((Dir / c.Name).string(), std::string(100000, 'x'), &error), c.Ok);
        EXPECT_EQ(error, c.Error);
        std::error_code ec;
        EXPECT_EQ(fs::symlink_status(Dir / c.Name, ec).type(), c.Kept);
    }
    EXPECT_EQ(fs::status("/dev/null").type(), fs::file_type::character);
    EXPECT_EQ(Names(), (std::vector<std::string>{"fifo", "folder", "loop1", "loop2", "null"}));

    // Written in place, what has reached the device cannot be taken back.
    NAtomicFile device((Dir / "null").string());
    ASSERT_TRUE(device.Open() && device.IsInPlace());
    EXPECT_TRUE(device.Write("draft") && device.Rewind());
    ASSERT_TRUE(device.Write(std::string(1 << 17, 'x')));
    EXPECT_FALSE(device.Rewind());
    EXPECT_EQ(device.GetError(), "Illegal seek");
}

TEST_F(AtomicFileTest, TemporariesOfWritersThatAreGoneGoAndLiveOnesStay) {
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    char name[64];
    auto temporary = [&](unsigned pid, const char* rest) {
        std::snprintf(name, sizeof name, "f.~%08x%s", pid, rest);
        std::ofstream(Dir / name) << "half";
        return std::string(name);
    };
    const std::string dead = temporary(static_cast<unsigned>(gone), "0badcafe");
    const std::string live = temporary(1, "0badcafe");  // init never goes
    std::ofstream(Dir / "f.~0123456789ab") << "half";   // an old-style name, fresh: may be a writer's
    std::ofstream(Dir / "g.~0000000100000000") << "another target's";
    ASSERT_TRUE(WriteFileAtomically((Dir / "f").string(), "new"));
    EXPECT_EQ(Names(), (std::vector<std::string>{"f", live, "f.~0123456789ab",
                                                 "g.~0000000100000000"}));
    EXPECT_FALSE(fs::exists(Dir / dead));

    // What a signal handler removes: every temporary not yet committed, and nothing else.
    NAtomicFile open((Dir / "h").string());
    ASSERT_TRUE(open.Open());
    ASSERT_TRUE(fs::exists(open.GetTemporaryPath()));
    RemoveAtomicTemporaries();
    EXPECT_FALSE(fs::exists(open.GetTemporaryPath()));
    EXPECT_TRUE(fs::exists(Dir / "f"));
}

} // namespace
} // namespace talvero
