#include "tools/BatchSweep.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <thread>

#include "environment/NAtomicFile.h"
#include "environment/NCheckpoint.h"
#include "environment/NEnvironment.h"
#include "kernel/Cp1251.h"
#include "kernel/NClock.h"
#include "kernel/NError.h"
#include "kernel/NModel.h"
#include "kernel/NThreadPool.h"
#include "modeler/VIniFile.h"
#include "tools/BatchModel.h"
#include "tools/BatchOutput.h"
#include "tools/BatchHdf5.h"
#include "tools/BatchRun.h"

namespace talvero::batch {
namespace {

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

namespace fs = std::filesystem;

// The runs a signal to the sweep reaches too; only the sweep's own process forwards it.
constexpr int kTrackedRuns = 4096;
std::atomic<pid_t> RunningPids[kTrackedRuns];
std::atomic<pid_t> SweepProcess{0};

void TrackRun(pid_t pid, bool running) {
    for (auto& slot : RunningPids) {
        pid_t expected = running ? 0 : pid;
        if (slot.compare_exchange_strong(expected, running ? pid : 0)) return;
    }
}

// The fields of one CSV line: quoted fields may hold commas and doubled quotes. False when a quote
// is left open or text follows a closing quote.
bool Fields(const std::string& line, std::vector<std::string>& fields) {
    fields.clear();
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        std::string field;
        if (i < line.size() && line[i] == '"') {
            for (++i;; ++i) {
                if (i >= line.size()) return false;
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        field += '"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i];
            }
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
            if (i < line.size() && line[i] != ',') return false;
        } else {
            const auto comma = line.find(',', i);
            field = Trim(line.substr(i, comma == std::string::npos ? std::string::npos : comma - i));
            i = comma == std::string::npos ? line.size() : comma;
        }
        fields.push_back(std::move(field));
        if (i >= line.size()) return true;
        ++i;  // the comma
    }
}

bool IsRunFolderName(const std::string& name) {
    return name.size() >= 4 && std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); });
}

// What a run writes into its folder: gate files and their temporaries.
bool IsRunOutput(const fs::directory_entry& entry) {
    std::error_code ec;
    if (!entry.is_regular_file(ec)) return false;
    const std::string name = entry.path().filename().string();
    return (name.size() > 4 && name.compare(name.size() - 4, 4, ".csv") == 0) || name.find(".csv.~") != std::string::npos;
}

// Empties a run folder of an earlier sweep's results and removes it when nothing else is in it (a
// run that fails then has no folder). `stale`: no run of this sweep uses the name, so what is not a
// folder stays, and `kept` says that a folder had to stay. False with the reason on failure.
bool ClearRunFolder(const fs::path& folder, bool stale, bool& kept, std::string& error) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(folder, ec);
    if (!fs::exists(status)) return true;
    if (!fs::is_directory(status)) {
        if (stale) return true;
        error = folder.string() + " is in the way of a run's folder";
        return false;
    }
    bool other = false;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (!IsRunOutput(*it)) {
            other = true;
            continue;
        }
        std::error_code removal;
        if (!fs::remove(it->path(), removal) && removal) {
            error = "cannot remove " + it->path().string() + ": " + removal.message();
            return false;
        }
    }
    if (ec) {
        error = "cannot read the folder " + folder.string() + ": " + ec.message();
        return false;
    }
    kept = stale && other;
    if (!other && !fs::remove(folder, ec) && ec) {
        error = "cannot remove " + folder.string() + ": " + ec.message();
        return false;
    }
    return true;
}

std::string Number(double value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, end);
}

void WriteAll(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// In the forked child: one ordinary run; its messages go out in one piece, marked with the run.
[[noreturn]] void RunChild(BatchOptions options, const std::string& name) {
    SweepProcess.store(0);
    std::ostringstream out;
    std::ostringstream err;
    const int code = RunBatch(options, out, err, false);
    std::string text;
    std::istringstream lines(err.str());
    for (std::string line; std::getline(lines, line);) text += "run " + name + ": " + line + "\n";
    WriteAll(STDERR_FILENO, text);
    ::_exit(code);
}

// The settling phase every run shares, computed once with the grid's parameters as the model has
// them, and written to `checkpoint`. A grid column that a restored model cannot take without losing
// what was computed is refused here, before any run starts.
int WarmUp(const BatchOptions& options, const SweepTable& table, const std::string& checkpoint, std::ostream& err) {
    BatchOptions warm = options;
    warm.SweepPath.clear();
    warm.OutDir.clear();
    warm.Warmup.reset();
    warm.Time = *options.Warmup;
    warm.SaveState = checkpoint;
    warm.Quiet = true;
    std::ostringstream discarded;
    if (const int code = RunBatch(warm, discarded, err, false); code != kExitOk && code != kExitNonFinite) return code;

    NEnvironment environment;
    std::string reason;
    int code = LoadBatchModel(options, environment, reason);
    NModel* model = environment.GetModel();
    if (code == kExitOk) {
        SetActiveModel(model);
        ResetActiveModel();
        if (!ReadCheckpointFile(*model, checkpoint)) code = kExitModel;
    }
    std::string state;
    if (code == kExitOk) SaveCheckpoint(*model, state);
    for (std::size_t c = 0; code == kExitOk && c < table.Paths.size(); ++c) {
        for (const std::vector<double>& row : table.Rows)
            if ((code = SetParameterAfterRestore(*model, table.Paths[c], row[c], reason)) != kExitOk) break;
        if (!RestoreCheckpoint(*model, state.data(), state.size()) && code == kExitOk) code = kExitModel;
    }
    SetActiveModel(nullptr);
    if (code == kExitOk) return code;
    if (reason.empty()) reason = Cp1251ToUtf8(GetLastErrorInfo());
    err << "talvero-batch: warm-up: " << reason << "\n";
    return code;
}

} // namespace

void ForwardSignalToSweepRuns(int signal) {
    if (SweepProcess.load() != ::getpid()) return;
    for (auto& slot : RunningPids)
        if (const pid_t pid = slot.load()) ::kill(pid, signal);
}

bool ParseSweepTable(const std::string& text, SweepTable& table, std::string& error) {
    // Spreadsheet programs start their UTF-8 files with a byte order mark.
    const bool bom = text.rfind("\xEF\xBB\xBF", 0) == 0;
    std::istringstream lines(bom ? text.substr(3) : text);
    int number = 0;
    std::vector<std::string> fields;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (Trim(line).empty()) continue;
        if (!Fields(line, fields)) {
            error = std::to_string(number) + ": a quoted field is not closed, or text follows its closing quote";
            return false;
        }
        if (table.Paths.empty()) {
            std::set<std::string> seen;
            for (const std::string& path : fields) {
                if (path.find('.') == std::string::npos) {
                    error = std::to_string(number) + ": a column needs OBJECT.PARAMETER, not '" + path + "'";
                    return false;
                }
                // Two values for one parameter: only one of them could be applied.
                if (!seen.insert(path).second) {
                    error = std::to_string(number) + ": the column " + path + " is given twice";
                    return false;
                }
            }
            table.Paths = fields;
            continue;
        }
        if (fields.size() != table.Paths.size()) {
            error = std::to_string(number) + ": " + std::to_string(fields.size()) + " values for " +
                    std::to_string(table.Paths.size()) + " columns";
            return false;
        }
        std::vector<double> row;
        for (const std::string& field : fields) {
            double value = 0;
            const char* last = field.data() + field.size();
            auto [ptr, ec] = std::from_chars(field.data(), last, value);
            if (field.empty() || ec != std::errc() || ptr != last || !std::isfinite(value)) {
                error = std::to_string(number) + ": '" + field + "' is not a number";
                return false;
            }
            row.push_back(value);
        }
        table.Rows.push_back(std::move(row));
    }
    if (table.Rows.empty()) {
        error = std::to_string(number) + ": no runs (a header line, then one line of values per run)";
        return false;
    }
    return true;
}

int RunSweep(const BatchOptions& options, std::ostream& err, bool progress) {
    std::ifstream in(options.SweepPath, std::ios::binary);
    if (!in) {
        err << "talvero-batch: cannot open the sweep file " << options.SweepPath << "\n";
        return kExitModel;
    }
    std::ostringstream text;
    text << in.rdbuf();
    SweepTable table;
    std::string error;
    if (!ParseSweepTable(text.str(), table, error)) {
        err << "talvero-batch: " << options.SweepPath << ":" << error << "\n";
        return kExitUsage;
    }
    // With an HDF5 output, study.h5 gives study/NNNN.h5 per run beside study/index.csv.
    const bool toHdf5 = IsHdf5Path(options.OutDir);
    const std::string folder = toHdf5 ? options.OutDir.substr(0, options.OutDir.size() - 3) : options.OutDir;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        err << "talvero-batch: cannot create the directory " << folder << ": "
            << (ec ? ec.message() : std::string("a file of that name is in the way")) << "\n";
        return kExitModel;
    }

    const std::string warmState = folder + "/warmup.tvs";
    if (options.Warmup) {
        if (const int code = WarmUp(options, table, warmState, err)) return code;
    }
    const std::size_t runs = table.Rows.size();
    const std::size_t width = std::max<std::size_t>(4, std::to_string(runs).size());
    auto name = [&](std::size_t i) {
        const std::string n = std::to_string(i + 1);
        return std::string(width - n.size(), '0') + n;
    };
    // The folder holds this sweep's results only, so that index.csv and the folders agree: an
    // earlier sweep's run folders go, and so do their results in folders this sweep reuses.
    std::set<std::string> names;
    for (std::size_t i = 0; i < runs; ++i) names.insert(name(i));
    std::vector<fs::path> folders;
    for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        if (IsRunFolderName(it->path().filename().string())) folders.push_back(it->path());
    if (ec) {
        err << "talvero-batch: cannot read the folder " << folder << ": " << ec.message() << "\n";
        return kExitModel;
    }
    for (const fs::path& folder : folders) {
        const bool ours = names.count(folder.filename().string()) != 0;
        bool kept = false;
        if (!ClearRunFolder(folder, !ours, kept, error)) {
            err << "talvero-batch: " << error << "\n";
            return kExitModel;
        }
        if (kept) err << "talvero-batch: " << folder.string() << " is not a run of this sweep but holds files no run wrote; left as it is\n";
    }
    SweepProcess.store(::getpid());
    std::vector<int> status(runs, kExitModel);
    std::map<pid_t, std::size_t> running;
    std::size_t next = 0;
    std::size_t done = 0;
    const bool bar = progress && !options.Quiet;
    auto show = [&] {
        if (bar) err << "\r" << done << "/" << runs << " runs" << std::flush;
    };
    show();
    while (done < runs) {
        while (next < runs && running.size() < static_cast<std::size_t>(options.Jobs)) {
            BatchOptions run = options;
            run.SweepPath.clear();
            run.Quiet = true;
            // Runs side by side share the cores: automatic threads divide them, rather than each
            // run spinning for cores the others hold.
            if (run.Threads == 0) run.Threads = std::max(1, NThreadPool::MachineCores() / std::max(1, options.Jobs));
            run.OutDir = folder + "/" + name(next) + (toHdf5 ? ".h5" : "");
            if (options.Warmup) {
                run.Warmup.reset();
                run.LoadState = warmState;
            }
            for (std::size_t c = 0; c < table.Paths.size(); ++c) run.Sets.emplace_back(table.Paths[c], table.Rows[next][c]);
            err.flush();
            const pid_t pid = ::fork();
            if (pid == 0) RunChild(std::move(run), name(next));
            if (pid < 0) {
                if (!running.empty()) break;  // try again once a run has finished
                err << "talvero-batch: cannot start run " << name(next) << ": " << std::strerror(errno) << "\n";
                ++next;
                ++done;
                continue;
            }
            TrackRun(pid, true);
            running.emplace(pid, next++);
        }
        if (running.empty()) continue;
        int raw = 0;
        const pid_t pid = ::waitpid(-1, &raw, 0);
        if (pid < 0 && errno == EINTR) continue;
        if (pid < 0) break;
        const auto it = running.find(pid);
        if (it == running.end()) continue;
        TrackRun(pid, false);
        if (WIFEXITED(raw)) {
            status[it->second] = WEXITSTATUS(raw);
        } else {
            if (bar) err << "\n";
            err << "run " << name(it->second) << ": ended by signal " << WTERMSIG(raw) << "\n";
        }
        running.erase(it);
        ++done;
        show();
    }
    if (bar) err << "\n";

    SweepProcess.store(0);
    std::string index = "run";
    for (const std::string& path : table.Paths) index += "," + CsvField(path);
    index += ",status\n";
    bool allOk = true;
    for (std::size_t i = 0; i < runs; ++i) {
        index += name(i);
        for (double value : table.Rows[i]) index += "," + Number(value);
        index += "," + std::to_string(status[i]) + "\n";
        allOk = allOk && status[i] == kExitOk;
    }
    const std::string indexPath = folder + "/index.csv";
    if (!WriteFileAtomically(indexPath, index, &error)) {
        err << "talvero-batch: cannot write " << indexPath << ": " << error << "\n";
        return kExitModel;
    }
    return allOk ? kExitOk : kExitModel;
}

} // namespace talvero::batch
