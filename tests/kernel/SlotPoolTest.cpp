// Slots handed out by the pool never overlap, keep what was written into them, and come back for
// reuse, for sizes that are not multiples of the old 16-byte granule too.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "kernel/NSlotPool.h"

namespace talvero::test {
namespace {

TEST(SlotPoolTest, SlotsKeepTheirBytesAndFreedOnesAreTakenFirst) {
    for (const std::size_t size : {std::size_t(8), std::size_t(24), std::size_t(72), std::size_t(128)}) {
        SCOPED_TRACE(size);
        NSlotPool pool;
        // Three chunks' worth, so that slots come from several chunks.
        const std::size_t count = 3 * NSlotPool::kChunkBytes / size;
        std::vector<unsigned char*> slots;
        for (std::size_t i = 0; i < count; ++i) {
            auto* slot = static_cast<unsigned char*>(pool.Allocate(size));
            ASSERT_EQ(reinterpret_cast<std::uintptr_t>(slot) % 8, 0u);
            std::memset(slot, static_cast<int>(i & 0xff), size);
            slots.push_back(slot);
        }
        std::set<unsigned char*> freed;
        for (std::size_t i = 1; i < count; i += 2) {
            pool.Release(slots[i], size);
            freed.insert(slots[i]);
        }
        for (std::size_t i = 1; i < count; i += 2) {
            auto* slot = static_cast<unsigned char*>(pool.Allocate(size));
            EXPECT_TRUE(freed.erase(slot)) << "slot " << i << " is not one given back";
            std::memset(slot, 0xee, size);
        }
        for (std::size_t i = 0; i < count; i += 2)
            for (std::size_t b = 0; b < size; ++b)
                ASSERT_EQ(slots[i][b], static_cast<unsigned char>(i & 0xff)) << "slot " << i << " byte " << b;
    }
}

} // namespace
} // namespace talvero::test
