// The compiled core of the Python module: a model loaded by the batch core, its parameters by
// dotted path, runs that continue, results as numpy arrays.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "environment/NCheckpoint.h"
#include "environment/NEnvironment.h"
#include "kernel/Cp1251.h"
#include "kernel/NAbstractOutGate.h"
#include "kernel/NClock.h"
#include "kernel/NError.h"
#include "fast/NEngine.h"
#include "kernel/NModel.h"
#include "tools/BatchHdf5.h"
#include "tools/BatchModel.h"
#include "tools/BatchOutput.h"

namespace py = pybind11;
using namespace talvero;
using namespace talvero::batch;

namespace {

// The kernel's clock caches, active model and last error are process-wide and unlocked: one
// thread at a time may use any model.
std::mutex& KernelMutex() {
    static std::mutex mutex;
    return mutex;
}

// Waits for the kernel without holding the GIL, so that a thread that is stepping (and holds
// the kernel) never waits for a thread that waits for the kernel.
class KernelLock {
public:
    KernelLock() : Lock(KernelMutex()) {}

private:
    py::gil_scoped_release Release;
    std::unique_lock<std::mutex> Lock;
};

// Turned into talvero.ModelError once the GIL is back.
struct ModelFailure {
    std::optional<std::uint32_t> Code;
    std::string Level;
    std::string Message;
    std::string Info;
    std::string Location;  // "FILE:LINE:COLUMN: WORD" and the includes that led there; empty if unknown
};

struct UsageFailure {
    std::string Message;
};

// A results file that cannot be written or read: OSError in Python.
struct FileFailure {
    std::string Message;
};

// Call with the kernel held, after a call of the batch core that failed.
[[noreturn]] void Throw(int exit, const std::string& reason, const std::string& info = std::string()) {
    if (exit == kExitUsage) throw UsageFailure{reason};
    if (!reason.empty()) throw ModelFailure{std::nullopt, "talvero", reason, info, {}};
    const NError error = TakeLastError();
    throw ModelFailure{error.GetCode(), Cp1251ToUtf8(error.GetLevel()), Cp1251ToUtf8(error.GetMessage()),
                       KernelTextToUtf8(GetLastErrorInfo()), KernelTextToUtf8(FormatErrorLocation(GetLastErrorLocation()))};
}

void CheckPath(const std::string& path) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == path.size())
        throw UsageFailure{"a parameter path is OBJECT.PARAMETER, not '" + path + "'"};
}

struct TypeFailure {
    std::string Message;
};

std::string TypeName(const py::handle& value) { return py::str(py::type::handle_of(value).attr("__name__")); }

// Python's own conversions would take "1" or True for a number and end in a signature dump for
// anything else: an argument is checked here and refused in one line.
std::optional<double> Number(const py::handle& value, const char* what) {
    if (value.is_none()) return std::nullopt;
    if (PyBool_Check(value.ptr()) || PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr()) ||
        !PyNumber_Check(value.ptr()))
        throw TypeFailure{std::string(what) + " must be a number, not " + TypeName(value)};
    const double number = PyFloat_AsDouble(value.ptr());
    if (number == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        throw TypeFailure{std::string(what) + " must be a number, not " + TypeName(value)};
    }
    return number;
}

std::optional<long long> StepCount(const py::handle& value) {
    if (value.is_none()) return std::nullopt;
    if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr()))
        throw TypeFailure{"steps must be a whole number, not " + TypeName(value)};
    const py::int_ steps = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
    if (steps < py::int_(0)) throw UsageFailure{"steps must be >= 0"};
    if (steps > py::int_(kMaxSteps)) throw UsageFailure{"a run takes at most " + std::to_string(kMaxSteps) + " steps"};
    return steps.cast<long long>();
}

std::optional<std::vector<std::string>> GateNames(const py::handle& value) {
    if (value.is_none()) return std::nullopt;
    if (PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr()))
        throw TypeFailure{"watch is a list of out gate names, not a single " + TypeName(value) + " (write [name])"};
    std::vector<std::string> names;
    py::iterator it;
    try {
        it = py::iter(value);
    } catch (const py::error_already_set&) {
        throw TypeFailure{"watch is a list of out gate names, not " + TypeName(value)};
    }
    for (const py::handle item : it) {
        if (!PyUnicode_Check(item.ptr())) throw TypeFailure{"an out gate name is a str, not " + TypeName(item)};
        names.push_back(item.cast<std::string>());
    }
    return names;
}

std::string PathText(const py::handle& path) {
    if (!PyUnicode_Check(path.ptr())) throw TypeFailure{"a parameter path is a str, not " + TypeName(path)};
    return path.cast<std::string>();
}

using Points = std::pair<std::vector<double>, std::vector<double>>;

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// One growing column of a gate's points. Python gets read-only views of its prefix, so a run costs
// only its new points. A block is never moved, and a cell a view may still see is never changed: when
// either would be needed while views are alive, the column goes on in a new block.
class PointColumn {
public:
    // Writes values to [at, at + count), at <= Size(), and ends the column there.
    void Put(std::size_t at, const double* values, std::size_t count) {
        const std::size_t end = at + count;
        if (Block && Block.use_count() == 1) Shown = 0;  // nobody looks any more
        bool fresh = !Block || end > Block->Capacity;
        for (std::size_t i = at; !fresh && i < std::min(end, Shown); ++i)
            fresh = !SameBits(Block->Data[i], values[i - at]);
        if (fresh) {
            // A block replaced only to spare what views see keeps its capacity: growth stays geometric.
            const std::size_t capacity =
                Block && end <= Block->Capacity ? Block->Capacity : std::max<std::size_t>({end, Block ? 2 * Block->Capacity : 0, 256});
            auto block = std::make_shared<Cells>(capacity);
            if (at > 0) std::memcpy(block->Data.get(), Block->Data.get(), at * sizeof(double));
            Block = std::move(block);
            Shown = 0;
        }
        if (count > 0) std::memcpy(Block->Data.get() + at, values, count * sizeof(double));
        Size = end;
    }

    double At(std::size_t i) const { return Block->Data[i]; }
    std::size_t GetSize() const { return Size; }
    const double* GetData() const { return Block ? Block->Data.get() : nullptr; }

    py::array_t<double> View() {
        if (!Block) Put(0, nullptr, 0);
        Shown = std::max(Shown, Size);
        auto* keep = new std::shared_ptr<Cells>(Block);
        py::capsule owner(keep, [](void* p) { delete static_cast<std::shared_ptr<Cells>*>(p); });
        py::array_t<double> array(static_cast<py::ssize_t>(Size), Block->Data.get(), owner);
        py::detail::array_proxy(array.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
        return array;
    }

private:
    struct Cells {
        explicit Cells(std::size_t capacity) : Data(new double[capacity]), Capacity(capacity) {}
        std::unique_ptr<double[]> Data;
        std::size_t Capacity;
    };
    std::shared_ptr<Cells> Block;
    std::size_t Size = 0;
    std::size_t Shown = 0;  // cells [0, Shown) may be seen by arrays handed out
};

class Model {
public:
    Model(const std::string& path, std::optional<double> dt, std::optional<double> pulse, const std::string& engine,
          int threads = 0, const std::string& recordTo = std::string())
        : Path(path), LoadedTimeStep(dt), LoadedPulse(pulse), Threads(threads) {
        if (!ParseEngineKind(engine, EngineKind)) throw UsageFailure{"engine must be 'exact' or 'fast', not '" + engine + "'"};
        if (dt && !(std::isfinite(*dt) && *dt > 0)) throw UsageFailure{"dt must be a number > 0"};
        if (threads < 0 || threads > kMaxThreads)
            throw UsageFailure{"threads must be a whole number from 0 to " + std::to_string(kMaxThreads)};
        if (pulse && !(std::isfinite(*pulse) && *pulse > 0)) throw UsageFailure{"pulse must be a number > 0"};
        BatchOptions options;
        options.ModelPath = path;
        options.TimeStep = dt;
        if (pulse) options.PulseDuration = *pulse;
        KernelLock lock;
        Environment = std::make_unique<NEnvironment>();
        std::string reason;
        if (const int exit = LoadBatchModel(options, *Environment, reason)) {
            Environment.reset();
            Throw(exit, reason);
        }
        // Compiled under this model's clock; the clock goes back to the model that had it.
        NModel* previous = GetActiveModel();
        SetActiveModel(GetModel());
        Engine = MakeEngine(*GetModel(), EngineKind, Notice);
        SetActiveModel(previous);
        if (!recordTo.empty()) OpenRecorder(recordTo);
    }
    ~Model() {
        // The model leaves the active place itself. At interpreter exit the GIL must stay put.
        if (_Py_IsFinalizing()) {
            std::lock_guard<std::mutex> lock(KernelMutex());
            Environment.reset();
            return;
        }
        KernelLock lock;
        Environment.reset();
    }
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    void Set(const std::string& path, double value) {
        CheckPath(path);
        KernelLock lock;
        // Before the first run, settings see the clock every load sees, as on the command line; later
        // ones see this model's own clock, since the model goes on from there.
        SetActiveModel(Started ? GetModel() : nullptr);
        std::string reason;
        if (const int exit = SetParameterByPath(*GetModel(), path, value, reason)) Throw(exit, reason);
    }

    // A study run that goes on from a warm-up sets its values so; refuses what would undo the warm-up.
    void SetAfterRestore(const std::string& path, double value) {
        CheckPath(path);
        KernelLock lock;
        SetActiveModel(GetModel());
        std::string reason;
        if (const int exit = SetParameterAfterRestore(*GetModel(), path, value, reason)) Throw(exit, reason);
    }
    double Get(const std::string& path) {
        CheckPath(path);
        KernelLock lock;
        double value = 0;
        std::string reason;
        if (const int exit = GetParameterByPath(*GetModel(), path, value, reason)) Throw(exit, reason);
        return value;
    }

    py::list Tree() {
        std::vector<TreeEntry> tree;
        {
            KernelLock lock;
            tree = ModelTree(*GetModel());
        }
        py::list result;
        for (const TreeEntry& entry : tree) {
            py::dict parameters;
            for (const auto& [name, value] : entry.Parameters) parameters[py::str(name)] = value;
            result.append(py::make_tuple(entry.Path, parameters));
        }
        return result;
    }

    py::dict Run(std::optional<long long> steps, std::optional<double> time, std::optional<std::vector<std::string>> watch) {
        if (steps && time) throw UsageFailure{"give steps or time, not both"};
        if (steps && *steps < 0) throw UsageFailure{"steps must be >= 0"};
        if (time && !(std::isfinite(*time) && *time >= 0)) throw UsageFailure{"time must be a number of seconds >= 0"};
        struct Made {
            py::object Name, X, Y, Kind;
        };
        std::vector<Made> made;
        NonFiniteWatch nonFinite;
        {
            KernelLock lock;
            NModel* model = GetModel();
            std::vector<const NAbstractOutGate*> gates;
            if (!watch) {
                for (auto it = model->GetOutGatesBegin(); it != model->GetOutGatesEnd(); ++it) gates.push_back(it->get());
            } else {
                for (const std::string& name : *watch) {
                    const NAbstractOutGate* gate = model->GetOutGate(Utf8ToCp1251(name).c_str());
                    if (!gate) {
                        ReportError(3, Utf8ToCp1251("нет выхода (out gate) ") + Utf8ToCp1251(name));
                        Throw(kExitModel, "");
                    }
                    gates.push_back(gate);
                }
            }
            long long count = steps.value_or(10000);
            if (time) {
                const double exact = *time / static_cast<double>(model->GetTimeStep());
                if (!(exact <= static_cast<double>(kMaxSteps))) count = kMaxSteps + 1;
                else count = std::llround(exact);
            }
            if (count > kMaxSteps) throw UsageFailure{"a run takes at most " + std::to_string(kMaxSteps) + " steps"};
            if (!Started) {
                SetActiveModel(model);
                ResetActiveModel();
                Started = true;
            } else if (GetActiveModel() != model) {
                SetActiveModel(model);  // the caches follow this model's clock again
            }
            SetComputeThreads(Threads);
            constexpr long long kChunk = 4096;
            // The objects hold the state between runs, where settings and other models may touch them.
            struct Hand {
                NEngine& E;
                explicit Hand(NEngine& e) : E(e) { E.Begin(); }
                ~Hand() { E.End(); }
            } hand(*Engine);
            for (long long done = 0; done < count;) {
                const long long end = std::min(count, done + kChunk);
                for (; done < end; ++done) Engine->Step();
                if (done < count) {
                    py::gil_scoped_acquire gil;
                    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
                }
            }
            // Every gate is copied, watched or not, so that a later watch of it costs only its new points.
            for (auto it = model->GetOutGatesBegin(); it != model->GetOutGatesEnd(); ++it) CopyNewPoints(*it->get());
            if (Recorder) WriteRecords();
            for (const NAbstractOutGate* gate : gates) {
                const Record& record = Records.at(gate);
                for (const auto& point : {record.SettledNonFinite, record.TailNonFinite})
                    if (point) nonFinite.Check(record.Name, point->first, point->second);
            }
            // Views are made while the kernel is held: another thread's run of this model would move the columns.
            py::gil_scoped_acquire gil;
            for (const NAbstractOutGate* gate : gates) {
                Record& record = Records.at(gate);
                const char* kind = gate->GetWatchType() == NAbstractOutGate::kFrequencyHistogram ? "histogram" : "time";
                made.push_back({py::str(record.Name), record.X.View(), record.Y.View(), py::str(kind)});
            }
        }
        // The data stay as recorded; the warning says where the model first diverged.
        if (nonFinite.IsFound() && PyErr_WarnEx(PyExc_RuntimeWarning, nonFinite.Describe().c_str(), 1) != 0)
            throw py::error_already_set();
        const py::object series = py::module_::import("talvero._types").attr("Series");
        py::dict out;
        for (const auto& [name, x, y, kind] : made) out[name] = series(x, y, kind);
        return out;
    }

    void Reset() {
        KernelLock lock;
        SetActiveModel(GetModel());
        ResetActiveModel();
        Records.clear();  // the gates were cleared too
        Started = false;  // the next run starts from here, as a first run does
    }

    // Every "OBJECT.PARAMETER" path of the model, in the order of tree().
    std::vector<std::string> ParameterPaths() {
        std::vector<TreeEntry> tree;
        {
            KernelLock lock;
            tree = ModelTree(*GetModel());
        }
        std::vector<std::string> paths;
        for (const TreeEntry& entry : tree)
            for (const auto& parameter : entry.Parameters) paths.push_back(entry.Path + "." + parameter.first);
        return paths;
    }

    bool HasParameter(const std::string& path) {
        const auto dot = path.find_last_of('.');
        if (dot == std::string::npos || dot == 0 || dot + 1 == path.size()) return false;
        KernelLock lock;
        double value = 0;
        std::string reason;
        const bool found = GetParameterByPath(*GetModel(), path, value, reason) == kExitOk;
        TakeLastError();
        return found;
    }

    std::vector<std::string> OutGates() {
        KernelLock lock;
        std::vector<std::string> names;
        NModel* model = GetModel();
        for (auto it = model->GetOutGatesBegin(); it != model->GetOutGatesEnd(); ++it)
            names.push_back(Cp1251ToUtf8((*it)->GetName()));
        return names;
    }

    double CurrentTime() {
        KernelLock lock;
        return static_cast<double>(GetModel()->GetCurrentTime());
    }
    double TimeStep() {
        KernelLock lock;
        return static_cast<double>(GetModel()->GetTimeStep());
    }
    const std::string& GetPath() const { return Path; }
    py::bytes Checkpoint() {
        std::string bytes;
        {
            KernelLock lock;
            SaveCheckpoint(*GetModel(), bytes);
        }
        return py::bytes(bytes);
    }
    void Restore(const py::bytes& checkpoint) {
        std::string bytes = checkpoint;
        KernelLock lock;
        RestoreInto([&] { return RestoreCheckpoint(*GetModel(), bytes.data(), bytes.size()); });
    }
    void SaveState(const std::filesystem::path& path) {
        KernelLock lock;
        if (!WriteCheckpointFile(*GetModel(), path.string())) Throw(kExitModel, "");
    }
    void LoadState(const std::filesystem::path& path) {
        KernelLock lock;
        RestoreInto([&] { return ReadCheckpointFile(*GetModel(), path.string()); });
    }
    // What a pickled model carries: how it was loaded, whether it has run, and its checkpoint
    // (which holds the parameters in force).
    py::tuple GetPickleState() {
        return py::make_tuple(Path, LoadedTimeStep, LoadedPulse, Started, Checkpoint(), EngineKindName(EngineKind), Threads);
    }
    static std::unique_ptr<Model> FromPickleState(const py::tuple& state) {
        if (state.size() != 7) throw UsageFailure{"not a pickled talvero.Model"};
        auto model = std::make_unique<Model>(state[0].cast<std::string>(), state[1].cast<std::optional<double>>(),
                                             state[2].cast<std::optional<double>>(), state[5].cast<std::string>(),
                                             state[6].cast<int>());
        const bool started = state[3].cast<bool>();
        model->Restore(state[4].cast<py::bytes>());
        model->Started = started;
        return model;
    }
    std::string GetEngine() const { return EngineKindName(Engine->Kind()); }
    const std::string& GetNotice() const { return Notice; }
    int GetThreads() const { return Threads; }

    const std::string& GetRecordTo() const { return RecordTo; }

private:
    // Call with the kernel held.
    void OpenRecorder(const std::string& path) {
        NModel* model = GetModel();
        std::vector<NAbstractOutGate*> gates;
        for (auto it = model->GetOutGatesBegin(); it != model->GetOutGatesEnd(); ++it) gates.push_back(it->get());
        RunDescription run;
        run.Model = Path;
        run.TimeStep = static_cast<double>(model->GetTimeStep());
        run.PulseDuration = static_cast<double>(model->GetPulseDuration());
        run.Version = TALVERO_VERSION;
        auto recorder = std::make_unique<GateHdf5File>();
        std::string error;
        if (!recorder->Open(path, gates, run, error)) throw FileFailure{error};
        Recorder = std::move(recorder);
        RecordTo = path;
    }

    // Brings the file up to what the records hold: new settled points, and the tail again. Call with
    // the kernel held.
    void WriteRecords() {
        std::string error;
        bool ok = true;
        for (auto& [gate, record] : Records) {
            const std::size_t size = std::min(record.X.GetSize(), record.Y.GetSize());
            const std::size_t from = std::min(record.Written, size);
            if (!Recorder->Put(gate, from, record.X.GetData() + from, record.Y.GetData() + from, size - from, error)) {
                ok = false;
                break;
            }
            record.Written = record.Settled;
        }
        if (ok) ok = Recorder->Publish(static_cast<long long>(GetModel()->GetStepCount()), error);
        if (!ok) {
            // The results in memory are whole; the file is given up rather than left half true.
            Recorder.reset();
            RecordTo.clear();
            throw FileFailure{error + " (recording stopped; this run's results are kept in the model)"};
        }
    }

    // A restored model goes on from the checkpoint's time: the next run must not reset it. The
    // elements derive values from the clock while loading, so the model is active meanwhile.
    template <class F>
    void RestoreInto(F restore) {
        SetActiveModel(GetModel());
        if (!restore()) Throw(kExitModel, "");
        // The gates hold the checkpoint's points now: the kept records start afresh from them.
        Records.clear();
        Started = true;
    }
    NModel* GetModel() { return Environment->GetModel(); }

    // What a gate recorded since it last started, as handed to Python. Points below Settled can no
    // longer change in the gate and are not copied again.
    struct Record {
        std::string Name;  // UTF-8
        std::uint64_t Restarts = 0;
        std::size_t Settled = 0;
        std::size_t Written = 0;  // settled points already in the results file
        PointColumn X, Y;
        // The first non-finite point among the settled ones, and among the rest as of the last copy.
        std::optional<std::pair<double, double>> SettledNonFinite, TailNonFinite;
    };

    // Copies what the gate recorded since the last call. Call with the kernel held.
    void CopyNewPoints(const NAbstractOutGate& gate) {
        const auto xs = gate.GetXBegin();
        const auto ys = gate.GetYBegin();
        const std::size_t size = static_cast<std::size_t>(
            std::min(std::distance(xs, gate.GetXEnd()), std::distance(ys, gate.GetYEnd())));
        auto found = Records.find(&gate);
        // The kernel keeps every point too (a checkpoint holds them), so a record whose settled points
        // no longer match the gate's ends and copies afresh: the gate was cleared, restored or trimmed.
        bool fresh = found == Records.end() || found->second.Restarts != gate.GetRestartCount();
        if (!fresh && found->second.Settled > 0) {
            const Record& r = found->second;
            const std::size_t last = r.Settled - 1;
            fresh = size < r.Settled || !SameBits(xs[0], r.X.At(0)) || !SameBits(ys[0], r.Y.At(0)) ||
                    !SameBits(xs[last], r.X.At(last)) || !SameBits(ys[last], r.Y.At(last));
        }
        if (fresh) {
            // New columns: arrays handed out for the old record keep theirs.
            Record record;
            record.Name = Cp1251ToUtf8(gate.GetName());
            record.Restarts = gate.GetRestartCount();
            found = Records.insert_or_assign(&gate, std::move(record)).first;
        }
        Record& record = found->second;
        const std::size_t from = record.Settled;
        const std::size_t settled = std::min<std::size_t>(gate.GetSettledCount(), size);
        Scratch.first.assign(xs + static_cast<std::ptrdiff_t>(from), xs + static_cast<std::ptrdiff_t>(size));
        Scratch.second.assign(ys + static_cast<std::ptrdiff_t>(from), ys + static_cast<std::ptrdiff_t>(size));
        record.X.Put(from, Scratch.first.data(), size - from);
        record.Y.Put(from, Scratch.second.data(), size - from);
        record.TailNonFinite.reset();
        for (std::size_t i = from; i < size; ++i) {
            const double x = Scratch.first[i - from], y = Scratch.second[i - from];
            if (std::isfinite(x) && std::isfinite(y)) continue;
            auto& first = i < settled ? record.SettledNonFinite : record.TailNonFinite;
            if (!first) first.emplace(x, y);
        }
        record.Settled = settled;
    }

    std::string Path;
    std::optional<double> LoadedTimeStep;
    std::optional<double> LoadedPulse;
    int Threads = 0;
    std::unique_ptr<NEnvironment> Environment;
    bool Started = false;
    NEngineKind EngineKind = NEngineKind::Exact;
    std::unique_ptr<NEngine> Engine;
    std::string Notice;  // why a fast engine was asked for and the exact one computes
    std::unordered_map<const NAbstractOutGate*, Record> Records;
    Points Scratch;
    std::unique_ptr<GateHdf5File> Recorder;  // record_to=
    std::string RecordTo;
};

} // namespace

PYBIND11_MODULE(_core, module) {
    module.doc() = "The compiled core of talvero; use the package talvero.";

    py::register_exception_translator([](std::exception_ptr pointer) {
        try {
            if (pointer) std::rethrow_exception(pointer);
        } catch (const ModelFailure& failure) {
            const py::object type = py::module_::import("talvero._types").attr("ModelError");
            const py::object code = failure.Code ? py::object(py::int_(*failure.Code)) : py::object(py::none());
            const py::object location = failure.Location.empty() ? py::object(py::none()) : py::object(py::str(failure.Location));
            const py::object error = type(code, failure.Level, failure.Message, failure.Info, location);
            PyErr_SetObject(type.ptr(), error.ptr());
        } catch (const UsageFailure& failure) {
            PyErr_SetString(PyExc_ValueError, failure.Message.c_str());
        } catch (const TypeFailure& failure) {
            PyErr_SetString(PyExc_TypeError, failure.Message.c_str());
        } catch (const FileFailure& failure) {
            PyErr_SetString(PyExc_OSError, failure.Message.c_str());
        }
    });

    py::class_<Model>(module, "Model", R"(A model loaded from a description (.tv), a binary model (.btv) or a project (.tvp).

Model(path, dt=None, pulse=None, engine="exact", threads=0, record_to=None): dt is the time step in seconds (default:
the project's, else 0.0001), pulse the pulse duration (default 0.001), as talvero-batch's --dt and
--pulse; engine "fast" computes in double precision (talvero-batch --engine); threads the most
threads a step may use (0: automatic, the machine's cores for a net of neurons only, else one; a small
model uses fewer), as --threads. Every thread count gives the same numbers; a study's runs use one
each. record_to names an HDF5 file (.h5) that receives every point of every out gate as the runs go,
laid out as talvero-batch -o FILE.h5 writes it; after each run() it is
complete and in place (talvero.read_results reads it), and reset() starts it over. A pickled copy does
not record. Loading errors raise talvero.ModelError; a file that cannot be written raises OSError.

The kernel computes one model at a time per process. Several Model objects may exist: each run
makes its model the active one and goes on from that model's own state and clock, so runs of
different models may alternate freely and each continues exactly where it stopped. Calls from
several threads wait for one another; the GIL is released while a model steps.)")
        .def(py::init([](const py::object& path, const py::object& dt, const py::object& pulse, const py::object& engine,
                         const py::object& threads, const py::object& recordTo) {
                 if (!PyUnicode_Check(path.ptr()) && !PyBytes_Check(path.ptr()) && !py::hasattr(path, "__fspath__"))
                     throw TypeFailure{"path must be a str or a path, not " + TypeName(path)};
                 if (!PyUnicode_Check(engine.ptr())) throw TypeFailure{"engine must be a str, not " + TypeName(engine)};
                 if (PyBool_Check(threads.ptr()) || !PyIndex_Check(threads.ptr()))
                     throw TypeFailure{"threads must be a whole number, not " + TypeName(threads)};
                 const py::int_ count = py::reinterpret_steal<py::int_>(PyNumber_Index(threads.ptr()));
                 if (count < py::int_(0) || count > py::int_(kMaxThreads))
                     throw UsageFailure{"threads must be a whole number from 0 to " + std::to_string(kMaxThreads)};
                 const py::object os = py::module_::import("os");
                 const py::object text = os.attr("fsdecode")(path);
                 std::string record;
                 if (!recordTo.is_none()) {
                     if (!PyUnicode_Check(recordTo.ptr()) && !PyBytes_Check(recordTo.ptr()) && !py::hasattr(recordTo, "__fspath__"))
                         throw TypeFailure{"record_to must be a str or a path, not " + TypeName(recordTo)};
                     record = os.attr("fsdecode")(recordTo).cast<std::string>();
                     if (!IsHdf5Path(record)) throw UsageFailure{"record_to names an HDF5 file ending in .h5, not '" + record + "'"};
                 }
                 auto model = std::make_unique<Model>(text.cast<std::string>(), Number(dt, "dt"), Number(pulse, "pulse"),
                                                      engine.cast<std::string>(), count.cast<int>(), record);
                 if (!model->GetNotice().empty() &&
                     PyErr_WarnEx(PyExc_RuntimeWarning, Cp1251ToUtf8(model->GetNotice()).c_str(), 1) != 0)
                     throw py::error_already_set();
                 return model;
             }),
             py::arg("path"),
             py::kw_only(), py::arg("dt") = py::none(), py::arg("pulse") = py::none(), py::arg("engine") = "exact",
             py::arg("threads") = 0, py::arg("record_to") = py::none())
        .def("tree", &Model::Tree,
             "[(dotted path, {parameter: value}), ...] for every object, depth first, as talvero-batch --tree.")
        .def("__setitem__",
             [](Model& model, const py::object& path, const py::object& value) {
                 const std::string text = PathText(path);
                 if (value.is_none()) throw TypeFailure{"a parameter value must be a number, not NoneType"};
                 model.Set(text, *Number(value, "a parameter value"));
             },
             py::arg("path"), py::arg("value"),
             "m['OBJECT.PARAMETER'] = value, as talvero-batch --set. A refused value raises talvero.ModelError "
             "and keeps the old one. Before the first run (and after reset()) the value applies as --set does; "
             "later it changes the running model, which goes on from where it stopped.")
        .def("__getitem__", [](Model& model, const py::object& path) { return model.Get(PathText(path)); },
             py::arg("path"), "The value of 'OBJECT.PARAMETER'.")
        .def("__contains__",
             [](Model& model, const py::object& path) { return PyUnicode_Check(path.ptr()) && model.HasParameter(path.cast<std::string>()); },
             py::arg("path"), "Whether 'OBJECT.PARAMETER' names a parameter of the model.")
        .def("keys", &Model::ParameterPaths, "Every 'OBJECT.PARAMETER' path, in the order of tree().")
        .def("__iter__",
             [](Model& model) { return py::iter(py::cast(model.ParameterPaths())); },
             "Iterates over the parameter paths, as keys().")
        .def("__len__", [](Model& model) { return model.ParameterPaths().size(); }, "The number of parameter paths.")
        .def("run",
             [](Model& model, const py::object& steps, const py::object& time, const py::object& watch) {
                 return model.Run(StepCount(steps), Number(time, "time"), GateNames(watch));
             },
             py::kw_only(), py::arg("steps") = py::none(), py::arg("time") = py::none(),
             py::arg("watch") = py::none(),
             R"(Runs `steps` computation steps (default 10000) or `time` seconds of model time.

The first run (and the first after reset()) starts the model from its initial state; later runs
continue from where the last one stopped. Returns {out gate name: Series(x, y)} with every point
each out gate recorded since the start, as read-only numpy float64 arrays; `watch` names the out
gates to return (default: all). Each point is copied once, into a buffer per out gate that grows
with the run, and each result views those buffers: many short runs cost about what one long run does. Each Series also gives onsets(), rate() and to_pandas(). The same model, settings and steps give exactly the numbers of
talvero-batch. Ctrl-C stops a run between steps. A value that is not finite in the results raises a
RuntimeWarning naming the first out gate and model time where it appeared; the data stay as recorded.)")
        .def("reset", &Model::Reset, "Returns the model to its initial state; the next run starts from there.")
        .def_property_readonly("out_gates", &Model::OutGates, "The names of the model's out gates.")
        .def_property_readonly("current_time", &Model::CurrentTime, "Model time reached, in seconds.")
        .def_property_readonly("time_step", &Model::TimeStep, "The time step, in seconds.")
        .def_property_readonly("threads", [](const Model& m) { return m.GetThreads(); },
                               "The most threads a step may use, as given (0: automatic).")
        .def_property_readonly("path", &Model::GetPath, "The file the model was loaded from.")
        .def_property_readonly("record_to",
                               [](const Model& m) { return m.GetRecordTo().empty() ? py::object(py::none()) : py::object(py::str(m.GetRecordTo())); },
                               "The HDF5 file the runs are recorded to, or None (also once a failed write stopped the recording).")
        .def("checkpoint", &Model::Checkpoint,
             R"(The model's whole state as bytes: every object's state, the recorded points, the clock and the
parameters in force. restore() takes it back, in this model or another loaded from the same file.)")
        .def("restore", &Model::Restore, py::arg("checkpoint"),
             R"(Puts the state of checkpoint() back; the next run goes on from its model time. A checkpoint of
another model, or a damaged one, raises talvero.ModelError and leaves the model as it was.)")
        .def("save_state", &Model::SaveState, py::arg("path"),
             "Writes checkpoint() to a file (.tvs), in one piece: a failed write keeps the previous file.")
        .def("load_state", &Model::LoadState, py::arg("path"), "Restores a checkpoint written by save_state().")
        .def("set_keeping_state", &Model::SetAfterRestore, py::arg("path"), py::arg("value"),
             R"(Changes a constant of the dynamics while the object keeps the state it reached (m[path] = value
resets the object, as a new value does in the desktop program). What a warm-started study does with
its values. A parameter that a reset builds into the state (a generator's Frequency, a fibre's
TimeDelay, a synapse's DissociationTC, switching times) raises ValueError and nothing changes.)")
        .def(py::pickle([](Model& model) { return model.GetPickleState(); },
                        [](const py::tuple& state) { return Model::FromPickleState(state); }))
        .def_property_readonly("engine", &Model::GetEngine,
                               "The engine that computes the model: 'exact', or 'fast' where engine='fast' was asked "
                               "for and the model has a fast form (else a RuntimeWarning said why not).")
        .def("__repr__", [](const Model& model) { return "<talvero.Model '" + model.GetPath() + "'>"; });

    module.def(
        "read_results",
        [](const py::object& path) {
            if (!PyUnicode_Check(path.ptr()) && !PyBytes_Check(path.ptr()) && !py::hasattr(path, "__fspath__"))
                throw TypeFailure{"path must be a str or a path, not " + TypeName(path)};
            const std::string text = py::module_::import("os").attr("fsdecode")(path).cast<std::string>();
            std::vector<StoredGate> gates;
            std::string error;
            {
                KernelLock lock;  // the library is not safe for two threads at once
                if (!ReadGateHdf5File(text, gates, error)) throw FileFailure{error};
            }
            py::list out;
            for (StoredGate& gate : gates) {
                auto array = [](std::vector<double>& values) {
                    auto* kept = new std::vector<double>(std::move(values));
                    py::capsule owner(kept, [](void* p) { delete static_cast<std::vector<double>*>(p); });
                    return py::array_t<double>(static_cast<py::ssize_t>(kept->size()), kept->data(), owner);
                };
                out.append(py::make_tuple(gate.Name, gate.Watch == "frequency" ? "histogram" : "time", array(gate.X),
                                          array(gate.Y)));
            }
            return out;
        },
        py::arg("path"), "[(name, kind, x, y), ...] of a results file; use talvero.read_results.");
}
