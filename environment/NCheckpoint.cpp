#include "environment/NCheckpoint.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <functional>
#include <fstream>
#include <iterator>
#include <typeinfo>
#include <vector>

#include "environment/NAtomicFile.h"
#include "kernel/NError.h"
#include "kernel/NFnvHash.h"
#include "kernel/NModel.h"
#include "kernel/NStateStream.h"

namespace talvero {
namespace {

constexpr char kMagic[8] = {'T', 'V', 'S', 'T', 'A', 'T', 'E', '\x1a'};
constexpr std::uint32_t kByteOrder = 0x01020304;
constexpr std::size_t kHeaderSize = 64;

enum : std::uint32_t {
    kErrorDamaged = 601,
    kErrorForeign = 602,
    kErrorNewer = 603,
    kErrorRefused = 604,
    kErrorWrite = 605,
};

// Names go in with their terminating zero, so that "ab"+"c" and "a"+"bc" differ.
class Fnv : public NFnvHash {
public:
    using NFnvHash::Add;
    void Add(const char* text) { Add(text, std::strlen(text) + 1); }
};

void Collect(NBasicDescription* object, std::vector<NBasicDescription*>& objects) {
    objects.push_back(object);
    // The components themselves, not a lookup by name, which takes a name with a dot for a path and
    // finds only the first of two alike.
    object->ForEachComponent([&objects](NBasicDescription* component) {
        Collect(component, objects);
        return true;
    });
}

// The model, its sources, its out gates and its net, each with its components, depth first.
std::vector<NBasicDescription*> Objects(NModel& model) {
    std::vector<NBasicDescription*> objects{&model};
    for (auto s = model.GetSourcesBegin(); s != model.GetSourcesEnd(); ++s) Collect(s->get(), objects);
    for (auto g = model.GetOutGatesBegin(); g != model.GetOutGatesEnd(); ++g) Collect(g->get(), objects);
    if (NAbstractNet* net = model.GetNet()) Collect(net, objects);
    return objects;
}

std::uint64_t Fingerprint(const std::vector<NBasicDescription*>& objects) {
    Fnv sum;
    for (NBasicDescription* object : objects) {
        sum.Add(object->GetName());
        sum.Add(typeid(*object).name());
        NStringList parameters;
        object->GetParametersList(parameters);
        for (const std::string& p : parameters) sum.Add(p.c_str());
    }
    return sum.Get();
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct ObjectRecord {
    std::vector<double> Parameters;
    const char* State = nullptr;
    std::uint32_t StateSize = 0;
    const char* StepState = nullptr;
    std::uint32_t StepStateSize = 0;
};

struct Payload {
    double TimeStep = 0;
    NTime PulseDuration = 0;
    std::vector<ObjectRecord> Records;
};

bool Damaged(const std::string& why) { return ReportError(kErrorDamaged, why); }

bool ParseHeader(const char* data, std::size_t size, NCheckpointInfo& info, std::uint64_t& payloadSize,
                 std::uint64_t& checksum) {
    if (size < kHeaderSize || std::memcmp(data, kMagic, sizeof kMagic) != 0)
        return Damaged(size < kHeaderSize && size >= sizeof kMagic && std::memcmp(data, kMagic, sizeof kMagic) == 0
                           ? "truncated header"
                           : "not a checkpoint");
    NStateReader in(data + sizeof kMagic, data + kHeaderSize);
    std::uint32_t order = 0;
    in.Get(info.Version);
    in.Get(order);
    in.Get(info.Fingerprint);
    in.Get(info.ModelTime);
    in.Get(info.Steps);
    in.Get(info.WrittenAt);
    in.Get(payloadSize);
    in.Get(checksum);
    if (order != kByteOrder) return Damaged("written on a machine of another byte order");
    if (info.Version > kCheckpointVersion)
        return ReportError(kErrorNewer, "version " + std::to_string(info.Version) + ", this program reads up to " +
                                            std::to_string(kCheckpointVersion));
    if (info.Version == 0) return Damaged("version 0");
    return true;
}

bool ParsePayload(const char* begin, const char* end, std::size_t objectCount, Payload& payload) {
    NStateReader in(begin, end);
    std::uint64_t count = 0;
    if (!in.Get(payload.TimeStep) || !in.Get(payload.PulseDuration) || !in.Get(count)) return Damaged("truncated");
    if (count != objectCount) return ReportError(kErrorForeign, "object count");
    payload.Records.resize(objectCount);
    for (ObjectRecord& r : payload.Records) {
        std::uint32_t parameters = 0;
        if (!in.Get(parameters) || parameters > in.Left() / sizeof(double)) return Damaged("truncated");
        r.Parameters.resize(parameters);
        for (double& v : r.Parameters) in.Get(v);
        if (!in.Get(r.StateSize)) return Damaged("truncated");
        r.State = in.Here();
        if (!in.Skip(r.StateSize) || !in.Get(r.StepStateSize)) return Damaged("truncated");
        r.StepState = in.Here();
        if (!in.Skip(r.StepStateSize)) return Damaged("truncated");
    }
    if (in.Left() != 0) return Damaged("trailing bytes");
    return true;
}

bool Refused(NBasicDescription* object, const std::string& what) {
    return ReportError(kErrorRefused, object->FullName() + ": " + what);
}

bool Apply(NModel& model, const std::vector<NBasicDescription*>& objects, const Payload& payload) {
    if (!std::isfinite(payload.TimeStep) || !std::isfinite(payload.PulseDuration))
        return Refused(&model, "time step or pulse duration");
    // Limits tie values together (a time constant against the time step, a start against a stop), so
    // a value refused now may be accepted once the others have moved: retry until nothing moves.
    struct Change {
        NBasicDescription* Object;
        std::string What;
        std::function<bool()> Set;
    };
    std::vector<Change> pending;
    if (!SameBits(model.GetTimeStep(), payload.TimeStep))
        pending.push_back({&model, "time step", [&] { return model.SetTimeStep(payload.TimeStep); }});
    if (model.GetPulseDuration() != payload.PulseDuration)
        pending.push_back({&model, "pulse duration", [&] { return model.SetPulseDuration(payload.PulseDuration); }});
    for (std::size_t i = 0; i < objects.size(); ++i) {
        NBasicDescription* object = objects[i];
        NStringList names;
        object->GetParametersList(names);
        const std::vector<double>& values = payload.Records[i].Parameters;
        if (names.size() != values.size()) return ReportError(kErrorForeign, object->FullName());
        for (std::size_t p = 0; p < names.size(); ++p) {
            // Setting a parameter may reset the object: only what differs is set.
            if (SameBits(object->GetParameter(names[p].c_str()), values[p])) continue;
            const double value = values[p];
            pending.push_back({object, names[p], [object, name = names[p], value] {
                                   return object->SetParameter(name.c_str(), value);
                               }});
        }
    }
    while (!pending.empty()) {
        std::vector<Change> refused;
        for (Change& change : pending)
            if (!change.Set()) refused.push_back(std::move(change));
        if (refused.size() == pending.size()) {
            return Refused(refused.front().Object, refused.front().What);
        }
        pending = std::move(refused);
    }
    for (std::size_t i = 0; i < objects.size(); ++i) {
        NBasicDescription* object = objects[i];
        const ObjectRecord& r = payload.Records[i];
        if (!object->CheckState(r.State, static_cast<int>(r.StateSize)) || !object->LoadState(r.State))
            return Refused(object, "state");
        NStateReader in(r.StepState, r.StepState + r.StepStateSize);
        if (!object->LoadStepState(in) || !in.Ok() || in.Left() != 0) return Refused(object, "state");
    }
    if (GetActiveModel() == &model) SetActiveModel(&model);  // the clock caches read the model again
    return true;
}

// Buffers reused from object to object.
struct NStateScratch {
    std::vector<char> State;
    std::string StepState;
};

// An object's state and step state, each preceded by its size.
void PutStates(NStateWriter& w, NBasicDescription& object, NStateScratch& scratch) {
    scratch.State.assign(static_cast<std::size_t>(std::max(object.GetStateSize(), 0)), 0);
    object.SaveState(scratch.State.data());
    w.Put(static_cast<std::uint32_t>(scratch.State.size()));
    w.PutBytes(scratch.State.data(), scratch.State.size());
    scratch.StepState.clear();
    NStateWriter stepWriter(scratch.StepState);
    object.SaveStepState(stepWriter);
    w.Put(static_cast<std::uint32_t>(scratch.StepState.size()));
    w.PutBytes(scratch.StepState.data(), scratch.StepState.size());
}

void Save(NModel& model, const std::vector<NBasicDescription*>& objects, std::string& out) {
    std::string payload;
    NStateWriter w(payload);
    w.Put(static_cast<double>(model.GetTimeStep()));
    w.Put(model.GetPulseDuration());
    w.Put<std::uint64_t>(objects.size());
    NStateScratch scratch;
    for (NBasicDescription* object : objects) {
        NStringList names;
        object->GetParametersList(names);
        w.Put(static_cast<std::uint32_t>(names.size()));
        for (const std::string& name : names) w.Put(object->GetParameter(name.c_str()));
        PutStates(w, *object, scratch);
    }
    Fnv checksum;
    checksum.Add(payload.data(), payload.size());
    NStateWriter h(out);
    h.PutBytes(kMagic, sizeof kMagic);
    h.Put(kCheckpointVersion);
    h.Put(kByteOrder);
    h.Put(Fingerprint(objects));
    h.Put(static_cast<double>(model.GetCurrentTime()));
    h.Put(model.GetStepCount());
    h.Put(static_cast<std::int64_t>(std::time(nullptr)));
    h.Put<std::uint64_t>(payload.size());
    h.Put(checksum.Get());
    out += payload;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return ReportError(111, path);
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return ReportError(112, path);
    return true;
}

} // namespace

std::string ObjectState(NBasicDescription& object) {
    std::vector<NBasicDescription*> objects;
    Collect(&object, objects);
    std::string bytes;
    NStateWriter w(bytes);
    NStateScratch scratch;
    for (NBasicDescription* o : objects) PutStates(w, *o, scratch);
    return bytes;
}

bool LoadObjectState(NBasicDescription& object, const std::string& state) {
    std::vector<NBasicDescription*> objects;
    Collect(&object, objects);
    NStateReader in(state.data(), state.data() + state.size());
    for (NBasicDescription* o : objects) {
        std::uint32_t size = 0, stepSize = 0;
        if (!in.Get(size)) return Refused(o, "state");
        const char* bytes = in.Here();
        if (!in.Skip(size) || !o->CheckState(bytes, static_cast<int>(size)) || !o->LoadState(bytes) ||
            !in.Get(stepSize))
            return Refused(o, "state");
        NStateReader step(in.Here(), in.Here() + std::min<std::size_t>(stepSize, in.Left()));
        if (!in.Skip(stepSize) || !o->LoadStepState(step) || !step.Ok() || step.Left() != 0) return Refused(o, "state");
    }
    return in.Left() == 0 || Refused(&object, "state");
}

std::uint64_t ModelFingerprint(NModel& model) { return Fingerprint(Objects(model)); }

void SaveCheckpoint(NModel& model, std::string& out) { Save(model, Objects(model), out); }

bool ReadCheckpointInfo(const char* data, std::size_t size, NCheckpointInfo& info) {
    std::uint64_t payloadSize = 0, checksum = 0;
    return ParseHeader(data, size, info, payloadSize, checksum);
}

bool RestoreCheckpoint(NModel& model, const char* data, std::size_t size) {
    NCheckpointInfo info;
    std::uint64_t payloadSize = 0, checksum = 0;
    if (!ParseHeader(data, size, info, payloadSize, checksum)) return false;
    if (payloadSize != size - kHeaderSize)
        return Damaged(payloadSize > size - kHeaderSize ? "truncated" : "trailing bytes");
    Fnv sum;
    sum.Add(data + kHeaderSize, payloadSize);
    if (sum.Get() != checksum) return Damaged("checksum");
    const std::vector<NBasicDescription*> objects = Objects(model);
    if (info.Fingerprint != Fingerprint(objects))
        return ReportError(kErrorForeign, "the checkpoint was written for another model");
    Payload payload;
    if (!ParsePayload(data + kHeaderSize, data + size, objects.size(), payload)) return false;

    std::string backup;
    Save(model, objects, backup);
    if (Apply(model, objects, payload)) return true;
    // Put everything back as it was and report what went wrong.
    const std::uint32_t code = PeekLastErrorCode();
    const std::string detail = GetLastErrorInfo();
    Payload previous;
    if (ParsePayload(backup.data() + kHeaderSize, backup.data() + backup.size(), objects.size(), previous))
        Apply(model, objects, previous);
    return ReportError(code, detail);
}

bool WriteCheckpointFile(NModel& model, const std::string& path) {
    std::string content;
    SaveCheckpoint(model, content);
    std::string error;
    if (!WriteFileAtomically(path, content, &error)) return ReportError(kErrorWrite, path + ": " + error);
    return true;
}

bool ReadCheckpointFile(NModel& model, const std::string& path) {
    std::string content;
    if (!ReadWholeFile(path, content)) return false;
    if (RestoreCheckpoint(model, content.data(), content.size())) return true;
    const std::uint32_t code = PeekLastErrorCode();
    return ReportError(code, path + ": " + GetLastErrorInfo());
}

bool ReadCheckpointFileInfo(const std::string& path, NCheckpointInfo& info) {
    std::string content;
    if (!ReadWholeFile(path, content)) return false;
    return ReadCheckpointInfo(content.data(), content.size(), info);
}

void RegisterCheckpointErrors() {
    static const struct {
        std::uint32_t Code;
        const char* Message;
    } rows[] = {
        {kErrorDamaged, "Файл состояния повреждён"},
        {kErrorForeign, "Файл состояния записан для другой модели"},
        {kErrorNewer, "Файл состояния записан более новой версией программы"},
        {kErrorRefused, "Объект модели не принял сохранённое состояние"},
        {kErrorWrite, "Невозможно записать файл состояния"},
    };
    for (const auto& row : rows) RegisterErrorUtf8(row.Code, 1, "Environment - State", row.Message);
}

} // namespace talvero
