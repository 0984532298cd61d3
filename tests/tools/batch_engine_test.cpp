// Both engines through the batch runner: the same output for the same options, the fallback
// notice, and a refused engine name.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BatchTestSupport.h"
#include "bench/BenchModel.h"

namespace fs = std::filesystem;
using batch_test::ReadFile;
using batch_test::Result;

namespace {

class BatchEngineTest : public batch_test::BatchFolderTest {
protected:
    fs::path Write(const std::string& name, const std::string& text) {
        const fs::path path = Dir / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // Every file the run wrote into `out`, by name, with its content.
    static std::vector<std::pair<std::string, std::string>> Files(const fs::path& out) {
        std::vector<std::pair<std::string, std::string>> files;
        if (!fs::is_directory(out)) return files;
        for (const auto& entry : fs::directory_iterator(out)) files.emplace_back(entry.path().filename(), ReadFile(entry.path()));
        std::sort(files.begin(), files.end());
        return files;
    }
};

TEST_F(BatchEngineTest, BothEnginesWriteTheSameResultsForTheSameOptions) {
    const std::string model = Write("net.tv", talvero::bench::GenerateBenchModel(200, 20)).string();
    const std::string options[] = {
        "-n 3000",
        "-t 0.2 --watch w0 --watch w50",
        "-n 2000 --set net.c0.exc.s0.K=0.2 --set drive.Frequency=45",
        "-n 2000 --dt 0.00005 --pulse 0.0012",
        "-n 5000 -o '" + (Dir / "OUT").string() + "'",
    };
    for (const std::string& option : options) {
        fs::remove_all(Dir / "OUT");
        const Result exact = RunCommand("", "-q --engine exact " + option + " '" + model + "'");
        const auto exactFiles = Files(Dir / "OUT");
        fs::remove_all(Dir / "OUT");
        const Result fast = RunCommand("", "-q --engine=fast " + option + " '" + model + "'");
        const auto fastFiles = Files(Dir / "OUT");
        ASSERT_EQ(exact.Status, 0) << option << ": " << exact.Err;
        ASSERT_EQ(fast.Status, 0) << option << ": " << fast.Err;
        EXPECT_EQ(fast.Err, "") << option;
        EXPECT_FALSE(exact.Out.size() < 100 && exactFiles.empty()) << option << ": nothing recorded";
        EXPECT_EQ(exact.Out, fast.Out) << option;
        EXPECT_EQ(exactFiles, fastFiles) << option;
    }
}

TEST_F(BatchEngineTest, AModelWithoutAFastFormRunsExactWithANoticeAndBadNamesAreRefused) {
    // Every class has a fast form: the model that holds them all runs fast, without a notice.
    const std::string model = (fs::path(TALVERO_EXAMPLES) / "all_classes.tv").string();
    const Result exactAll = RunCommand("", "-q -n 2000 '" + model + "'");
    const Result fastAll = RunCommand("", "-q -n 2000 --engine fast '" + model + "'");
    ASSERT_EQ(fastAll.Status, 0) << fastAll.Err;
    EXPECT_EQ(fastAll.Err, "");
    EXPECT_EQ(exactAll.Out, fastAll.Out);

    // A constant whose reciprocal overflows a double keeps the model exact.
    const std::string beyond = Write("beyond.tv",
        "Model tour { Net n { Neuron a { IonUnit u { Synapse tiny { parameter K = 1e-310; } } } }\n"
        "Generator g { parameter Frequency = 30; }\nTimeWatch w { }\nlink g:n.a.u.tiny;\nlink n.a:w.input; }\n").string();
    const Result exact = RunCommand("", "-q -n 2000 '" + beyond + "'");
    const Result fast = RunCommand("", "-q -n 2000 --engine fast '" + beyond + "'");
    ASSERT_EQ(exact.Status, 0) << exact.Err;
    ASSERT_EQ(fast.Status, 0) << fast.Err;
    EXPECT_EQ(exact.Out, fast.Out);
    EXPECT_NE(fast.Err.find("the exact engine computes this model"), std::string::npos) << fast.Err;
    EXPECT_NE(fast.Err.find("tour.n.a.u.tiny"), std::string::npos) << "the notice names the object: " << fast.Err;

    const Result bad = RunCommand("", "--engine quick '" + model + "'");
    EXPECT_EQ(bad.Status, 2);
    EXPECT_NE(bad.Err.find("--engine needs exact or fast, not 'quick'"), std::string::npos) << bad.Err;
}

} // namespace
