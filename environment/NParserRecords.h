#pragma once
// Parsed-line records: one per declaration element of a model description. The same records are
// the lines of the binary model file, so each writes itself as one line and reads itself back.
//
// Text fields never hold a space (the grammar only lets blank-free words into them); the one-line
// form relies on that.

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>

namespace talvero {

// Record kinds. 0 belongs to the three base classes, which never stand in a list.
enum : std::int32_t {
    ParserKindNone = 0,
    ParserKindClassHdr = 1,
    ParserKindObjectHdr = 2,
    ParserKindParameter = 3,
    ParserKindLink = 4,
    ParserKindBlockOpen = 8,
    ParserKindBlockClose = 9,
};

class NParserString {
public:
    NParserString() : Kind(ParserKindNone) {}
    virtual ~NParserString() = default;

    // Records are made and dropped by the hundred thousand at a time: they come from a pool.
    static void* operator new(std::size_t size);
    static void operator delete(void* record, std::size_t size) noexcept;

    virtual std::int32_t GetKind() const { return Kind; }
    // Takes this record's fields from the front of `line`, shortening it. False (line untouched)
    // when the kind at the front is not this record's kind.
    virtual bool ReadFields(std::string& line);
    // Appends the one-line form, without a line terminator.
    virtual void WriteFields(std::string& out) const;
    virtual std::string GetName() const { return std::string(); }
    virtual std::string GetArgument() const { return std::string(); }

    // The record's line in the binary model file it was read from (0: not read from a file). Kept
    // beside the kind, where the record had room to spare, so that errors can say where.
    std::uint32_t GetFileLine() const { return FileLine; }
    void SetFileLine(std::uint32_t line) { FileLine = line; }

protected:
    explicit NParserString(std::int32_t kind) : Kind(kind) {}

    std::int32_t Kind;
    std::uint32_t FileLine = 0;
};

class NParserNamedString : public NParserString {
public:
    explicit NParserNamedString(std::string name) : Name(std::move(name)) {}
    ~NParserNamedString() override = default;

    bool ReadFields(std::string& line) override;
    std::string GetName() const override { return Name; }

protected:
    NParserNamedString(std::int32_t kind, std::string name) : NParserString(kind), Name(std::move(name)) {}

    std::string Name;
};

class NParserHdr : public NParserNamedString {
public:
    NParserHdr(std::string name, std::string argument)
        : NParserNamedString(std::move(name)), Argument(std::move(argument)) {}
    ~NParserHdr() override = default;

    bool ReadFields(std::string& line) override;
    void WriteFields(std::string& out) const override;
    std::string GetArgument() const override { return Argument; }

protected:
    NParserHdr(std::int32_t kind, std::string name, std::string argument)
        : NParserNamedString(kind, std::move(name)), Argument(std::move(argument)) {}

    std::string Argument;
};

// name = the new class, argument = its parent class.
class NParserClassHdr : public NParserHdr {
public:
    NParserClassHdr(std::string name = std::string(), std::string parent = std::string())
        : NParserHdr(ParserKindClassHdr, std::move(name), std::move(parent)) {}
    ~NParserClassHdr() override = default;

    bool ReadFields(std::string& line) override { return NParserHdr::ReadFields(line); }
    void WriteFields(std::string& out) const override { NParserHdr::WriteFields(out); }
};

// name = the object, argument = its type.
class NParserObjectHdr : public NParserHdr {
public:
    NParserObjectHdr(std::string name = std::string(), std::string type = std::string())
        : NParserHdr(ParserKindObjectHdr, std::move(name), std::move(type)) {}
    ~NParserObjectHdr() override = default;

    bool ReadFields(std::string& line) override { return NParserHdr::ReadFields(line); }
    void WriteFields(std::string& out) const override { NParserHdr::WriteFields(out); }
};

// name = the parameter, argument = its value text (converted to a number only by the processor).
class NParserParameter : public NParserNamedString {
public:
    NParserParameter(std::string name = std::string(), std::string value = std::string())
        : NParserNamedString(ParserKindParameter, std::move(name)), Value(std::move(value)) {}
    ~NParserParameter() override = default;

    bool ReadFields(std::string& line) override;
    void WriteFields(std::string& out) const override;
    std::string GetArgument() const override { return Value; }

protected:
    std::string Value;
};

// `link first:second;` -- the name is `first` (the item), the argument `second` (the connector).
// The line holds them in reverse: "4 second first".
class NParserLink : public NParserString {
public:
    NParserLink(std::string first = std::string(), std::string second = std::string())
        : NParserString(ParserKindLink), First(std::move(first)), Second(std::move(second)) {}
    ~NParserLink() override = default;

    bool ReadFields(std::string& line) override;
    void WriteFields(std::string& out) const override;
    std::string GetName() const override { return First; }
    std::string GetArgument() const override { return Second; }
    // The same without a copy.
    const std::string& ItemName() const { return First; }
    const std::string& ConnectorName() const { return Second; }

protected:
    std::string First;
    std::string Second;
};

class NParserBlockOpen : public NParserString {
public:
    NParserBlockOpen() : NParserString(ParserKindBlockOpen) {}
    ~NParserBlockOpen() override = default;
};

class NParserBlockClose : public NParserString {
public:
    NParserBlockClose() : NParserString(ParserKindBlockClose) {}
    ~NParserBlockClose() override = default;
};

// The ordered record list; it owns its records. A list keeps positions stable and lets a run of
// records be removed in time proportional to its length.
using NParserRecordList = std::list<std::unique_ptr<NParserString>>;
using NParserRecordPosition = NParserRecordList::iterator;

// A record of `kind` with empty texts, or null for a kind that has no record class.
std::unique_ptr<NParserString> MakeParserRecord(long long kind);

// The record a line of the binary model file stands for, as MakeParserRecord of the kind at its
// front and ReadFields would make it, without copying the line; null for a kind with no record.
std::unique_ptr<NParserString> ParseRecordLine(std::string_view line);

// The names of a link record's line, as its ReadFields would take them, without making the record:
// views into `line`. The kind at its front is not checked.
void ReadLinkLine(std::string_view line, std::string_view& item, std::string_view& connector);

// The record's one-line form as a new string.
std::string RecordLine(const NParserString& record);
// The line of a record of `kind` with these fields (a link's name is its first end, its argument
// the second), as the binary model file holds it.
void AppendRecordLine(std::string& out, std::int32_t kind, const std::string& name, const std::string& argument);

// The integer at the front of `text` read the way C `atol` reads it (leading blanks skipped,
// optional sign, digits up to the first other character, 0 without digits). Values beyond the
// range of long long saturate instead of overflowing.
long long TextToLong(std::string_view text);

} // namespace talvero
