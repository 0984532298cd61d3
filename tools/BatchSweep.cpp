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

#include "modeler/VIniFile.h"
#include "tools/BatchHdf5.h"
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
    // With an HDF5 output, study.h5 gives study/NNNN.h5 per run beside study/index.csv.
    const bool toHdf5 = IsHdf5Path(options.OutDir);
    const std::string folder = toHdf5 ? options.OutDir.substr(0, options.OutDir.size() - 3) : options.OutDir;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec)) {
        err << "talvero-batch: cannot create the directory " << folder << "\n";
        return kExitModel;
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
            run.OutDir = folder + "/" + name(next) + (toHdf5 ? ".h5" : "");
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
    const std::string indexPath = folder + "/index.csv";
    if (!WriteFileReplacing(indexPath, index)) {
        err << "talvero-batch: cannot write " << indexPath << "\n";
        return kExitModel;
    }
    return allOk ? kExitOk : kExitModel;
}

} // namespace talvero::batch
