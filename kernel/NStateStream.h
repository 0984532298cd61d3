#pragma once
// Byte streams for the part of an object's dynamic state that SaveState does not hold. The reader
// is bounded: a state read from a file is untrusted, so every read checks what is left.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <string>
#include <type_traits>

namespace talvero {

// The bytes of T that carry its value: an 80-bit extended value without its padding, so that
// equal states give equal bytes.
template <class T>
inline constexpr std::size_t kValueBytes =
    std::is_same_v<T, long double> && std::numeric_limits<long double>::digits == 64 ? 10 : sizeof(T);

// The bytes of a state block up to the end of its last field: trailing padding holds no value and
// would make equal states differ. Specialise where a block ends in padding.
template <class S>
struct NStateBlockBytes {
    static constexpr std::size_t value = sizeof(S);
};

class NStateWriter {
public:
    explicit NStateWriter(std::string& out) : Out(out) {}
    template <class T>
    void Put(const T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        Out.append(reinterpret_cast<const char*>(&value), kValueBytes<T>);
    }
    void PutBytes(const void* data, std::size_t size) { Out.append(static_cast<const char*>(data), size); }
    template <class S>
    void PutBlock(const S& block) {
        static_assert(std::is_trivially_copyable_v<S>);
        PutBytes(&block, NStateBlockBytes<S>::value);
    }
    void PutList(const std::deque<double>& list) {
        Put<std::uint64_t>(list.size());
        for (double v : list) Put(v);
    }

private:
    std::string& Out;
};

class NStateReader {
public:
    NStateReader(const char* begin, const char* end) : Position(begin), End(end) {}
    template <class T>
    bool Get(T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        if constexpr (std::is_same_v<T, bool>) {
            // Any byte but 0 and 1 is no bool.
            std::uint8_t byte = 0;
            if (!Get(byte) || byte > 1) return Fail();
            value = byte != 0;
            return true;
        }
        if (Left() < kValueBytes<T>) return Fail();
        T read{};
        std::memcpy(&read, Position, kValueBytes<T>);
        value = read;
        Position += kValueBytes<T>;
        return true;
    }
    template <class S>
    bool GetBlock(S& block) {
        static_assert(std::is_trivially_copyable_v<S>);
        S read = block;
        if (!GetBytes(&read, NStateBlockBytes<S>::value)) return false;
        block = read;
        return true;
    }
    bool GetBytes(void* data, std::size_t size) {
        if (Left() < size) return Fail();
        std::memcpy(data, Position, size);
        Position += size;
        return true;
    }
    bool GetList(std::deque<double>& list) {
        std::uint64_t n = 0;
        if (!Get(n) || n > Left() / sizeof(double)) return Fail();
        std::deque<double> read;
        for (std::uint64_t i = 0; i < n; ++i) {
            double v = 0;  // n was checked against what is left: every Get succeeds
            Get(v);
            read.push_back(v);
        }
        list.swap(read);
        return true;
    }
    // Passes over `size` bytes, which stay where they are.
    bool Skip(std::size_t size) {
        if (Left() < size) return Fail();
        Position += size;
        return true;
    }
    const char* Here() const { return Position; }
    std::size_t Left() const { return static_cast<std::size_t>(End - Position); }
    bool Ok() const { return Good; }
    bool Fail() {
        Good = false;
        Position = End;
        return false;
    }

private:
    const char* Position;
    const char* End;
    bool Good = true;
};

} // namespace talvero
