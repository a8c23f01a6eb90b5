#include "core/pool.h"

#include "heap_fixture.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

PoolBlock* BlockOf(void* element) {
    void* block;
    std::memcpy(&block, static_cast<uint8_t*>(element) - sizeof(void*), sizeof block);
    return static_cast<PoolBlock*>(block);
}

int ListLength(const PoolBlock* b) {
    int n = 0;
    for (; b; b = b->next)
        n++;
    return n;
}

class PoolTest : public PrivateHeapTest {
  protected:
    void SetUp() override {
        PrivateHeapTest::SetUp();
        pool = PoolCreate(20, 16, 256);
        ASSERT_NE(pool, nullptr);
    }
    ElementPool* pool = nullptr;
};

TEST_F(PoolTest, SlotSizeIsElementPlusHeaderRoundedToTheHeader) {
    const int32_t word = sizeof(void*);
    EXPECT_EQ(pool->slotSize, (20 + word + word - 1) / word * word);
    ElementPool* odd = PoolCreate(21, 16, 256);
    EXPECT_EQ(odd->slotSize, (21 + word + word - 1) / word * word);
    if (word == 4) {
        EXPECT_EQ(pool->slotSize, 24);
        EXPECT_EQ(odd->slotSize, 28);
    }
    EXPECT_EQ(pool->totalSlots, 0);
    EXPECT_EQ(pool->openBlocks, nullptr);
    EXPECT_EQ(pool->fullBlocks, nullptr);
}

TEST_F(PoolTest, SixteenTakesShareABlockAndTheSeventeenthMakesAnother) {
    std::vector<void*> e;
    for (int i = 0; i < 16; i++)
        e.push_back(PoolTake(pool));
    PoolBlock* first = BlockOf(e[0]);
    EXPECT_EQ(first->slotCount, 16);
    for (int i = 1; i < 16; i++) {
        EXPECT_EQ(BlockOf(e[i]), first) << i;
        EXPECT_EQ(static_cast<uint8_t*>(e[i]) - static_cast<uint8_t*>(e[i - 1]), pool->slotSize);
    }
    EXPECT_EQ(pool->fullBlocks, first) << "a full block moves to the full list";
    EXPECT_EQ(pool->openBlocks, nullptr);
    void* seventeenth = PoolTake(pool);
    EXPECT_NE(BlockOf(seventeenth), first);
    EXPECT_EQ(BlockOf(seventeenth)->slotCount, 16);
    EXPECT_EQ(pool->totalSlots, 32);
}

TEST_F(PoolTest, AnEmptyBlockGoesBackToTheHeapAtOnce) {
    void* e = PoolTake(pool);
    EXPECT_EQ(pool->totalSlots, 16);
    PoolGive(pool, e);
    EXPECT_EQ(pool->totalSlots, 0);
    EXPECT_EQ(pool->openBlocks, nullptr);
    EXPECT_EQ(pool->fullBlocks, nullptr);
}

TEST_F(PoolTest, TheLastReturnedSlotIsReusedFirst) {
    void* a = PoolTake(pool);
    void* b = PoolTake(pool);
    void* c = PoolTake(pool);
    PoolGive(pool, b);
    EXPECT_EQ(PoolTake(pool), b);
    PoolGive(pool, c);
    PoolGive(pool, a);
    EXPECT_EQ(PoolTake(pool), a);
    EXPECT_EQ(PoolTake(pool), c);
    EXPECT_EQ(BlockOf(a)->handedOut, 3) << "untouched slots wait until freed ones are used";
}

TEST_F(PoolTest, AFullBlockGivenOneBackServesTheNextTake) {
    std::vector<void*> first, second;
    for (int i = 0; i < 16; i++)
        first.push_back(PoolTake(pool));
    for (int i = 0; i < 3; i++)
        second.push_back(PoolTake(pool));
    PoolBlock* full = BlockOf(first[0]);
    ASSERT_EQ(pool->fullBlocks, full);
    PoolGive(pool, first[7]);
    EXPECT_EQ(pool->openBlocks, full);
    EXPECT_EQ(pool->fullBlocks, nullptr);
    EXPECT_EQ(PoolTake(pool), first[7]);
    EXPECT_EQ(pool->fullBlocks, full);
}

TEST_F(PoolTest, BlocksGrowWithThePool) {
    // 16 slots a block up to 512, then a sixteenth of the total in multiples of 16, at most 256.
    std::vector<int32_t> sizes;
    PoolBlock* last = nullptr;
    while (pool->totalSlots < 8192) {
        PoolBlock* b = BlockOf(PoolTake(pool));
        if (b != last)
            sizes.push_back(b->slotCount);
        last = b;
    }
    size_t i = 0;
    int32_t total = 0;
    for (; total < 512; i++, total += 16)
        ASSERT_EQ(sizes[i], 16) << "block " << i;
    EXPECT_EQ(sizes[i], 32);
    EXPECT_EQ(sizes[i + 1], 32);
    int32_t expectedTotal = 512;
    for (size_t k = i; k < sizes.size(); k++) {
        int32_t n = std::min<int32_t>(std::max<int32_t>((expectedTotal >> 4) & ~15, 16), 256);
        ASSERT_EQ(sizes[k], n) << "block " << k << " at total " << expectedTotal;
        expectedTotal += n;
    }
    EXPECT_EQ(sizes.back(), 256);
}

TEST_F(PoolTest, ClearReleasesBothLists) {
    std::vector<void*> e;
    for (int i = 0; i < 20; i++)
        e.push_back(PoolTake(pool));
    ASSERT_NE(pool->openBlocks, nullptr);
    ASSERT_NE(pool->fullBlocks, nullptr);
    PoolClear(pool);
    EXPECT_EQ(pool->totalSlots, 0);
    EXPECT_EQ(pool->openBlocks, nullptr);
    EXPECT_EQ(pool->fullBlocks, nullptr);
    EXPECT_NE(PoolTake(pool), nullptr) << "usable again after clearing";
    PoolDestroy(pool);
}

TEST_F(PoolTest, ElementsKeepTheirContentsAndListsStayConsistent) {
    // Random traffic; every element carries its own id, and the counts always add up.
    std::vector<std::pair<uint32_t*, uint32_t>> live;
    uint32_t seed = 1;
    for (uint32_t id = 1; id < 20000; id++) {
        seed = seed * 1664525u + 1013904223u;
        if (live.empty() || (seed >> 16) % 3) {
            auto* e = static_cast<uint32_t*>(PoolTake(pool));
            for (int w = 0; w < 5; w++)
                e[w] = id;
            live.push_back({e, id});
        } else {
            size_t k = (seed >> 8) % live.size();
            for (int w = 0; w < 5; w++)
                ASSERT_EQ(live[k].first[w], live[k].second);
            PoolGive(pool, live[k].first);
            live[k] = live.back();
            live.pop_back();
        }
    }
    int32_t slots = 0, taken = 0;
    for (PoolBlock* b : {pool->openBlocks, pool->fullBlocks})
        for (; b; b = b->next) {
            slots += b->slotCount;
            taken += b->handedOut - b->freeCount;
            EXPECT_GT(b->handedOut - b->freeCount, 0) << "no empty block is kept";
        }
    EXPECT_EQ(slots, pool->totalSlots);
    EXPECT_EQ(taken, static_cast<int32_t>(live.size()));
    for (auto& [e, id] : live)
        PoolGive(pool, e);
    EXPECT_EQ(pool->totalSlots, 0);
    EXPECT_EQ(ListLength(pool->openBlocks) + ListLength(pool->fullBlocks), 0);
}

TEST_F(SmallHeapTest, PoolFallsBackToOneSlotBlocksThenYieldsNone) {
    ElementPool* pool = PoolCreate(20, 16, 256);
    ASSERT_NE(pool, nullptr);
    std::vector<void*> taken;
    while (void* e = PoolTake(pool)) {
        taken.push_back(e);
        ASSERT_LT(taken.size(), 100000u);
    }
    // When a block of n slots no longer fits, single slots still do before the heap is full.
    EXPECT_EQ(BlockOf(taken.back())->slotCount, 1);
    EXPECT_NE(pool->fullBlocks, nullptr);
    // Giving one back lets the next take succeed again.
    PoolGive(pool, taken.back());
    taken.pop_back();
    EXPECT_NE(PoolTake(pool), nullptr);
}

} // namespace
