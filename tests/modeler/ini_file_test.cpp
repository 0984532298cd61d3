#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "modeler/VIniFile.h"
#include "support/WriteFailure.h"

namespace talvero {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() /
              ("talvero_ini_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    std::string PathOf(const char* name) const { return (Dir / name).string(); }
    static void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    static std::string Read(const std::string& path) {
        std::string text;
        ReadWholeFile(path, text);
        return text;
    }

    fs::path Dir;
};

TEST_F(IniFileTest, ReadsSectionsAndKeysInFileOrderWithVerbatimValues) {
    const auto path = PathOf("a.ini");
    Write(path, "stray=1\r\n[B]\r\nz=1\r\n; note\r\nCaption= two  words =x\r\n[A]\r\nk=\r\n[B]\r\ny=2\r\nz=dup\r\n");
    auto ini = VIniFile::Open(path);
    ASSERT_TRUE(ini);
    EXPECT_EQ((std::vector<std::string>{"B", "A"}), ini->GetSections());
    EXPECT_EQ((std::vector<std::string>{"z", "Caption", "y"}), ini->GetKeys("B"));
    EXPECT_EQ(" two  words =x", ini->ReadString("B", "Caption", "d"));
    EXPECT_EQ("1", ini->ReadString("B", "z", "d"));  // the first occurrence wins
    EXPECT_EQ("", ini->ReadString("A", "k", "d"));   // present but empty is not missing
    EXPECT_EQ("d", ini->ReadString("A", "missing", "d"));
    EXPECT_EQ("d", ini->ReadString("b", "z", "d"));  // names are case-sensitive
    EXPECT_FALSE(ini->SectionExists("stray"));
}

TEST_F(IniFileTest, AByteOrderMarkDoesNotHideTheFirstSection) {
    const auto path = PathOf("bom.tvp");
    Write(path, "\xEF\xBB\xBF[System]\r\nModelFileName=m.btv\r\n");
    auto ini = VIniFile::Open(path);
    ASSERT_TRUE(ini);
    EXPECT_EQ("m.btv", ini->ReadString("System", "ModelFileName", "Fail"));
}

TEST_F(IniFileTest, WritesEraseAndRoundTrip) {
    const auto path = PathOf("b.ini");
    VIniFile ini(path);
    ini.WriteString("S", "one", "1");
    ini.WriteString("T", "x", "a\nb=c");  // a line break cannot smuggle in a key
    ini.WriteString("S", "two", "2");
    ini.WriteString("S", "one", "uno");
    ini.WriteInteger("U", "n", -12);
    ini.EraseSection("T");
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ("[S]\none=uno\ntwo=2\n\n[U]\nn=-12\n\n", Read(path));

    ini.WriteString("T", "x", "a\nb=c");
    ASSERT_TRUE(ini.UpdateFile());
    auto again = VIniFile::Open(path);
    ASSERT_TRUE(again);
    EXPECT_EQ("a b=c", again->ReadString("T", "x", ""));
    EXPECT_EQ((std::vector<std::string>{"x"}), again->GetKeys("T"));
    EXPECT_EQ(ini.GetText(), again->GetText());
}

TEST_F(IniFileTest, MissingFileIsEmptyAndUnreadablePathIsRefused) {
    auto missing = VIniFile::Open(PathOf("none.ini"));
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->GetSections().empty());
    EXPECT_FALSE(fs::exists(PathOf("none.ini")));  // opening creates nothing
    EXPECT_EQ(nullptr, VIniFile::Open(Dir.string()));
}

TEST_F(IniFileTest, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
    const auto path = PathOf("keep.ini");
    Write(path, "[Old]\nk=v\n");
    test::WriteFailure failure;
    VIniFile ini(path);
    ini.WriteString("New", "k", "v");
    EXPECT_FALSE(ini.UpdateFile());
    failure.Lift();
    EXPECT_EQ("[Old]\nk=v\n", Read(path));
    EXPECT_EQ(1, std::distance(fs::directory_iterator(fs::path(path).parent_path()), fs::directory_iterator()));

    VIniFile nowhere(PathOf("no/such/dir/x.ini"));
    EXPECT_FALSE(nowhere.UpdateFile());
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ("[New]\nk=v\n\n", Read(path));
    EXPECT_FALSE(fs::exists(path + ".~tmp"));
}

TEST(NumberTextTest, FloatsAcceptBothSeparatorsAndRejectJunk) {
    EXPECT_EQ("0.0001", FormatFloat(0.0001));
    EXPECT_EQ("1e-05", FormatFloat(0.00001));
    EXPECT_EQ("30", FormatFloat(30));
    EXPECT_EQ("0.333333333333333", FormatFloat(1.0 / 3));
    double v = 7;
    EXPECT_TRUE(ParseFloat("0,5", v));
    EXPECT_EQ(0.5, v);
    EXPECT_TRUE(ParseFloat(" 12.9 ", v));
    EXPECT_EQ(12.9, v);
    EXPECT_TRUE(ParseFloat("+1e-4", v));
    EXPECT_EQ(0.0001, v);
    v = 7;
    for (const char* bad : {"", " ", "abc", "1.2.3", "1,2.3", "0x10", "nan", "inf", "1e999", "12 13", "++1", "5s"}) {
        EXPECT_FALSE(ParseFloat(bad, v)) << bad;
        EXPECT_EQ(7, v) << bad;
    }
    double back = 0;
    for (double x : {0.0001, 0.00025, 1e-7, 123456.789, 0.1 + 0.2 - 0.2}) {
        ASSERT_TRUE(ParseFloat(FormatFloat(x), back));
        EXPECT_NEAR(x, back, x * 1e-14);
    }
}

TEST(NumberTextTest, IntegersAreStrict) {
    std::int64_t v = 5;
    EXPECT_TRUE(ParseInteger(" -12 ", v));
    EXPECT_EQ(-12, v);
    EXPECT_TRUE(ParseInteger("+3", v));
    EXPECT_EQ(3, v);
    for (const char* bad : {"", "12.9", "1e3", "x", "99999999999999999999", "-", "3 4"}) {
        EXPECT_FALSE(ParseInteger(bad, v)) << bad;
        EXPECT_EQ(3, v) << bad;
    }
    VIniFile ini("unused");
    ini.WriteString("S", "n", "12.9");
    EXPECT_EQ(40, ini.ReadInteger("S", "n", 40));
    EXPECT_EQ(12.9, ini.ReadFloat("S", "n", 0));
    EXPECT_EQ(2.5, ini.ReadFloat("S", "missing", 2.5));
}

} // namespace
} // namespace talvero
