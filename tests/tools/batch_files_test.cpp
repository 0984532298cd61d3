// talvero-batch and the files around it: targets that are not regular files, file-system failures,
// interrupted runs, repeated sweeps, and what a project or a sweep table may hold.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "BatchTestSupport.h"

namespace fs = std::filesystem;
using batch_test::Names;
using batch_test::ReadFile;
using batch_test::Result;

namespace {

const char* kModel =
    "Model m {\n"
    "Net net { Neuron cell { IonUnit u1 { Synapse s1 { } } } }\n"
    "TimeWatch w { }\n"
    "link net.cell:w.input;\n"
    "}\n";

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class BatchFilesTest : public batch_test::BatchFolderTest {
protected:
    void SetUp() override {
        BatchFolderTest::SetUp();
        Write("m.tv", kModel);
    }
    Result Run(const std::string& args, const std::string& shell = "", const std::string& out = "") {
        return RunCommand("cd '" + Dir.string() + "' && " + shell, args, out);
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(Dir / name, std::ios::binary) << text;
        return name;
    }
    fs::file_type Type(const std::string& name) { return fs::symlink_status(Dir / name).type(); }
};

TEST_F(BatchFilesTest, TargetsThatAreNotRegularFilesAreWrittenThroughOrRefusedNeverReplaced) {
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::mknod((Dir / "nd").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);  // a null device
    }
    fs::create_directories(Dir / "linked");
    fs::create_symlink("/dev/null", Dir / "linked" / "w.csv");
    fs::create_directories(Dir / "fifo");
    ASSERT_EQ(::mkfifo((Dir / "fifo" / "w.csv").c_str(), 0600), 0);
    // A socket's path must be short: made in /tmp and reached through a link.
    fs::create_directories(Dir / "socket");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = "/tmp/talvero-socket-" + std::to_string(::getpid());
    fs::remove(socketPath);
    fs::create_symlink(socketPath, Dir / "socket" / "w.csv");
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::create_directories(Dir / "folder" / "w.csv");

    const struct {
        const char* Args;
        const char* Target;
        fs::file_type Kept;
        int Status;
        const char* Message;
    } cases[] = {
        {"--graph -o nd m.tv", "nd", fs::file_type::character, 0, ""},
        {"-q -n 10 -o linked m.tv", "linked/w.csv", fs::file_type::symlink, 0, ""},
        {"-q -n 10 -o fifo m.tv", "fifo/w.csv", fs::file_type::fifo, 1, "fifo/w.csv: no process reads from this FIFO"},
        {"-q -n 10 -o socket m.tv", "socket/w.csv", fs::file_type::symlink, 1, "socket/w.csv: it is a socket, not a file"},
        {"-q -n 10 -o folder m.tv", "folder/w.csv", fs::file_type::directory, 1, "folder/w.csv: Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args);
        if (!root && std::string(c.Target) == "nd") continue;  // mknod needs root
        const Result r = Run(c.Args);
        EXPECT_EQ(r.Status, c.Status) << r.Err;
        EXPECT_TRUE(Contains(r.Err, c.Message)) << r.Err;
        EXPECT_EQ(Type(c.Target), c.Kept);
        if (c.Target != std::string("nd")) {
            EXPECT_EQ(Names(Dir / fs::path(c.Target).parent_path()).size(), 1u) << "nothing beside the target";
        }
    }
    EXPECT_EQ(fs::status("/dev/null").type(), fs::file_type::character);
    EXPECT_EQ(fs::status(socketPath).type(), fs::file_type::socket);
    ::close(sock);
    fs::remove(socketPath);

    // A FIFO somebody reads gets the file's content.
    std::string read;
    std::thread reader([&] { read = ReadFile(Dir / "fifo" / "w.csv"); });
    Result r;
    for (int attempt = 0; attempt < 50; ++attempt) {  // until the reader has opened its end
        r = Run("-q -n 2 -o fifo m.tv");
        if (r.Status == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    reader.join();
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(read, "x,y\n0,0\n1e-04,0\n");
    EXPECT_EQ(Type("fifo/w.csv"), fs::file_type::fifo);
}

TEST_F(BatchFilesTest, FileSystemFailuresNameThePathAndTheReasonWithStatusOne) {
    const std::string longName(300, 'x');
    fs::create_symlink("l2", Dir / "l1");
    fs::create_symlink("l1", Dir / "l2");
    Write("sweep.csv", "net.cell.u1.s1.K\n0.5\n");
    const struct {
        std::string Args;
        std::string Message;
    } cases[] = {
        {"-q -o " + longName + " m.tv", "cannot create the directory " + longName + ": File name too long"},
        {"-q -o l1 m.tv", "cannot create the directory l1: Too many levels of symbolic links"},
        {"-q -o l1/sub m.tv", "cannot create the directory l1/sub: Too many levels of symbolic links"},
        {"--graph -o l1 m.tv", "cannot write l1: Too many levels of symbolic links"},
        {"--graph -o " + longName + " m.tv", "cannot write " + longName + ": File name too long"},
        {"-q --sweep sweep.csv -o l1 m.tv", "cannot create the directory l1: Too many levels of symbolic links"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args);
        const Result r = Run(c.Args);
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Err, "talvero-batch: " + c.Message + "\n");
    }

    // Gate names too long for a file name get shortened names of their own.
    const std::string gate(240, 'g');
    Write("long.tv", "Model m { Net net { Neuron cell { } }\nTimeWatch " + gate + "a { }\nTimeWatch " + gate +
                         "b { }\nlink net.cell:" + gate + "a.input;\n}\n");
    const Result r = Run("-q -n 2 -o out long.tv");
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::vector<std::string> files = Names(Dir / "out");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_NE(files[0], files[1]);
    for (const std::string& file : files) {
        EXPECT_LE(file.size(), 255u - 18u) << "room for a temporary suffix";
        EXPECT_EQ(file.rfind(std::string(150, 'g'), 0), 0u) << file;
    }
    EXPECT_EQ(ReadFile(Dir / "out" / files[0]) + ReadFile(Dir / "out" / files[1]), "x,y\n0,0\n1e-04,0\nx,y\n0,0\n1e-04,0\n");
}

TEST_F(BatchFilesTest, AFailedWriteOfAnyOutputSaysSoWithTheSystemsReason) {
    Write("eye.tvp", "[System]\nModelFileName=missing.btv\n");
    for (const std::string args : {"--tree m.tv", "--check m.tv", "--classes", "--help", "--version", "--graph m.tv",
                                   "-q -n 5 m.tv"}) {
        SCOPED_TRACE(args);
        const Result r = Run(args, "", "/dev/full");
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Err, "talvero-batch: cannot write the standard output: No space left on device\n");
    }
    // The compiled model's temporary file: what it is and why it failed (its 1 KiB limit holds the
    // messages, not the model).
    std::string big = "Model m { Net net {\n";
    for (int i = 0; i < 100; ++i) big += "Neuron cell" + std::to_string(i) + " { IonUnit u1 { Synapse s1 { } } }\n";
    Write("big.tv", big + "} }\n");
    const Result r = Run("--check big.tv", "ulimit -f 1;");
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(Contains(r.Err, "cannot write the compiled model to a temporary file (")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, ": File too large); TMPDIR names the folder it goes to")) << r.Err;
}

TEST_F(BatchFilesTest, AnInterruptedRunLeavesItsCompletedFilesAndNoTemporaries) {
    Write("two.csv", "net.cell.u1.s1.K\n0.5\n0.6\n");
    const struct {
        int Signal;
        bool Sweep;
    } cases[] = {{SIGTERM, false}, {SIGINT, false}, {SIGTERM, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Signal) + (c.Sweep ? " sweep" : ""));
        fs::remove_all(Dir / "out");
        fs::create_directories(Dir / "out");
        Write("out/w.csv", "old");
        const pid_t child = ::fork();
        if (child == 0) {
            ::setpgid(0, 0);  // a foreground job of its own: SIGINT is not ignored there
            ::signal(SIGINT, SIG_DFL);
            ::chdir(Dir.c_str());
            if (c.Sweep)
                ::execl(TALVERO_BATCH, TALVERO_BATCH, "-q", "-n", "100000000000", "-j", "2", "--sweep", "two.csv", "-o",
                        "out", "m.tv", static_cast<char*>(nullptr));
            else
                ::execl(TALVERO_BATCH, TALVERO_BATCH, "-q", "-n", "100000000000", "-o", "out", "m.tv",
                        static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Until the (last) run has its temporary file.
        auto temporaries = [&] {
            std::error_code ec;
            int count = 0;
            for (fs::recursive_directory_iterator it(Dir / "out", ec), end; !ec && it != end; it.increment(ec))
                count += it->path().filename().string().find(".csv.~") != std::string::npos;
            return count;
        };
        for (int i = 0; i < 500 && temporaries() < (c.Sweep ? 2 : 1); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(temporaries(), c.Sweep ? 2 : 1);
        ::kill(child, c.Signal);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.Signal);
        for (int i = 0; i < 200 && temporaries() > 0; ++i)  // a sweep's runs end on their own
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(temporaries(), 0);
        EXPECT_EQ(ReadFile(Dir / "out" / "w.csv"), "old");
    }

    // A killed run's temporary goes at the next run (the process is gone); a live writer's stays.
    fs::remove_all(Dir / "out");
    fs::create_directories(Dir / "out");
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    char stale[64];
    std::snprintf(stale, sizeof stale, "out/w.csv.~%08x0badcafe", static_cast<unsigned>(gone));
    char live[64];
    std::snprintf(live, sizeof live, "out/w.csv.~%08x0badcafe", static_cast<unsigned>(::getpid()));
    Write(stale, "half");
    Write(live, "half");
    ASSERT_EQ(Run("-q -n 2 -o out m.tv").Status, 0);
    EXPECT_EQ(Names(Dir / "out"), (std::vector<std::string>{"w.csv", fs::path(live).filename().string()}));
}

TEST_F(BatchFilesTest, ASweepFolderHoldsOnlyTheLatestSweepAndItsIndexListsExactlyThat) {
    Write("three.csv", "net.cell.u1.s1.K\n0.5\n0.6\n0.7\n");
    Write("two.csv", "net.cell.u1.s1.K,net.cell.u1.s1.Nope\n0.5,1\n0.6,1\n");
    ASSERT_EQ(Run("-q --sweep three.csv -o sw m.tv").Status, 0);
    Write("sw/0003/notes.txt", "mine");
    Write("sw/0002/old.csv", "a gate of an earlier model");

    const Result r = Run("-q --sweep two.csv -o sw m.tv");
    EXPECT_EQ(r.Status, 1);  // every run fails: Nope is no parameter
    EXPECT_EQ(Names(Dir / "sw"), (std::vector<std::string>{"0003", "index.csv"})) << "failed runs have no folder";
    EXPECT_TRUE(Contains(r.Err, "0003 is not a run of this sweep but holds files no run wrote")) << r.Err;
    EXPECT_EQ(Names(Dir / "sw" / "0003"), std::vector<std::string>{"notes.txt"});
    EXPECT_EQ(ReadFile(Dir / "sw" / "index.csv"),
              "run,net.cell.u1.s1.K,net.cell.u1.s1.Nope,status\n0001,0.5,1,1\n0002,0.6,1,1\n");
}

TEST_F(BatchFilesTest, SweepTablesFromSpreadsheetsReadAndAmbiguousOnesAreRefused) {
    const struct {
        const char* Text;
        int Status;
        const char* Reason;
    } cases[] = {
        {"\xEF\xBB\xBFnet.cell.u1.s1.K\n0.5\n", 0, ""},
        {"\"net.cell.u1.s1.K\",\"net.cell.u1.R\"\r\n\"0.5\", 1\r\n", 0, ""},
        {"net.cell.u1.s1.K,net.cell.u1.s1.K\n0.5,0.6\n", 2, ":1: the column net.cell.u1.s1.K is given twice"},
        {"\"net.cell.u1.s1.K\n0.5\n", 2, ":1: a quoted field is not closed"},
        {"\"net.cell.u1.s1.K\"x\n0.5\n", 2, ":1: a quoted field is not closed, or text follows its closing quote"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        Write("t.csv", c.Text);
        fs::remove_all(Dir / "sw");
        const Result r = Run("-q --sweep t.csv -o sw m.tv");
        EXPECT_EQ(r.Status, c.Status) << r.Err;
        EXPECT_TRUE(Contains(r.Err, c.Reason)) << r.Err;
        if (c.Status == 0) {
            EXPECT_TRUE(fs::exists(Dir / "sw" / "0001" / "w.csv"));
        }
    }
}

TEST_F(BatchFilesTest, AProjectsTimeStepThatIsNoStepIsRefusedNamingFileKeyAndValue) {
    Write("w.btv", "checksum\n2 m Model\n8\n2 w TimeWatch\n8\n9\n9");
    for (const std::string value : {"nan", "inf", "-1", "0", "abc", "0.001 junk", ""}) {
        SCOPED_TRACE(value);
        Write("p.tvp", "[System]\nModelFileName=w.btv\n[Computation]\nTimeStep=" + value + "\n");
        const Result r = Run("-q -n 1 p.tvp");
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Err, "talvero-batch: the project file p.tvp: [Computation] TimeStep=" + value +
                             " is not a time step (a positive number of seconds)\n");
    }
    // --dt has the last word; a good stored step runs.
    EXPECT_EQ(Run("-q -n 2 --dt 0.001 p.tvp").Out, "gate,x,y\nw,0,0\nw,0.001,0\n");
    Write("p.tvp", "[System]\nModelFileName=w.btv\n[Computation]\nTimeStep=0,002\n");
    EXPECT_EQ(Run("-q -n 2 p.tvp").Out, "gate,x,y\nw,0,0\nw,0.002,0\n");
}

TEST_F(BatchFilesTest, NamesWithDotsRepeatedWatchesAndAWatchCalledLegend) {
    Write("d.btv", "checksum\n2 m Model\n8\n2 n Net\n8\n2 a.b Neuron\n8\n9\n9\n2 w.x TimeWatch\n8\n9\n9");
    const Result tree = Run("--tree d.btv");
    ASSERT_EQ(tree.Status, 0) << tree.Err;
    EXPECT_TRUE(Contains(tree.Out, "\nn.a.b\n")) << tree.Out;
    EXPECT_TRUE(Contains(tree.Out, "\nw.x WatchState=")) << tree.Out;

    const Result twice = Run("-q -n 1 --watch w --watch w m.tv");
    EXPECT_EQ(twice.Out, "gate,x,y\nw,0,0\n");

    Write("legend.tv", "Model m { Net net { Neuron cell { } }\nTimeWatch legend { }\nlink net.cell:legend.input;\n}\n");
    const Result graph = Run("--graph legend.tv");
    ASSERT_EQ(graph.Status, 0) << graph.Err;
    // The watch is a node of its own beside the legend's one node, and joined by its link.
    EXPECT_TRUE(Contains(graph.Out, "\"(legend)\" [id=\"legend\"")) << graph.Out;
    EXPECT_TRUE(Contains(graph.Out, "\"legend\" [")) << graph.Out;
    EXPECT_TRUE(Contains(graph.Out, "-> \"legend.input\" [color")) << graph.Out;
}

TEST_F(BatchFilesTest, PicturesOfDiagramsTooLargeToLayOutAreRefusedAtOnceAndTextStillWorks) {
    std::string ring = "Model m { Net net {\n";
    for (int i = 0; i < 1300; ++i) ring += "Neuron c" + std::to_string(i) + " { IonUnit u { Synapse s { } } }\n";
    for (int i = 0; i < 1300; ++i) ring += "link c" + std::to_string(i) + ":c" + std::to_string((i + 1) % 1300) + ".u.s;\n";
    Write("ring.tv", ring + "} }\n");
    for (const std::string format : {"svg", "png"}) {
        SCOPED_TRACE(format);
        const Result r = Run("--graph --graph-format " + format + " -o ring." + format + " ring.tv");
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Err, "talvero-batch: the model is too large to be drawn as " + format +
                             " (5201 objects and 1300 links; at most 5000 together); --graph-format dot writes "
                             "its diagram as text\n");
        EXPECT_FALSE(fs::exists(Dir / ("ring." + format)));
    }
    EXPECT_EQ(Run("--graph --graph-format dot -o ring.dot ring.tv").Status, 0);
}

} // namespace
