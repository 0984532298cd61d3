// Checkpoints on the command line: a run restored in a new process goes on exactly as the run
// that never stopped; a checkpoint that does not fit is refused; warm-started sweeps refuse a grid
// that would undo the warm-up.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "BatchTestSupport.h"

namespace {

namespace fs = std::filesystem;
using batch_test::ReadFile;
using batch_test::Result;

class BatchStateTest : public batch_test::BatchFolderTest {
protected:
    Result Run(const std::string& args) {
        return RunCommand("cd '" + std::string(TALVERO_EXAMPLES) + "' &&", "-q " + args);
    }
    std::string In(const std::string& name) const { return "'" + (Dir / name).string() + "'"; }
};

TEST_F(BatchStateTest, ARunRestoredInAnotherProcessPrintsWhatTheUnbrokenRunPrints) {
    for (const char* model : {"all_classes.tv", "reflex_arc.tv", "eye_muscle.tv", "reflex_arc/reflex_arc.tvp"}) {
        SCOPED_TRACE(model);
        const Result whole = Run(std::string("-n 7000 ") + model);
        ASSERT_EQ(whole.Status, 0) << whole.Err;
        const Result first = Run("-n 2600 --save-state " + In("s.tvs") + " " + model);
        ASSERT_EQ(first.Status, 0) << first.Err;
        const Result rest = Run("-n 4400 --load-state " + In("s.tvs") + " " + model);
        ASSERT_EQ(rest.Status, 0) << rest.Err;
        EXPECT_TRUE(rest.Out == whole.Out);
    }
}

TEST_F(BatchStateTest, ACheckpointThatDoesNotFitIsRefusedWithItsReason) {
    ASSERT_EQ(Run("-n 10 --save-state " + In("eye.tvs") + " eye_muscle.tv").Status, 0);
    ASSERT_EQ(Run("-n 10 --save-state " + In("arc.tvs") + " reflex_arc.tv").Status, 0);
    const std::string good = ReadFile(Dir / "arc.tvs");
    std::ofstream(Dir / "cut.tvs", std::ios::binary) << good.substr(0, good.size() / 2);
    const struct {
        const char* File;
        const char* Says;
    } cases[] = {
        {"eye.tvs", "другой модели"},
        {"cut.tvs", "повреждён"},
        {"missing.tvs", "missing.tvs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        const Result r = Run("-n 10 --load-state " + In(c.File) + " reflex_arc.tv");
        EXPECT_EQ(r.Status, 1);
        EXPECT_NE(r.Err.find(c.Says), std::string::npos) << r.Err;
        EXPECT_TRUE(r.Out.empty());
    }
}

TEST_F(BatchStateTest, AWarmSweepRefusesAColumnThatWouldResetWhatTheWarmUpComputed) {
    std::ofstream(Dir / "grid.csv") << "drive.Frequency\n20\n30\n";
    const Result r = Run("--sweep " + In("grid.csv") + " -o " + In("out") + " --warmup 0.1 -t 0.1 reflex_arc.tv");
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("drive.Frequency cannot vary after a warm-up"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(Dir / "out" / "0001"));

    std::ofstream(Dir / "ok.csv") << "arc.motor.inh.drive.K\n0.5\n0.7\n";
    const Result ok = Run("--sweep " + In("ok.csv") + " -o " + In("ok") + " --warmup 0.1 -t 0.1 reflex_arc.tv");
    EXPECT_EQ(ok.Status, 0) << ok.Err;
    EXPECT_TRUE(fs::exists(Dir / "ok" / "0002" / "motorPulses.csv"));
}

} // namespace
