#include "environment/NParserRecords.h"

#include <limits>
#include <new>
#include <vector>

namespace talvero {

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define TALVERO_RECORD_POOL 0  // the sanitizer watches each record on its own
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TALVERO_RECORD_POOL 0
#endif
#endif
#ifndef TALVERO_RECORD_POOL
#define TALVERO_RECORD_POOL 1
#endif

// Slots of a few sizes cut from large chunks; a freed slot is reused for its size, and all
// chunks go back when the last record is gone (records live in lists made and dropped whole).
// Per thread: a record list stays with the thread that made it.
class NRecordPool {
public:
    static constexpr std::size_t kGranule = 16;
    static constexpr std::size_t kClasses = 8;  // slots of 16 to 128 bytes
    static constexpr std::size_t kChunkBytes = 64 * 1024;

    static bool Pooled(std::size_t size) { return TALVERO_RECORD_POOL && size <= kGranule * kClasses; }

    void* Allocate(std::size_t size) {
        const std::size_t kind = (size + kGranule - 1) / kGranule - 1;
        const std::size_t bytes = (kind + 1) * kGranule;
        void* slot;
        if (Free[kind]) {
            slot = Free[kind];
            Free[kind] = Free[kind]->Next;
        } else {
            if (static_cast<std::size_t>(End - Cursor) < bytes) {
                Chunks.push_back(std::make_unique<std::byte[]>(kChunkBytes));
                Cursor = Chunks.back().get();
                End = Cursor + kChunkBytes;
            }
            slot = Cursor;
            Cursor += bytes;
        }
        ++Live;
        return slot;
    }

    void Release(void* slot, std::size_t size) noexcept {
        const std::size_t kind = (size + kGranule - 1) / kGranule - 1;
        Free[kind] = new (slot) FreeSlot{Free[kind]};
        if (--Live == 0) {
            Chunks.clear();
            for (FreeSlot*& list : Free) list = nullptr;
            Cursor = End = nullptr;
        }
    }

private:
    struct FreeSlot {
        FreeSlot* Next;
    };

    FreeSlot* Free[kClasses] = {};
    std::vector<std::unique_ptr<std::byte[]>> Chunks;
    std::byte* Cursor = nullptr;
    std::byte* End = nullptr;
    std::size_t Live = 0;
};

NRecordPool& RecordPool() {
    thread_local NRecordPool pool;
    return pool;
}

// The field before the first space, or the whole line when it has none.
std::string FrontField(const std::string& line) {
    const std::size_t space = line.find(' ');
    return space == std::string::npos ? line : line.substr(0, space);
}

// Removes the first field and the space after it; a last field (no space) stays in the line.
void DropFrontField(std::string& line) {
    const std::size_t space = line.find(' ');
    if (space != std::string::npos) line.erase(0, space + 1);
}

std::string TakeField(std::string& line) {
    std::string field = FrontField(line);
    DropFrontField(line);
    return field;
}

bool IsCBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

} // namespace

void* NParserString::operator new(std::size_t size) {
    return NRecordPool::Pooled(size) ? RecordPool().Allocate(size) : ::operator new(size);
}

void NParserString::operator delete(void* record, std::size_t size) noexcept {
    if (!record) return;
    if (NRecordPool::Pooled(size)) RecordPool().Release(record, size);
    else ::operator delete(record);
}

long long TextToLong(std::string_view text) {
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
    if (TextToLong(FrontField(line)) != static_cast<long long>(Kind)) return false;
    DropFrontField(line);
    return true;
}

void NParserString::WriteFields(std::string& out) const { out += std::to_string(Kind); }

bool NParserNamedString::ReadFields(std::string& line) {
    if (!NParserString::ReadFields(line)) return false;
    Name = TakeField(line);
    return true;
}

void NParserNamedString::WriteFields(std::string& out) const {
    NParserString::WriteFields(out);
    out += ' ';
    out += Name;
}

bool NParserHdr::ReadFields(std::string& line) {
    if (!NParserNamedString::ReadFields(line)) return false;
    Argument = TakeField(line);
    return true;
}

void NParserHdr::WriteFields(std::string& out) const {
    NParserNamedString::WriteFields(out);
    out += ' ';
    out += Argument;
}

bool NParserParameter::ReadFields(std::string& line) {
    if (!NParserNamedString::ReadFields(line)) return false;
    Value = TakeField(line);
    return true;
}

void NParserParameter::WriteFields(std::string& out) const {
    NParserNamedString::WriteFields(out);
    out += ' ';
    out += Value;
}

bool NParserLink::ReadFields(std::string& line) {
    if (!NParserString::ReadFields(line)) return false;
    Second = TakeField(line);
    First = TakeField(line);
    return true;
}

void NParserLink::WriteFields(std::string& out) const {
    NParserString::WriteFields(out);
    out += ' ';
    out += Second;
    out += ' ';
    out += First;
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

std::string RecordLine(const NParserString& record) {
    std::string line;
    record.WriteFields(line);
    return line;
}

} // namespace talvero
