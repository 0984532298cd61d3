#pragma once
// An object's name in eight bytes. Models hold hundreds of thousands of objects whose names are
// mostly short ("s12", "exc", "c4711"): up to six characters live inside, a longer name in a heap
// block of its exact size. A std::string would take 32 bytes for every one of them.

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace talvero {

class NCompactName {
public:
    static constexpr std::size_t kInlineLength = 6;

    NCompactName() { SetInline("", 0); }
    explicit NCompactName(const char* text) { Take(text ? text : ""); }
    NCompactName(const NCompactName&) = delete;
    NCompactName& operator=(const NCompactName&) = delete;
    ~NCompactName() { Free(); }

    const char* c_str() const { return IsInline() ? reinterpret_cast<const char*>(Bytes + 1) : Heap; }
    std::size_t size() const { return IsInline() ? Bytes[0] >> 1 : std::strlen(Heap); }
    std::string_view view() const { return {c_str(), size()}; }

    void assign(const char* text) {
        // `text` may be this name's own characters: copy before freeing.
        NCompactName replacement(text);
        Free();
        std::memcpy(Bytes, replacement.Bytes, sizeof Bytes);
        replacement.SetInline("", 0);
    }

private:
    // The low bit tells the kinds apart: a heap block is at least 2-aligned, so a pointer's is 0.
    static_assert(std::endian::native == std::endian::little, "the tag byte is the pointer's low byte");
    bool IsInline() const { return Bytes[0] & 1u; }

    void SetInline(const char* text, std::size_t length) {
        std::memset(Bytes, 0, sizeof Bytes);
        Bytes[0] = static_cast<unsigned char>(length << 1 | 1u);
        std::memcpy(Bytes + 1, text, length);
    }

    void Take(const char* text) {
        const std::size_t length = std::strlen(text);
        if (length <= kInlineLength) return SetInline(text, length);
        Heap = new char[length + 1];
        std::memcpy(Heap, text, length + 1);
    }

    void Free() {
        if (!IsInline()) delete[] Heap;
    }

    union {
        char* Heap;
        unsigned char Bytes[sizeof(char*)];
    };
};

static_assert(sizeof(NCompactName) == 8);

} // namespace talvero
