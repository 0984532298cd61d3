#pragma once
// FNV-1a, 64 bits: checksums and fingerprints that are the same on every run and machine.

#include <cstddef>
#include <cstdint>

namespace talvero {

class NFnvHash {
public:
    void Add(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            Value ^= bytes[i];
            Value *= 0x100000001b3ULL;
        }
    }
    template <class T>
    void AddValue(const T& value) {
        Add(&value, sizeof value);
    }
    std::uint64_t Get() const { return Value; }

private:
    std::uint64_t Value = 0xcbf29ce484222325ULL;
};

inline std::uint64_t FnvHash(const void* data, std::size_t size) {
    NFnvHash hash;
    hash.Add(data, size);
    return hash.Get();
}

} // namespace talvero
