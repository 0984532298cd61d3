#include "results/GateHdf5File.h"

#include <hdf5.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <type_traits>

#include "kernel/Cp1251.h"
#include "results/SafeFileName.h"

namespace talvero {
namespace {

static_assert(std::is_same_v<hid_t, std::int64_t>, "identifiers are kept as int64_t outside this file");

// Points per stored block (4 KiB): a block is stored whole, so with a thousand gates of a few
// hundred points each, larger blocks made the file and the cache fifty times the data.
constexpr hsize_t kChunk = 512;

// Closes an identifier at the end of a scope.
struct Handle {
    hid_t Id;
    herr_t (*Close)(hid_t);
    ~Handle() {
        if (Id >= 0) Close(Id);
    }
};

herr_t InnermostMessage(unsigned n, const H5E_error2_t* entry, void* data) {
    if (n == 0 && entry->desc) *static_cast<std::string*>(data) = entry->desc;
    return 0;
}

// The system's reason when there is one (a full disk, a size limit), else the library's.
std::string Reason(int systemError) {
    if (systemError != 0) return std::strerror(systemError);
    std::string message;
    H5Ewalk2(H5E_DEFAULT, H5E_WALK_UPWARD, InnermostMessage, &message);
    H5Eclear2(H5E_DEFAULT);
    return message.empty() ? "HDF5 error" : message;
}

hid_t Utf8Links() {
    const hid_t list = H5Pcreate(H5P_LINK_CREATE);
    if (list >= 0) H5Pset_char_encoding(list, H5T_CSET_UTF8);
    return list;
}

bool SetNumber(hid_t owner, const std::string& name, hid_t type, const void* value) {
    if (H5Aexists(owner, name.c_str()) > 0 && H5Adelete(owner, name.c_str()) < 0) return false;
    const Handle space{H5Screate(H5S_SCALAR), H5Sclose};
    const Handle attribute{H5Acreate2(owner, name.c_str(), type, space.Id, H5P_DEFAULT, H5P_DEFAULT), H5Aclose};
    return attribute.Id >= 0 && H5Awrite(attribute.Id, type, value) >= 0;
}

bool SetText(hid_t owner, const std::string& name, const std::string& text) {
    const Handle type{H5Tcopy(H5T_C_S1), H5Tclose};
    if (type.Id < 0 || H5Tset_size(type.Id, H5T_VARIABLE) < 0 || H5Tset_cset(type.Id, H5T_CSET_UTF8) < 0) return false;
    const char* value = text.c_str();
    return SetNumber(owner, name, type.Id, &value);
}

hid_t CreateSeries(hid_t group, const char* name, hid_t links) {
    const hsize_t size = 0;
    const hsize_t limit = H5S_UNLIMITED;
    const Handle space{H5Screate_simple(1, &size, &limit), H5Sclose};
    const Handle create{H5Pcreate(H5P_DATASET_CREATE), H5Pclose};
    const Handle access{H5Pcreate(H5P_DATASET_ACCESS), H5Pclose};
    if (space.Id < 0 || create.Id < 0 || access.Id < 0 || H5Pset_chunk(create.Id, 1, &kChunk) < 0) return -1;
    // Appends touch only the last block: a cache of two keeps memory flat with many gates.
    if (H5Pset_chunk_cache(access.Id, 11, 2 * kChunk * sizeof(double), 1.0) < 0) return -1;
    return H5Dcreate2(group, name, H5T_IEEE_F64LE, space.Id, links, create.Id, access.Id);
}

bool Append(hid_t dataset, hsize_t at, const double* values, hsize_t count) {
    const hsize_t size = at + count;
    if (H5Dset_extent(dataset, &size) < 0) return false;
    const Handle file{H5Dget_space(dataset), H5Sclose};
    const Handle memory{H5Screate_simple(1, &count, nullptr), H5Sclose};
    if (file.Id < 0 || memory.Id < 0) return false;
    if (H5Sselect_hyperslab(file.Id, H5S_SELECT_SET, &at, nullptr, &count, nullptr) < 0) return false;
    return H5Dwrite(dataset, H5T_NATIVE_DOUBLE, memory.Id, file.Id, H5P_DEFAULT, values) >= 0;
}

bool Append(hid_t dataset, hsize_t at, const std::vector<double>& values) {
    return Append(dataset, at, values.data(), values.size());
}

} // namespace

bool IsHdf5Path(const std::string& path) {
    return path.size() > 3 && path.compare(path.size() - 3, 3, ".h5") == 0;
}

GateHdf5File::GateHdf5File() = default;

GateHdf5File::~GateHdf5File() { Close(); }

void GateHdf5File::Close() {
    for (Entry& entry : Entries) {
        if (entry.X >= 0) H5Dclose(entry.X);
        if (entry.Y >= 0) H5Dclose(entry.Y);
        entry.X = entry.Y = -1;
    }
    if (File >= 0) H5Fclose(File);
    File = -1;
    H5Eclear2(H5E_DEFAULT);
}

bool GateHdf5File::Fail(std::string& error, const std::string& what) {
    const int systemError = errno;
    error = "cannot write " + Target + ": " +
            (what.empty() ? "" : what + ": ") + Reason(systemError);
    Close();
    if (Reserved) Reserved->Abandon();
    return false;
}

bool GateHdf5File::Open(const std::string& path, const std::vector<NAbstractOutGate*>& gates,
                        const RunDescription& run, std::string& error) {
    // A device or a pipe named as the output would be replaced by a regular file.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = "cannot write " + path + ": not a regular file";
        return false;
    }
    // After a failed write the library cannot close the file, and its own clean-up at exit then
    // crashes; the process ends soon after a failure, so the system's closing is enough.
    H5dont_atexit();
    // Failures are reported through the runner's messages, not printed by the library.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    Target = path;
    Reserved = std::make_unique<NAtomicFile>(path);
    if (!Reserved->Open()) {
        error = "cannot write " + path + ": " + Reserved->GetError();
        Reserved.reset();
        return false;
    }
    errno = 0;
    // The 1.10 format indexes an extendible series in a structure the library need not hold in
    // memory as it grows; with the older index a long run's memory grew with its length.
    const Handle access{H5Pcreate(H5P_FILE_ACCESS), H5Pclose};
    if (access.Id < 0 || H5Pset_libver_bounds(access.Id, H5F_LIBVER_V110, H5F_LIBVER_V110) < 0) return Fail(error, "");
    File = H5Fcreate(Reserved->GetTemporaryPath().c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access.Id);
    if (File < 0) return Fail(error, "");
    const Handle links{Utf8Links(), H5Pclose};
    bool ok = links.Id >= 0 && SetText(File, "model", run.Model) && SetText(File, "version", run.Version) &&
              SetNumber(File, "time_step", H5T_NATIVE_DOUBLE, &run.TimeStep) &&
              SetNumber(File, "pulse_duration", H5T_NATIVE_DOUBLE, &run.PulseDuration) &&
              SetNumber(File, "steps", H5T_NATIVE_LLONG, &run.Steps);
    for (const auto& [name, value] : run.Sets) ok = ok && SetNumber(File, "set:" + name, H5T_NATIVE_DOUBLE, &value);
    // Readers list the gates in the model's order, not by name.
    const Handle order{H5Pcreate(H5P_GROUP_CREATE), H5Pclose};
    ok = ok && order.Id >= 0 && H5Pset_link_creation_order(order.Id, H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED) >= 0;
    const Handle root{ok ? H5Gcreate2(File, "gates", links.Id, order.Id, H5P_DEFAULT) : -1, H5Gclose};
    if (root.Id < 0) return Fail(error, "");

    for (NAbstractOutGate* gate : gates) {
        // A gate asked for twice has one group; two writers would each drop points the other needs.
        if (std::any_of(Entries.begin(), Entries.end(), [&](const Entry& e) { return e.Gate == gate; })) continue;
        Entries.push_back({gate, Cp1251ToUtf8(gate->GetName())});
        Entry& entry = Entries.back();
        entry.Restarts = gate->GetRestartCount();
        // The file-name form keeps '/' and '.' out of the path; the attribute keeps the name itself.
        const Handle group{H5Gcreate2(root.Id, SafeFileName(entry.Name).c_str(), links.Id, H5P_DEFAULT, H5P_DEFAULT),
                           H5Gclose};
        const std::int32_t type = gate->GetWatchType();
        if (group.Id < 0 || !SetText(group.Id, "name", entry.Name) ||
            !SetNumber(group.Id, "watch_type", H5T_NATIVE_INT32, &type) ||
            !SetText(group.Id, "watch", type == NAbstractOutGate::kFrequencyHistogram ? "frequency" : "time"))
            return Fail(error, "gate " + entry.Name);
        entry.X = CreateSeries(group.Id, "x", links.Id);
        entry.Y = CreateSeries(group.Id, "y", links.Id);
        if (entry.X < 0 || entry.Y < 0) return Fail(error, "gate " + entry.Name);
    }
    return true;
}

bool GateHdf5File::Drain(bool final, NonFiniteWatch& watch, std::string& error) {
    return WriteGates(final, !final, watch, error);
}

bool GateHdf5File::Write(bool final, NonFiniteWatch& watch, std::string& error) {
    return WriteGates(final, false, watch, error);
}

void GateHdf5File::Dropped(const NAbstractOutGate* gate, unsigned count) {
    for (Entry& entry : Entries)
        if (entry.Gate == gate) entry.Written -= std::min<std::uint64_t>(entry.Written, count);
}

bool GateHdf5File::SetSteps(long long steps, std::string& error) {
    if (File < 0) return Fail(error, "");
    errno = 0;
    return SetNumber(File, "steps", H5T_NATIVE_LLONG, &steps) || Fail(error, "");
}

bool GateHdf5File::WriteGates(bool final, bool drop, NonFiniteWatch& watch, std::string& error) {
    if (File < 0) return Fail(error, "");
    for (Entry& entry : Entries) {
        NAbstractOutGate& gate = *entry.Gate;
        errno = 0;
        if (gate.GetRestartCount() != entry.Restarts) {
            // Recording was switched on again and cleared what was written so far.
            entry.Restarts = gate.GetRestartCount();
            const hsize_t empty = 0;
            if (H5Dset_extent(entry.X, &empty) < 0 || H5Dset_extent(entry.Y, &empty) < 0)
                return Fail(error, "gate " + entry.Name);
            entry.Size = 0;
            entry.Written = 0;
        }
        const std::size_t count = final ? gate.GetDataSize() : gate.GetSettledCount();
        if (count <= entry.Written) continue;
        Xs.clear();
        Ys.clear();
        auto x = gate.GetXBegin() + static_cast<std::ptrdiff_t>(entry.Written);
        auto y = gate.GetYBegin() + static_cast<std::ptrdiff_t>(entry.Written);
        for (std::size_t i = entry.Written; i < count && x != gate.GetXEnd() && y != gate.GetYEnd(); ++i, ++x, ++y) {
            watch.Check(entry.Name, *x, *y);
            Xs.push_back(*x);
            Ys.push_back(*y);
        }
        if (!Append(entry.X, entry.Size, Xs) || !Append(entry.Y, entry.Size, Ys))
            return Fail(error, "gate " + entry.Name);
        entry.Size += Xs.size();
        entry.Written = count;
        if (drop) {
            gate.DropSettled(static_cast<unsigned>(count));
            entry.Written = 0;
        }
    }
    return true;
}

bool GateHdf5File::Commit(std::string& error) {
    if (File < 0) return Fail(error, "");
    errno = 0;
    // Everything the library still holds must reach the file before it may replace the target.
    if (H5Fflush(File, H5F_SCOPE_LOCAL) < 0) return Fail(error, "");
    bool ok = true;
    for (Entry& entry : Entries) {
        ok = H5Dclose(entry.X) >= 0 && ok;
        ok = H5Dclose(entry.Y) >= 0 && ok;
        entry.X = entry.Y = -1;
    }
    ok = H5Fclose(File) >= 0 && ok;
    File = -1;
    if (!ok) return Fail(error, "");
    if (!Reserved->Commit()) {
        error = "cannot write " + Reserved->GetTarget() + ": " + Reserved->GetError();
        Reserved.reset();
        return false;
    }
    Reserved.reset();
    return true;
}

bool GateHdf5File::Put(const NAbstractOutGate* gate, std::uint64_t at, const double* xs, const double* ys,
                       std::size_t count, std::string& error) {
    if (File < 0) return Fail(error, "");
    const auto entry = std::find_if(Entries.begin(), Entries.end(), [&](const Entry& e) { return e.Gate == gate; });
    if (entry == Entries.end()) return true;
    errno = 0;
    if (!Append(entry->X, at, xs, count) || !Append(entry->Y, at, ys, count)) return Fail(error, "gate " + entry->Name);
    entry->Size = at + count;
    return true;
}

bool GateHdf5File::Publish(long long steps, std::string& error) {
    if (!SetSteps(steps, error)) return false;
    errno = 0;
    if (H5Fflush(File, H5F_SCOPE_LOCAL) < 0) return Fail(error, "");
    // The library keeps the temporary open: renamed, it is the same file and takes more points.
    if (Reserved) {
        if (!Reserved->Commit()) {
            error = "cannot write " + Target + ": " + Reserved->GetError();
            Reserved.reset();
            Close();
            return false;
        }
        Reserved.reset();
    }
    // Points written to a file that another writer replaced, or that was deleted, would be lost
    // without a word: the name must still lead to this file.
    void* handle = nullptr;
    struct stat mine {}, named {};
    if (H5Fget_vfd_handle(File, H5P_DEFAULT, &handle) < 0 || !handle || ::fstat(*static_cast<int*>(handle), &mine) != 0)
        return Fail(error, "");
    if (::stat(Target.c_str(), &named) != 0 || named.st_ino != mine.st_ino || named.st_dev != mine.st_dev) {
        error = "cannot write " + Target + ": the file was replaced or removed since the last run";
        Close();
        return false;
    }
    return true;
}

namespace {

struct ReadState {
    hid_t Gates;
    std::vector<StoredGate>* Out;
    std::string Problem;
};

bool ReadText(hid_t owner, const char* name, std::string& text) {
    if (H5Aexists(owner, name) <= 0) return false;
    const Handle attribute{H5Aopen(owner, name, H5P_DEFAULT), H5Aclose};
    const Handle type{attribute.Id >= 0 ? H5Aget_type(attribute.Id) : -1, H5Tclose};
    if (type.Id < 0 || H5Tget_class(type.Id) != H5T_STRING || H5Tis_variable_str(type.Id) <= 0) return false;
    const Handle memory{H5Tcopy(H5T_C_S1), H5Tclose};
    if (memory.Id < 0 || H5Tset_size(memory.Id, H5T_VARIABLE) < 0 || H5Tset_cset(memory.Id, H5T_CSET_UTF8) < 0) return false;
    char* value = nullptr;
    if (H5Aread(attribute.Id, memory.Id, &value) < 0 || !value) return false;
    text = value;
    H5free_memory(value);
    return true;
}

bool ReadSeries(hid_t group, const char* name, std::vector<double>& values) {
    if (H5Lexists(group, name, H5P_DEFAULT) <= 0) return false;
    const Handle dataset{H5Dopen2(group, name, H5P_DEFAULT), H5Dclose};
    const Handle space{dataset.Id >= 0 ? H5Dget_space(dataset.Id) : -1, H5Sclose};
    if (space.Id < 0 || H5Sget_simple_extent_ndims(space.Id) != 1) return false;
    hsize_t size = 0;
    if (H5Sget_simple_extent_dims(space.Id, &size, nullptr) < 0) return false;
    values.resize(size);
    return size == 0 || H5Dread(dataset.Id, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) >= 0;
}

herr_t ReadGate(hid_t, const char* link, const H5L_info_t*, void* data) {
    auto& state = *static_cast<ReadState*>(data);
    const Handle group{H5Gopen2(state.Gates, link, H5P_DEFAULT), H5Gclose};
    StoredGate gate;
    if (group.Id < 0 || !ReadText(group.Id, "name", gate.Name) || !ReadText(group.Id, "watch", gate.Watch) ||
        !ReadSeries(group.Id, "x", gate.X) || !ReadSeries(group.Id, "y", gate.Y) || gate.X.size() != gate.Y.size()) {
        state.Problem = std::string("gate ") + link + " is not as written by Talvero";
        return -1;
    }
    state.Out->push_back(std::move(gate));
    return 0;
}

} // namespace

bool ReadGateHdf5File(const std::string& path, std::vector<StoredGate>& gates, std::string& error) {
    gates.clear();
    H5dont_atexit();
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const Handle file{H5Fis_hdf5(path.c_str()) > 0 ? H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT) : -1, H5Fclose};
    if (file.Id < 0) {
        error = path + ": not an HDF5 file";
        H5Eclear2(H5E_DEFAULT);
        return false;
    }
    if (H5Lexists(file.Id, "gates", H5P_DEFAULT) <= 0) {
        error = path + ": no /gates group: not a results file of Talvero";
        H5Eclear2(H5E_DEFAULT);
        return false;
    }
    const Handle root{H5Gopen2(file.Id, "gates", H5P_DEFAULT), H5Gclose};
    ReadState state{root.Id, &gates, {}};
    // Files of this program track the order gates were written in; others are read by name.
    hsize_t next = 0;
    herr_t status = H5Literate(root.Id, H5_INDEX_CRT_ORDER, H5_ITER_INC, &next, ReadGate, &state);
    if (status < 0 && state.Problem.empty()) {
        gates.clear();
        next = 0;
        H5Eclear2(H5E_DEFAULT);
        status = H5Literate(root.Id, H5_INDEX_NAME, H5_ITER_INC, &next, ReadGate, &state);
    }
    if (status < 0) {
        error = path + ": " + (state.Problem.empty() ? Reason(0) : state.Problem);
        gates.clear();
        H5Eclear2(H5E_DEFAULT);
        return false;
    }
    return true;
}

} // namespace talvero
