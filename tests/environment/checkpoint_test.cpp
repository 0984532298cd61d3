// Checkpoints and resets: a model restored from a checkpoint, or reset, must compute exactly what
// the unbroken (or first) run computes; a checkpoint that does not fit is refused without a trace.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "LanguageTestSupport.h"
#include "bench/BenchModel.h"
#include "environment/NBuiltinClasses.h"
#include "environment/NCheckpoint.h"
#include "environment/NEnvironment.h"
#include "kernel/NClock.h"
#include "kernel/NFnvHash.h"
#include "kernel/NError.h"
#include "kernel/NModel.h"

namespace talvero {
namespace {

constexpr std::size_t kHeaderSize = 64;

std::string SourceRoot() {
    const char* root = std::getenv("TALVERO_SOURCE_DIR");
    return root ? root : ".";
}

// One loaded model, active while the object lives.
class Loaded {
public:
    Loaded(const test::TempDir& dir, const std::string& source) {
        RegisterBuiltinClasses(Environment);
        const std::string binary = dir.File("model.btv");
        Ok = Environment.Compile(source, binary) && Environment.LoadModel(binary);
        if (Ok) {
            SetActiveModel(Model());
            ResetActiveModel();
        }
    }
    ~Loaded() { SetActiveModel(nullptr); }
    NModel* Model() { return Environment.GetModel(); }
    void Run(int steps) {
        SetActiveModel(Model());
        for (int i = 0; i < steps; ++i) StepActiveModel();
    }
    // Everything a checkpoint holds but its header (which carries the time of writing).
    std::string Digest() {
        std::string all;
        SaveCheckpoint(*Model(), all);
        return all.substr(kHeaderSize);
    }
    std::string Checkpoint() {
        std::string all;
        SaveCheckpoint(*Model(), all);
        return all;
    }
    bool Ok = false;

private:
    NEnvironment Environment;
};

struct Case {
    const char* Name;
    std::string Source;  // a file of examples/ or generated text
    bool Generated;
};

std::vector<Case> Models() {
    return {
        {"all_classes", "all_classes.tv", false},
        {"eye_muscle", "eye_muscle.tv", false},
        {"reflex_arc", "reflex_arc.tv", false},
        {"shared_cells", "shared_cells.tv", false},
        {"user_classes", "user_classes.tv", false},
        {"generated", bench::GenerateBenchModel(200, 10), true},
    };
}

std::string SourceFile(const test::TempDir& dir, const Case& c) {
    return c.Generated ? dir.Write("generated.tv", c.Source) : SourceRoot() + "/examples/" + c.Source;
}

// Steps across the switching times of the examples' sources and watches (0.2 s, 0.6 s, ...).
constexpr int kFirst = 3700;
constexpr int kSecond = 6300;

TEST(CheckpointTest, AResetModelRerunsExactlyAsFromLoading) {
    for (const Case& c : Models()) {
        SCOPED_TRACE(c.Name);
        test::TempDir dir;
        const std::string source = SourceFile(dir, c);
        std::string fresh;
        {
            Loaded m(dir, source);
            ASSERT_TRUE(m.Ok) << GetLastErrorInfo();
            m.Run(kSecond);
            fresh = m.Digest();
        }
        Loaded m(dir, source);
        m.Run(kFirst);
        ResetActiveModel();
        m.Run(kSecond);
        EXPECT_TRUE(m.Digest() == fresh);
    }
}

TEST(CheckpointTest, AWatchReadsTheStartTimeSetAfterARunAndAReset) {
    test::TempDir dir;
    const std::string source = dir.Write("w.tv", R"(Model m {
  Generator g { parameter Frequency = 20; }
  TimeWatch w { parameter StartTime = 0.05; parameter WatchState = 0; parameter StopTime = 0.1; }
  link g:w.input;
})");
    Loaded m(dir, source);
    ASSERT_TRUE(m.Ok) << GetLastErrorInfo();
    NAbstractOutGate* w = m.Model()->GetOutGate("w");
    ASSERT_NE(w, nullptr);
    m.Run(1500);
    EXPECT_EQ(w->GetParameter("StartTime"), 0.05);
    EXPECT_EQ(w->GetParameter("StopTime"), 0.1);
    ResetActiveModel();
    EXPECT_EQ(w->GetParameter("StartTime"), 0.05);
    EXPECT_FALSE(w->GetWatchState());
}

TEST(CheckpointTest, ARestoredModelGoesOnAsTheUnbrokenRun) {
    for (const Case& c : Models()) {
        SCOPED_TRACE(c.Name);
        test::TempDir dir;
        const std::string source = SourceFile(dir, c);
        std::string checkpoint, unbroken;
        {
            Loaded m(dir, source);
            ASSERT_TRUE(m.Ok) << GetLastErrorInfo();
            m.Run(kFirst);
            checkpoint = m.Checkpoint();
            m.Run(kSecond);
            unbroken = m.Digest();
            // Into the same model, which has gone on meanwhile.
            ASSERT_TRUE(RestoreCheckpoint(*m.Model(), checkpoint.data(), checkpoint.size())) << GetLastErrorInfo();
            EXPECT_EQ(m.Model()->GetStepCount(), static_cast<std::uint64_t>(kFirst));
            EXPECT_EQ(GetCurrentTime(), m.Model()->GetCurrentTime());
            m.Run(kSecond);
            EXPECT_TRUE(m.Digest() == unbroken);
        }
        // Into a model just loaded.
        Loaded fresh(dir, source);
        ASSERT_TRUE(RestoreCheckpoint(*fresh.Model(), checkpoint.data(), checkpoint.size())) << GetLastErrorInfo();
        fresh.Run(kSecond);
        EXPECT_TRUE(fresh.Digest() == unbroken);
    }
}

// A binary model may name an object with a dot inside, which a lookup by name takes for a path.
TEST(CheckpointTest, ObjectsWhoseNamesHoldADotAreKeptToo) {
    test::TempDir dir;
    Loaded m(dir, dir.Write("generated.tv", bench::GenerateBenchModel(200, 10)));
    ASSERT_TRUE(m.Ok) << GetLastErrorInfo();
    std::vector<NBasicDescription*> objects;
    m.Model()->GetNet()->ForEachComponent([&objects](NBasicDescription* object) {
        objects.push_back(object);
        return true;
    });
    ASSERT_FALSE(objects.empty());
    for (NBasicDescription* object : objects) ASSERT_TRUE(object->SetName((std::string(object->GetName()) + ".x").c_str()));
    m.Run(kFirst);
    const std::string checkpoint = m.Checkpoint();
    m.Run(kSecond);
    const std::string unbroken = m.Digest();
    ASSERT_TRUE(RestoreCheckpoint(*m.Model(), checkpoint.data(), checkpoint.size())) << GetLastErrorInfo();
    m.Run(kSecond);
    EXPECT_TRUE(m.Digest() == unbroken);
}

// FNV-1a 64 as the checkpoint's checksum, so that a test can forge a well-formed file.
std::uint64_t Fnv(const char* data, std::size_t size) { return FnvHash(data, size); }

void Reseal(std::string& checkpoint) {
    const std::uint64_t sum = Fnv(checkpoint.data() + kHeaderSize, checkpoint.size() - kHeaderSize);
    std::memcpy(checkpoint.data() + 56, &sum, sizeof sum);
}

// Header, time step, pulse duration, object count, then the model's record: no parameters, no
// state, its step state's size and the model time.
constexpr std::size_t kModelTimeOffset = kHeaderSize + 8 + 10 + 8 + 4 + 4 + 4;

void BreakModelTime(std::string& c) {
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    std::memcpy(c.data() + kModelTimeOffset, &nan, 10);
    Reseal(c);
}

TEST(CheckpointTest, AForeignDamagedTruncatedOrNewerCheckpointIsRefusedAndChangesNothing) {
    test::TempDir dir;
    std::string foreign;
    {
        Loaded other(dir, SourceRoot() + "/examples/eye_muscle.tv");
        ASSERT_TRUE(other.Ok);
        other.Run(10);
        foreign = other.Checkpoint();
    }
    Loaded m(dir, SourceRoot() + "/examples/all_classes.tv");
    ASSERT_TRUE(m.Ok);
    m.Run(kFirst);
    const std::string good = m.Checkpoint();
    // The checkpoint's parameters now differ from the model's.
    ASSERT_TRUE(m.Model()->GetSource("pacer")->SetParameter("Frequency", 20));
    m.Run(500);
    const std::string before = m.Digest();

    auto edited = [&](auto edit) {
        std::string c = good;
        edit(c);
        return c;
    };
    const struct {
        const char* What;
        std::string Bytes;
        std::uint32_t Code;
    } cases[] = {
        {"another model", foreign, 602},
        {"empty", "", 601},
        {"not a checkpoint", "Model m { }", 601},
        {"header cut", good.substr(0, 40), 601},
        {"payload cut", good.substr(0, good.size() - 7), 601},
        {"a byte more", good + "x", 601},
        {"payload byte flipped", edited([](std::string& c) { c[c.size() / 2] ^= 0x10; }), 601},
        {"newer version", edited([](std::string& c) { c[8] = 2; }), 603},
        {"other byte order", edited([](std::string& c) { std::swap(c[12], c[15]); }), 601},
        // Well formed, but the model time is NaN: refused after the parameters were already set back,
        // which must then be undone too.
        {"model time not a number", edited(BreakModelTime), 604},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TakeLastError();
        EXPECT_FALSE(RestoreCheckpoint(*m.Model(), c.Bytes.data(), c.Bytes.size()));
        const std::uint32_t code = PeekLastErrorCode();
        EXPECT_EQ(code, c.Code) << GetLastErrorInfo();
        EXPECT_TRUE(m.Digest() == before);
    }
}

// A generator's frequency and the pulse duration limit each other, so going from one pair to the
// other takes one order and coming back the other; and undoing a refused checkpoint is such a way back.
TEST(CheckpointTest, ValuesThatLimitEachOtherAreRestoredInAnOrderThatFits) {
    test::TempDir dir;
    Loaded m(dir, SourceRoot() + "/examples/all_classes.tv");
    ASSERT_TRUE(m.Ok);
    NBasicDescription* pacer = m.Model()->GetSource("pacer");
    ASSERT_TRUE(m.Model()->SetPulseDuration(0.0001L) && pacer->SetParameter("Frequency", 4000));
    m.Run(300);
    const std::string fast = m.Checkpoint();
    ASSERT_TRUE(pacer->SetParameter("Frequency", 10) && m.Model()->SetPulseDuration(0.001L));
    m.Run(300);
    const std::string slow = m.Checkpoint();
    const std::string slowDigest = m.Digest();

    ASSERT_TRUE(RestoreCheckpoint(*m.Model(), fast.data(), fast.size())) << GetLastErrorInfo();
    EXPECT_EQ(pacer->GetParameter("Frequency"), 4000);
    ASSERT_TRUE(RestoreCheckpoint(*m.Model(), slow.data(), slow.size())) << GetLastErrorInfo();
    EXPECT_TRUE(m.Digest() == slowDigest);

    std::string broken = fast;
    BreakModelTime(broken);
    EXPECT_FALSE(RestoreCheckpoint(*m.Model(), broken.data(), broken.size()));
    EXPECT_EQ(PeekLastErrorCode(), 604u);
    EXPECT_TRUE(m.Digest() == slowDigest);
}

TEST(CheckpointTest, AFileCheckpointSurvivesTheRoundTripAndNamesItsTime) {
    test::TempDir dir;
    Loaded m(dir, SourceRoot() + "/examples/reflex_arc.tv");
    ASSERT_TRUE(m.Ok);
    m.Run(1234);
    const std::string path = dir.File("state.tvs");
    ASSERT_TRUE(WriteCheckpointFile(*m.Model(), path)) << GetLastErrorInfo();
    NCheckpointInfo info;
    ASSERT_TRUE(ReadCheckpointFileInfo(path, info));
    EXPECT_EQ(info.Steps, 1234u);
    EXPECT_EQ(info.ModelTime, static_cast<double>(m.Model()->GetCurrentTime()));
    EXPECT_EQ(info.Version, kCheckpointVersion);
    const std::string at = m.Digest();
    m.Run(100);
    ASSERT_TRUE(ReadCheckpointFile(*m.Model(), path)) << GetLastErrorInfo();
    EXPECT_TRUE(m.Digest() == at);
    EXPECT_FALSE(ReadCheckpointFile(*m.Model(), dir.File("missing.tvs")));
    EXPECT_NE(GetLastErrorInfo().find("missing.tvs"), std::string::npos);
}

} // namespace
} // namespace talvero
