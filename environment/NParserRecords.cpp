#include "environment/NParserRecords.h"

#include <cstdint>
#include <iterator>
#include <limits>
#include <new>
#include <vector>

#include "kernel/NSlotPool.h"

namespace talvero {

namespace {

// Per thread: a record list stays with the thread that made it.
NSlotPool& RecordPool() {
    thread_local NSlotPool pool;
    return pool;
}

// The first space of a line, or npos. Fields are a few characters long: a plain loop finds the
// space sooner than the library's search, whose setup cost dominated reading a large model.
std::size_t FirstSpace(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == ' ') return i;
    return std::string_view::npos;
}

// The field before the first space, removed from `rest` with the space; a last field (no space) is
// the whole of `rest`, which keeps it.
std::string_view TakeFieldView(std::string_view& rest) {
    const std::size_t space = FirstSpace(rest);
    if (space == std::string_view::npos) return rest;
    const std::string_view field = rest.substr(0, space);
    rest.remove_prefix(space + 1);
    return field;
}

// The same on a line of its own, the field copied into `field`.
void TakeField(std::string& line, std::string& field) {
    std::string_view rest(line);
    field.assign(TakeFieldView(rest));
    line.erase(0, line.size() - rest.size());
}

bool IsCBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

} // namespace

void* NParserString::operator new(std::size_t size) {
    return NSlotPool::Pooled(size) ? RecordPool().Allocate(size) : ::operator new(size);
}

void NParserString::operator delete(void* record, std::size_t size) noexcept {
    if (!record) return;
    if (NSlotPool::Pooled(size)) RecordPool().Release(record, size);
    else ::operator delete(record);
}

long long TextToLong(std::string_view text) {
    // A record's kind: one digit.
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '9') return text[0] - '0';
    std::size_t i = 0;
    while (i < text.size() && IsCBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr long long maxValue = std::numeric_limits<long long>::max();
    constexpr long long minValue = std::numeric_limits<long long>::min();
    long long value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (saturated) continue;
        const int digit = text[i] - '0';
        // Accumulate toward the sign so that the minimum value is representable.
        if (negative) {
            if (value < (minValue + digit) / 10) {
                value = minValue;
                saturated = true;
            } else {
                value = value * 10 - digit;
            }
        } else {
            if (value > (maxValue - digit) / 10) {
                value = maxValue;
                saturated = true;
            } else {
                value = value * 10 + digit;
            }
        }
    }
    return value;
}

bool NParserString::ReadFields(std::string& line) {
    const std::size_t space = FirstSpace(line);
    if (TextToLong(std::string_view(line).substr(0, space)) != static_cast<long long>(Kind)) return false;
    if (space != std::string::npos) line.erase(0, space + 1);
    return true;
}

namespace {

// The kind as its decimal number; a record's kind is one digit.
void AppendKind(std::string& out, std::int32_t kind) {
    if (kind >= 0 && kind <= 9) out += static_cast<char>('0' + kind);
    else out += std::to_string(kind);
}

// A record with two fields, as the binary model file holds it.
void AppendRecordFields(std::string& out, std::int32_t kind, const std::string& first, const std::string& second) {
    AppendKind(out, kind);
    out += ' ';
    out += first;
    out += ' ';
    out += second;
}

} // namespace

void NParserString::WriteFields(std::string& out) const { AppendKind(out, Kind); }

bool NParserNamedString::ReadFields(std::string& line) {
    if (!NParserString::ReadFields(line)) return false;
    TakeField(line, Name);
    return true;
}


bool NParserHdr::ReadFields(std::string& line) {
    if (!NParserNamedString::ReadFields(line)) return false;
    TakeField(line, Argument);
    return true;
}

void NParserHdr::WriteFields(std::string& out) const { AppendRecordFields(out, Kind, Name, Argument); }

bool NParserParameter::ReadFields(std::string& line) {
    if (!NParserNamedString::ReadFields(line)) return false;
    TakeField(line, Value);
    return true;
}

void NParserParameter::WriteFields(std::string& out) const { AppendRecordFields(out, Kind, Name, Value); }

bool NParserLink::ReadFields(std::string& line) {
    if (!NParserString::ReadFields(line)) return false;
    TakeField(line, Second);
    TakeField(line, First);
    return true;
}

void NParserLink::WriteFields(std::string& out) const { AppendRecordFields(out, Kind, Second, First); }

void ReadLinkLine(std::string_view line, std::string_view& item, std::string_view& connector) {
    // As NParserLink::ReadFields takes them: past the kind (the whole line when it has no space),
    // the connector, then the item.
    const std::size_t space = FirstSpace(line);
    std::string_view rest = space == std::string_view::npos ? line : line.substr(space + 1);
    connector = TakeFieldView(rest);
    item = TakeFieldView(rest);
}

void AppendRecordLine(std::string& out, std::int32_t kind, const std::string& name, const std::string& argument) {
    switch (kind) {
    case ParserKindClassHdr:
    case ParserKindObjectHdr:
    case ParserKindParameter: AppendRecordFields(out, kind, name, argument); break;
    case ParserKindLink: AppendRecordFields(out, kind, argument, name); break;
    default: AppendKind(out, kind); break;
    }
}

std::unique_ptr<NParserString> MakeParserRecord(long long kind) {
    switch (kind) {
    case ParserKindClassHdr: return std::make_unique<NParserClassHdr>();
    case ParserKindObjectHdr: return std::make_unique<NParserObjectHdr>();
    case ParserKindParameter: return std::make_unique<NParserParameter>();
    case ParserKindLink: return std::make_unique<NParserLink>();
    case ParserKindBlockOpen: return std::make_unique<NParserBlockOpen>();
    case ParserKindBlockClose: return std::make_unique<NParserBlockClose>();
    default: return nullptr;
    }
}

std::unique_ptr<NParserString> ParseRecordLine(std::string_view line) {
    // ReadFields of the kind's record, on views: past the kind (the whole line when it has no
    // space), the first field, then the second.
    const std::size_t space = FirstSpace(line);
    const long long kind = TextToLong(line.substr(0, space));
    if (kind == ParserKindBlockOpen) return std::make_unique<NParserBlockOpen>();
    if (kind == ParserKindBlockClose) return std::make_unique<NParserBlockClose>();
    std::string_view rest = space == std::string_view::npos ? line : line.substr(space + 1);
    const std::string_view first = TakeFieldView(rest);
    const std::string_view second = TakeFieldView(rest);
    switch (kind) {
    case ParserKindClassHdr: return std::make_unique<NParserClassHdr>(std::string(first), std::string(second));
    case ParserKindObjectHdr: return std::make_unique<NParserObjectHdr>(std::string(first), std::string(second));
    case ParserKindParameter: return std::make_unique<NParserParameter>(std::string(first), std::string(second));
    // The line holds the connector first.
    case ParserKindLink: return std::make_unique<NParserLink>(std::string(second), std::string(first));
    default: return nullptr;
    }
}

std::string RecordLine(const NParserString& record) {
    std::string line;
    record.WriteFields(line);
    return line;
}

} // namespace talvero
