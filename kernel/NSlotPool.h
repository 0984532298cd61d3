#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <set>

namespace talvero {

#if defined(__SANITIZE_ADDRESS__)
#define TALVERO_SLOT_POOL 0  // the sanitizer watches each allocation on its own
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TALVERO_SLOT_POOL 0
#endif
#endif
#ifndef TALVERO_SLOT_POOL
#define TALVERO_SLOT_POOL 1
#endif

// Slots of a few sizes, each size cut from chunks of its own, for small objects made by the hundred
// thousand: no allocator's header and rounding per object. A chunk goes back to the heap as soon
// as its last slot is free (one of each size stays): a model is built while its records are
// dropped, and the room they leave is then the model's. Not safe for threads: each user keeps its
// own pool or a lock.
class NSlotPool {
public:
    static constexpr std::size_t kGranule = 8;
    static constexpr std::size_t kClasses = 16;  // slots of 8 to 128 bytes
    static constexpr std::size_t kChunkBytes = 64 * 1024;

    static bool Pooled(std::size_t size) { return TALVERO_SLOT_POOL && size <= kGranule * kClasses; }

    NSlotPool() = default;
    NSlotPool(const NSlotPool&) = delete;
    NSlotPool& operator=(const NSlotPool&) = delete;
    ~NSlotPool() {
        for (Chunk* chunk : Chunks) delete chunk;
    }

    void* Allocate(std::size_t size) {
        const std::size_t kind = KindOf(size);
        Chunk* chunk = Open[kind];
        if (!chunk) {
            chunk = new Chunk(kind);
            Chunks.insert(chunk);
            Enlist(chunk);
        }
        void* slot = chunk->Take();
        if (chunk->Full()) Unlist(chunk);
        return slot;
    }

    void Release(void* slot, std::size_t /*size*/) noexcept {
        // A chunk is aligned to its size: a slot's chunk is its address rounded down.
        auto* chunk = reinterpret_cast<Chunk*>(reinterpret_cast<std::uintptr_t>(slot) & ~std::uintptr_t(kChunkBytes - 1));
        const bool wasFull = chunk->Full();
        chunk->Give(slot);
        if (wasFull) Enlist(chunk);
        // An empty chunk goes back, but for the last of its size with room: records made and
        // dropped one at a time would take a chunk from the heap and give it back each time.
        if (chunk->Live == 0 && (Open[chunk->Kind] != chunk || chunk->Next)) {
            Unlist(chunk);
            Chunks.erase(chunk);
            delete chunk;
        }
    }

private:
    static std::size_t KindOf(std::size_t size) { return (size + kGranule - 1) / kGranule - 1; }

    struct FreeSlot {
        FreeSlot* Next;
    };

    struct alignas(kChunkBytes) Chunk {
        explicit Chunk(std::size_t kind) : Kind(kind), SlotBytes((kind + 1) * kGranule) {}

        void* Take() {
            ++Live;
            if (Free) {
                void* slot = Free;
                Free = Free->Next;
                return slot;
            }
            void* slot = Slots + Used;
            Used += SlotBytes;
            return slot;
        }
        void Give(void* slot) {
            --Live;
            Free = new (slot) FreeSlot{Free};
        }
        bool Full() const { return !Free && Used + SlotBytes > sizeof Slots; }

        std::size_t Kind;
        std::size_t SlotBytes;
        std::size_t Used = 0;
        std::size_t Live = 0;
        FreeSlot* Free = nullptr;
        Chunk* Previous = nullptr;  // the chunks of this size with room
        Chunk* Next = nullptr;
        alignas(64) std::byte Slots[kChunkBytes - 64];
    };
    static_assert(sizeof(Chunk) == kChunkBytes);

    void Enlist(Chunk* chunk) {
        chunk->Previous = nullptr;
        chunk->Next = Open[chunk->Kind];
        if (chunk->Next) chunk->Next->Previous = chunk;
        Open[chunk->Kind] = chunk;
    }

    void Unlist(Chunk* chunk) {
        if (chunk->Previous) chunk->Previous->Next = chunk->Next;
        else Open[chunk->Kind] = chunk->Next;
        if (chunk->Next) chunk->Next->Previous = chunk->Previous;
        chunk->Previous = chunk->Next = nullptr;
    }

    Chunk* Open[kClasses] = {};
    std::set<Chunk*> Chunks;  // all of them, for the end
};

} // namespace talvero
