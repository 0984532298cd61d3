// talvero-batch -o FILE.h5, read back through the HDF5 library as another program would.

#include <gtest/gtest.h>
#include <hdf5.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "BatchTestSupport.h"
#include "kernel/Cp1251.h"
#include "environment/NEnvironment.h"
#include "kernel/NClock.h"
#include "modeler/VModeler.h"
#include "tests/modeler/FakeUi.h"
#include "tests/modeler/FakeWatchWindow.h"
#include "tests/support/TestModels.h"

namespace fs = std::filesystem;
using batch_test::Names;
using batch_test::ReadFile;
using batch_test::Result;
using talvero::test_models::kArc;
using talvero::test_models::kDivergingEyeMuscle;

namespace {


// Closes a file opened for reading at the end of a scope.
struct H5File {
    explicit H5File(const fs::path& path) : Id(H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT)) {}
    ~H5File() {
        if (Id >= 0) H5Fclose(Id);
    }
    hid_t Id;
};

std::vector<double> ReadSeries(hid_t file, const std::string& path) {
    std::vector<double> values;
    const hid_t dataset = H5Dopen2(file, path.c_str(), H5P_DEFAULT);
    if (dataset < 0) return values;
    const hid_t space = H5Dget_space(dataset);
    const hssize_t count = H5Sget_simple_extent_npoints(space);
    values.resize(static_cast<std::size_t>(std::max<hssize_t>(count, 0)));
    if (count > 0) H5Dread(dataset, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data());
    H5Sclose(space);
    H5Dclose(dataset);
    return values;
}

double ReadNumber(hid_t file, const std::string& object, const std::string& name) {
    double value = std::nan("");
    const hid_t attribute = H5Aopen_by_name(file, object.c_str(), name.c_str(), H5P_DEFAULT, H5P_DEFAULT);
    if (attribute < 0) return value;
    H5Aread(attribute, H5T_NATIVE_DOUBLE, &value);
    H5Aclose(attribute);
    return value;
}

std::string ReadText(hid_t file, const std::string& object, const std::string& name) {
    std::string text = "<missing>";
    const hid_t attribute = H5Aopen_by_name(file, object.c_str(), name.c_str(), H5P_DEFAULT, H5P_DEFAULT);
    if (attribute < 0) return text;
    const hid_t type = H5Aget_type(attribute);
    char* value = nullptr;
    if (H5Tis_variable_str(type) > 0 && H5Aread(attribute, type, &value) >= 0 && value) {
        text = value;
        H5free_memory(value);
    }
    H5Tclose(type);
    H5Aclose(attribute);
    return text;
}

// The bit patterns of a CSV file's x and y columns; every NaN counts as one pattern.
std::uint64_t Bits(double value) {
    if (std::isnan(value)) return 0x7ff8000000000000ull;
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void CsvColumns(const std::string& csv, std::vector<std::uint64_t>& x, std::vector<std::uint64_t>& y) {
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);  // header
    while (std::getline(lines, line)) {
        const auto comma = line.find(',');
        x.push_back(Bits(std::strtod(line.substr(0, comma).c_str(), nullptr)));
        y.push_back(Bits(std::strtod(line.substr(comma + 1).c_str(), nullptr)));
    }
}

std::vector<std::uint64_t> AllBits(const std::vector<double>& values) {
    std::vector<std::uint64_t> bits;
    for (double v : values) bits.push_back(Bits(v));
    return bits;
}

class BatchHdf5Test : public batch_test::BatchFolderTest {
protected:
    Result Run(const std::string& args, const std::string& shell = "") {
        return RunCommand("cd '" + Dir.string() + "' && " + shell, args);
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(Dir / name, std::ios::binary) << text;
        return name;
    }
};

TEST_F(BatchHdf5Test, SeriesEqualTheCsvFilesBitForBit) {
    struct Case {
        const char* Model;
        const char* Steps;
        int Status;  // 3: a value that is not finite, which both outputs must keep as well
        std::vector<std::string> Gates;
    };
    // 12000 steps span several write-aways; "late" clears its data once when it starts recording.
    const std::vector<Case> cases = {
        {kArc, "12000", 0, {"late", "cell", "length", "rate"}},
        {kDivergingEyeMuscle, "3000", 3, {"length"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Model);
        const std::string model = Write("model.tv", c.Model);
        fs::remove_all(Dir / "out");
        const Result csv = Run(std::string("-q -n ") + c.Steps + " -o out " + model);
        ASSERT_EQ(csv.Status, c.Status) << csv.Err;
        const Result h5 = Run(std::string("-q -n ") + c.Steps + " -o out.h5 " + model);
        ASSERT_EQ(h5.Status, c.Status) << h5.Err;
        EXPECT_EQ(h5.Err, csv.Err);
        const H5File file(Dir / "out.h5");
        ASSERT_GE(file.Id, 0);
        for (const std::string& gate : c.Gates) {
            SCOPED_TRACE(gate);
            std::vector<std::uint64_t> x, y;
            CsvColumns(ReadFile(Dir / "out" / (gate + ".csv")), x, y);
            EXPECT_GT(x.size(), 100u);
            EXPECT_EQ(AllBits(ReadSeries(file.Id, "/gates/" + gate + "/x")), x);
            EXPECT_EQ(AllBits(ReadSeries(file.Id, "/gates/" + gate + "/y")), y);
        }
    }
}

TEST_F(BatchHdf5Test, AttributesDescribeTheRunAndEverySweepRunHasItsFile) {
    const std::string model = Write("arc.tv", kArc);
    const Result r = Run("-q -n 500 --dt 0.0002 --pulse 0.0005 --set g.Frequency=33 --watch rate --watch cell -o run.h5 " +
                         model);
    ASSERT_EQ(r.Status, 0) << r.Err;
    {
        const H5File file(Dir / "run.h5");
        ASSERT_GE(file.Id, 0);
        EXPECT_EQ(ReadText(file.Id, "/", "model"), "arc.tv");
        EXPECT_EQ(ReadText(file.Id, "/", "version"), TALVERO_VERSION_TEXT);
        EXPECT_EQ(ReadNumber(file.Id, "/", "time_step"), 0.0002);
        EXPECT_EQ(ReadNumber(file.Id, "/", "pulse_duration"), 0.0005);
        EXPECT_EQ(ReadNumber(file.Id, "/", "steps"), 500);
        EXPECT_EQ(ReadNumber(file.Id, "/", "set:g.Frequency"), 33);
        EXPECT_EQ(ReadNumber(file.Id, "/gates/rate", "watch_type"), 2);
        EXPECT_EQ(ReadNumber(file.Id, "/gates/cell", "watch_type"), 1);
        EXPECT_EQ(ReadText(file.Id, "/gates/cell", "name"), "cell");
        EXPECT_LT(H5Lexists(file.Id, "/gates/length", H5P_DEFAULT), 1);  // not watched
    }

    Write("rows.csv", "g.Frequency\n20\n60\n");
    const Result sweep = Run("-q -n 500 --sweep rows.csv -o study.h5 " + model);
    ASSERT_EQ(sweep.Status, 0) << sweep.Err;
    EXPECT_EQ(Names(Dir / "study"), (std::vector<std::string>{"0001.h5", "0002.h5", "index.csv"}));
    for (const auto& [name, frequency] : {std::pair{"0001.h5", 20.0}, std::pair{"0002.h5", 60.0}}) {
        const H5File file(Dir / "study" / name);
        ASSERT_GE(file.Id, 0) << name;
        EXPECT_EQ(ReadNumber(file.Id, "/", "set:g.Frequency"), frequency) << name;
    }
}

TEST_F(BatchHdf5Test, FailedWritesAreReportedAndKeepWhatWasThere) {
    const std::string model = Write("eye.tv", kArc);
    fs::create_directories(Dir / "out");
    Write("out/old.h5", "old");
    fs::create_directories(Dir / "out" / "folder.h5");
    ASSERT_EQ(::mkfifo((Dir / "out" / "pipe.h5").c_str(), 0600), 0);
    struct Case {
        const char* Target;
        const char* Shell;
        const char* Message;
    };
    const std::vector<Case> cases = {
        // Too small for the file's first blocks, and then for its last ones: the gate being
        // written is named.
        {"out/old.h5", "ulimit -f 1;", "cannot write out/old.h5: gate length: File too large"},
        {"out/old.h5", "ulimit -f 300;", "cannot write out/old.h5: gate length: File too large"},
        {"out/folder.h5", "", "cannot write out/folder.h5: not a regular file"},
        {"out/pipe.h5", "", "cannot write out/pipe.h5: not a regular file"},
        {"out/missing/new.h5", "", "cannot write out/missing/new.h5: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Target + std::string(" ") + c.Shell);
        const Result r = Run(std::string("-q -n 12000 -o ") + c.Target + " " + model, c.Shell);
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Err, std::string("talvero-batch: ") + c.Message + "\n");
        EXPECT_EQ(ReadFile(Dir / "out" / "old.h5"), "old");
        EXPECT_EQ(Names(Dir / "out"), (std::vector<std::string>{"folder.h5", "old.h5", "pipe.h5"}));
    }
}

// The desktop program's results file: the batch runner's file for the same model and steps, bit
// for bit, whether a window reads a gate (and the gate drops what was read) or none does (and the
// gate keeps only its newest points), and put in place by quitting while computing. A file that
// cannot be written is said, and computing goes on.
TEST_F(BatchHdf5Test, DesktopRecordingEqualsTheBatchRunnersFile) {
    using namespace talvero;
    using namespace talvero::testing;
    const std::string model = Write("model.tv", kArc);
    const int ticks = 100;  // of 1000 steps: past the newest points an unread gate keeps
    const Result batch = Run("-q -n " + std::to_string(ticks * 1000) + " -o batch.h5 " + model);
    ASSERT_EQ(batch.Status, 0) << batch.Err;

    FakeUi ui;
    ui.WatchWindows.Make = [] { return std::make_unique<FakeWatchWindow>(); };
    auto modeler = std::make_unique<VModeler>(ui.Interface());
    const std::string dir = (Dir / "prj").string() + "/";
    ui.Wizard.Script.push_back(FakeNewProjectWizard::Result{dir + "P.tvp", "P", {}, (Dir / model).string(), true});
    modeler->CreateProject();
    ASSERT_TRUE(modeler->GetEnvironment()->IsModelLoaded());
    {
        const H5File file(Dir / "batch.h5");
        SetTimeStep(ReadNumber(file.Id, "/", "time_step"));
    }
    ui.ComputationOptions.Script.push_back([](VComputationOptionsFields& f) { f.RecordToFile = true; });
    modeler->EditComputationOptions();
    ASSERT_TRUE(modeler->IsRecordingToFile());
    modeler->SetAsFastAsPossible(false);
    modeler->SetPace(0);
    modeler->SetStepsPerTick(1000);
    ASSERT_TRUE(modeler->AddWatchWindow("0"));
    ASSERT_TRUE(static_cast<FakeWatchWindow*>(modeler->GetWatchWindow("0"))
                    ->Frame.AddObservation("cell", OutGateWatchData("cell", 0, kChartAutoColor)));
    modeler->StartComputation();
    for (int i = 0; i < ticks; ++i) modeler->ComputeTick();
    EXPECT_EQ(Cp1251ToUtf8(modeler->GetRecordingStatus()), "запись: P.h5");
    ASSERT_TRUE(modeler->SaveProjectFile());  // the choice is the project's
    modeler.reset();

    const H5File desktop(Dir / "prj" / "P.h5");
    const H5File reference(Dir / "batch.h5");
    ASSERT_GE(desktop.Id, 0);
    for (const char* attribute : {"time_step", "pulse_duration", "steps"})
        EXPECT_EQ(ReadNumber(desktop.Id, "/", attribute), ReadNumber(reference.Id, "/", attribute)) << attribute;
    for (const std::string gate : {"late", "cell", "length", "rate"}) {
        SCOPED_TRACE(gate);
        EXPECT_EQ(ReadNumber(desktop.Id, "/gates/" + gate, "watch_type"),
                  ReadNumber(reference.Id, "/gates/" + gate, "watch_type"));
        for (const std::string series : {"/x", "/y"}) {
            const auto points = AllBits(ReadSeries(desktop.Id, "/gates/" + gate + series));
            EXPECT_GT(points.size(), 100u);
            EXPECT_EQ(points, AllBits(ReadSeries(reference.Id, "/gates/" + gate + series)));
        }
    }

    // A folder in the file's place stops the writing, not the run.
    fs::remove(Dir / "prj" / "P.h5");
    fs::create_directories(Dir / "prj" / "P.h5");
    modeler = std::make_unique<VModeler>(ui.Interface());
    ASSERT_TRUE(modeler->LoadProject(dir, "P.tvp"));
    EXPECT_TRUE(modeler->IsRecordingToFile());
    modeler->StartComputation();
    modeler->ComputeTick();
    EXPECT_TRUE(modeler->IsRunning());
    EXPECT_TRUE(modeler->HasRecordingFailed());
    EXPECT_NE(Cp1251ToUtf8(modeler->GetRecordingStatus()).find("не записан"), std::string::npos)
        << Cp1251ToUtf8(modeler->GetRecordingStatus());
}

} // namespace
