#include "tools/BatchOptions.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace talvero::batch {
namespace {

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    const char* first = text.data();
    const char* last = first + text.size();
    auto [ptr, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && ptr == last && std::isfinite(value);
}

bool ParseCount(const std::string& text, long long& value) {
    if (text.empty()) return false;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size() && value >= 0;
}

} // namespace

const char* BatchUsage() {
    return "usage: talvero-batch [-n STEPS | -t SECONDS] [--dt S] [--pulse S] [--set PATH=VALUE]... "
           "[--watch NAME]... [-o DIR|FILE.h5] [--tree | --check] [--load-state FILE.tvs] [--save-state FILE.tvs]\n"
           "       [--sweep FILE.csv -o DIR|D.h5 [-j N] [--warmup SECONDS]] [--engine exact|fast] [--threads N] [-q] MODEL(.tv|.btv|.tvp)\n"
           "       talvero-batch --graph [--graph-format dot|svg|png] [-o FILE] MODEL\n"
           "       talvero-batch --classes [MODEL]";
}

bool ParseBatchOptions(const std::vector<std::string>& args, BatchOptions& options, std::string& error) {
    bool stepsGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string inlineValue;
        bool hasInline = false;
        if (arg.rfind("--", 0) == 0) {
            const auto eq = arg.find('=');
            if (eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInline = true;
            }
        }
        auto value = [&](std::string& out) {
            if (hasInline) {
                out = inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (arg == "-h" || arg == "--help") {
            options.Help = true;
        } else if (arg == "--version") {
            options.Version = true;
        } else if (arg == "-q" || arg == "--quiet") {
            options.Quiet = true;
        } else if (arg == "--tree") {
            options.Tree = true;
        } else if (arg == "--check") {
            options.Check = true;
        } else if (arg == "--graph") {
            options.Graph = true;
        } else if (arg == "--graph-format") {
            if (!value(v)) return false;
            if (v != "dot" && v != "svg" && v != "png") {
                error = "--graph-format needs dot, svg or png, not '" + v + "'";
                return false;
            }
            options.Graph = true;
            options.GraphFormat = v;
        } else if (arg == "--classes") {
            options.Classes = true;
        } else if (arg == "-n" || arg == "--steps") {
            if (!value(v)) return false;
            if (!ParseCount(v, options.Steps) || options.Steps > kMaxSteps) {
                error = "--steps needs a whole number from 0 to " + std::to_string(kMaxSteps) + ", not '" + v + "'";
                return false;
            }
            stepsGiven = true;
        } else if (arg == "-t" || arg == "--time") {
            if (!value(v)) return false;
            double t = 0;
            if (!ParseNumber(v, t) || t < 0) {
                error = "--time needs a number of seconds >= 0, not '" + v + "'";
                return false;
            }
            options.Time = t;
        } else if (arg == "--dt") {
            if (!value(v)) return false;
            double dt = 0;
            if (!ParseNumber(v, dt) || !(dt > 0)) {
                error = "--dt needs a number > 0, not '" + v + "'";
                return false;
            }
            options.TimeStep = dt;
        } else if (arg == "--pulse") {
            if (!value(v)) return false;
            double p = 0;
            if (!ParseNumber(v, p) || !(p > 0)) {
                error = "--pulse needs a number > 0, not '" + v + "'";
                return false;
            }
            options.PulseDuration = p;
        } else if (arg == "--set") {
            if (!value(v)) return false;
            const auto eq = v.find('=');
            double number = 0;
            if (eq == std::string::npos || eq == 0 || !ParseNumber(v.substr(eq + 1), number)) {
                error = "--set needs PATH=NUMBER, not '" + v + "'";
                return false;
            }
            options.Sets.emplace_back(v.substr(0, eq), number);
        } else if (arg == "--watch") {
            if (!value(v)) return false;
            if (v.empty()) {
                error = "--watch needs a name";
                return false;
            }
            options.Watches.push_back(v);
        } else if (arg == "-o" || arg == "--out") {
            if (!value(v)) return false;
            if (v.empty()) {
                error = "--out needs a directory";
                return false;
            }
            options.OutDir = v;
        } else if (arg == "--sweep") {
            if (!value(v)) return false;
            if (v.empty()) {
                error = "--sweep needs a CSV file";
                return false;
            }
            options.SweepPath = v;
        } else if (arg == "--load-state" || arg == "--save-state") {
            if (!value(v)) return false;
            if (v.empty()) {
                error = arg + " needs a file";
                return false;
            }
            (arg == "--load-state" ? options.LoadState : options.SaveState) = v;
        } else if (arg == "--warmup") {
            if (!value(v)) return false;
            double w = 0;
            if (!ParseNumber(v, w) || !(w > 0)) {
                error = "--warmup needs a number of seconds > 0, not '" + v + "'";
                return false;
            }
            options.Warmup = w;
        } else if (arg == "--engine") {
            if (!value(v)) return false;
            if (!ParseEngineKind(v, options.Engine)) {
                error = "--engine needs exact or fast, not '" + v + "'";
                return false;
            }
        } else if (arg == "-j" || arg == "--jobs") {
            if (!value(v)) return false;
            long long jobs = 0;
            if (!ParseCount(v, jobs) || jobs < 1 || jobs > 1024) {
                error = "--jobs needs a whole number from 1 to 1024, not '" + v + "'";
                return false;
            }
            options.Jobs = static_cast<int>(jobs);
        } else if (arg == "--threads") {
            if (!value(v)) return false;
            long long threads = 0;
            if (!ParseCount(v, threads) || threads < 0 || threads > kMaxThreads) {
                error = "--threads needs a whole number from 0 to " + std::to_string(kMaxThreads) + ", not '" + v + "'";
                return false;
            }
            options.Threads = static_cast<int>(threads);
        } else if (hasInline || (arg.size() > 1 && arg[0] == '-')) {
            error = "unknown option " + arg;
            return false;
        } else if (options.ModelPath.empty()) {
            options.ModelPath = arg;
        } else {
            error = "only one MODEL may be given";
            return false;
        }
    }
    if (options.Help || options.Version || options.Classes) return true;
    if (options.ModelPath.empty()) {
        error = "no MODEL given";
        return false;
    }
    if (stepsGiven && options.Time) {
        error = "--steps and --time exclude each other";
        return false;
    }
    if (options.Tree && options.Check) {
        error = "--tree and --check exclude each other";
        return false;
    }
    if (!options.SweepPath.empty() && (options.OutDir.empty() || options.Tree || options.Check)) {
        error = "--sweep needs --out DIR and excludes --tree and --check";
        return false;
    }
    if (options.Warmup && (options.SweepPath.empty() || !options.LoadState.empty())) {
        error = "--warmup needs --sweep and excludes --load-state";
        return false;
    }
    if (!options.SaveState.empty() && !options.SweepPath.empty()) {
        error = "--save-state excludes --sweep";
        return false;
    }
    if (options.Graph && (options.Tree || options.Check)) {
        error = "--graph excludes --tree and --check";
        return false;
    }
    return true;
}

} // namespace talvero::batch
