#pragma once
// Positions in a list by the names of its elements, for a container of many named components.
// Open addressing over the positions, each beside 32 bits of its name's hash: 8 bytes a slot, at
// most three quarters full. The node map from names to objects it replaces took 64 bytes and a
// bucket per object, which every neuron of a large net paid. The index keeps no names: it asks
// the container for the name at a position.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace talvero {

class NNameIndex {
public:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    // The position indexed under `name`, or kNone. nameAt(position) gives the name at a position.
    template <class NameAt>
    std::uint32_t Find(std::string_view name, const NameAt& nameAt) const {
        if (Slots.empty()) return kNone;
        const std::uint32_t hash = Hash(name);
        for (std::size_t i = hash & Mask();; i = (i + 1) & Mask()) {
            const NSlot& slot = Slots[i];
            if (slot.Position == kNone) return kNone;
            if (slot.Hash == hash && nameAt(slot.Position) == name) return slot.Position;
        }
    }

    // Indexes `position` under `name`, unless the name is indexed already: the earlier keeps it.
    template <class NameAt>
    void Add(std::uint32_t position, std::string_view name, const NameAt& nameAt) {
        if ((Count + 1) * 4 > Slots.size() * 3) Grow();
        const std::uint32_t hash = Hash(name);
        std::size_t i = hash & Mask();
        for (;; i = (i + 1) & Mask()) {
            const NSlot& slot = Slots[i];
            if (slot.Position == kNone) break;
            if (slot.Hash == hash && nameAt(slot.Position) == name) return;
        }
        Slots[i] = NSlot{position, hash};
        ++Count;
    }

    // Forgets `position` and numbers the later positions one lower, as erasing it from the list
    // does. A pass over the slots, as the erasure is a pass over the list.
    void Erase(std::uint32_t position) {
        std::size_t hole = Slots.size();
        for (std::size_t i = 0; i < Slots.size(); ++i) {
            std::uint32_t& p = Slots[i].Position;
            if (p == kNone) continue;
            if (p == position) hole = i;
            else if (p > position) --p;
        }
        if (hole == Slots.size()) return;
        --Count;
        // Later slots of the run move into the hole when their home is not between it and them.
        for (std::size_t i = (hole + 1) & Mask();; i = (i + 1) & Mask()) {
            const NSlot slot = Slots[i];
            if (slot.Position == kNone) break;
            const std::size_t home = slot.Hash & Mask();
            if (((i - home) & Mask()) >= ((i - hole) & Mask())) {
                Slots[hole] = slot;
                hole = i;
            }
        }
        Slots[hole] = NSlot{};
    }

    void Clear() {
        Slots.clear();
        Slots.shrink_to_fit();
        Count = 0;
    }

private:
    struct NSlot {
        std::uint32_t Position = kNone;
        std::uint32_t Hash = 0;
    };

    static std::uint32_t Hash(std::string_view name) {
        const std::uint64_t h = std::hash<std::string_view>{}(name);
        return static_cast<std::uint32_t>(h ^ (h >> 32));
    }
    std::size_t Mask() const { return Slots.size() - 1; }

    void Grow() {
        std::vector<NSlot> old(Slots.empty() ? 8 : Slots.size() * 2);
        old.swap(Slots);
        for (const NSlot& slot : old) {
            if (slot.Position == kNone) continue;
            std::size_t i = slot.Hash & Mask();
            while (Slots[i].Position != kNone) i = (i + 1) & Mask();
            Slots[i] = slot;
        }
    }

    std::vector<NSlot> Slots;  // a power of two of them, or none
    std::size_t Count = 0;
};

} // namespace talvero
