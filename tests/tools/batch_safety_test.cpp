// talvero-batch under hostile input: limits, values that are not finite, output files, long runs.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "BatchTestSupport.h"
#include "tests/support/TestModels.h"

namespace fs = std::filesystem;
using batch_test::Names;
using batch_test::ReadFile;
using batch_test::Result;
using talvero::test_models::kArc;
using talvero::test_models::kDivergingEyeMuscle;

namespace {

const char* kMuscle = "Model m { Net n { Muscle mu { } } }\n";

// The rows of one gate in the standard output, as its file of `--out` holds them.
std::string GateRows(const std::string& csv, const std::string& gate) {
    std::string rows = "x,y\n";
    std::istringstream lines(csv);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(gate + ",", 0) == 0) rows += line.substr(gate.size() + 1) + "\n";
    return rows;
}

class BatchSafetyTest : public batch_test::BatchFolderTest {
protected:
    // `shell` goes before the command (a ulimit, say); stdout goes to `out` unless given.
    Result Run(const std::string& args, const std::string& shell = "", const std::string& out = "") {
        return RunCommand("cd '" + Dir.string() + "' && " + shell, args, out);
    }

    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(Dir / name, std::ios::binary) << text;
        return name;
    }

};

TEST_F(BatchSafetyTest, StepCountsBeyondTheMaximumAreCommandLineErrors) {
    const std::string model = Write("mu.tv", kMuscle);
    for (const std::string args : {"-n 9223372036854775807", "-n 1000000000001", "-t 1e15", "--dt 1e-300 -t 1"}) {
        SCOPED_TRACE(args);
        const Result r = Run("-q " + args + " " + model);
        EXPECT_EQ(r.Status, 2);
        EXPECT_NE(r.Err.find("1000000000000"), std::string::npos) << r.Err;
    }
}

TEST_F(BatchSafetyTest, ATimeStepThatWouldSubStepWithoutBoundIsRefusedWithTheElement) {
    const std::string model = Write("mu.tv", kMuscle);
    Write("mu.btv", "checksum\n2 m Model\n8\n2 n Net\n8\n2 mu Muscle\n8\n9\n9\n9");
    Write("mu.tvp", "[System]\nModelFileName=mu.btv\n[Computation]\nTimeStep=1\n");
    const struct {
        std::string Args;
        int Status;
    } cases[] = {{"--dt 1 " + model, 1},     {"--dt 1e10 " + model, 1}, {"mu.tvp", 1},
                 {"--dt 0.02 " + model, 1},  // the outputs sub-step inside each of the muscle's sub-steps
                 {"--dt 0.001 " + model, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args);
        const Result r = Run("-q -n 3 " + c.Args);
        EXPECT_EQ(r.Status, c.Status) << r.Err;
        if (!c.Status) continue;
        EXPECT_NE(r.Err.find("Ошибка 21 Kernel Level 1: "), std::string::npos) << r.Err;
        EXPECT_NE(r.Err.find("слишком велик для m.n.mu"), std::string::npos) << r.Err;
    }
}

TEST_F(BatchSafetyTest, ValuesThatAreNotFiniteAreRefusedOrReportedWithStatusThree) {
    Write("inf.btv", "checksum\n2 m Model\n8\n2 g ASinusGenerator\n8\n3 Amplitude inf\n9\n9");
    const Result refused = Run("-q inf.btv");
    EXPECT_EQ(refused.Status, 1);
    EXPECT_NE(refused.Err.find("Amplitude"), std::string::npos) << refused.Err;

    const std::string model = Write("eye.tv", kDivergingEyeMuscle);
    const std::string message = "talvero-batch: the out gate length recorded a value that is not finite at model time 0.081 s\n";
    const Result out = Run("-q -n 2000 " + model);
    EXPECT_EQ(out.Status, 3);
    EXPECT_EQ(out.Err, message);
    EXPECT_NE(out.Out.find("length,0.1999"), std::string::npos);  // everything recorded is still written
    const Result files = Run("-q -n 2000 -o csv " + model);
    EXPECT_EQ(files.Status, 3);
    EXPECT_EQ(files.Err, message);
    EXPECT_EQ(ReadFile(Dir / "csv" / "length.csv"), GateRows(out.Out, "length"));
}

TEST_F(BatchSafetyTest, GateNamesStayInsideTheOutputFolderAndKeepTheirCsvColumns) {
    Write("names.btv",
          "checksum\n2 m Model\n8\n2 ../../evil TimeWatch\n8\n9\n2 a,\"b TimeWatch\n8\n9\n2 . TimeWatch\n8\n9\n9");
    fs::create_directories(Dir / "x" / "y");
    const Result r = Run("-q -n 1 -o x/y/out names.btv");
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Names(Dir / "x" / "y" / "out"),
              (std::vector<std::string>{"%2E.%2F..%2Fevil.csv", "%2E.csv", "a%2C%22b.csv"}));
    EXPECT_EQ(Names(Dir / "x"), std::vector<std::string>{"y"});
    EXPECT_FALSE(fs::exists(Dir / "evil.csv"));

    const Result csv = Run("-q -n 1 names.btv");
    EXPECT_EQ(csv.Out, "gate,x,y\n../../evil,0,0\n\"a,\"\"b\",0,0\n.,0,0\n");
    Write("none.btv", "checksum\n2 m Model\n8\n9");
    EXPECT_EQ(Run("-q none.btv").Out, "gate,x,y\n");
}

TEST_F(BatchSafetyTest, ReplacedFilesKeepTheirModeAndLinksAndLeaveNothingElse) {
    const std::string model = Write("eye.tv", "Model e { Generator g { parameter Frequency = 10; } TimeWatch w { } "
                                              "TimeWatch v { } link g:w.input; link g:v.input; }\n");
    fs::create_directories(Dir / "out");
    fs::create_directories(Dir / "elsewhere");
    Write("out/w.csv", "old");
    ASSERT_EQ(::chmod((Dir / "out" / "w.csv").c_str(), 0640), 0);
    Write("elsewhere/v.csv", "old");
    fs::create_symlink("../elsewhere/v.csv", Dir / "out" / "v.csv");

    const Result r = Run("-q -n 100 -o out " + model);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(fs::status(Dir / "out" / "w.csv").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(fs::is_symlink(Dir / "out" / "v.csv"));
    EXPECT_EQ(ReadFile(Dir / "elsewhere" / "v.csv").rfind("x,y\n0,1\n", 0), 0u);
    EXPECT_EQ(Names(Dir / "out"), (std::vector<std::string>{"v.csv", "w.csv"}));
    EXPECT_EQ(Names(Dir / "elsewhere"), std::vector<std::string>{"v.csv"});
}

TEST_F(BatchSafetyTest, WriteFailuresNameTheReasonKeepTheOldFilesAndLeaveNoTemporaries) {
    const std::string model = Write("eye.tv", kDivergingEyeMuscle);
    fs::create_directories(Dir / "out");
    Write("out/length.csv", "old");
    // 1 KiB is too small for the first gate file: the size limit must not kill the process.
    const Result big = Run("-q -n 3000 -o out " + model, "ulimit -f 1;");
    EXPECT_EQ(big.Status, 1);
    EXPECT_NE(big.Err.find("cannot write out/length.csv: File too large"), std::string::npos) << big.Err;
    EXPECT_EQ(ReadFile(Dir / "out" / "length.csv"), "old");
    EXPECT_EQ(Names(Dir / "out"), std::vector<std::string>{"length.csv"});

    const Result full = Run("-q -n 3000 " + model, "", "/dev/full");
    EXPECT_EQ(full.Status, 1);
    EXPECT_EQ(full.Err, "talvero-batch: cannot write the standard output: No space left on device\n");
}

TEST_F(BatchSafetyTest, FilesWrittenAsTheRunGoesEqualTheStandardOutput) {
    // More steps than one write-away holds; a watch that starts late clears its data once.
    const std::string model = Write("arc.tv", kArc);
    const Result all = Run("-q -n 12000 " + model);
    ASSERT_EQ(all.Status, 0) << all.Err;
    const Result files = Run("-q -n 12000 -o out " + model);
    ASSERT_EQ(files.Status, 0) << files.Err;
    for (const std::string gate : {"late", "cell", "length", "rate"}) {
        SCOPED_TRACE(gate);
        const std::string expected = GateRows(all.Out, gate);
        EXPECT_GT(expected.size(), 100u);
        EXPECT_EQ(ReadFile(Dir / "out" / (gate + ".csv")), expected);
    }
}

} // namespace
