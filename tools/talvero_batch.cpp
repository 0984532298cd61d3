// talvero-batch: runs a model without windows and writes what its out gates recorded as CSV.

#include <malloc.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "environment/NAtomicFile.h"
#include "environment/NEnvironment.h"
#include "tools/BatchClasses.h"
#include "tools/BatchOptions.h"
#include "tools/BatchOutput.h"
#include "tools/BatchRun.h"
#include "tools/BatchSweep.h"

#ifndef TALVERO_VERSION
#define TALVERO_VERSION "0.1.0"
#endif

namespace {

// An interrupted run leaves the outputs it completed, and no half-written temporaries beside them.
extern "C" void EndOnSignal(int signal) {
    talvero::RemoveAtomicTemporaries();
    talvero::batch::ForwardSignalToSweepRuns(signal);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// A large model is some hundred thousand small objects. On pages of 2 MB the heap they fill takes a
// tenth of the page faults to build (N = 10,000: 2,000 against 22,600). The heap grows by a large
// reserve at a time, so that the first growths are all on such pages; only address space is
// reserved, memory comes as it is used. The reserve holds a model of a gigabyte: growth past it is
// on small pages again (with 256 MB, the 50,000-neuron net's last 30 MB took 5,000 faults).
void PrepareHeap() {
    constexpr std::size_t kReserve = std::size_t{1} << 30;
    constexpr std::size_t kLargest = std::size_t{32} << 20;  // the most malloc leaves to the heap
    constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
    if (mallopt(M_TOP_PAD, static_cast<int>(kReserve)) == 0 || mallopt(M_MMAP_THRESHOLD, static_cast<int>(kLargest)) == 0)
        return;
    // Makes the heap grow now, by the reserve, and gives the whole of it the large pages.
    void* probe = std::malloc(kLargest / 2);
    if (!probe) return;
    const auto top = reinterpret_cast<std::uintptr_t>(sbrk(0));
    const auto at = reinterpret_cast<std::uintptr_t>(probe);
    const std::uintptr_t begin = (at + kLargePage - 1) & ~(kLargePage - 1);
    // Only where the heap is the system's own (another allocator may have put the probe elsewhere).
    if (at < top && top - at <= mallinfo2().arena && begin < top)
        madvise(reinterpret_cast<void*>(begin), top - begin, MADV_HUGEPAGE);
    std::free(probe);
}

int Run(const talvero::batch::BatchOptions& options, std::ostream& out) {
    using namespace talvero::batch;
    if (options.Help) {
        out << BatchUsage() << "\n\n"
                  << "Runs a model (.tv description, .btv binary model, or .tvp project) without windows\n"
                     "and writes every point its out gates recorded as CSV (gate,x,y).\n\n"
                     "  -n, --steps N        computation steps (default 10000)\n"
                     "  -t, --time S         run S seconds of model time instead\n"
                     "      --dt S           time step in seconds (default: the project's, else 0.0001)\n"
                     "      --pulse S        pulse duration in seconds (default 0.001)\n"
                     "      --set PATH=V     set a parameter before the run, e.g. net1.cellA.u1.s1.K=0.7\n"
                     "      --watch NAME     output only this out gate (repeatable)\n"
                     "  -o, --out DIR        write DIR/NAME.csv per out gate instead of standard output\n"
                     "  -o, --out FILE.h5    write one HDF5 file instead: /gates/NAME/x and y per out gate,\n"
                     "                       the run's settings as attributes of the root\n"
                     "      --tree           print the model's object tree with parameters and exit\n"
                     "      --check          compile and load only, print OK\n"
                     "      --sweep FILE     one run per row of FILE (CSV: a header of parameter paths,\n"
                     "                       then values); DIR/NNNN/ per run and DIR/index.csv\n"
                     "                       (with -o D.h5: D/NNNN.h5 per run and D/index.csv)\n"
                     "  -j, --jobs N         sweep runs at once (default 1)\n"
                     "      --threads N      threads for one run's step, at most (default 0: the machine's\n"
                     "                       cores); small models use fewer; the results are the same\n"
                     "      --graph          print the model's objects and links as Graphviz DOT and exit\n"
                     "      --graph-format F dot, svg or png (rendered through Graphviz); with -o FILE\n"
                     "      --classes        print every class of the language (and MODEL's own) and exit\n"
                     "  -q, --quiet          no progress display\n"
                     "  -h, --help, --version\n\n"
                     "Exit status: 0 success; 1 a model, --set, file or memory error; 2 a wrong command line;\n"
                     "3 the run went through but an out gate recorded a value that is not finite (the\n"
                     "output is complete; standard error names the first gate and model time).\n"
                     "With --out, gate names become file names with unsafe characters written as %XX;\n"
                     "a name too long for a file name is cut and ends in ~ and a hash of the whole name.\n"
                     "On SIGINT or SIGTERM the files completed so far stay and no temporary file is left.\n";
        return kExitOk;
    }
    if (options.Version) {
        out << "talvero-batch " << TALVERO_VERSION << "\n";
        return kExitOk;
    }
    if (options.Classes) return PrintClasses(options.ModelPath, out, std::cerr);
    if (!options.SweepPath.empty()) return RunSweep(options, std::cerr, isatty(STDERR_FILENO) != 0);
    // The process ends with the run: the system takes a large model back at once, where its
    // destructors would take tens of milliseconds more. Kept reachable, it is no leak.
    static auto* const environment = new talvero::NEnvironment;
    return RunBatch(options, out, std::cerr, isatty(STDERR_FILENO) != 0, *environment);
}

} // namespace

int main(int argc, char** argv) {
    using namespace talvero::batch;
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    BatchOptions options;
    std::string error;
    if (!ParseBatchOptions(args, options, error)) {
        std::cerr << "talvero-batch: " << error << "\n" << BatchUsage() << "\n";
        return kExitUsage;
    }

    // A file-size limit then fails the write with a reason instead of killing the process mid-file.
    ::signal(SIGXFSZ, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = EndOnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // A signal ignored by whoever started us (nohup, a shell's background job) stays ignored.
        if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        ::sigaction(signal, &action, nullptr);
    }

    PrepareHeap();
    FdOutputBuffer buffer(STDOUT_FILENO);
    std::ostream out(&buffer);
    int code = kExitModel;
    try {
        code = Run(options, out);
    } catch (const std::bad_alloc&) {
        std::cerr << "talvero-batch: out of memory" << std::endl;
        return kExitModel;
    }
    out.flush();
    // Output that never arrived is a failure, whatever the command was.
    if (buffer.GetError() != 0 && code != kExitModel) {
        std::cerr << "talvero-batch: cannot write the standard output: " << std::strerror(buffer.GetError()) << "\n";
        return kExitModel;
    }
    return code;
}
