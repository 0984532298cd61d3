#include "tools/BatchSweep.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>

#include "environment/NCheckpoint.h"
#include "environment/NEnvironment.h"
#include "kernel/Cp1251.h"
#include "kernel/NClock.h"
#include "kernel/NError.h"
#include "kernel/NModel.h"
#include "modeler/VIniFile.h"
#include "tools/BatchModel.h"
#include "tools/BatchRun.h"

namespace talvero::batch {
namespace {

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const auto comma = line.find(',', start);
        fields.push_back(Trim(line.substr(start, comma - start)));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
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

bool ParseSweepTable(const std::string& text, SweepTable& table, std::string& error) {
    std::istringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (Trim(line).empty()) continue;
        std::vector<std::string> fields = Fields(line);
        if (table.Paths.empty()) {
            for (const std::string& path : fields) {
                if (path.find('.') == std::string::npos) {
                    error = std::to_string(number) + ": a column needs OBJECT.PARAMETER, not '" + path + "'";
                    return false;
                }
            }
            table.Paths = std::move(fields);
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
    std::error_code ec;
    std::filesystem::create_directories(options.OutDir, ec);
    if (!std::filesystem::is_directory(options.OutDir, ec)) {
        err << "talvero-batch: cannot create the directory " << options.OutDir << "\n";
        return kExitModel;
    }

    const std::string warmState = options.OutDir + "/warmup.tvs";
    if (options.Warmup) {
        if (const int code = WarmUp(options, table, warmState, err)) return code;
    }
    const std::size_t runs = table.Rows.size();
    const std::size_t width = std::max<std::size_t>(4, std::to_string(runs).size());
    auto name = [&](std::size_t i) {
        const std::string n = std::to_string(i + 1);
        return std::string(width - n.size(), '0') + n;
    };
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
            run.OutDir = options.OutDir + "/" + name(next);
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
                err << "talvero-batch: cannot start run " << name(next) << "\n";
                ++next;
                ++done;
                continue;
            }
            running.emplace(pid, next++);
        }
        if (running.empty()) continue;
        int raw = 0;
        const pid_t pid = ::waitpid(-1, &raw, 0);
        if (pid < 0) break;
        const auto it = running.find(pid);
        if (it == running.end()) continue;
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

    std::string index = "run";
    for (const std::string& path : table.Paths) index += "," + path;
    index += ",status\n";
    bool allOk = true;
    for (std::size_t i = 0; i < runs; ++i) {
        index += name(i);
        for (double value : table.Rows[i]) index += "," + Number(value);
        index += "," + std::to_string(status[i]) + "\n";
        allOk = allOk && status[i] == kExitOk;
    }
    const std::string indexPath = options.OutDir + "/index.csv";
    if (!WriteFileReplacing(indexPath, index)) {
        err << "talvero-batch: cannot write " << indexPath << "\n";
        return kExitModel;
    }
    return allOk ? kExitOk : kExitModel;
}

} // namespace talvero::batch
