#include "environment/NEnvironment.h"
#include "kernel/Cp1251.h"

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <string_view>
#include <typeinfo>
#include <unordered_map>

#include "environment/NBuiltinClasses.h"
#include "environment/NAtomicFile.h"
#include "environment/NBinaryModelFile.h"
#include "environment/NCheckpoint.h"
#include "environment/NLineReader.h"
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

namespace {

// Tells whether a description read again is the one compiled: its text, where each stretch of
// it came from, and the files' names.
std::uint64_t Fingerprint(const std::string& text, const NSourceMap& map) {
    std::uint64_t hash = std::hash<std::string>()(text);
    auto mix = [&hash](std::string_view bytes) { hash = hash * 1000003u ^ std::hash<std::string_view>()(bytes); };
    mix(std::string_view(reinterpret_cast<const char*>(map.Segments.data()),
                         map.Segments.size() * sizeof(NSourceMap::Segment)));
    for (const NSourceMap::File& file : map.Files) {
        mix(file.Name);
        mix(std::string_view(reinterpret_cast<const char*>(&file.Parent), sizeof file.Parent));
        mix(std::string_view(reinterpret_cast<const char*>(&file.ParentLine), sizeof file.ParentLine));
    }
    return hash;
}

} // namespace

// The records go to the binary file as they are parsed: a large model's records, all alive at once,
// cost several times the model itself.
bool NEnvironment::Compile(std::string sourceFileName, std::string binaryFileName) {
    std::string text;
    NSourceMap map;
    if (!talvero::LoadText(sourceFileName, text, map)) return false;

    const bool nameUsable = !binaryFileName.empty() && binaryFileName.find('\0') == std::string::npos;
    NAtomicFile file(binaryFileName);
    file.SetDurable(DurableBinaryFiles);
    bool writing = nameUsable && file.Open();
    // A device or a FIFO is written in place: nothing may reach it before the parse has succeeded.
    std::string held;
    std::string line;
    // A file without classes and without a line too long for the reader needs no first pass when
    // it is loaded: no damage to look for, nothing to build before the objects.
    bool plain = true;
    if (writing) {
        ComputeChecksum(NParserRecordList(), line);
        plain = line.size() <= MaxBinaryLineLength;
        line += '\n';
        if (file.IsInPlace()) held += line;
        else writing = file.Write(line);
    }
    std::size_t count = 0;
    const bool parsed = talvero::Parse(
        text,
        [&](std::int32_t kind, std::string& name, std::string& argument, std::size_t) {
            if (writing) {
                line.clear();
                if (count > 0) line += '\n';
                AppendRecordLine(line, kind, name, argument);
                if (kind == ParserKindClassHdr || line.size() - (count > 0 ? 1 : 0) > MaxBinaryLineLength) plain = false;
                if (file.IsInPlace()) held += line;
                else writing = file.Write(line);
            }
            ++count;
        },
        &map);
    if (!parsed) return false;
    // Written, it would load as an empty model or not at all; the author has forgotten the model.
    if (count == 0)
        return ReportErrorAt(400, sourceFileName + Utf8ToCp1251(": описание не объявляет модели (нет ни класса, ни объекта)"),
                             NErrorLocation{sourceFileName, 1, 0, "", {}});
    if (!nameUsable) return ReportError(111, binaryFileName);
    if (writing && file.IsInPlace()) writing = file.Write(held);
    if (!writing || !file.Commit()) return ReportError(111, binaryFileName + ": " + file.GetError());

    Compiled = NCompiledSource();
    if (StatFile(binaryFileName, Compiled.Device, Compiled.Inode, Compiled.Size, Compiled.Modified)) {
        Compiled.BinaryFileName = binaryFileName;
        Compiled.SourceFileName = sourceFileName;
        Compiled.RecordCount = count;
        Compiled.Fingerprint = Fingerprint(text, map);
        Compiled.Plain = plain;
    }
    return true;
}

// The source of the compiled file is read and parsed again, on the rare path of an error: what it
// costs then is less than keeping the place of every record for the whole life of a model.
NErrorLocation NEnvironment::LocateCompiledRecord(std::size_t index, const std::string& word) const {
    std::string text;
    NSourceMap map;
    std::size_t at = 0;
    std::size_t count = 0;
    if (!talvero::LoadText(Compiled.SourceFileName, text, map) || Fingerprint(text, map) != Compiled.Fingerprint ||
        !talvero::Parse(
            text,
            [&](std::int32_t, std::string&, std::string&, std::size_t offset) {
                if (count++ == index) at = offset;
            },
            nullptr) ||
        count != Compiled.RecordCount)
        return NErrorLocation();
    return map.Locate(at, word);
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
    return LocateLine(line, RecordLine(record), word);
}

NErrorLocation NEnvironment::LocateLine(std::uint32_t line, const std::string& text, const std::string& word) const {
    if (line == 0) return NErrorLocation();
    // The first record stands on the file's second line.
    if (LoadingCompiled && line - 2 < Compiled.RecordCount) {
        NErrorLocation location = LocateCompiledRecord(line - 2, word);
        if (location.IsKnown()) return location;
    }
    return NErrorLocation{Loading, line, 0, text, {}};
}

// The processor's view of the file: class declarations are gone but for their closes, an object
// header opens a block and a block close ends one.
std::uint32_t NEnvironment::EarlierSiblingLine(std::uint32_t ownerLine, std::uint32_t line, const std::string& name) const {
    const bool topLevel = ownerLine == 0 && Feed;
    if ((ownerLine == 0 && !topLevel) || line <= ownerLine || Loading.empty()) return 0;
    std::FILE* file = OpenRegularFileForReading(Loading);
    if (!file) return 0;
    static const std::vector<std::pair<std::uint32_t, std::uint32_t>> none;
    const auto& classes = Feed ? Feed->ClassLines() : none;
    std::size_t nextClass = 0;
    NLineReader reader(file, MaxBinaryLineLength);
    std::string text;
    auto named = [&] {
        auto record = MakeParserRecord(ParserKindObjectHdr);
        record->ReadFields(text);
        return record->GetName() == name;
    };
    std::uint32_t found = 0;
    int depth = 0;  // blocks of siblings (and their contents) open
    // At the top level the kinds and matches of all earlier lines, to walk back through them as
    // the list did: a sibling is a header whose block closes before `line`.
    struct Seen {
        bool Close;
        bool Match;
        std::uint32_t Line;
    };
    std::vector<Seen> seen;
    for (std::uint32_t at = 1; at < line && reader.Next(text) == NLineRead::Line; ++at) {
        if (at <= std::max<std::uint32_t>(ownerLine, 1)) continue;
        while (nextClass < classes.size() && classes[nextClass].second <= at) ++nextClass;
        if (nextClass < classes.size() && classes[nextClass].first <= at) continue;
        const long long kind = TextToLong(std::string_view(text).substr(0, text.find(' ')));
        if (topLevel) {
            if (kind == ParserKindBlockClose) seen.push_back({true, false, at});
            else if (kind == ParserKindObjectHdr) seen.push_back({false, named(), at});
        } else if (kind == ParserKindBlockClose) {
            if (--depth < 0) break;
        } else if (kind == ParserKindObjectHdr) {
            if (depth++ == 0 && !found && named()) found = at;
        }
    }
    std::fclose(file);
    for (auto it = seen.rbegin(); it != seen.rend(); ++it) {
        if (it->Close) {
            ++depth;
        } else {
            if (depth == 0) break;
            if (--depth == 0 && it->Match) return it->Line;
        }
    }
    return found;
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
    // Read in two passes, so that only the class declarations and the records of the objects
    // under construction are held at once, never the whole file.
    NBinaryRecordReader reader;
    NParserRecordList records;
    const NChecksumCheck check = [this](const NParserRecordList& r, const std::string& stored) {
        return CheckChecksum(r, stored);
    };
    // The file this environment has just written, as it wrote it, is read once.
    bool ok = LoadingCompiled && Compiled.Plain ? reader.Open(binaryFileName, check)
                                                : reader.Scan(binaryFileName, check, records) && BuildClasses(records);
    if (ok) {
        records.clear();
        Feed = &reader;
        FedList = &records;
        ok = BuildObjects(records);
        Feed = nullptr;
        FedList = nullptr;
        Spare.clear();
    }
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

bool NEnvironment::Advance(const NParserRecordList& records, NParserRecordPosition& position) {
    auto next = std::next(position);
    if (next == records.end() && Feeding(records)) {
        // The processor passes block opens over: they are not read into the list at all.
        if (std::unique_ptr<NParserString> record = Feed->Next(false)) {
            Append(std::move(record));
            next = std::next(position);
        }
    }
    position = next;
    return position != records.end();
}

void NEnvironment::Append(std::unique_ptr<NParserString> record) {
    if (Spare.empty()) {
        FedList->push_back(std::move(record));
        return;
    }
    Spare.front() = std::move(record);
    FedList->splice(FedList->end(), Spare, Spare.begin());
}

NParserRecordPosition NEnvironment::Drop(NParserRecordList& list, NParserRecordPosition first,
                                         NParserRecordPosition last) {
    if (&list != FedList) return list.erase(first, last);
    for (auto it = first; it != last; ++it) it->reset();
    Spare.splice(Spare.end(), list, first, last);
    return last;
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
