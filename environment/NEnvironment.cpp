#include "environment/NEnvironment.h"
#include "kernel/Cp1251.h"

#include <sys/stat.h>

#include <typeinfo>
#include <unordered_map>

#include "environment/NBuiltinClasses.h"
#include "environment/NBinaryModelFile.h"
#include "environment/NCheckpoint.h"
#include "environment/NPreprocessor.h"

namespace talvero {

NEnvironment::NEnvironment() {
    RegisterEnvironmentErrors();
    RegisterCheckpointErrors();
    Model = std::make_unique<NModel>("Empty");
}

NEnvironment::~NEnvironment() {
    DeleteUserClasses();
    // Later prototypes may hang below earlier ones: the owners go last.
    while (!ClassRegistry.empty()) ClassRegistry.pop_back();
    Model.reset();
}

bool NEnvironment::LoadText(std::string fileName, std::string& text) { return talvero::LoadText(std::move(fileName), text); }

bool NEnvironment::Parse(const std::string& text, NParserRecordList& records) { return talvero::Parse(text, records); }

void NEnvironment::ComputeChecksum(const NParserRecordList& records, std::string& out) {
    talvero::ComputeChecksum(records, out);
}

bool NEnvironment::CheckChecksum(const NParserRecordList& records, const std::string& stored) {
    return talvero::CheckChecksum(records, stored);
}

bool NEnvironment::WriteBinaryFile(const NParserRecordList& records, std::string fileName) {
    return talvero::WriteBinaryFile(records, std::move(fileName),
                                    [this](const NParserRecordList& r, std::string& out) { ComputeChecksum(r, out); });
}

bool NEnvironment::ReadBinaryFile(NParserRecordList& records, std::string fileName) {
    return talvero::ReadBinaryFile(records, std::move(fileName), [this](const NParserRecordList& r, const std::string& stored) {
        return CheckChecksum(r, stored);
    });
}

namespace {

// The identity and version of a file, to tell whether a binary file is still the one compiled.
bool StatFile(const std::string& fileName, std::uint64_t& device, std::uint64_t& inode, std::int64_t& size,
              std::int64_t& modified) {
    struct stat st;
    if (::stat(fileName.c_str(), &st) != 0) return false;
    device = st.st_dev;
    inode = st.st_ino;
    size = st.st_size;
    modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

} // namespace

bool NEnvironment::Compile(std::string sourceFileName, std::string binaryFileName) {
    std::string text;
    NSourceMap map;
    if (!talvero::LoadText(sourceFileName, text, map)) return false;
    NParserRecordList records;
    std::vector<std::uint32_t> offsets;
    if (!talvero::Parse(text, records, &map, &offsets)) return false;
    text = std::string();  // the records say all of it now; a large model's text is large
    // Written, it would load as an empty model or not at all; the author has forgotten the model.
    if (records.empty())
        return ReportErrorAt(400, sourceFileName + Utf8ToCp1251(": описание не объявляет модели (нет ни класса, ни объекта)"),
                             NErrorLocation{sourceFileName, 1, 0, "", {}});
    if (!WriteBinaryFile(records, binaryFileName)) return false;

    Compiled = NCompiledSource();
    if (StatFile(binaryFileName, Compiled.Device, Compiled.Inode, Compiled.Size, Compiled.Modified)) {
        Compiled.BinaryFileName = binaryFileName;
        Compiled.Records.reserve(offsets.size());
        for (std::uint32_t offset : offsets) Compiled.Records.push_back(map.PointAt(offset));
        map.Segments = {};
        Compiled.Sources = std::move(map);
    }
    return true;
}

void NEnvironment::Clear() {
    Model->DelAllComponents();
    DeleteUserClasses();
    ModelFileName.clear();
    ModelLoaded = false;
}

NErrorLocation NEnvironment::LocateRecord(const NParserString& record, const std::string& word) const {
    const std::uint32_t line = record.GetFileLine();
    if (line == 0) return NErrorLocation();
    // The first record stands on the file's second line.
    if (LoadingCompiled && line - 2 < Compiled.Records.size())
        return Compiled.Sources.Locate(Compiled.Records[line - 2], word);
    std::string text;
    record.WriteFields(text);
    return NErrorLocation{Loading, line, 0, text, {}};
}

bool NEnvironment::FailAt(std::uint32_t code, const std::string& information, const NParserString& record,
                          const std::string& word) const {
    return ReportErrorAt(code, information, LocateRecord(record, word));
}

bool NEnvironment::LoadModel(std::string binaryFileName) {
    Clear();
    Loading = binaryFileName;
    LoadingCompiled = false;
    NCompiledSource now;
    if (!Compiled.BinaryFileName.empty() &&
        StatFile(binaryFileName, now.Device, now.Inode, now.Size, now.Modified))
        LoadingCompiled = now.Device == Compiled.Device && now.Inode == Compiled.Inode &&
                          now.Size == Compiled.Size && now.Modified == Compiled.Modified;
    NParserRecordList records;
    const bool ok = ReadBinaryFile(records, binaryFileName) && BuildClasses(records) && BuildObjects(records);
    Loading.clear();
    LoadingCompiled = false;
    if (!ok) {
        // Whatever stage failed, the model is left without components and the classes are gone.
        Model->DelAllComponents();
        DeleteUserClasses();
        return false;
    }
    records.clear();
    ModelLoaded = true;
    const std::size_t slash = binaryFileName.find_last_of("\\/");
    ModelFileName = slash == std::string::npos ? binaryFileName : binaryFileName.substr(slash + 1);
    return true;
}

bool NEnvironment::SetModel(NModel* model) {
    if (!model) return ReportError(4);
    if (model == Model.get()) return true;
    if (!RehomePrototypes(model)) return false;
    // The user classes hang below the old model or below prototypes just replaced.
    DeleteUserClasses();
    Model.reset(model);
    ModelFileName.clear();
    ModelLoaded = false;
    return true;
}

// Prototypes owned (directly or through other prototypes) by the current model are made anew below
// `newModel`, and the old ones deleted, so that no prototype is left with a deleted owner. A
// built-in class is constructed again (its owner's name checks would refuse a clone: a neuron
// already holds a zone named "LTZone") and takes the old prototype's components and parameters;
// anything else is cloned. All are made before anything is replaced: if one cannot be made (the
// new model refuses its name) nothing changes and the result is false.
bool NEnvironment::RehomePrototypes(NModel* newModel) {
    std::unordered_map<const NBasicDescription*, NBasicDescription*> newOwners{{Model.get(), newModel}};
    std::unordered_map<const NBasicDescription*, std::size_t> positions;
    for (std::size_t i = 0; i < ClassRegistry.size(); ++i) positions.emplace(ClassRegistry[i].get(), i);

    NPrototypeList copies(ClassRegistry.size());
    std::vector<bool> decided(ClassRegistry.size(), false);
    auto discard = [&] {
        while (!copies.empty()) copies.pop_back();
        return false;
    };
    for (bool progress = true; progress;) {
        progress = false;
        for (std::size_t i = 0; i < ClassRegistry.size(); ++i) {
            if (decided[i]) continue;
            NBasicDescription* prototype = ClassRegistry[i].get();
            const NBasicDescription* owner = prototype->GetOwner();
            auto mapped = newOwners.find(owner);
            if (mapped == newOwners.end()) {
                auto pos = positions.find(owner);
                // Owned by a prototype not yet decided: wait for it.
                if (pos != positions.end() && !decided[pos->second]) continue;
                decided[i] = progress = true;
                continue;
            }
            NBasicDescription* copy = MakeBuiltinPrototype(prototype->GetName(), mapped->second);
            if (copy && typeid(*copy) == typeid(*prototype)) {
                prototype->CopyComponents(copy);
                prototype->CopyParameters(copy);
            } else {
                delete copy;
                copy = prototype->Clone(mapped->second, prototype->GetName());
            }
            if (!copy) return discard();
            copies[i].reset(copy);
            newOwners.emplace(prototype, copy);
            decided[i] = progress = true;
        }
    }

    NPrototypeList replaced;
    for (std::size_t i = 0; i < copies.size(); ++i)
        if (copies[i]) {
            replaced.push_back(std::move(ClassRegistry[i]));
            ClassRegistry[i] = std::move(copies[i]);
        }
    DeleteUserClasses();
    while (!replaced.empty()) replaced.pop_back();
    return true;
}

} // namespace talvero
