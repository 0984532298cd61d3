#pragma once
// The host of one model and the compiler of model descriptions: text -> records -> binary model
// file (Compile), and binary model file -> records -> user classes and the model's object tree
// (LoadModel).

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "environment/NParserRecords.h"
#include "environment/NPreprocessor.h"
#include "kernel/NBasicDescription.h"
#include "kernel/NModel.h"

namespace talvero {

// An ordered list of prototypes, owned by the list.
using NPrototypeList = std::vector<std::unique_ptr<NBasicDescription>>;

// Writes the environment's rows (codes 111 to 414) into the process-wide error table.
void RegisterEnvironmentErrors();

class NEnvironment : public NControl {
public:
    // Bounds that keep a hostile description from exhausting the stack or the memory: how deep
    // objects may nest, and how many description objects may be alive while a model is built.
    static constexpr int DefaultMaxNestingDepth = 256;
    static constexpr std::size_t DefaultMaxLiveObjects = std::size_t(1) << 22;

    NEnvironment();
    NEnvironment(const NEnvironment&) = delete;
    NEnvironment& operator=(const NEnvironment&) = delete;
    ~NEnvironment() override;

    virtual bool LoadText(std::string fileName, std::string& text);
    virtual bool Parse(const std::string& text, NParserRecordList& records);
    virtual void ComputeChecksum(const NParserRecordList& records, std::string& out);
    virtual bool CheckChecksum(const NParserRecordList& records, const std::string& stored);
    virtual bool WriteBinaryFile(const NParserRecordList& records, std::string fileName);
    virtual bool ReadBinaryFile(NParserRecordList& records, std::string fileName);

    // Builds the user classes and removes their declarations from `records` (each class's block
    // close stays). Codes 401 to 404, 414; 300 for a block that is never closed, or for objects
    // nested deeper or more numerous than the bounds allow. A parent "Model" is refused with 401.
    virtual bool BuildClasses(NParserRecordList& records);
    // Builds every top-level object declaration. One of another type than "Model" is added to the
    // model like a component of its block. On failure the model is emptied. The records of the
    // components built are removed from `records` as they are consumed.
    virtual bool BuildObjects(NParserRecordList& records);
    // Builds the object whose header stands at `position` in `records`, owned by `owner`. On
    // success `object` is the new object (or the model, for the type "Model") and `end` the
    // position of its block close; on failure `object` is null and nothing built is left behind.
    virtual bool BuildObject(const NParserRecordList& records, NParserRecordPosition position,
                             NBasicDescription* owner, NBasicDescription*& object, NParserRecordPosition& end);

    virtual bool IsModelLoaded() const { return ModelLoaded; }
    virtual std::string GetModelFileName() const { return ModelFileName; }
    virtual NModel* GetModel() const { return Model.get(); }
    // Takes ownership of `model` and deletes the old one; the prototypes that hung below the old
    // model are re-made below the new one, and the user classes and the loaded state go with the
    // old model. False, with `model` left to the caller, for null (code 4) or when the new model
    // refuses the name of a prototype it would have to own.
    virtual bool SetModel(NModel* model);
    virtual NPrototypeList& GetUserClasses() { return UserClasses; }
    virtual NPrototypeList& GetClassRegistry() { return ClassRegistry; }
    virtual bool Compile(std::string sourceFileName, std::string binaryFileName);
    virtual void Clear();
    virtual bool LoadModel(std::string binaryFileName);

    // The first registry prototype of that name, else the first user class of that name, else null.
    NBasicDescription* FindPrototype(const std::string& className) const;

    void SetMaxNestingDepth(int depth) { MaxNestingDepth = depth; }
    int GetMaxNestingDepth() const { return MaxNestingDepth; }
    void SetMaxLiveObjects(std::size_t count) { MaxLiveObjects = count; }
    std::size_t GetMaxLiveObjects() const { return MaxLiveObjects; }
    // Whether Compile waits for the binary file to reach the disk (the default); not for one that
    // is loaded at once and removed with the process.
    void SetDurableBinaryFiles(bool durable) { DurableBinaryFiles = durable; }
    bool GetDurableBinaryFiles() const { return DurableBinaryFiles; }

private:
    // What cloning a prototype brings into being: how many description objects, and how many
    // levels deep its tree reaches (1 for an object without components).
    struct NShape {
        std::size_t Objects = 1;
        int Height = 1;
    };

    // With `consumed`, the list `records` itself: the records of each component built are removed
    // from it as soon as the component is in place, so that a large model does not hold its whole
    // description while it grows.
    // `ownerLine`: the owner's header line in the file being loaded (0: none known).
    bool Build(const NParserRecordList& records, NParserRecordList* consumed, NParserRecordPosition position,
               NBasicDescription* owner, std::uint32_t ownerLine, int depth, NBasicDescription*& object,
               NParserRecordPosition& end, NShape& shape);
    NShape ShapeOf(const NBasicDescription* prototype) const;
    void DeleteUserClasses();
    void Dispose(NBasicDescription* object);
    bool RehomePrototypes(NModel* newModel);
    // Where a record of the file being loaded came from: its source word through the last Compile's
    // map when that Compile wrote this very file, else its line in the binary file.
    NErrorLocation LocateRecord(const NParserString& record, const std::string& word) const;
    // The same for the record on `line` of that file, whose one-line form is `text`.
    NErrorLocation LocateLine(std::uint32_t line, const std::string& text, const std::string& word) const;
    // The line of the earlier declaration named `name` beside the one on `line`, in the block whose
    // header stands on `ownerLine` (0: at the top level), as the processor saw the file being
    // loaded, which is read again for it; 0 if none.
    std::uint32_t EarlierSiblingLine(std::uint32_t ownerLine, std::uint32_t line, const std::string& name) const;
    bool FailAt(std::uint32_t code, const std::string& information, const NParserString& record,
                const std::string& word) const;

    // Where the record at `index` of the last compiled file stood in its source, found by reading
    // the source again; unknown when the source is no longer what was compiled.
    NErrorLocation LocateCompiledRecord(std::size_t index, const std::string& word) const;

    // What the last Compile wrote: which file (and which version of it), from which source, and a
    // fingerprint of that source as read then.
    struct NCompiledSource {
        std::string BinaryFileName;
        std::uint64_t Device = 0;
        std::uint64_t Inode = 0;
        std::int64_t Size = -1;
        std::int64_t Modified = 0;
        std::string SourceFileName;
        std::size_t RecordCount = 0;
        std::uint64_t Fingerprint = 0;
        bool Plain = false;  // no class, no line too long
    };
    NCompiledSource Compiled;
    // During LoadModel: where the records of `FedList` come from when it runs out.
    class NBinaryRecordReader* Feed = nullptr;
    NParserRecordList* FedList = nullptr;
    // Moves `position` on to the next record of `records`, reading it from the feed if `records` is
    // the list being fed and ends there. False at the end.
    bool Advance(const NParserRecordList& records, NParserRecordPosition& position);
    bool Feeding(const NParserRecordList& records) const { return Feed && FedList == &records; }
    // Appends a record to the list being fed; removes the records [first, last) from `list`, giving
    // the position after them. The nodes of the list being fed are used again: a large model's
    // records each took a node of their own, as many allocations as all its objects needed.
    void Append(std::unique_ptr<NParserString> record);
    NParserRecordPosition Drop(NParserRecordList& list, NParserRecordPosition first, NParserRecordPosition last);
    NParserRecordList Spare;  // nodes given up by the list being fed, their records gone
    // During LoadModel: the file being read, and the Compile that wrote it (null if none known).
    std::string Loading;
    bool LoadingCompiled = false;

    std::unique_ptr<NModel> Model;
    NPrototypeList ClassRegistry;
    NPrototypeList UserClasses;
    bool ModelLoaded = false;
    std::string ModelFileName;

    struct NUserClassEntry {
        std::size_t Position;
        NBasicDescription* Prototype;
    };

    std::unordered_map<const NBasicDescription*, NShape> UserClassShapes;
    std::unordered_map<std::string, NUserClassEntry> UserClassIndex;
    int MaxNestingDepth = DefaultMaxNestingDepth;
    std::size_t MaxLiveObjects = DefaultMaxLiveObjects;
    bool DurableBinaryFiles = true;
};

} // namespace talvero
